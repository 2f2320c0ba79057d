#!/usr/bin/env bash
# Makes the README's pictures of the tray application: the icon in a tray with its menu open,
# and the Options dialog. Runs the real program on a virtual X server with a tray host, so it
# needs no desktop: xvfb, trayer, xdotool, x11-utils and imagemagick (packages-test.txt).
#
#   scripts/screenshots.sh [--binary build/apps/telvane/telvane] [--out docs]
#
# Exit status 77 when one of those tools is missing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
binary="${TELVANE_BUILD_DIR:-$root/build}/apps/telvane/telvane"
out="$root/docs"
while (($#)); do
    case "$1" in
        --binary) binary="$2"; shift 2 ;;
        --out) out="$2"; shift 2 ;;
        *) echo "usage: $0 [--binary PATH] [--out DIR]" >&2; exit 64 ;;
    esac
done
for tool in Xvfb trayer xdotool xwininfo import convert; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing" >&2; exit 77; }
done
[[ -x "$binary" ]] || { echo "no telvane at $binary: build it first" >&2; exit 1; }
mkdir -p "$out"

work="$(mktemp -d)"
pids=()
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid="${pids[i]}"
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# wait_for WHAT COMMAND...: runs COMMAND until it succeeds and prints something, for at most
# 20 seconds; its output is left in $found.
wait_for() {
    local what="$1"; shift
    local deadline=$((SECONDS + 20))
    while true; do
        found="$("$@" 2>/dev/null || true)"
        [[ -n "$found" ]] && return 0
        ((SECONDS < deadline)) || { echo "timed out waiting for $what" >&2; exit 1; }
        # A pause between two looks, not a guess at how long anything takes.
        sleep 0.05
    done
}

# The server writes the digits and the line end separately; the line end says it is done.
display_ready() { (($(wc -l <"$work/display") > 0)) && echo yes; }

# A display of our own, named explicitly so that servers starting at the same moment never
# search the same numbers; the server writes the number into a file once it accepts clients.
display=""
first=$((500 + $$ % 400))
for ((n = first; n < first + 50; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    : >"$work/display"
    Xvfb ":$n" -displayfd 5 -screen 0 640x360x24 -nolisten tcp -noreset \
        5>"$work/display" >/dev/null 2>&1 &
    xvfb=$!
    pids+=("$xvfb")
    wait_for "Xvfb on :$n" display_ready
    if kill -0 "$xvfb" 2>/dev/null && [[ "$(tr -d '\n' <"$work/display")" == "$n" ]]; then
        display=":$n"
        break
    fi
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    unset 'pids[-1]'
done
[[ -n "$display" ]] || { echo "no free display for Xvfb" >&2; exit 1; }
export DISPLAY="$display"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

# A desktop colour behind the tray, when xsetroot is there.
command -v xsetroot >/dev/null && xsetroot -solid '#3b5a78'

trayer --edge top --align right --widthtype pixel --width 96 --heighttype pixel --height 30 \
    --transparent false >/dev/null 2>&1 &
pids+=($!)
wait_for "the tray host" xdotool search --classname '^panel$'
panel="${found%%$'\n'*}"

"$binary" --home "$work/home" >/dev/null 2>&1 &
pids+=($!)
icon_window() {
    xwininfo -tree -id "$panel" | sed -n 's/^ *\(0x[0-9a-f]*\) .*("telvane" "Telvane").*/\1/p'
}
wait_for "the icon in the tray" icon_window
icon="$found"

geometry() {  # prints X Y WIDTH HEIGHT of a window
    eval "$(xdotool getwindowgeometry --shell "$1")"
    echo "$X $Y $WIDTH $HEIGHT"
}

# Right click at the icon's lower left corner, so that the menu opens beside the icon
# instead of over it.
read -r _ _ _ ih < <(geometry "$icon")
xdotool mousemove --window "$icon" 1 $((ih - 2)) click 3
wait_for "the menu" xdotool search --onlyvisible --name '^Меню$'
menu="${found%%$'\n'*}"
read -r mx my mw mh < <(geometry "$menu")
read -r px _ _ ph < <(geometry "$panel")
left=$(( (mx < px ? mx : px) - 16 ))
((left < 0)) && left=0
import -window root "$work/screen.png"
convert "$work/screen.png" -crop "$((640 - left))x$((my + mh + 16))+$left+0" +repage \
    "$out/tray-menu.png"

# "Настройка" is the second of the four items.
xdotool mousemove $((mx + mw / 2)) $((my + mh * 3 / 8)) click 1
wait_for "the Options dialog" xdotool search --onlyvisible --name '^Настройки$'
import -window "${found%%$'\n'*}" "$out/options.png"

echo "wrote $out/tray-menu.png and $out/options.png"
