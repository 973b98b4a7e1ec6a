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
    (cd "$work/src" && apt-get "${apt[@]}" source --download-only "qt6-base=$QT_VERSION+dfsg-10" \
        openssl postgresql-15)
    tar -xf "$work/src/qt6-base_$QT_VERSION+dfsg.orig.tar.xz" -C "$work/src"
    tar -xf "$work/src"/openssl_*.orig.tar.gz -C "$work/src"
    tar -xf "$work/src"/postgresql-15_*.orig.tar.bz2 -C "$work/src"
    # The shared book's connection: PostgreSQL's client library, encrypted with OpenSSL's (their
    # two libraries only; no engines, modules or legacy ciphers).
    (cd "$work/src"/openssl-[0-9]*/ &&
        ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$KIT" \
            --libdir=lib shared no-tests no-module no-legacy no-engine no-dso no-ui-console \
            -O2 >/dev/null &&
        make -j"$(nproc)" build_libs >/dev/null && make install_dev install_runtime_libs >/dev/null)
    (cd "$work/src"/postgresql-[0-9]*/ &&
        ./configure --host=x86_64-w64-mingw32 --prefix="$KIT" --with-ssl=openssl \
            --without-readline --without-zlib --without-icu \
            CPPFLAGS="-I$KIT/include" LDFLAGS="-L$KIT/lib" >/dev/null &&
        make -C src/interfaces/libpq -j"$(nproc)" >/dev/null &&
        make -C src/interfaces/libpq install >/dev/null &&
        cp src/include/postgres_ext.h src/include/pg_config_ext.h src/include/pg_config.h \
            "$KIT/include/")
    cmake -S "$work/src/qtbase-everywhere-src-$QT_VERSION" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$KIT" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_network=OFF -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_sql=ON -DFEATURE_sql_psql=ON -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_odbc=OFF \
        -DFEATURE_sql_mysql=OFF -DFEATURE_sql_oci=OFF -DFEATURE_sql_db2=OFF -DFEATURE_sql_ibase=OFF \
        -DPostgreSQL_INCLUDE_DIR="$KIT/include" -DPostgreSQL_LIBRARY="$KIT/lib/libpq.a" \
        -DFEATURE_concurrent=OFF -DFEATURE_testlib=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
        -DFEATURE_vulkan=OFF -DFEATURE_icu=OFF -DFEATURE_freetype=OFF -DFEATURE_fontconfig=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF
    cmake --build "$work/build" --parallel "$(nproc)"
    cmake --install "$work/build"
    # The system keyring's library, QtKeychain (Credential Manager on Windows), from Debian's
    # source: the mirror serves trixie's original tarball, not bookworm's, so it is fetched by
    # name and checked against the hash in trixie's signed index. Its one MSVC-only flag goes.
    /usr/lib/apt/apt-helper "${apt[@]}" download-file \
        http://deb.debian.org/debian/pool/main/q/qtkeychain/qtkeychain_0.15.0.orig.tar.gz \
        "$work/src/qtkeychain.tar.gz" \
        SHA256:f4254dc8f0933b06d90672d683eab08ef770acd8336e44dfa030ce041dc2ca22 >/dev/null
    tar -xf "$work/src/qtkeychain.tar.gz" -C "$work/src"
    sed -i 's|add_definitions( /utf-8 -DUNICODE )|add_definitions( -DUNICODE )|' \
        "$work/src/qtkeychain-0.15.0/qtkeychain/CMakeLists.txt"
    cmake -S "$work/src/qtkeychain-0.15.0" -B "$work/keychain" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DMBV_QT_KIT="$KIT" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$KIT" -DCMAKE_PREFIX_PATH="$KIT" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DBUILD_WITH_QT6=ON -DUSE_CREDENTIAL_STORE=ON -DBUILD_TRANSLATIONS=OFF \
        -DBUILD_TEST_APPLICATION=OFF -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$work/keychain"
    cmake --install "$work/keychain" >/dev/null
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
# A build folder made with another kit keeps that kit's paths in its cache: it starts afresh.
if [ -d "$BUILD" ] && [ "$(cat "$BUILD/.kit" 2>/dev/null)" != "$KIT" ]; then
    rm -rf "$BUILD"
fi
mkdir -p "$BUILD"
echo "$KIT" >"$BUILD/.kit"
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DMBV_QT_KIT="$KIT" -DCMAKE_PREFIX_PATH="$KIT" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DMBV_TESTS=ON
cmake --build "$BUILD"

# The package: the program with exactly the DLLs it imports, and the Qt plugins it loads.
PACKAGE=$BUILD/MyBrindleViewer
rm -rf "$PACKAGE" "$BUILD/MyBrindleViewer-win64.zip"
mkdir -p "$PACKAGE/platforms" "$PACKAGE/styles" "$PACKAGE/sqldrivers"
cp "$BUILD/MyBrindleViewer.exe" "$PACKAGE/"
cp "$KIT/plugins/sqldrivers/qsqlpsql.dll" "$PACKAGE/sqldrivers/"
cp "$KIT/plugins/platforms/qwindows.dll" "$PACKAGE/platforms/"
cp "$KIT/plugins/styles/qwindowsvistastyle.dll" "$PACKAGE/styles/"
MINGW_DIRS=("$KIT/bin" /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib)
imports() { x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$PACKAGE/MyBrindleViewer.exe" "$PACKAGE/platforms/qwindows.dll"
         "$PACKAGE/styles/qwindowsvistastyle.dll" "$PACKAGE/sqldrivers/qsqlpsql.dll")
