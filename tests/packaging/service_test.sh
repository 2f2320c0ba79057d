#!/bin/sh
# Usage: service_test.sh BUILD_DIR yes|no (whether telvane-modem is to be installed).
# The service as `cmake --install` lays it out: systemd accepts the unit and rates it 3.0 or
# lower, and sysusers.d and tmpfiles.d give the user, group and folders that other programs
# need (in a scratch root: the machine's users stay untouched). 77: systemd's tools missing.
set -eu
for tool in systemd-analyze systemd-sysusers systemd-tmpfiles; do
    command -v $tool >/dev/null || { echo "$tool is missing"; exit 77; }
done
failed=0
expect() { [ "$2" = "$3" ] || { echo "$1: got '$2', want '$3'"; failed=1; }; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$1" --prefix "$prefix" >/dev/null
unit=$(find "$prefix" -name telvane.service)
expect ExecStart "$(grep ^ExecStart= "$unit")" "ExecStart=$prefix/bin/telvaned --home /var/lib/telvane"
expect "telvane-modem installed" "$([ -e "$prefix/bin/telvane-modem" ] && echo yes || echo no)" "$2"
# verify looks up the Documentation= man pages too: in the installed ones when it can.
if command -v man >/dev/null && [ -e "$prefix/share/man/man8/telvaned.8.gz" ]; then
    MANPATH=$prefix/share/man systemd-analyze verify "$unit" || failed=1
else
    systemd-analyze verify --man=no "$unit" || failed=1
fi
# The threshold is in tenths: 30 is the rating 3.0.
systemd-analyze security --offline=true --threshold=30 "$unit" >"$tmp/rating" ||
    { grep -E '✗|Overall' "$tmp/rating"; failed=1; }

[ "$(id -u)" -eq 0 ] || { echo "not root: the folders' owners are not checked"; exit $failed; }
root=$tmp/root
mkdir -p "$root/etc"
echo 'root:x:0:0::/root:/bin/sh' >"$root/etc/passwd"
printf 'root:x:0:\ndialout:x:20:\n' >"$root/etc/group"
systemd-sysusers --root="$root" - <"$(find "$prefix" -path '*/sysusers.d/telvane.conf')"
systemd-tmpfiles --create --root="$root" - <"$(find "$prefix" -path '*/tmpfiles.d/telvane.conf')"
ids=$(awk -F: '$1 == "telvane" { print $3 ":" $4 }' "$root/etc/passwd")
expect "group telvane" "$(awk -F: '$1 == "telvane" { print $3 }' "$root/etc/group")" "${ids#*:}"
expect "group dialout" "$(grep ^dialout: "$root/etc/group")" "dialout:x:20:telvane"
expect "home" "$(stat -c '%a %u:%g' "$root/var/lib/telvane")" "2750 $ids"
for folder in Send Receive Logs; do
    expect "$folder" "$(stat -c '%a %u:%g' "$root/var/lib/telvane/$folder")" "2770 $ids"
done
exit $failed
