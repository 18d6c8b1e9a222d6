#!/usr/bin/env bash
# Installs those of the given Debian packages that are missing, without the
# packages they merely recommend. Quick when all are there already.
set -euo pipefail

missing=()
for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends \
        "${missing[@]}"
fi
