#!/usr/bin/env bash
# A throw-away PostgreSQL server for a first try of a shared book, and for the tests:
#   scripts/shared-book-server.sh start FOLDER [PORT]   makes (once) and starts a server in FOLDER
#   scripts/shared-book-server.sh stop FOLDER           stops it
#   scripts/shared-book-server.sh restart FOLDER        starts a stopped one again
# It listens on 127.0.0.1 only, takes connections encrypted only (a self-signed certificate:
# sslmode=require), and has a database "book" with three users: "technician" (owns the book),
# "colleague" (may edit) and "trainee" (may only read), each with the password "try-it" unless
# MBV_TRY_PASSWORD says otherwise. Run as root, the server runs as the user "nobody".
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
action=${1:-}
folder=${2:-}
if [ -z "$action" ] || [ -z "$folder" ]; then
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
fi
if [ "$action" = start ] && ! ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
    source "$ROOT/scripts/setup.sh"
    ensure_packages postgresql openssl
fi
cd /
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
data=$folder/data

# PostgreSQL refuses to run as root.
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody:nogroup "$folder"
    as_owner=(setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env)
fi
run() { "${as_owner[@]}" env PATH="$bin:/usr/bin:/bin" "$@"; }
pg_ctl() { run pg_ctl -D "$data" -l "$folder/server.log" -w -t 60 "$@"; }

case "$action" in
stop)
    [ -f "$data/postmaster.pid" ] && pg_ctl stop -m fast >/dev/null
    exit 0 ;;
restart)
    pg_ctl start >/dev/null
    exit 0 ;;
start) ;;
*)
    echo "Unknown action: $action" >&2
    exit 2 ;;
esac

password=${MBV_TRY_PASSWORD:-try-it}
if [ ! -f "$data/PG_VERSION" ]; then
    port=${3:-$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
    run initdb -D "$data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
        -E UTF8 --locale=C.UTF-8 >"$folder/initdb.log"
    run openssl req -new -x509 -days 30 -nodes -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 \
        -keyout "$data/server.key" -out "$data/server.crt" >/dev/null 2>&1
    chmod 600 "$data/server.key"
    cat >>"$data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$folder'
ssl = on
CONF
    # Local socket for the admin; over the network, encrypted with a password or not at all.
    cat >"$data/pg_hba.conf" <<HBA
local     all all                trust
hostssl   all all 127.0.0.1/32   scram-sha-256
hostnossl all all 127.0.0.1/32   reject
HBA
    pg_ctl start >/dev/null
    psql=(run psql -h "$folder" -p "$port" -U postgres -v ON_ERROR_STOP=1 -q)
    "${psql[@]}" -d postgres -c "CREATE ROLE technician LOGIN CREATEROLE PASSWORD '$password'" \
        -c "CREATE ROLE colleague LOGIN PASSWORD '$password'" \
        -c "CREATE ROLE trainee LOGIN PASSWORD '$password'" \
        -c "CREATE DATABASE book OWNER technician"
    # The tables and the editor and reader roles as an admin makes them by hand.
    run psql -h "$folder" -p "$port" -U technician -d book -v ON_ERROR_STOP=1 -q \
        -f - <"$ROOT/scripts/shared-book.sql"
    "${psql[@]}" -d book -c "GRANT mbv_editor TO colleague" -c "GRANT mbv_reader TO trainee"
else
    port=$(sed -n 's/^port = \([0-9]*\)$/\1/p' "$data/postgresql.conf" | tail -1)
    [ -f "$data/postmaster.pid" ] || pg_ctl start >/dev/null
fi
echo "postgresql://technician@127.0.0.1:$port/book?sslmode=require"
