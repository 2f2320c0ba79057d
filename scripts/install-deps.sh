#!/usr/bin/env bash
# Installs the Debian packages listed in the given files, only those that are missing.
# Idempotent: when everything is there, it touches neither the network nor apt's lists.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
wanted=()
for list in "$@"; do
    while read -r pkg; do
        [[ -z "$pkg" || "$pkg" == \#* ]] && continue
        wanted+=("$pkg")
    done <"$here/$list"
done
missing=()
for pkg in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if ((${#missing[@]})); then
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
