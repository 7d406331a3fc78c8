#!/usr/bin/env python3
"""Bounds on hostile metainfo files, measured with the real velmora-cli.

    bench/bounds.py [--cli PATH] [--keep DIR] [--runs N] [--judge wall|cpu] [--only TEXT]

Generates each file in a temporary folder (or DIR), runs velmora-cli on it and
measures the wall time and the peak resident memory of that one process (GNU
time's "Maximum resident set size").
Prints a table and exits with status 1 when any bound fails.

The CLI defaults to $VELMORA_CLI, else build/velmora-cli (tools/test.sh builds it).
Time bounds take the best of --runs runs (3 by default), since the machine may be
busy with other work; memory is the highest peak seen. On a machine shared with
other work, --judge cpu applies the time bounds to the processor time instead.
"""
import argparse
import hashlib
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tools"))
from bencode import bencode, magnet_link as link_of  # noqa: E402

MB = 1 << 20
PARSE_ERROR = "Error parsing file; does not appear to be valid bencoded metainfo"
KILL_AFTER = 60.0  # seconds; a run that takes longer has failed its bound anyway
TIME = "/usr/bin/time"  # GNU time (Debian package "time")


def info_single(name=b"bounds.bin", length=12345, piece_count=3):
    pieces = hashlib.sha1(b"bounds").digest() * piece_count
    return bencode({"length": length, "name": name, "piece length": 262144, "pieces": pieces})


def torrent(info, before=b"", after=b""):
    """The root dictionary around the info bytes; before and after are entries put in as they stand."""
    return (b"d" + bencode("announce") + bencode("http://tracker.example/announce") + before
            + bencode("info") + info + after + b"e")


class Case:
    def __init__(self, name, data, expect_link=None, expect_error=None, max_seconds=None,
                 max_peak_mb=None, max_ratio=None, path=None, note="", args=()):
        self.name = name
        self.args = tuple(args)             # options put before the file
        self.data = data
        self.expect_link = expect_link      # the one line expected on standard output
        self.expect_error = expect_error    # text expected on standard error (exit 1)
        self.max_seconds = max_seconds
        self.max_peak_mb = max_peak_mb
        self.max_ratio = max_ratio          # peak memory over file size
        self.path = path                    # a path to use as it is (not generated)
        self.note = note


