#!/usr/bin/env bash
# Builds the Debian packages of the program (Release, into build-package/) and checks them:
# the desktop entry and the AppStream metainfo validated, the dependencies found by
# dpkg-shlibdeps, the files where a desktop expects them, lintian without an error or a
# warning, and a program of someone else's built against the installed -dev package.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MBV_BUILD_PACKAGES[@]}" "${MBV_PACKAGE_PACKAGES[@]}"

# The distribution's hardening flags (stack protector, fortify, relro and bind-now).
export CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS) -Wl,-z,now"
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DMBV_INSTALLED_COPY=ON
cmake --build build-package
(cd build-package && cpack -G DEB)

ID=app.mybrindleviewer.mybrindleviewer
desktop-file-validate packaging/$ID.desktop
# Pedantic: not even a note may stay.
appstreamcli validate --no-net --pedantic packaging/$ID.metainfo.xml
[ -z "$(appstreamcli validate --no-net --pedantic packaging/$ID.metainfo.xml | grep '^[EWIP]:')" ] ||
    { echo "the metainfo has notes" >&2; exit 1; }

VERSION=$(sed -n 's/^project(MyBrindleViewer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB=build-package/my-brindle-viewer_${VERSION}_amd64.deb
DEV=build-package/my-brindle-viewer-dev_${VERSION}_amd64.deb
for deb in "$DEB" "$DEV"; do
    [ -f "$deb" ] || { echo "missing: $deb" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$DEB")
for file in ./usr/bin/MyBrindleViewer ./usr/share/applications/$ID.desktop \
    ./usr/share/metainfo/$ID.metainfo.xml ./usr/share/icons/hicolor/16x16/apps/$ID.png \
    ./usr/share/icons/hicolor/48x48/apps/$ID.png ./usr/share/icons/hicolor/256x256/apps/$ID.png \
    ./usr/share/icons/hicolor/scalable/apps/$ID.svg ./usr/share/man/man1/MyBrindleViewer.1.gz \
    ./usr/share/doc/my-brindle-viewer/copyright; do
    grep -q " $file\$" <<<"$contents" || { echo "$DEB lacks $file" >&2; exit 1; }
done
grep -q "designer/libmbv_designer.so\$" <<<"$(dpkg-deb -c "$DEV")" ||
    { echo "$DEV lacks the Designer plugin" >&2; exit 1; }
depends=$(dpkg-deb -f "$DEB" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || { echo "Depends lacks Qt: $depends" >&2; exit 1; }
grep -q '\bssvnc\b' <<<"$(dpkg-deb -f "$DEB" Recommends)" ||
    { echo "$DEB does not recommend ssvnc" >&2; exit 1; }
echo "Packaged: $DEB ($(du -h "$DEB" | cut -f1)), $DEV; Depends: $depends"

# What a distribution's review would reject. Info tags are allowed: see the README.
lintian --pedantic -I --fail-on error,warning \
    "$DEB" "$DEV"
echo "lintian: no error or warning"

# A program of someone else's, built with CMake and with pkg-config against the -dev package
# installed as a user installs it, and run. The package is removed again afterwards.
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
CONSUMER=$(mktemp -d)
trap '"${sudo[@]}" dpkg --remove my-brindle-viewer-dev >/dev/null 2>&1 || true; rm -rf "$CONSUMER"' EXIT
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    --no-install-recommends "./$DEV" >/dev/null
cmake -S tests/package -B "$CONSUMER/cmake" -G Ninja >/dev/null
cmake --build "$CONSUMER/cmake" >/dev/null
g++ -o "$CONSUMER/pkg-config" tests/package/UsesTheControls.cpp \
    $(pkg-config --cflags --libs MyBrindleViewerControls)
expected="digit 1 letter 1 hand 1 lines 2"
for program in "$CONSUMER/cmake/UsesTheControls" "$CONSUMER/pkg-config"; do
    actual=$(QT_QPA_PLATFORM=offscreen "$program")
    [ "$actual" == "$expected" ] || { echo "$program printed: $actual" >&2; exit 1; }
done
echo "The installed -dev package builds a program with CMake and with pkg-config"
