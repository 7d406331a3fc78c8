#!/usr/bin/env python3
"""velmora-cli.exe under Wine against the Linux velmora-cli on the three huge inputs.

    bench/wine_vs_linux.py [--cli build/velmora-cli] [--exe build-win/tree/velmora-cli.exe]
                           [--runs 5] [--work DIR]

Makes the inputs of peers.py (a torrent of 1,000,000 pieces, one of 100,000 files,
an info dictionary of 64 MB), then times each program on each, taking turns, and
Wine's own start (velmora-cli.exe --version). Prints the median wall times and the
ratio of the Windows program's time less Wine's start to the Linux time; the goal
is at most 1.5. Uses the Wine prefix of tools/windows-test.sh (build-win/wine).

The Linux build backs its big string bodies with 2 MiB pages, which a Windows
program cannot ask for without a privilege; on a virtual machine, where the first
write to each small page is dear, that alone can make the Linux build several
times faster on the inputs with a big "pieces". The last column therefore also
times the Linux build with huge pages switched off for its process
(PR_SET_THP_DISABLE): the same memory as the Windows program gets.
"""

import argparse
import ctypes
import os
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
from peers import make_inputs  # noqa: E402

HUGE = ["a torrent of 1,000,000 pieces (20 MB)", "a torrent of 100,000 files", "an info dictionary of 64 MB"]


def no_huge_pages():
    PR_SET_THP_DISABLE = 41
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0)


def wall(argv, env=None, small_pages=False):
    start = time.perf_counter()
    result = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                            preexec_fn=no_huge_pages if small_pages else None)
    seconds = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit("%s failed with %d" % (" ".join(argv), result.returncode))
    return seconds


def main():
    root = os.path.join(here, "..")
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", default=os.path.join(root, "build", "velmora-cli"))
    parser.add_argument("--exe", default=os.path.join(root, "build-win", "tree", "velmora-cli.exe"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", help="keep the generated inputs in this folder")
    args = parser.parse_args()
    env = dict(os.environ, WINEPREFIX=os.path.abspath(os.path.join(root, "build-win", "wine")), WINEDEBUG="-all")
    env.pop("DISPLAY", None)
    subprocess.run(["wineserver", "-p", "60"], env=env, check=False)
    work = args.work or tempfile.mkdtemp(prefix="velmora-wine-bench-")
    os.makedirs(work, exist_ok=True)
    inputs = make_inputs(work)
    wall(["wine", args.exe, "--version"], env)  # the server and its services up once
    starts = [wall(["wine", args.exe, "--version"], env) for _ in range(args.runs)]
    start = statistics.median(starts)
    print("Wine's start (velmora-cli.exe --version): %.3f s" % start)
    print("%-40s %10s %10s %10s %20s %26s" % ("input", "Linux s", "Wine s", "Linux 4K s", "(Wine-start)/Linux",
                                               "(Wine-start)/Linux 4K"))
    for label in HUGE:
        path = inputs[label][0]
        linux, windows, small = [], [], []
        for _ in range(args.runs):
            linux.append(wall([args.cli, "--full", path]))
            windows.append(wall(["wine", args.exe, "--full", path], env))
            small.append(wall([args.cli, "--full", path], small_pages=True))
        lm, wm, sm = statistics.median(linux), statistics.median(windows), statistics.median(small)
        print("%-40s %10.3f %10.3f %10.3f %20.2f %26.2f" % (label, lm, wm, sm, max(wm - start, 0) / lm,
                                                           max(wm - start, 0) / sm))
    subprocess.run(["wineserver", "-k"], env=env, check=False)


if __name__ == "__main__":
    main()
