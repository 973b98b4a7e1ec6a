#!/usr/bin/env python3
"""Start-up to the first painted frame with "Keep it in the system keyring" on and a keyring
that answers after two seconds, against the program as it starts without it (median of 15
runs each, offscreen, the same book of 300 clients and a settings file with "Store Password").

Usage: bench/keyring_startup.py BUILD_DIR [BASELINE_BUILD_DIR]
    (Release builds configured with -DMBV_BENCH=ON; the baseline's StartupProgram, from a tree
    before the keyring, is measured in the same run)
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 15


def main():
    build = sys.argv[1]
    programs = ["StartupProgram", "KeyringStartupProgram"]
    with tempfile.TemporaryDirectory() as root:
        os.chmod(root, 0o700)
        for name in programs:
            shutil.copy(os.path.join(build, "bench", name), root)
        if len(sys.argv) > 2:
            shutil.copy(os.path.join(sys.argv[2], "bench", "StartupProgram"),
                        os.path.join(root, "BaselineProgram"))
            programs.insert(0, "BaselineProgram")
        with open(os.path.join(root, "clientlist.txt"), "wb") as f:
            f.write(b"".join(b"Client number %d Ltd\r\n" % i for i in range(300)))
        with open(os.path.join(root, "clientIDlist.txt"), "wb") as f:
            f.write(b"".join(b"%d\r\n" % (100000 + i) for i in range(300)))
        settings = b"[password]\r\nvalue=\r\nstore=1\r\n"
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=root)
        times = {}
        for run in range(RUNS):
            # Alternating, so that a busy moment of the machine weighs on both alike.
            for name in programs:
                with open(os.path.join(root, "myviewer.ini"), "wb") as f:
                    f.write(settings)
                start = time.perf_counter()
                subprocess.run([os.path.join(root, name)], cwd=root, env=env, check=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                times.setdefault(name, []).append(time.perf_counter() - start)
        base = statistics.median(times[programs[0]])
        for name, label in (("BaselineProgram", "the baseline"),
                            ("StartupProgram", "no keyring chosen"),
                            ("KeyringStartupProgram", "keyring answering after 2 s")):
            if name in times:
                median = statistics.median(times[name])
                print(f"{label}: {median * 1000:.1f} ms ({median / base:.2f}x)")


if __name__ == "__main__":
    main()
