#!/usr/bin/env bash
# Installs what is missing, builds the program (Release, into build/) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MBV_BUILD_PACKAGES[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: start it from a desktop session, or under Xvfb (DISPLAY=:99)." >&2
    exit 1
fi
exec ./build/MyBrindleViewer "$@"
