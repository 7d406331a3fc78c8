#!/usr/bin/env python3
"""Times velmora-cli against the tools users would otherwise pick, side by side.

Generates the inputs, runs velmora-cli, transmission-show (Debian transmission-cli)
and libtorrent's Python bindings (Debian python3-libtorrent) where installed, and
the floor: one process that reads the info bytes and hashes them (`openssl sha1`).
Prints median wall time and peak memory of each whole process, and the ratios.

    bench/peers.py [--cli build/velmora-cli] [--runs 11] [--work DIR]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def benc(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(benc(v) for v in value) + b"e"
    if isinstance(value, dict):
        out = [b"d"]
        for key in sorted(value, key=lambda k: k.encode() if isinstance(k, str) else k):
            out.append(benc(key))
            out.append(benc(value[key]))
        out.append(b"e")
        return b"".join(out)
    raise TypeError(type(value))


def torrent(info):
    """Returns (whole file, raw info bytes)."""
    info_bytes = benc(info)
    head = benc({"announce": "http://tracker.example.org:6969/announce",
                 "comment": "bench", "creation date": 1700000000})
    # Splice the info value into the root dictionary in key order ("info" sorts last here).
    return head[:-1] + b"4:info" + info_bytes + b"e", info_bytes


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
        return torrent({"name": "Typical torrent %d" % i, "piece length": 262144,
                        "files": [{"length": 50_000_000 + i, "path": ["video.mkv"]},
                                  {"length": 1234, "path": ["readme.txt"]}],
                        "pieces": pseudo_random(20 * pieces_for(50_001_234 + i, 262144),
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


def measure(argv_list, runs):
    """Median wall seconds and median peak RSS (MB) of running every argv in turn."""
    times, peaks = [], []
    for _ in range(runs):
        start = time.perf_counter()
        peak = 0
        for argv in argv_list:
            proc = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, status, usage = os.wait4(proc.pid, 0)
            if os.waitstatus_to_exitcode(status) != 0:
                raise RuntimeError("failed: %s" % " ".join(argv[:3]))
            peak = max(peak, usage.ru_maxrss / 1024.0)
        times.append(time.perf_counter() - start)
        peaks.append(peak)
    return statistics.median(times), statistics.median(peaks)


LIBTORRENT = ("import sys, libtorrent as lt\n"
              "out = []\n"
              "for f in sys.argv[1:]:\n"
              "    out.append(lt.make_magnet_uri(lt.torrent_info(f)))\n"
              "sys.stdout.write('\\n'.join(out))\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "velmora-cli"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--work")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="velmora-peers-")
    os.makedirs(work, exist_ok=True)
    print("generating inputs in", work, file=sys.stderr)
    inputs = make_inputs(work)

    transmission = shutil.which("transmission-show")
    system_python = "/usr/bin/python3"
    have_lt = subprocess.run([system_python, "-c", "import libtorrent"],
                             capture_output=True).returncode == 0 if os.path.exists(system_python) else False
    openssl = shutil.which("openssl")

    rows = []
    for label, paths in inputs.items():
        batch = len(paths) > 1
        tools = {}
        tools["velmora-cli"] = [[args.cli] + paths]
        if transmission:
            tools["transmission-show"] = [[transmission, p] for p in paths]
        if have_lt:
            tools["libtorrent"] = [[system_python, "-c", LIBTORRENT] + paths]
        if openssl:
            tools["floor"] = [[openssl, "sha1"] + [p + ".info" for p in paths]]
        runs = max(3, args.runs // 3) if batch or "64 MB" in label else args.runs
        result = {name: measure(argv, runs) for name, argv in tools.items()}
        rows.append((label, result))
        print("done:", label, file=sys.stderr)

    print("machine: %s, %d cores" % (cpu_model(), os.cpu_count()))
    print("| input | velmora-cli | transmission-show | libtorrent | floor | vs best peer | vs floor |")
    print("|---|---|---|---|---|---|---|")
    for label, result in rows:
        def cell(name):
            if name not in result:
                return "-"
            t, m = result[name]
            return "%.4f s / %.0f MB" % (t, m)
        peers = [result[n][0] for n in ("transmission-show", "libtorrent") if n in result]
        ours = result["velmora-cli"][0]
        vs_peer = "%.2f" % (ours / min(peers)) if peers else "-"
        vs_floor = "%.2f" % (ours / result["floor"][0]) if "floor" in result else "-"
        print("| %s | %s | %s | %s | %s | %s | %s |" % (
            label, cell("velmora-cli"), cell("transmission-show"), cell("libtorrent"),
            cell("floor"), vs_peer, vs_floor))
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
