#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs the whole suite offscreen.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
ensure_packages "${MBV_BUILD_PACKAGES[@]}" "${MBV_TEST_PACKAGES[@]}"

cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMBV_TESTS=ON \
    -DMBV_SANITIZE=address,undefined
cmake --build build-test

# A PostgreSQL server of the run's own for the shared book's tests: a temporary folder, a free
# port on 127.0.0.1, a random password; stopped and removed when the run ends, failed or not.
PG_HOME=$(mktemp -d)
KEYRING_HOME=$(mktemp -d)
cleanup() {
    scripts/shared-book-server.sh stop "$PG_HOME" >/dev/null 2>&1 || true
    rm -rf "$PG_HOME" "$KEYRING_HOME"
}
trap cleanup EXIT
export PGPASSWORD=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
MBV_PG_URL=$(MBV_TRY_PASSWORD=$PGPASSWORD scripts/shared-book-server.sh start "$PG_HOME")
export MBV_PG_URL MBV_PG_FOLDER=$PG_HOME

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure -j "$(nproc)"

# The password's round trip through the real Secret Service: a private session bus and an
# unlocked keyring daemon of the test's own, in folders of its own, both gone when it ends.
dbus-run-session -- env HOME="$KEYRING_HOME" XDG_RUNTIME_DIR="$KEYRING_HOME" bash -c '
    echo -n mbv-test | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >/dev/null 2>&1 &
    keyring=$!
    trap "kill $keyring 2>/dev/null" EXIT
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q "boolean true" && break
        sleep 0.1
    done
    MBV_REAL_KEYRING=1 build-test/tests/KeyringTest --gtest_filter="RealKeyring.*"'

# Code that runs threads, once more under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMBV_TESTS=ON -DMBV_SANITIZE=thread
cmake --build build-tsan --target IdIPWatchTest
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir build-tsan --output-on-failure -L thread

# The import readers under libFuzzer, a few seconds each from their seed corpus.
scripts/fuzz.sh 5
