#!/usr/bin/env python3
"""Start-up of the program against its floor (the same window's widgets and the two lists
filled from the same files, nothing else): wall time to the first painted frame and to the
process's end (medians), peak memory, and instructions under callgrind, offscreen and under Xvfb.

Also the very first letter typed after start-up, and the memory a 238 MiB book adds; with a
second build (of an earlier commit, with FirstKeyProgram built in it), the first paint at
100,000 clients and the first letter of each in turn.

Usage: bench/startup.py BUILD_DIR [EARLIER_BUILD_DIR]
       (Release builds configured with -DMBV_BENCH=ON)
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 15


HUGE_ROW = "one 50 MB row"
BIG_BOOK = "a 238 MiB book"
EMPTY_BOOK = "an empty book"


def make_folder(root, rows, build):
    folder = os.path.join(root, str(rows).replace(" ", "-"))
    os.makedirs(folder)
    for name in ("StartupProgram", "FloorProgram", "FilteredStartupProgram"):
        if os.path.exists(os.path.join(build, "bench", name)):
            shutil.copy(os.path.join(build, "bench", name), folder)
    if rows == EMPTY_BOOK:
        # Empty files, not none: a first run's notice would wait for a click.
        for name in ("clientlist.txt", "clientIDlist.txt"):
            open(os.path.join(folder, name), "wb").close()
        return folder
    if rows == BIG_BOOK:
        # 4.4 million clients: 200 MiB of names and 38 MiB of IDs, written in pieces (below).
        with open(os.path.join(folder, "clientlist.txt"), "wb") as names, \
                open(os.path.join(folder, "clientIDlist.txt"), "wb") as ids:
            size, i = 0, 0
            while size < (200 << 20):
                chunk = b"".join(b"Client with a long name, number %d Ltd.\r\n" % n
                                 for n in range(i, i + 10000))
                names.write(chunk)
                ids.write(b"".join(b"%d\r\n" % (1000000 + n) for n in range(i, i + 10000)))
                size += len(chunk)
                i += 10000
        return folder
    if rows == HUGE_ROW:
        # Written in pieces: a child inherits the peak memory of the process it was forked
        # from, and this one must stay small for the children's peaks to be theirs.
        with open(os.path.join(folder, "clientlist.txt"), "wb") as f:
            for _ in range(50):
                f.write(b"x" * (1 << 20))
            f.write(b"\r\n")
        with open(os.path.join(folder, "clientIDlist.txt"), "wb") as f:
            f.write(b"1\r\n")
        return folder
    with open(os.path.join(folder, "clientlist.txt"), "wb") as f:
        f.write(b"".join(b"Client number %d Ltd\r\n" % i for i in range(rows)))
    with open(os.path.join(folder, "clientIDlist.txt"), "wb") as f:
        f.write(b"".join(b"%d\r\n" % (100000 + i) for i in range(rows)))
    with open(os.path.join(folder, "myviewer.ini"), "wb") as f:
        f.write(b"[port]\r\nviewer=5901\r\n")
    return folder


def run(exe, env, painted=None):
    """Milliseconds to the process's end and its peak memory in MiB; with a list for painted,
    the milliseconds to its first painted frame go there (the programs print the monotonic
    clock at that frame)."""
    start = time.monotonic()
    proc = subprocess.Popen([exe], env=env, cwd=os.path.dirname(exe),
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.monotonic() - start
    if status != 0:
        raise SystemExit(f"{exe} ended with status {status}")
    if painted is not None:
        for line in out.decode().splitlines():
            if line.startswith("painted "):
                painted.append((float(line.split()[1]) - start) * 1000)
    return elapsed * 1000, usage.ru_maxrss / 1024


def measure(folder, env):
    """Per program: median milliseconds to the first painted frame, peak MiB, median
    milliseconds to the end."""
    results = {}
    names = ("StartupProgram", "FloorProgram")
    painted = {name: [] for name in names}
    ended = {name: [] for name in names}
    rss = {name: 0 for name in names}
    run(os.path.join(folder, "FloorProgram"), env)  # warm the caches
    for _ in range(RUNS):
        for name in names:
            ms, mib = run(os.path.join(folder, name), env, painted[name])
            ended[name].append(ms)
            rss[name] = max(rss[name], mib)
    for name in names:
        results[name] = (statistics.median(painted[name]), rss[name],
                         statistics.median(ended[name]))
    return results


def instructions(exe, env):
    out = tempfile.mktemp(suffix=".callgrind")
    subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", exe],
                   env=env, cwd=os.path.dirname(exe), check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out) as f:
        for line in f:
            if line.startswith("summary:") or line.startswith("totals:"):
                total = int(line.split()[1])
    os.remove(out)
    return total


def big_book_memory(root, build, env):
    """The memory a book adds to the program: its peak with a 238 MiB book less its peak with
    an empty one, against the files' size."""
    empty = make_folder(root, EMPTY_BOOK, build)
    big = make_folder(root, BIG_BOOK, build)
    size = sum(os.path.getsize(os.path.join(big, f)) for f in ("clientlist.txt", "clientIDlist.txt"))
    exe = "StartupProgram"
    base = min(run(os.path.join(empty, exe), env)[1] for _ in range(3))
    peaks = sorted(run(os.path.join(big, exe), env)[1] for _ in range(3))
    added = peaks[1] - base
    print(f"offscreen, {BIG_BOOK}: files {size / 2**20:.0f} MiB, peak {peaks[1]:.0f} MiB "
          f"(empty book {base:.0f} MiB): adds {added:.0f} MiB, x{added / (size / 2**20):.2f} "
          f"the files' size")
    shutil.rmtree(big)


