#!/usr/bin/env python3
"""Start-up to the first painted frame at 100,000 clients with a tag or two and a note of about
200 characters each, against the same book without them: medians of runs taken in turn, and
their ratio.

Usage: bench/notes_startup.py BUILD_DIR   (a Release build configured with -DMBV_BENCH=ON)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 21
CLIENTS = 100000
WORDS = (b"printer driver gate code reception asks for invoice backup server firewall "
         b"restart weekly remote office dana upstairs laptop vpn ticket").split()


def note(i):
    words, size = [], 0
    n = i
    while size < 200:
        word = WORDS[n % len(WORDS)]
        n = n * 7 + 3
        words.append(word)
        size += len(word) + 1
    return b" ".join(words)


def make_folder(root, name, build, notes):
    folder = os.path.join(root, name)
    os.makedirs(folder)
    shutil.copy(os.path.join(build, "bench", "StartupProgram"), folder)
    with open(os.path.join(folder, "clientlist.txt"), "wb") as f:
        f.write(b"".join(b"Client number %d Ltd\r\n" % i for i in range(CLIENTS)))
    with open(os.path.join(folder, "clientIDlist.txt"), "wb") as f:
        f.write(b"".join(b"%d\r\n" % (100000 + i) for i in range(CLIENTS)))
    with open(os.path.join(folder, "myviewer.ini"), "wb") as f:
        f.write(b"[port]\r\nviewer=5901\r\n")
    if notes:
        with open(os.path.join(folder, "clientnotes.txt"), "wb") as f:
            f.write(b"".join(b"Client number %d Ltd\t%d\tvip,site-%d\t%s\r\n"
                             % (i, 100000 + i, i % 50, note(i)) for i in range(CLIENTS)))
    return folder


def painted_ms(exe, env):
    start = time.monotonic()
    out = subprocess.run([exe], env=env, cwd=os.path.dirname(exe), stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=True).stdout.decode()
    for line in out.splitlines():
        if line.startswith("painted "):
            return (float(line.split()[1]) - start) * 1000
    raise SystemExit(f"{exe} printed no first paint")


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    build = os.path.abspath(sys.argv[1])
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    root = tempfile.mkdtemp(prefix="mbv-notes-startup-")
    # The user's settings (sort, favourites) stay out of it.
    env["XDG_CONFIG_HOME"] = os.path.join(root, "config")
    try:
        plain = make_folder(root, "plain", build, False)
        noted = make_folder(root, "noted", build, True)
        size = os.path.getsize(os.path.join(noted, "clientnotes.txt"))
        results = {"plain": [], "noted": []}
        painted_ms(os.path.join(plain, "StartupProgram"), env)  # warm the caches
        painted_ms(os.path.join(noted, "StartupProgram"), env)
        for _ in range(RUNS):
            for name, folder in (("plain", plain), ("noted", noted)):
                results[name].append(painted_ms(os.path.join(folder, "StartupProgram"), env))
        a = statistics.median(results["plain"])
        b = statistics.median(results["noted"])
        print(f"{CLIENTS} clients, first paint (median of {RUNS}, offscreen):")
        print(f"  without notes or tags: {a:.1f} ms")
        print(f"  with a note of ~200 characters and two tags each ({size >> 20} MiB): "
              f"{b:.1f} ms")
        print(f"  ratio: {b / a:.3f}")
    finally:
        shutil.rmtree(root)


if __name__ == "__main__":
    main()