def cases():
    out = []
    n = 1_000_000
    out.append(Case("1,000,000 nested lists", b"l" * n + b"e" * n,
                    expect_error=PARSE_ERROR, max_seconds=1.0))
    out.append(Case("1,000,000 nested dictionaries", b"d1:a" * n + b"e" * n,
                    expect_error=PARSE_ERROR, max_seconds=1.0))
    out.append(Case("1,000,000 nested lists, unclosed", b"l" * n,
                    expect_error=PARSE_ERROR, max_seconds=1.0))
    out.append(Case("info nested 1,000,000 deep", torrent(b"d1:a" * n + b"e" * (n + 1)),
                    expect_error=PARSE_ERROR, max_seconds=1.0))

    info = info_single()
    keys = b"".join(b"9:k%08d1:v" % i for i in range(n))
    out.append(Case("1,000,000 distinct keys", torrent(info, before=keys),
                    expect_link=link_of(info), max_seconds=2.0))
    # Every key ends in the same eight bytes, so all share one HashOf value.
    keys = b"".join(b"15:%07dxxxxxxxx1:v" % i for i in range(n))
    out.append(Case("1,000,000 keys, one HashOf", torrent(info, before=keys),
                    expect_link=link_of(info), max_seconds=2.0))

    for declared in (2147483647, 4294967295, 99999999999):
        out.append(Case("string declaring %d bytes" % declared, b"d8:announce%d:abce" % declared,
                        expect_error="", max_peak_mb=50))
        out.append(Case("pieces declaring %d bytes" % declared,
                        torrent(b"d4:name1:x6:pieces%d:" % declared + b"x" * 40),
                        expect_error="", max_peak_mb=50))
    digits = b"9" * 100_000
    out.append(Case("integers of 100,000 digits",
                    torrent(b"d6:lengthi%se4:name1:x12:piece lengthi-%se6:pieces0:e" % (digits, digits),
                            before=b"13:creation datei%se" % digits),
                    expect_link=link_of(b"d6:lengthi%se4:name1:x12:piece lengthi-%se6:pieces0:e"
                                        % (digits, digits)),
                    max_peak_mb=50))
    for start, length in ((0, 2147483647), (0, 4294967295), (0, 99999999999), (2147483647, 2147483647),
                          (-1, 100), (99999999999, 99999999999)):
        out.append(Case("_info_start %d, _info_length %d" % (start, length),
                        torrent(info, after=b"11:_info_starti%de12:_info_lengthi%de" % (start, length)),
                        expect_link=link_of(info), max_peak_mb=50))

    m = 10_000_000
    out.append(Case("10,000,000 empty strings", b"l" + b"0:" * m + b"e",
                    expect_error="Something bad happened", max_ratio=50))
    out.append(Case("10,000,000 zero integers", b"l" + b"i0e" * m + b"e",
                    expect_error="Something bad happened", max_ratio=50))
    out.append(Case("10,000,000 empty lists", b"l" + b"le" * m + b"e",
                    expect_error="Something bad happened", max_ratio=50))
    out.append(Case("10,000,000 empty dictionaries", b"l" + b"de" * m + b"e",
                    expect_error="Something bad happened", max_ratio=50))
    # A tracker tier of empty strings: an empty tracker is no tracker, so nothing
    # beyond the decoded tree may be kept for them, in any output.
    empty_tier = torrent(info, before=bencode("announce-list") + b"ll" + b"0:" * m + b"ee")
    for args in ((), ("--json",), ("--full",)):
        out.append(Case("10,000,000 empty trackers in a tier" + (" " + args[0] if args else ""), empty_tier,
                        expect_link=link_of(info) + ("&dn=bounds.bin&tr=http%3a%2f%2ftracker.example%2fannounce"
                                                     if args == ("--full",) else ""),
                        args=args, max_seconds=5.0, max_ratio=50))
    big = info_single(length=n * 262144, piece_count=n)
    out.append(Case("1,000,000-piece torrent", torrent(big), expect_link=link_of(big),
                    max_seconds=1.0, max_ratio=50))
    files = [{"length": 1, "path": ["d", "f%07d" % i]} for i in range(n // 10)]
    multi = bencode({"files": files, "name": "x", "piece length": 16384, "pieces": b"p" * 20})
    out.append(Case("100,000-file torrent", torrent(multi), expect_link=link_of(multi),
                    max_seconds=1.0, max_ratio=50))

    for name, path in (("a FIFO", "fifo"), ("/dev/zero", "/dev/zero"), ("/dev/urandom", "/dev/urandom"),
                       ("a folder named x.torrent", "x.torrent")):
        out.append(Case(name, None, path=path, expect_error="Cannot open file", max_seconds=1.0))
    return out


def run_measured(cli, path, args=()):
    """One run: exit status, output, error text, wall seconds, peak RSS in bytes,
    processor seconds (user + system).

    The program runs under /usr/bin/time, a small process, so that the peak is the
    program's own and not that of this script, which a fork would carry over."""
    with tempfile.NamedTemporaryFile(prefix="velmora-time-") as report:
        start = time.perf_counter()
        proc = subprocess.Popen([TIME, "-f", "%x %M %U %S", "-o", report.name, cli, *args, path],
                                stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        try:
            out, err = proc.communicate(timeout=KILL_AFTER)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, err = proc.communicate()
        seconds = time.perf_counter() - start
        fields = open(report.name).read().split()
    # GNU time writes "Command exited with non-zero status N" or "Command terminated
    # by signal N" before the format's own line; the last four fields are ours.
    try:
        code, peak_kb, cpu = int(fields[-4]), int(fields[-3]), float(fields[-2]) + float(fields[-1])
    except (IndexError, ValueError):
        code, peak_kb, cpu = -1, 0, 0.0
    if any(f == "signal" for f in fields):
        code = -int(fields[fields.index("signal") + 1])
    return code, out.decode(errors="replace"), err.decode(errors="replace"), seconds, peak_kb * 1024, cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.environ.get("VELMORA_CLI", os.path.join(ROOT, "build", "velmora-cli")))
    parser.add_argument("--keep", help="write the files into this folder and keep them")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--only", help="run only the cases whose name contains this text")
    parser.add_argument("--judge", choices=("wall", "cpu"), default="wall",
                        help="the time that the time bounds apply to; cpu (user + system) for a busy machine")
    args = parser.parse_args()
    if not os.access(TIME, os.X_OK):
        sys.exit("%s not found; install the Debian package \"time\" (tools/deps.sh does)" % TIME)
    if not os.access(args.cli, os.X_OK):
        sys.exit("velmora-cli not found at %s; build it (tools/test.sh) or pass --cli" % args.cli)

    folder = args.keep or tempfile.mkdtemp(prefix="velmora-bounds-")
    os.makedirs(folder, exist_ok=True)
    fifo = os.path.join(folder, "fifo")
    if not os.path.exists(fifo):
        os.mkfifo(fifo)
    os.makedirs(os.path.join(folder, "x.torrent"), exist_ok=True)

    # The baseline: the program's own footprint on a small, good file.
    small = os.path.join(folder, "small.torrent")
    with open(small, "wb") as f:
        f.write(torrent(info_single()))
    baseline = max(run_measured(args.cli, small)[4] for _ in range(3))

    rows, failures = [], 0
    total_start = time.perf_counter()
    try:
        for i, case in enumerate(c for c in cases() if not args.only or args.only in c.name):
            if case.path is None:
                path = os.path.join(folder, "case%02d.torrent" % i)
                with open(path, "wb") as f:
                    f.write(case.data)
                size = len(case.data)
            else:
                path = case.path if os.path.isabs(case.path) else os.path.join(folder, case.path)
                size = 0
            case.data = None  # let the big ones go before the next is made
            runs = args.runs if case.max_seconds else 1
            results = [run_measured(args.cli, path, case.args) for _ in range(runs)]
            code, out, err = results[0][:3]
            seconds = min(r[3] for r in results)
            peak = max(r[4] for r in results)
            cpu = min(r[5] for r in results)
            problems = []
            if code < 0 or code > 2:
                problems.append("exit %d" % code)
            if case.expect_link is not None:
                got = out.strip()
                if "--json" in case.args:
                    try:
                        got = json.loads(got)["link"]
                    except (ValueError, KeyError, TypeError):
                        pass
                if code != 0 or got != case.expect_link:
                    problems.append("link %r, exit %d, %s" % (out.strip()[:60], code, err.strip()[:80]))
            if case.expect_error is not None:
                if code != 1 or out.strip() or case.expect_error not in err:
                    problems.append("exit %d, error %r" % (code, err.strip()[:100]))
            timed = cpu if args.judge == "cpu" else seconds
            if case.max_seconds is not None and timed >= case.max_seconds:
                problems.append("%.2f s >= %.1f s" % (timed, case.max_seconds))
            if case.max_peak_mb is not None and peak >= case.max_peak_mb * MB:
                problems.append("peak %.1f MB >= %d MB" % (peak / MB, case.max_peak_mb))
            ratio = peak / size if size else None
            if case.max_ratio is not None and ratio >= case.max_ratio:
                problems.append("peak/size %.1f >= %d" % (ratio, case.max_ratio))
            failures += bool(problems)
            rows.append((case.name, size, seconds, cpu, peak, ratio, "ok" if not problems else "FAIL: " + "; ".join(problems)))
            print("%-38s %s" % (case.name, rows[-1][-1]), file=sys.stderr, flush=True)
            if case.path is None:
                os.remove(path)
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)

    print()
    print("velmora-cli: %s; baseline peak on a small file %.1f MB; best of %d runs for timed rows;"
          % (args.cli, baseline / MB, args.runs))
    print("time bounds judged on %s time; load average %.1f on %d processors"
          % ("processor" if args.judge == "cpu" else "wall", os.getloadavg()[0], os.cpu_count()))
    print("%-50s %12s %8s %8s %9s %9s  %s" % ("file", "size", "wall s", "cpu s", "peak MB", "peak/size", "result"))
    for name, size, seconds, cpu, peak, ratio, result in rows:
        print("%-50s %12s %8.3f %8.3f %9.1f %9s  %s" % (
            name, "{:,}".format(size) if size else "-", seconds, cpu, peak / MB,
            "%.1f" % ratio if ratio is not None and size >= MB else "-", result))
    print("%d rows, %d failed, %.0f s in all" % (len(rows), failures, time.perf_counter() - total_start))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
