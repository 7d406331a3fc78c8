#!/usr/bin/env python3
"""Times velmora-cli --files-from over many typical torrents, side by side.

Generates N typical torrents (about 2 KB each, as in peers.py), writes their paths
into one list, then measures in turns, run by run:

  velmora-cli --files-from LIST          the bare links
  velmora-cli --full --files-from LIST   the full links
  floor                                  xargs -a LIST cat: reading the same files
                                         and nothing else
  libtorrent                             one Python process (Debian python3-libtorrent)
                                         that reads the list and prints
                                         make_magnet_uri of each file, where installed
  transmission-show                      one process per file, only with
                                         --with-transmission (N process starts a run)

Prints the median wall time and the median peak resident memory of each, and the
ratios of velmora-cli against the floor and the best peer.

    bench/batch.py [--cli build/velmora-cli] [--count 100000] [--runs 5] [--work DIR]

Goals: velmora-cli --files-from at most 1.5 x the floor, a peak under 10 MB.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import peers  # noqa: E402  (the generator, the runner and peak.c are shared)

LIBTORRENT_LOOP = ("import sys, libtorrent as lt\n"
                   "out = sys.stdout\n"
                   "with open(sys.argv[1], 'rb') as paths:\n"
                   "    for line in paths:\n"
                   "        path = line.rstrip(b'\\n').decode()\n"
                   "        out.write(lt.make_magnet_uri(lt.torrent_info(path)) + '\\n')\n")


def typical(i):
    return peers.torrent({"name": "Typical torrent %d" % i, "piece length": 524288,
                          "files": [{"length": 50_000_000 + i, "path": ["video.mkv"]},
                                    {"length": 1234, "path": ["readme.txt"]}],
                          "pieces": peers.pseudo_random(
                              20 * peers.pieces_for(50_001_234 + i, 524288), seed=i)})[0]


def make_inputs(work, count):
    """The torrents, a thousand to a folder, and the list of their paths."""
    listing = os.path.join(work, "list.txt")
    if os.path.exists(listing):
        with open(listing) as f:
            if sum(1 for _ in f) == count:
                return listing
    paths = []
    for i in range(count):
        folder = os.path.join(work, "t%03d" % (i // 1000))
        if i % 1000 == 0:
            os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, "%06d.torrent" % i)
        with open(path, "wb") as f:
            f.write(typical(i))
        paths.append(path)
    with open(listing, "w") as f:
        f.write("".join(p + "\n" for p in paths))
    return listing


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--cli", default=os.path.join(here, "..", "build", "velmora-cli"))
    parser.add_argument("--count", type=int, default=100_000)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", help="keep the generated torrents in this folder")
    parser.add_argument("--with-transmission", action="store_true",
                        help="also time transmission-show, one process per file")
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        parser.error("no velmora-cli at %s (build it, or pass --cli)" % args.cli)

    work = args.work or tempfile.mkdtemp(prefix="velmora-batch-")
    os.makedirs(work, exist_ok=True)
    print("generating %d torrents in %s" % (args.count, work), file=sys.stderr)
    listing = make_inputs(work, args.count)
    peak = peers.build_peak(work)
    cli = os.path.abspath(args.cli)

    tools = {
        "velmora-cli --files-from": [[cli, "--files-from", listing]],
        "velmora-cli --full --files-from": [[cli, "--full", "--files-from", listing]],
        "floor (xargs cat)": [[shutil.which("xargs"), "-d", "\\n", "-a", listing, "cat"]],
    }
    system_python = "/usr/bin/python3"
    if os.path.exists(system_python) and subprocess.run(
            [system_python, "-c", "import libtorrent"], capture_output=True).returncode == 0:
        tools["libtorrent loop"] = [[system_python, "-c", LIBTORRENT_LOOP, listing]]
    transmission = shutil.which("transmission-show")
    if args.with_transmission and transmission:
        with open(listing) as f:
            tools["transmission-show"] = [[transmission, line.rstrip("\n")] for line in f]

    # One round unmeasured, so that every tool finds the files in the page cache.
    peers.measure(peak, tools, 1)
    result = peers.measure(peak, tools, args.runs)
    for name, value in result.items():
        if value is None:
            sys.exit("%s failed on the batch" % name)

    floor = result["floor (xargs cat)"][0]
    peer_names = [n for n in ("libtorrent loop", "transmission-show") if n in result]
    best_peer = min((result[n][0] for n in peer_names), default=None)
    print("machine: %s, %d cores; %d typical torrents, median of %d runs"
          % (peers.cpu_model(), os.cpu_count(), args.count, args.runs))
    print("| tool | wall time | peak memory | vs floor | vs best peer |")
    print("|---|---|---|---|---|")
    for name, (seconds, mb) in result.items():
        vs_peer = "%.2f" % (seconds / best_peer) if best_peer else "-"
        print("| %s | %.3f s | %.1f MB | %.2f | %s |" % (name, seconds, mb, seconds / floor, vs_peer))
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
