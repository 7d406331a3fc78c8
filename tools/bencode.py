#!/usr/bin/env python3
"""The bencode writer of the scripts: the fuzz corpus, the benchmarks and the tools
build their torrents with it, so that there is one way values become bytes.

As a module (put tools/ on sys.path or PYTHONPATH):

    bencode(value)      canonical bytes of int, bool, str (UTF-8), bytes, list, dict
                        (keys sorted by their bytes) and Raw
    Raw(data)           bytes placed as they are, for non-canonical pieces
    raw_dict(*pairs)    a dictionary with its keys in the order given
    magnet_link(info)   the btih link of an info dictionary's bytes

As a command, for shell scripts:

    bencode.py single [--announce URL] [--piece-length N] FILE NAME LENGTH PIECES...

writes a single-file torrent with the given name, length and piece bytes (text,
taken as UTF-8) and prints its magnet link; further groups of four make further
torrents, one link a line, in one start of the interpreter.
"""
import argparse
import hashlib
import sys


class Raw:
    """Bytes placed as they are, for non-canonical pieces of a document."""

    def __init__(self, data):
        self.data = data


def bencode(value):
    """Canonical bencoding; dict keys are sorted as bytes."""
    if isinstance(value, bool):
        value = int(value)
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode("utf-8")
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    if isinstance(value, dict):
        items = sorted(((k.encode("utf-8") if isinstance(k, str) else k, v) for k, v in value.items()),
                       key=lambda item: item[0])
        return b"d" + b"".join(bencode(k) + bencode(v) for k, v in items) + b"e"
    if isinstance(value, Raw):
        return value.data
    raise TypeError(type(value))


def raw_dict(*pairs):
    """A dictionary with keys in the order given (not sorted), values bencoded."""
    out = b"d"
    for key, value in pairs:
        out += bencode(key) + bencode(value)
    return Raw(out + b"e")


def magnet_link(info_bytes):
    """The link a BitTorrent v1 client gives for the info dictionary's bytes."""
    return "magnet:?xt=urn:btih:" + hashlib.sha1(info_bytes).hexdigest()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    single = commands.add_parser("single", help="write single-file torrents, print their magnet links")
    single.add_argument("torrents", nargs="+", metavar="FILE NAME LENGTH PIECES",
                        help="the file to write, the name, the length and the piece hashes (as text)")
    single.add_argument("--announce", default="http://tracker.example/announce")
    single.add_argument("--piece-length", type=int, default=16384)
    args = parser.parse_args(argv)
    if len(args.torrents) % 4:
        parser.error("single takes groups of four: FILE NAME LENGTH PIECES")
    for i in range(0, len(args.torrents), 4):
        path, name, length, pieces = args.torrents[i:i + 4]
        info = bencode({"length": int(length), "name": name, "piece length": args.piece_length,
                        "pieces": pieces})
        with open(path, "wb") as f:
            f.write(bencode({"announce": args.announce, "info": Raw(info)}))
        print(magnet_link(info))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
