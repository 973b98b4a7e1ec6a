#!/usr/bin/env bash
# Builds the Debian packages of the program (Release, into build-package/) and checks them:
# the desktop entry and the AppStream metainfo validated, the dependencies found by
# dpkg-shlibdeps, the files where a desktop expects them.
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

ID=app.mybrindleviewer.MyBrindleViewer
desktop-file-validate packaging/$ID.desktop
appstreamcli validate --no-net packaging/$ID.metainfo.xml

VERSION=$(sed -n 's/^project(MyBrindleViewer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
DEB=build-package/my-brindle-viewer_${VERSION}_amd64.deb
DEV=build-package/my-brindle-viewer-dev_${VERSION}_amd64.deb
for deb in "$DEB" "$DEV"; do
    [ -f "$deb" ] || { echo "missing: $deb" >&2; exit 1; }
done
contents=$(dpkg-deb -c "$DEB")
for file in ./usr/bin/MyBrindleViewer ./usr/share/applications/$ID.desktop \
    ./usr/share/metainfo/$ID.metainfo.xml ./usr/share/icons/hicolor/16x16/apps/$ID.png \
    ./usr/share/icons/hicolor/48x48/apps/$ID.png; do
    grep -q " $file\$" <<<"$contents" || { echo "$DEB lacks $file" >&2; exit 1; }
done
grep -q "designer/libmbv_designer.so\$" <<<"$(dpkg-deb -c "$DEV")" ||
    { echo "$DEV lacks the Designer plugin" >&2; exit 1; }
depends=$(dpkg-deb -f "$DEB" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || { echo "Depends lacks Qt: $depends" >&2; exit 1; }
echo "Packaged: $DEB ($(du -h "$DEB" | cut -f1)), $DEV; Depends: $depends"
