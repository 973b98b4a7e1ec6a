#!/usr/bin/env bash
# Smoke test of the packaged Windows program under Wine and Xvfb, unzipped into a fresh Wine
# prefix with nothing else installed: a first run in an empty folder shows its two notices and
# writes the three files at close; a run with a client book finds a client through the filter
# and launches the stand-in viewer with the expected arguments; the installer installs for the
# user alone without asking, the installed program keeps its files in AppData\Local, and the
# uninstaller removes the program and leaves those files alone; the password goes to Credential
# Manager; a shared book on a PostgreSQL server started here, on the Linux side, is shown, kept
# live and edited from Windows.
# Usage: windows-smoke.sh PACKAGE_ZIP STAND_IN_VIEWER_EXE INSTALLER_EXE
set -euo pipefail
ZIP=$1
STAND_IN=$2
INSTALLER=$3
WORK=$(mktemp -d)
# The shared book's server runs as an unprivileged user when this runs as root: a folder of its
# own, outside WORK, which only root may enter.
PG_HOME=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
passes=0

# A display of its own, on a number the X server picks free.
Xvfb -displayfd 3 -screen 0 1024x768x24 3>"$WORK/display" >/dev/null 2>&1 &
XVFB=$!
trap 'kill $XVFB 2>/dev/null || true; wineserver --kill 2>/dev/null || true
      scripts/shared-book-server.sh stop "$PG_HOME" >/dev/null 2>&1 || true
      chattr -R -i "$WORK" 2>/dev/null || true; rm -rf "$WORK" "$PG_HOME"' EXIT
for _ in $(seq 100); do
    [ -s "$WORK/display" ] && break
    sleep 0.1
done
export DISPLAY=:$(head -n 1 "$WORK/display")
wineboot --init >/dev/null 2>&1
wineserver --wait
cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"

unpack() { # unpack FOLDER: the package as a technician unzips it
    mkdir -p "$1"
    unzip -q "$ZIP" -d "$1.zip"
    mv "$1.zip/MyBrindleViewer"/* "$1/"
    rm -rf "$1.zip"
}

check() { # check DESCRIPTION ACTUAL EXPECTED
    if [ "$2" == "$3" ]; then
        echo "ok: $1"
        passes=$((passes + 1))
    else
        echo "FAILED: $1"
        echo "  expected: $(printf '%q' "$3")"
        echo "  actual:   $(printf '%q' "$2")"
        failures=$((failures + 1))
    fi
}

# Waits for a window whose whole title is the given one, and prints its id.
window() { timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }

# Without a window manager Wine gives a window the keyboard when it is clicked: a click on its
# empty top-left corner, then the keys as typed.
press() { # press WINDOW KEY
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove $((X + 3)) $((Y + 3)) click 1
    sleep 0.4
    xdotool key "$2"
    sleep 0.6
}

# Runs a condition (a command and its arguments; this script's functions too) until it holds,
# for up to a minute; a condition never met is a failure, named.
waits() { # waits COMMAND [ARGUMENT...]
    local end=$((SECONDS + 60))
    until "$@"; do
        if [ "$SECONDS" -ge "$end" ]; then
            echo "FAILED: waited a minute for: $*"
            failures=$((failures + 1))
            return 0
        fi
        sleep 0.3
    done
}

running() { kill -0 "$PROGRAM" 2>/dev/null; }

# Closes the main window as the user does. The program should end within its time (the book is
# saved by then). One that does not fails the test with what its threads were doing, and is
# then ended so that the next part can run.
close_main() {
    local main
    main=$(window "My Brindle Viewer v1.0.1.35")
    press "$main" alt+F4
    local end=$((SECONDS + 20))
    while running && [ "$SECONDS" -lt "$end" ]; do
        sleep 0.2
    done
    if running; then
        echo "FAILED: the program had not ended 20 s after its close"
        local pid task
        for pid in $(pgrep -f 'MyBrindleViewer\.exe'); do
            echo "  process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
            for task in /proc/"$pid"/task/*; do
                echo "    thread ${task##*/}: $(cat "$task/wchan" 2>/dev/null) $(cut -d' ' -f3 "$task/stat" 2>/dev/null)"
            done
        done
        failures=$((failures + 1))
        pkill -9 -f 'MyBrindleViewer\.exe' || true
        wait "$PROGRAM" 2>/dev/null || true
    fi
}

press_notices() { # press_notices: the first run's two notices, each with Enter
    local box
    for _ in 1 2; do
        box=$(window "My Brindle Viewer")
        press "$box" Return
    done
}

run_program() { # run_program FOLDER: starts it; the caller ends it
    (cd "$1" && wine ./MyBrindleViewer.exe >/dev/null 2>&1) &
    PROGRAM=$!
}

# Types "acm" into the filter, which has the keyboard at start, connects with Enter, and
# prints the stand-in viewer's arguments, one a line.
connect_acme() { # connect_acme FOLDER
    local main
    main=$(window "My Brindle Viewer v1.0.1.35")
    press "$main" a
    for key in c m Return; do
        xdotool key "$key"
        sleep 0.4
    done
    timeout 60 bash -c "until [ -f '$1/viewer-args' ]; do sleep 0.2; done" || true
    tr '\0' '\n' <"$1/viewer-args" 2>/dev/null | tail -n +2
}

