#!/usr/bin/env python3
"""The shared book's three measures against a real PostgreSQL server:
  1. start-up to the first painted frame with a 10,000-client shared book, against the same book
     from local files (median of 15 runs each, alternating, offscreen), and until the server's
     first rows, then its whole book, are in the window;
  2. an add in one window seen in another: median and 95th percentile over 200 adds;
  3. 20 windows adding 50 clients each at once: nothing lost, the same book everywhere.

Usage: bench/shared_book.py BUILD_DIR [CLIENTS]   (10,000 unless told)
    (a Release build configured with -DMBV_BENCH=ON). The server is MBV_PG_URL (MBV_PG_FOLDER
    its socket folder, PGPASSWORD the password) when set, otherwise a throw-away one started
    with scripts/shared-book-server.sh and stopped at the end.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

RUNS = 15
CLIENTS = 10000
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    build = sys.argv[1]
    global CLIENTS
    CLIENTS = int(sys.argv[2]) if len(sys.argv) > 2 else CLIENTS
    with tempfile.TemporaryDirectory() as scratch:
        os.chmod(scratch, 0o755)
        server = None
        if "MBV_PG_URL" not in os.environ:
            server = os.path.join(scratch, "server")
            os.environ["PGPASSWORD"] = "bench"
            url = subprocess.run([os.path.join(ROOT, "scripts", "shared-book-server.sh"), "start",
                                  server], env=dict(os.environ, MBV_TRY_PASSWORD="bench"),
                                 check=True, capture_output=True, text=True).stdout.strip()
            os.environ["MBV_PG_URL"] = url
            os.environ["MBV_PG_FOLDER"] = server
        try:
            run(build, scratch)
        finally:
            if server:
                subprocess.run([os.path.join(ROOT, "scripts", "shared-book-server.sh"), "stop",
                                server], check=False)


def admin(database, *statements):
    address = urllib.parse.urlsplit(os.environ["MBV_PG_URL"])
    for statement in statements:
        subprocess.run(["psql", "-q", "-h", os.environ["MBV_PG_FOLDER"], "-p", str(address.port),
                        "-U", "postgres", "-d", database, "-v", "ON_ERROR_STOP=1", "-c",
                        statement], check=True, stdout=subprocess.DEVNULL)


def book_url(database):
    address = urllib.parse.urlsplit(os.environ["MBV_PG_URL"])
    return address._replace(path="/" + database).geturl()


def new_book(database):
    user = urllib.parse.urlsplit(os.environ["MBV_PG_URL"]).username
    admin("postgres", f"DROP DATABASE IF EXISTS {database} WITH (FORCE)",
          f"CREATE DATABASE {database} OWNER {user}")
    return book_url(database)


def run(build, scratch):
    folder = os.path.join(scratch, "program")
    os.mkdir(folder, 0o700)
    for name in ("SharedStartupProgram", "SharedBookBench"):
        shutil.copy(os.path.join(build, "bench", name), folder)
    with open(os.path.join(folder, "clientlist.txt"), "wb") as f:
        f.write(b"".join(b"Client number %d Ltd\r\n" % i for i in range(CLIENTS)))
    with open(os.path.join(folder, "clientIDlist.txt"), "wb") as f:
        f.write(b"".join(b"%d\r\n" % (100000 + i) for i in range(CLIENTS)))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=scratch)

    # 1. The same 10,000 clients on the server and in the local copy.
    env["MBV_PG_URL"] = new_book("mbv_bench_startup")
    program = os.path.join(folder, "SharedStartupProgram")
    subprocess.run([program, "--until-book"], cwd=folder, env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    admin("mbv_bench_startup",
          "INSERT INTO mbv_clients (name, repeater_id, position) SELECT 'Shared client ' || i || "
          f"' Ltd', (100000 + i)::text, i FROM generate_series(0, {CLIENTS - 1}) i")
    times = {}
    for _ in range(RUNS):
        # Alternating, so that a busy moment of the machine weighs on all alike.
        for args in (["--local"], [], ["--until-book"]):
            start = time.monotonic()
            out = subprocess.run([program] + args, cwd=folder, env=env, check=True,
                                 capture_output=True, text=True).stdout
            for line in out.splitlines():
                what, at = line.split()
                label = {"--local": "local files", "": "shared"}.get("".join(args[:1]), "")
                if what == "book":
                    label = "shared, until the server's whole book is shown"
                elif what == "first":
                    label = "shared, until the server's first rows are shown"
                elif label == "":
                    continue
                times.setdefault(label, []).append(float(at) - start)
    base = statistics.median(times["local files"])
    print(f"Start-up to the first painted frame with {CLIENTS:,} clients, median of {RUNS}:")
    for label, values in times.items():
        median = statistics.median(values)
        print(f"  {label}: {median * 1000:.1f} ms ({median / base:.2f}x)")

    # 2. and 3.
    for database, mode in (("mbv_bench_latency", "latency"), ("mbv_bench_crowd", "crowd")):
        env["MBV_PG_URL"] = new_book(database)
        subprocess.run([os.path.join(folder, "SharedBookBench"), mode], cwd=folder, env=env,
                       check=True)
    count = subprocess.run(
        ["psql", "-At", "-h", os.environ["MBV_PG_FOLDER"],
         "-p", str(urllib.parse.urlsplit(os.environ["MBV_PG_URL"]).port), "-U", "postgres",
         "-d", "mbv_bench_crowd", "-c", "SELECT count(*), count(DISTINCT name) FROM mbv_clients"],
        check=True, capture_output=True, text=True).stdout.strip()
    print(f"  on the server: {count.replace('|', ' rows, ')} distinct names")
    for database in ("mbv_bench_startup", "mbv_bench_latency", "mbv_bench_crowd"):
        admin("postgres", f"DROP DATABASE {database} WITH (FORCE)")


if __name__ == "__main__":
    main()
