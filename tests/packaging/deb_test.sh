#!/bin/sh
# Usage: deb_test.sh BUILD_DIR
# The Debian packages of this build, made by CPack as scripts/package.sh makes them: lintian
# finds no error in them. As root, on a machine without telvane: dpkg -i installs them,
# telvaned runs from /usr/bin and man finds its page, the user, its folders and the enabled
# unit are there and the unit's condition holds the service until ComPort is set; removing
# keeps /var/lib/telvane, purging keeps the messages in it and says what it removed.
# 77: CPack's or Debian's tools missing.
set -eu
for tool in cpack lintian dpkg-shlibdeps file; do
    command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done
failed=0
expect() { [ "$2" = "$3" ] || { echo "$1: got '$2', want '$3'"; failed=1; }; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$1/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
debs=$(cd "$tmp" && ls *.deb | tr '\n' ' ')
expect "packages" "$(echo "$debs" | sed "s/_[0-9][0-9.]*_${arch}\.deb//g")" \
    "telvane-modem telvane-tray telvane "
lintian --fail-on error "$tmp"/*.deb 2>/dev/null || { echo "lintian found errors"; failed=1; }

[ "$(id -u)" -eq 0 ] || { echo "not root: the packages are not installed"; exit $failed; }
if dpkg-query -W -f='${Status}\n' telvane telvane-tray telvane-modem 2>/dev/null |
    grep -q "ok installed" || [ -e /var/lib/telvane ]; then
    echo "telvane is installed here already: left as it is, the packages are not installed"
    exit $failed
fi
home=/var/lib/telvane
had_user=$(getent passwd telvane >/dev/null && echo yes || echo no)
cleanup() {
    dpkg --purge telvane telvane-tray telvane-modem >/dev/null 2>&1 || true
    rm -rf "$home" "$tmp"
    if [ "$had_user" = no ]; then
        userdel telvane 2>/dev/null || true
        groupdel telvane 2>/dev/null || true
    fi
}
trap cleanup EXIT
dpkg -i "$tmp"/*.deb >"$tmp/dpkg.log" 2>&1 || { cat "$tmp/dpkg.log"; exit 1; }

expect "telvaned --version" "$(/usr/bin/telvaned --version)" \
    "Telvane $(dpkg-query -W -f='${Version}' telvane)"
expect "man -w telvaned" "$(man -w telvaned)" "/usr/share/man/man8/telvaned.8.gz"
expect "man -w telvane" "$(man -w 1 telvane)" "/usr/share/man/man1/telvane.1.gz"
ids=$(id -u telvane):$(id -g telvane)
expect "groups" "$(id -nG telvane)" "telvane dialout"
expect "home" "$(stat -c '%a %u:%g' $home)" "2750 $ids"
for folder in Send Receive Logs; do
    expect "$folder" "$(stat -c '%a %u:%g' $home/$folder)" "2770 $ids"
done
expect "enabled" "$(readlink /etc/systemd/system/multi-user.target.wants/telvane.service)" \
    "/lib/systemd/system/telvane.service"

# The unit's condition, as systemd would run it, against the settings as an operator writes
# them (Windows-1251, CRLF).
condition=$(sed -n 's/^ExecCondition=//p' /lib/systemd/system/telvane.service)
for ini in "" "[Options]\r\nComPort=\r\n" "[Options]\r\n;ComPort=/dev/ttyUSB0\r\n" \
    "[Options]\r\nPeriod=10\r\nComPort = /dev/ttyUSB0\r\n"; do
    if [ -n "$ini" ]; then printf "$ini" >$home/Telvane.ini; fi
    said=$(eval "$condition" 2>&1) && held=no || held=yes
    want=$(case "$ini" in *"ComPort = /dev"*) echo no ;; *) echo yes ;; esac)
    expect "held with '$ini'" "$held" "$want"
    [ "$held" = no ] || expect "what it says" "$said" \
        "ComPort не задан в /var/lib/telvane/Telvane.ini: шлюз не запущен"
done

printf '07.12.26 12:00:00\t+79161234567\tHello\r\n' >$home/Receive/26-12-07.txt
echo "a line" >$home/Logs/Log.txt
dpkg --remove telvane >/dev/null 2>&1
expect "removed, settings kept" "$(cat $home/Telvane.ini | tr -d '\r\n')" \
    "[Options]Period=10ComPort = /dev/ttyUSB0"
expect "telvaned after removal" "$(command -v telvaned || echo gone)" "gone"
dpkg --purge telvane >"$tmp/purge.log" 2>&1
expect "purged, said" "$(grep -c 'telvane: kept /var/lib/telvane, which holds messages: Receive' \
    "$tmp/purge.log")" 1
expect "purged, left" "$(cd $home && find . | sort | tr '\n' ' ')" \
    ". ./Receive ./Receive/26-12-07.txt "
expect "unit enabled after purge" \
    "$(test -e /etc/systemd/system/multi-user.target.wants/telvane.service && echo yes || echo no)" no
[ $failed -eq 0 ] || cat "$tmp/purge.log"
exit $failed
