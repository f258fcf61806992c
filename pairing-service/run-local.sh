#!/usr/bin/env bash
# Builds korvella-pairing and starts it on this machine: an SQLite database in
# ./korvella-pairing-data, the bot's updates by getUpdates long polling, the endpoints on
# http://127.0.0.1:8787/api. Installs the Debian 12 packages it needs first (with sudo unless
# run as root).
#
#   KORVELLA_PAIRING_BOT_TOKEN='123456789:AA...' pairing-service/run-local.sh
#
# Every other KORVELLA_PAIRING_* variable is passed on; `korvella-pairing --help` lists them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KORVELLA_PAIRING_BOT_TOKEN:-}" ] && [ -z "${KORVELLA_PAIRING_BOT_TOKEN_FILE:-}" ]; then
    echo "Set KORVELLA_PAIRING_BOT_TOKEN (or KORVELLA_PAIRING_BOT_TOKEN_FILE) to the official bot's token." >&2
    exit 2
fi

packages=(cmake ninja-build g++ qt6-base-dev qt6-httpserver-dev qt6-websockets-dev libqt6sql6-sqlite)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${PAIRING_BUILD_DIR:-$here/../build-pairing-service}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKORVELLA_BUILD_TESTS=OFF -DKORVELLA_BUILD_BENCHMARKS=OFF
cmake --build "$build"

data=${PAIRING_DATA_DIR:-$PWD/korvella-pairing-data}
mkdir -p "$data"
chmod 700 "$data"
cd "$data"
exec "$build/korvella-pairing"