while [ ${#pending[@]} -gt 0 ]; do
    file=${pending[0]}
    pending=("${pending[@]:1}")
    for dll in $(imports "$file"); do
        # Windows names DLLs without regard to case (libpq's import reads "LIBPQ.dll").
        [ -n "$(find "$PACKAGE" -maxdepth 1 -iname "$dll" -print -quit)" ] && continue
        for dir in "${MINGW_DIRS[@]}"; do
            found=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit)
            if [ -n "$found" ]; then
                cp "$found" "$PACKAGE/"
                pending+=("$PACKAGE/$(basename "$found")")
                break
            fi
        done # DLLs found nowhere here are the system's own.
    done
done
x86_64-w64-mingw32-strip --strip-unneeded "$PACKAGE"/*.exe "$PACKAGE"/*.dll \
    "$PACKAGE"/platforms/*.dll "$PACKAGE"/styles/*.dll "$PACKAGE"/sqldrivers/*.dll
# The portable zip has the viewer's folder ready, with a word on what goes there.
mkdir -p "$PACKAGE/Bin"
cp packaging/windows/Bin-README.txt "$PACKAGE/Bin/README.txt"
(cd "$BUILD" && zip -qr MyBrindleViewer-win64.zip MyBrindleViewer)
echo "Packaged: $BUILD/MyBrindleViewer-win64.zip ($(du -h "$BUILD/MyBrindleViewer-win64.zip" | cut -f1))"

# The installer, of the same files but Bin\: the installed copy keeps the viewer beside the
# user's book. Its uninstaller removes exactly the files listed here.
VERSION=$(sed -n 's/^project(MyBrindleViewer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
INSTALLER=$BUILD/MyBrindleViewer-$VERSION-setup.exe
NSIS=$BUILD/nsis
rm -rf "$NSIS" "$INSTALLER"
mkdir -p "$NSIS"
(cd "$PACKAGE" && find . -path ./Bin -prune -o -type f -print | sed 's|^\./||' | sort) >"$NSIS/list"
while read -r file; do
    folder=$(dirname "$file")
    [ "$folder" == . ] && out='$INSTDIR' || out='$INSTDIR\'${folder//\//\\}
    printf 'SetOutPath "%s"\nFile "%s"\n' "$out" "$PACKAGE/$file"
done <"$NSIS/list" >"$NSIS/files.nsh"
{
    while read -r file; do printf 'Delete "$INSTDIR\\%s"\n' "${file//\//\\}"; done <"$NSIS/list"
    (cd "$PACKAGE" && find . -mindepth 1 -path ./Bin -prune -o -type d -print | sed 's|^\./||' |
        sort -r) | while read -r folder; do printf 'RMDir "$INSTDIR\\%s"\n' "${folder//\//\\}"; done
} >"$NSIS/unfiles.nsh"
# The picture of the first and last pages, drawn from the program's icon.
python3 packaging/windows/wizard_bitmap.py packaging/icons/icon-128.png "$NSIS/wizard.bmp"
makensis -V2 -DVERSION="$VERSION" -DOUTFILE="$INSTALLER" -DFILES="$NSIS/files.nsh" \
    -DUNFILES="$NSIS/unfiles.nsh" -DSIZE_KB="$(du -sk --exclude=Bin "$PACKAGE" | cut -f1)" \
    -DICON="$BUILD/MyBrindleViewer.ico" -DWIZARD="$NSIS/wizard.bmp" packaging/windows/installer.nsi
echo "Installer: $INSTALLER ($(du -h "$INSTALLER" | cut -f1))"

# The program and the setup wear the program's icon (six sizes up to 256 px, which NSIS's own
# lacks) and carry the version Explorer's Properties show.
for exe in "$PACKAGE/MyBrindleViewer.exe" "$INSTALLER"; do
    # The icon group: six bytes of header, then 14 a size, its width first (0 for 256 px).
    read -ra group <<<"$(wrestool -x --raw --type=14 "$exe" 2>/dev/null | od -An -tu1 -v | tr -s ' \n' ' ')"
    widths=()
    for ((i = 0; i < ${group[4]:-0}; i++)); do widths+=("${group[6 + 14 * i]}"); done
    version=$(wrestool -x --raw --type=16 "$exe" 2>/dev/null | strings -el | grep -cx "$VERSION" || true)
    if [ "${widths[*]}" != "16 32 48 64 128 0" ] || [ "$version" -lt 1 ]; then
        echo "$exe lacks the program's icon or its version $VERSION" \
            "(icon widths: ${widths[*]:-none}; version strings: $version)" >&2
        exit 1
    fi
done
echo "Resources: the program and the setup carry the icon and version $VERSION"

# The Windows tests under Wine, in a prefix of the build's own.
export WINEPREFIX=$BUILD/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot --init >/dev/null 2>&1
    wineserver --wait
fi
# The fonts a Windows PC has in its Fonts folder ("MS Sans Serif", Tahoma): this Wine does not
# load Debian's fonts-wine by itself.
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
# The window test draws text with the fonts Windows would: it needs a display.
xvfb-run -a -s "-screen 0 1024x768x24" ctest --test-dir "$BUILD" --output-on-failure
scripts/windows-smoke.sh "$BUILD/MyBrindleViewer-win64.zip" "$BUILD/StandInViewer.exe" "$INSTALLER"
wineserver --kill || true
