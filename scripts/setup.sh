# Installs what building and testing need and a fresh Debian or Ubuntu machine lacks.
# Sourced by run.sh and test.sh; usage: ensure_packages PACKAGE...

MBV_BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev
                    fonts-liberation fonts-dejavu-core qtkeychain-qt6-dev
                    libqt6sql6-psql)
MBV_TEST_PACKAGES=(libgtest-dev qt6-tools-dev netbase clang libclang-rt-dev gnome-keyring dbus
                   postgresql openssl ssvnc x11vnc xvfb libx11-dev at-spi2-core python3-pyatspi)
MBV_PACKAGE_PACKAGES=(qt6-tools-dev dpkg-dev file desktop-file-utils appstream lintian pkgconf)
MBV_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
                      wine wine64 xvfb xauth xdotool dpkg-dev xz-utils zip unzip libgtest-dev nsis
                      fonts-wine postgresql openssl icoutils python3)

ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Missing packages: ${missing[*]}; install them as root (sudo is not available)." >&2
            return 1
        fi
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    # Another apt (a desktop's updater right after boot) may hold the lock: wait for it.
    local wait=(-o DPkg::Lock::Timeout=600)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${wait[@]}" install -y -q \
        --no-install-recommends "${missing[@]}"
}
