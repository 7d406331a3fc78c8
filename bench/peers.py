#!/usr/bin/env python3
"""Times velmora-cli against the tools users would otherwise pick, side by side.

Generates the inputs, runs velmora-cli, transmission-show (Debian transmission-cli)
and libtorrent's Python bindings (Debian python3-libtorrent) where installed, and
the floor: one process that reads the info bytes and hashes them (`openssl sha1`).
Prints median wall time and peak memory of each whole process, and the ratios.
The tools take turns run by run, so that a busy machine slows all of them alike.

    bench/peers.py [--cli build/velmora-cli] [--runs 11] [--work DIR] [--only TEXT]
                   [--compare OTHER-velmora-cli]

--compare adds another build of velmora-cli (an older one, say) to the same turns,
so that a change is measured before and after side by side in one run.

Goals: velmora-cli at most 0.5 x the best peer's time on each single file, 0.8 x
on the batch of 2,000 (one velmora-cli call), at most 1.5 x the floor on the
million pieces and the 64 MB info, and a peak no higher than the best peer's.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from bencode import Raw, bencode  # noqa: E402


def torrent(info):
    """Returns (whole file, raw info bytes)."""
    info_bytes = bencode(info)
    return bencode({"announce": "http://tracker.example.org:6969/announce", "comment": "bench",
                    "creation date": 1700000000, "info": Raw(info_bytes)}), info_bytes


def pseudo_random(n, seed=1):
    # Fast deterministic filler; hashes need not be real for a decoder benchmark.
    block = bytes((i * 131 + seed * 17) & 0xFF for i in range(4096))
    reps, rest = divmod(n, len(block))
    return block * reps + block[:rest]


def pieces_for(total, piece_length):
    return (total + piece_length - 1) // piece_length


def make_inputs(work):
    inputs = {}

    def write(name, data, info):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        with open(path + ".info", "wb") as f:
            f.write(info)
        return path

    data, info = torrent({"name": "million.bin", "piece length": 16384,
                          "length": 16384 * 1_000_000,
                          "pieces": pseudo_random(20 * 1_000_000)})
    inputs["a torrent of 1,000,000 pieces (20 MB)"] = [write("million.torrent", data, info)]

    files = [{"length": 1000 + i, "path": ["dir%d" % (i // 1000), "file%06d.dat" % i]}
             for i in range(100_000)]
    total = sum(f["length"] for f in files)
    data, info = torrent({"name": "many", "piece length": 1 << 20, "files": files,
                          "pieces": pseudo_random(20 * pieces_for(total, 1 << 20))})
    inputs["a torrent of 100,000 files"] = [write("files.torrent", data, info)]

    data, info = torrent({"name": "big.bin", "piece length": 16384,
                          "length": 16384 * 3_355_440,
                          "pieces": pseudo_random(20 * 3_355_440)})
    inputs["an info dictionary of 64 MB"] = [write("big.torrent", data, info)]

    def typical(i):
        return torrent({"name": "Typical torrent %d" % i, "piece length": 524288,
                        "files": [{"length": 50_000_000 + i, "path": ["video.mkv"]},
                                  {"length": 1234, "path": ["readme.txt"]}],
                        "pieces": pseudo_random(20 * pieces_for(50_001_234 + i, 524288),
                                                seed=i)})

    data, info = typical(0)
    inputs["one typical torrent (2 KB)"] = [write("typical.torrent", data, info)]

    batch = os.path.join(work, "batch")
    os.makedirs(batch, exist_ok=True)
    paths = []
    for i in range(2000):
        data, info = typical(i)
        path = os.path.join(batch, "t%04d.torrent" % i)
        with open(path, "wb") as f:
            f.write(data)
        with open(path + ".info", "wb") as f:
            f.write(info)
        paths.append(path)
    inputs["2,000 typical torrents"] = paths
    return inputs


class Refused(Exception):
    """The tool ended with a failure status on an input: it does not read it."""


def build_peak(work):
    """Compiles bench/peak.c, the runner that measures each command, into work."""
    here = os.path.dirname(os.path.abspath(__file__))
    exe = os.path.join(work, "peak")
    cc = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if not cc:
        sys.exit("peers.py needs a C compiler for bench/peak.c")
    subprocess.run([cc, "-O2", "-Wall", "-o", exe, os.path.join(here, "peak.c")], check=True)
    return exe


def run_once(peak, argv_list):
    """Wall seconds and peak RSS (MB) of running every argv in turn, one process each.

    The commands run under bench/peak.c, a small process: one started straight
    from this script would inherit this script's own high-water mark as its peak.
    """
    argv = [peak]
    for i, command in enumerate(argv_list):
        if i:
            argv.append("--then")
        argv.extend(command)
    out = subprocess.run(argv, stdout=subprocess.PIPE, check=True).stdout.split()
    seconds, kib, status = float(out[0]), int(out[1]), int(out[2])
    if status != 0:
        raise Refused(" ".join(argv_list[0][:3]))
    return seconds, kib / 1024.0


def measure(peak, tools, runs):
    """Median wall time and median peak of each tool on one input.

    The tools take turns run by run, so that load from elsewhere on the machine
    falls on all of them alike and the ratios stay fair. A tool that refuses the
    input is dropped from the rest of the runs and reported as None.
    """
    samples = {name: [] for name in tools}
    refused = set()
    for _ in range(runs):
        for name, argv_list in tools.items():
            if name in refused:
                continue
            try:
                samples[name].append(run_once(peak, argv_list))
            except Refused:
                refused.add(name)
    result = {}
    for name in tools:
        if name in refused:
            result[name] = None
        else:
            result[name] = (statistics.median(t for t, _ in samples[name]),
                            statistics.median(m for _, m in samples[name]))
    return result


# By default libtorrent refuses a file of more than 10 MB ("metadata too large"),
# so the million pieces and the 64 MB info would not count; its limits are
# raised far above every input here. An input it still refuses ends the script
# with status 3, which the table shows as "refuses".
LIBTORRENT = ("import sys, libtorrent as lt\n"
              "limits = {'max_buffer_size': 1 << 30, 'max_pieces': 1 << 26,\n"
              "          'max_decode_depth': 100, 'max_decode_tokens': 1 << 28}\n"
              "out = []\n"
              "try:\n"
              "    for f in sys.argv[1:]:\n"
              "        out.append(lt.make_magnet_uri(lt.torrent_info(f, limits)))\n"
              "except RuntimeError:\n"
              "    sys.exit(3)\n"
              "sys.stdout.write('\\n'.join(out))\n")

PEERS = ("transmission-show", "libtorrent")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "velmora-cli"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--work", help="keep the generated inputs in this folder")
    parser.add_argument("--only", help="measure only the inputs whose label contains this text")
    parser.add_argument("--compare", help="another velmora-cli to time in the same turns, as its own row")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        parser.error("no velmora-cli at %s (build it, or pass --cli)" % args.cli)

    work = args.work or tempfile.mkdtemp(prefix="velmora-peers-")
    os.makedirs(work, exist_ok=True)
    print("generating inputs in", work, file=sys.stderr)
    inputs = make_inputs(work)
    peak = build_peak(work)
    cli = os.path.abspath(args.cli)

    transmission = shutil.which("transmission-show")
    system_python = "/usr/bin/python3"
    have_lt = os.path.exists(system_python) and subprocess.run(
        [system_python, "-c", "import libtorrent"], capture_output=True).returncode == 0
    openssl = shutil.which("openssl")

    rows = []
    for label, paths in inputs.items():
        if args.only and args.only not in label:
            continue
        batch = len(paths) > 1
        tools = {"velmora-cli": [[cli] + paths]}
        if args.compare:
            tools["compared"] = [[os.path.abspath(args.compare)] + paths]
        if transmission:
            # It reads one file a call: the batch costs one process per file.
            tools["transmission-show"] = [[transmission, p] for p in paths]
        if have_lt:
            tools["libtorrent"] = [[system_python, "-c", LIBTORRENT] + paths]
        if openssl:
            tools["floor"] = [[openssl, "sha1"] + [p + ".info" for p in paths]]
        # The batch takes transmission-show two thousand process starts a run.
        runs = max(3, args.runs // 3) if batch else args.runs
        result = measure(peak, tools, runs)
        if result["velmora-cli"] is None:
            sys.exit("velmora-cli failed on: %s" % label)
        rows.append((label, result))
        print("done:", label, file=sys.stderr)

    print("machine: %s, %d cores" % (cpu_model(), os.cpu_count()))
    print("median wall time / median peak resident memory of the whole process(es)")
    print("| input | velmora-cli | transmission-show | libtorrent | floor "
          "| time vs best peer | time vs floor | memory vs best peer |")
    print("|---|---|---|---|---|---|---|---|")
    shown = [("velmora-cli", "")]
    if args.compare:
        shown.append(("compared", " (compared: %s)" % args.compare))
    for (label, result), (ours, note) in ((r, o) for r in rows for o in shown):
        def cell(name):
            if name not in result:
                return "not installed"
            if result[name] is None:
                return "refuses"
            t, m = result[name]
            return "%.4f s / %.1f MB" % (t, m)
        if result.get(ours) is None:
            continue
        ours_t, ours_m = result[ours]
        peers = [result[n] for n in PEERS if result.get(n)]
        vs_peer = "%.2f" % (ours_t / min(t for t, _ in peers)) if peers else "-"
        vs_mem = "%.2f" % (ours_m / min(m for _, m in peers)) if peers else "-"
        vs_floor = "%.2f" % (ours_t / result["floor"][0]) if result.get("floor") else "-"
        print("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label + note, cell(ours), cell("transmission-show"), cell("libtorrent"),
            cell("floor"), vs_peer, vs_floor, vs_mem))
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


if __name__ == "__main__":
    main()