def first_key(folder, builds, env, runs=15):
    """The very first letter after start-up, to its first event-loop pass and to the views'
    layout done, each build in turn."""
    programs = []
    for i, build in enumerate(builds):
        exe = os.path.join(folder, f"FirstKeyProgram{i}")
        shutil.copy(os.path.join(build, "bench", "FirstKeyProgram"), exe)
        programs.append(exe)
    samples = [[] for _ in programs]
    for _ in range(runs):
        for i, exe in enumerate(programs):
            out = subprocess.run([exe], env=env, cwd=folder, check=True, capture_output=True,
                                 text=True).stdout.split()
            samples[i].append((float(out[0]), float(out[1])))
    medians = []
    for i, build in enumerate(builds):
        first = statistics.median(s[0] for s in samples[i])
        laid = statistics.median(s[1] for s in samples[i])
        spread = sorted(s[0] for s in samples[i])
        medians.append((first, laid))
        print(f"  {build}: first pass {first:6.2f} ms (spread {spread[1]:.2f}-{spread[-2]:.2f}), "
              f"laid out {laid:6.2f} ms")
    if len(builds) == 2:
        print(f"  this build against the earlier: first pass x{medians[0][0] / medians[1][0]:.2f}, "
              f"laid out x{medians[0][1] / medians[1][1]:.2f}")


def report(label, results):
    program, floor = results["StartupProgram"], results["FloorProgram"]
    print(f"{label:34} to first paint: program {program[0]:6.1f} ms, floor {floor[0]:6.1f} ms, "
          f"x{program[0] / floor[0]:.2f} | to the end: x{program[2] / floor[2]:.2f} | "
          f"memory +{program[1] - floor[1]:.1f} MiB")


def against_earlier(root, build, earlier, rows, env):
    """First paint of this build's program against an earlier build's, on the same book, run
    in turn: the median of each and their ratio."""
    folders = []
    for index, each in enumerate([build] + earlier):
        folder = make_folder(os.path.join(root, f"build{index}"), rows, each)
        folders.append(os.path.join(folder, "StartupProgram"))
    painted = [[] for _ in folders]
    for exe in folders:
        run(exe, env)  # warm the caches
    for _ in range(RUNS * 2):
        for exe, times in zip(folders, painted):
            run(exe, env, times)
    medians = [statistics.median(times) for times in painted]
    print(f"offscreen, {rows} clients, first paint against the earlier build: "
          f"{medians[0]:6.1f} ms vs {medians[1]:6.1f} ms, x{medians[0] / medians[1]:.3f}")


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build-bench")
    earlier = [os.path.abspath(sys.argv[2])] if len(sys.argv) > 2 else []
    root = tempfile.mkdtemp(prefix="mbv-startup-")
    try:
        folders = {rows: make_folder(root, rows, build) for rows in (1000, 100000)}
        offscreen = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        if earlier:
            against_earlier(root, build, earlier, 100000, offscreen)
        for rows, folder in folders.items():
            report(f"offscreen, {rows} clients", measure(folder, offscreen))
        if os.path.exists(os.path.join(build, "bench", "FirstKeyProgram")):
            for rows, folder in folders.items():
                print(f"offscreen, {rows} clients, the very first letter after start-up:")
                first_key(folder, [build] + earlier, offscreen)
        filtered = os.path.join(folders[100000], "FilteredStartupProgram")
        if os.path.exists(filtered):
            peak = max(run(filtered, offscreen)[1] for _ in range(5))
            print(f"offscreen, 100000 clients, filter active: peak {peak:6.1f} MiB")
        huge = make_folder(root, HUGE_ROW, build)
        report(f"offscreen, {HUGE_ROW}", measure(huge, offscreen))
        big_book_memory(root, build, offscreen)

        xvfb = subprocess.Popen(["Xvfb", ":97", "-screen", "0", "1024x768x24"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        try:
            x11 = dict(os.environ, DISPLAY=":97", QT_QPA_PLATFORM="xcb")
            for rows, folder in folders.items():
                report(f"Xvfb, {rows} clients", measure(folder, x11))
        finally:
            xvfb.terminate()

        if shutil.which("valgrind"):
            folder = folders[1000]
            program = instructions(os.path.join(folder, "StartupProgram"), offscreen)
            floor = instructions(os.path.join(folder, "FloorProgram"), offscreen)
            print(f"callgrind, offscreen, 1000 clients: program {program:,} floor {floor:,} "
                  f"instructions, x{program / floor:.2f}")
    finally:
        shutil.rmtree(root)


if __name__ == "__main__":
    main()