# 1. First run in an empty folder.
FIRST=$WORK/first
unpack "$FIRST"
run_program "$FIRST"
for notice in 1 2; do
    box=$(window "My Brindle Viewer")
    check "notice $notice of the first run is shown" "$([ -n "$box" ] && echo yes)" yes
    press "$box" Return
done
close_main
check "the name list is written empty" "$(cat "$FIRST/clientlist.txt" 2>&1 | od -An -c | tr -d ' \n')" ""
check "the ID list is written empty" "$(cat "$FIRST/clientIDlist.txt" 2>&1 | od -An -c | tr -d ' \n')" ""
expected_ini=$'[quality]\r\nsetting=3\r\nauto=1\r\n[repeater]\r\nlan=1\r\naddress=0\r\naddress2=\r\n[password]\r\nvalue=\r\nstore=0\r\n[port]\r\nviewer=\r\n[autoscaling]\r\nsetting=1\r\n[autoreconnect]\r\nsetting=0\r\n'
check "the settings file holds the ten keys" "$(cat "$FIRST/myviewer.ini" 2>&1; echo .)" "$expected_ini."

# 2. A book of two clients: find one by typing into the filter, which has the keyboard at
# start, and connect with Enter.
SECOND=$WORK/second
unpack "$SECOND"
mkdir -p "$SECOND/Bin"
cp "$STAND_IN" "$SECOND/Bin/vncviewer.exe"
printf 'Globex\r\nAcme\r\n' >"$SECOND/clientlist.txt"
printf '42\r\n123456\r\n' >"$SECOND/clientIDlist.txt"
printf '[port]\r\nviewer=5901\r\n' >"$SECOND/myviewer.ini"
run_program "$SECOND"
args=$(connect_acme "$SECOND" | sed 's/^[0-9.]*:5901$/HOST:5901/')
check "the viewer gets the launch line's arguments" "$args" \
    "$(printf '%s\n' -proxy HOST:5901 -autoreconnect -connect ID:123456 -quickoption 3 \
        -autoscaling -keepalive 1 -dsmplugin SecureVNCPlugin.dsm)"
close_main
check "the batch file is gone after the close" "$([ -e "$SECOND/vncviewer.bat" ] && echo left || echo gone)" gone

# 3. A copy in a folder that may not be written (immutable: not even root writes there) keeps
# its files in the user's AppData\Local folder.
THIRD=$WORK/third
unpack "$THIRD"
if chattr +i "$THIRD" 2>/dev/null; then
    run_program "$THIRD"
    press_notices
    close_main
    chattr -i "$THIRD"
    data=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local/"My Brindle Viewer" 2>/dev/null | head -n 1)
    check "a read-only copy keeps its settings in AppData" \
        "$(cat "$data/myviewer.ini" 2>&1; echo .)" "$expected_ini."
    check "a read-only copy keeps its lists in AppData" \
        "$([ -f "$data/clientlist.txt" ] && [ -f "$data/clientIDlist.txt" ] && echo yes)" yes
    check "nothing is written beside a read-only copy" \
        "$(ls "$THIRD" | grep -ciE 'clientlist|clientIDlist|myviewer|iphist')" 0
else
    echo "skipped: this file system cannot make a folder read-only for root"
fi

# 4. The installer, silent as an administrator's script runs it; then the installed program;
# then the uninstaller.
APPDATA=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData | head -n 1)
PROGRAMS="$APPDATA/Local/Programs/My Brindle Viewer"
BOOK="$APPDATA/Local/My Brindle Viewer"
MENU="$APPDATA/Roaming/Microsoft/Windows/Start Menu/Programs/My Brindle Viewer.lnk"
KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\MyBrindleViewer'
rm -rf "$BOOK"
wine "$INSTALLER" /S >/dev/null 2>&1
wineserver --wait
check "the installer puts the program in the user's programs folder" \
    "$([ -f "$PROGRAMS/MyBrindleViewer.exe" ] && [ -f "$PROGRAMS/platforms/qwindows.dll" ] &&
       [ -f "$PROGRAMS/Uninstall.exe" ] && echo yes)" yes
check "the installer makes a Start menu entry" "$([ -f "$MENU" ] && echo yes)" yes
check "Apps and features names the version and the publisher" \
    "$(wine reg query "$KEY" 2>/dev/null | tr -d '\r' | grep -oE '(DisplayVersion|Publisher) +REG_SZ +.*' |
       tr -s ' ' | sort)" \
    "$(printf '%s\n' "DisplayVersion REG_SZ 1.0.1.35" "Publisher REG_SZ My Brindle Viewer developers")"
check "the viewer's folder is ready beside the book" "$([ -f "$BOOK/Bin/README.txt" ] && echo yes)" yes
run_program "$PROGRAMS"
press_notices
close_main
check "the installed program keeps its settings in AppData\\Local" \
    "$(cat "$BOOK/myviewer.ini" 2>&1; echo .)" "$expected_ini."
