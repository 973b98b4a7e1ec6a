#!/usr/bin/env bash
# Builds the program for 64-bit Windows on this machine, packages it as a folder and a zip, and
# runs its Windows tests under Wine: the settings functions and the launch against the real
# Windows interfaces, and a smoke test of the packaged program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MBV_BUILD_PACKAGES[@]}" "${MBV_WINDOWS_PACKAGES[@]}"

ROOT=$PWD
QT_VERSION=6.4.2
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/mbv-windows
# The kit is rebuilt whenever its recipe (this script's kit part or the toolchain) changes.
RECIPE=$(sed -n '/^# --- kit ---$/,/^# --- end of kit ---$/p' "$0" | cat - cmake/mingw-w64.cmake |
    sha256sum | cut -c1-16)
KIT=$CACHE/qt-$QT_VERSION-$RECIPE

# --- kit ---
build_kit() {
    local work=$CACHE/work-$RECIPE
    rm -rf "$work"
    mkdir -p "$work/apt/lists/partial" "$work/apt/sources.list.d" "$work/src"
    # The source package through an apt configuration of our own: the system's stays as it is.
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
        "http://deb.debian.org/debian bookworm main" >"$work/apt/sources.list"
    local apt=(-o "Dir::Etc::SourceList=$work/apt/sources.list"
               -o "Dir::Etc::SourceParts=$work/apt/sources.list.d"
               -o "Dir::State::Lists=$work/apt/lists"
               -o "APT::Sandbox::User=root")
    apt-get "${apt[@]}" update -q
    (cd "$work/src" && apt-get "${apt[@]}" source --download-only "qt6-base=$QT_VERSION+dfsg-10")
    tar -xf "$work/src/qt6-base_$QT_VERSION+dfsg.orig.tar.xz" -C "$work/src"
    cmake -S "$work/src/qtbase-everywhere-src-$QT_VERSION" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$KIT" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
    cmake --build "$work/build" --parallel "$(nproc)"
    cmake --install "$work/build"
    rm -rf "$work"
    touch "$KIT/.complete"
}
# --- end of kit ---

if [ ! -f "$KIT/.complete" ]; then
    echo "Building the Qt $QT_VERSION kit for Windows into $KIT (once; about 21 minutes on two cores)"
    build_kit
fi

# The program and its Windows tests.
BUILD=$ROOT/build-windows
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DMBV_QT_KIT="$KIT" -DCMAKE_PREFIX_PATH="$KIT" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DMBV_TESTS=ON
cmake --build "$BUILD"

# The package: the program with exactly the DLLs it imports, and the Qt plugins it loads.
PACKAGE=$BUILD/MyBrindleViewer
rm -rf "$PACKAGE" "$BUILD/MyBrindleViewer-win64.zip"
mkdir -p "$PACKAGE/platforms" "$PACKAGE/styles"
cp "$BUILD/MyBrindleViewer.exe" "$PACKAGE/"
cp "$KIT/plugins/platforms/qwindows.dll" "$PACKAGE/platforms/"
cp "$KIT/plugins/styles/qwindowsvistastyle.dll" "$PACKAGE/styles/"
MINGW_DIRS=("$KIT/bin" /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$PACKAGE/MyBrindleViewer.exe" "$PACKAGE/platforms/qwindows.dll"
         "$PACKAGE/styles/qwindowsvistastyle.dll")
while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(imports "$file"); do
        [ -f "$PACKAGE/$dll" ] && continue
        for dir in "${MINGW_DIRS[@]}"; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$PACKAGE/"
                pending+=("$PACKAGE/$dll")
                break
            fi
        done # DLLs found nowhere here are the system's own.
    done
done
x86_64-w64-mingw32-strip --strip-unneeded "$PACKAGE"/*.exe "$PACKAGE"/*.dll \
    "$PACKAGE"/platforms/*.dll "$PACKAGE"/styles/*.dll
(cd "$BUILD" && zip -qr MyBrindleViewer-win64.zip MyBrindleViewer)
echo "Packaged: $BUILD/MyBrindleViewer-win64.zip ($(du -h "$BUILD/MyBrindleViewer-win64.zip" | cut -f1))"

# The Windows tests under Wine, in a prefix of the build's own.
export WINEPREFIX=$BUILD/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    wineserver --wait
fi
ctest --test-dir "$BUILD" --output-on-failure
scripts/windows-smoke.sh "$BUILD/MyBrindleViewer-win64.zip" "$BUILD/StandInViewer.exe"
wineserver --kill || true