check "nothing is written beside the installed program" \
    "$(ls "$PROGRAMS" | grep -ciE 'clientlist|clientIDlist|myviewer|iphist')" 0
# The uninstaller runs a copy of itself from the temporary folder and returns at once.
wine "$PROGRAMS/Uninstall.exe" /S >/dev/null 2>&1
wineserver --wait
check "the uninstaller removes the program, its entry and its menu entry" \
    "$([ -e "$PROGRAMS" ] || [ -e "$MENU" ] || wine reg query "$KEY" >/dev/null 2>&1 || echo gone)" gone
check "the uninstaller leaves the user's book alone" \
    "$([ -f "$BOOK/myviewer.ini" ] && [ -f "$BOOK/clientlist.txt" ] && echo kept)" kept

# 5. The password in Credential Manager: with the box chosen, the close stores it there and
# empties value=; the next start reads it back and the viewer receives it as before.
FIFTH=$WORK/fifth
unpack "$FIFTH"
cp "$STAND_IN" "$FIFTH/Bin/vncviewer.exe"
printf 'Acme\r\n' >"$FIFTH/clientlist.txt"
printf '123456\r\n' >"$FIFTH/clientIDlist.txt"
printf '[password]\r\nvalue=s3cret\r\nstore=1\r\n[port]\r\nviewer=5901\r\n' >"$FIFTH/myviewer.ini"
mkdir -p "$APPDATA/Roaming/MyBrindleViewer"
printf '[General]\r\npasswordInKeyring=true\r\n' >"$APPDATA/Roaming/MyBrindleViewer/window.ini"
run_program "$FIFTH"
close_main
check "with the keyring chosen the settings file holds no password" \
    "$(grep -a '^value=' "$FIFTH/myviewer.ini" | tr -d '\r')" "value="
check "the password is an item of Credential Manager named for this book" \
    "$(wine reg query 'HKCU\Software\Wine\Credential Manager' /s 2>/dev/null | tr -d '\r' |
        grep -c 'REG_SZ *My Brindle Viewer: .*\\fifth\\$')" 1
run_program "$FIFTH"
check "the password comes back from Credential Manager to the viewer" \
    "$(connect_acme "$FIFTH" | tail -n 2 | tr '\n' ' ')" "-password s3cret "
close_main
check "nor after the second close" "$(grep -a '^value=' "$FIFTH/myviewer.ini" | tr -d '\r')" "value="

# 6. A shared book on a server on the Linux side: the Windows program connects from the command
# line, shows the clients already there, and whatever the Linux side adds while it runs; what
# it adds reaches the server. Its password comes from the environment (PGPASSWORD).
SIXTH=$WORK/sixth
unpack "$SIXTH"
PGPASSWORD=$(head -c 12 /dev/urandom | base64 | tr '+/' '-_')
export PGPASSWORD
URL=$(MBV_TRY_PASSWORD=$PGPASSWORD scripts/shared-book-server.sh start "$PG_HOME")
PGPORT=$(echo "$URL" | sed 's|.*:\([0-9]*\)/.*|\1|')
sql() { psql -qAt -h "$PG_HOME" -p "$PGPORT" -U postgres -d book -c "$1"; }
on_server() { [ "$(sql "SELECT count(*) FROM mbv_clients WHERE repeater_id = '$1'")" = 1 ]; }
sql "INSERT INTO mbv_clients (name, repeater_id, position) VALUES ('Linux Side Ltd', '777001', 1)"
(cd "$SIXTH" && wine ./MyBrindleViewer.exe --shared-book "$URL" >/dev/null 2>&1) &
PROGRAM=$!
press_notices
waits grep -qsa 'Linux Side Ltd' "$SIXTH/clientlist.txt"
check "the Windows copy shows the shared book, and keeps it in its list files" \
    "$(tr -d '\r' <"$SIXTH/clientlist.txt" 2>&1)" "Linux Side Ltd"
sql "INSERT INTO mbv_clients (name, repeater_id, position) VALUES ('Added on Linux', '777002', 2)"
waits grep -qsa 'Added on Linux' "$SIXTH/clientlist.txt"
check "a client the Linux side adds shows live" \
    "$(tr -d '\r' <"$SIXTH/clientIDlist.txt" 2>&1 | tr '\n' ' ')" "777001 777002 "
main=$(window "My Brindle Viewer v1.0.1.35")
press "$main" ctrl+n
xdotool type --delay 80 "Wine Desk"
xdotool key Tab
xdotool type --delay 80 "424242"
xdotool key Return
waits on_server 424242
check "a client added on Windows reaches the server" \
    "$(sql "SELECT name || ' ' || repeater_id FROM mbv_clients ORDER BY position, row_id" | tr '\n' ',')" \
    "Linux Side Ltd 777001,Added on Linux 777002,Wine Desk 424242,"
close_main
scripts/shared-book-server.sh stop "$PG_HOME"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
