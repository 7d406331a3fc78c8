#!/usr/bin/env python3
"""Writes small seed corpora for the fuzz targets into a folder.

    make_corpus.py OUT

OUT/torrent   real-looking and crafted metainfo files (fuzz_bdecode, fuzz_load)
OUT/profile   settings files (fuzz_profile)
OUT/template  export templates (fuzz_template)
OUT/handoff   hand-off records (fuzz_handoff)
OUT/handoff-server  scripts of clients against the hand-off server (fuzz_handoff_server)

Everything is generated here; nothing is downloaded.
"""
import hashlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from bencode import Raw, bencode, raw_dict  # noqa: E402


def pieces(count, seed=b"velmora"):
    return b"".join(hashlib.sha1(seed + i.to_bytes(4, "big")).digest() for i in range(count))


def torrents():
    seeds = {}
    single_info = {"length": 700, "name": "movie.avi", "piece length": 262144, "pieces": pieces(3)}
    single = {"announce": "http://tracker.example/announce", "info": single_info}
    seeds["single.torrent"] = bencode(single)

    multi_info = {
        "files": [
            {"length": 10, "path": ["a", "b.txt"]},
            {"length": 5, "path": ["c.txt"]},
            {"length": 1 << 33, "path": ["Папка", "видео.mkv"]},
        ],
        "name": "Сборник.torrent",
        "piece length": 16384,
        "pieces": pieces(2) + b"12345",
        "private": 1,
    }
    seeds["multi.torrent"] = bencode({
        "announce": "udp://tracker.example:80",
        "announce-list": [["udp://a.example:80", "http://b.example/ann"], ["http://c.example/"]],
        "comment": "https://example.org/?a=1&b=<2>",
        "created by": "make_corpus",
        "creation date": 2147483647,
        "encoding": "UTF-8",
        "info": multi_info,
    })

    file_tree = {
        "dir": {"a.bin": {"": {"length": 40000, "pieces root": hashlib.sha256(b"a").digest()}}},
        "b.txt": {"": {"length": 12}},
    }
    v2_info = {"file tree": file_tree, "meta version": 2, "name": "v2only", "piece length": 16384}
    seeds["v2.torrent"] = bencode({
        "announce": "http://tracker.example/announce",
        "info": v2_info,
        "piece layers": {hashlib.sha256(b"a").digest(): hashlib.sha256(b"l").digest() * 3},
    })
    hybrid_info = dict(v2_info, name="hybrid", pieces=pieces(3),
                       files=[{"length": 12, "path": ["b.txt"]},
                              {"attr": "p", "length": 16372, "path": [".pad", "16372"]},
                              {"length": 40000, "path": ["dir", "a.bin"]}])
    seeds["hybrid.torrent"] = bencode({"announce": "http://t.example/a", "info": hybrid_info})

    # Non-canonical: unsorted keys and leading zeros are hashed as written.
    seeds["unsorted.torrent"] = bencode(raw_dict(
        ("info", raw_dict(("pieces", pieces(1)), ("name", "x"), ("piece length", Raw(b"i0016384e")),
                          ("length", Raw(b"i-0e")))),
        ("announce", "http://t.example/"),
    ))
    seeds["info-extent-example.torrent"] = b"d8:announce3:abc4:infod4:name1:xee"
    seeds["no-announce-no-info.torrent"] = b"d7:comment2:hie"
    seeds["root-list.torrent"] = b"l4:infoe"
    seeds["empty.torrent"] = b""
    seeds["nested-info.torrent"] = bencode({"a": {"info": {"name": "inner"}}, "info": {"name": "outer"}})

    # Truncated downloads.
    whole = seeds["single.torrent"]
    seeds["truncated-root-e.torrent"] = whole[:-1]
    seeds["truncated-info-2.torrent"] = whole[:-3]
    seeds["truncated-half.torrent"] = whole[: len(whole) // 2]
    seeds["truncated-in-pieces.torrent"] = whole[: whole.index(b"6:pieces") + 20]

    # Deep nesting, beyond and around the decoder's limit.
    seeds["deep-lists.torrent"] = b"l" * 1500
    seeds["deep-dicts.torrent"] = b"d1:a" * 1200
    seeds["deep-999.torrent"] = b"d4:info" + b"l" * 997 + b"e" * 997 + b"e"
    seeds["deep-info.torrent"] = b"d4:info" + b"d1:a" * 1100 + b"e" * 1101

    # Huge declared lengths and integers.
    for n in (2147483647, 2147483648, 4294967295, 4294967296, 99999999999, 21474836470):
        seeds["strlen-%d.torrent" % n] = b"d8:announce%d:abce" % n
        seeds["infolen-%d.torrent" % n] = b"d4:infod4:name%d:xyzee" % n
    seeds["int-huge.torrent"] = b"d13:creation datei99999999999999999999999999e4:infod6:lengthi-9223372036854775808e12:piece lengthi18446744073709551615eee"
    seeds["int-minus.torrent"] = b"d4:infod6:lengthi--5-e4:name1:xee"

    # Forged extent keys after the real "info".
    info = bencode(single_info)
    for start, length in ((0, 10), (-1, 5), (2147483647, 2147483647), (4294967295, 1),
                          (1, -1), (99999999999, 99999999999), (7, 2147483648)):
        seeds["forged-%d-%d.torrent" % (start, length)] = (
            b"d8:announce3:abc4:info" + info + b"11:_info_starti%de12:_info_lengthi%dee" % (start, length))
    seeds["forged-before.torrent"] = b"d11:_info_starti0e12:_info_lengthi3e4:info" + info + b"e"
    seeds["forged-string.torrent"] = b"d4:info" + info + b"11:_info_start3:abc12:_info_length1:xe"
    seeds["duplicate-info.torrent"] = b"d4:info" + info + b"4:infod4:name5:othere" + b"e"
    seeds["info-no-value.torrent"] = b"d4:info" + info + b"4:infoxe"
    seeds["info-list.torrent"] = b"d4:infoli1eee"
    seeds["info-empty-key.torrent"] = b"d0:i1e4:info" + info + b"e"

    # Kinds out of place.
    seeds["files-not-list.torrent"] = bencode({"info": {"files": 5, "name": "x"}})
    seeds["path-not-list.torrent"] = bencode({"info": {"files": [{"length": 1, "path": "a"}], "name": "x"}})
    seeds["file-missing.torrent"] = bencode({"info": {"files": [{}, {"path": []}, 3], "name": "x"}})
    seeds["tier-not-list.torrent"] = bencode({"announce-list": ["a", ["b"]], "info": {"name": "x"}})
    seeds["lenient.torrent"] = b"d4:infod4:name4xabcd6:lengthi7x5:filesli1ex3:abce"
    return seeds


def profiles():
    bom8, bom16le, bom16be = b"\xef\xbb\xbf", b"\xff\xfe", b"\xfe\xff"
    text = "; settings\r\n[USER]\r\nAutoStart=1\r\n\r\n[Other]\r\nkey = value\r\n"
    return {
        "plain.ini": text.encode("ascii"),
        "utf8-bom.ini": bom8 + "[user]\nautostart=0\n[Раздел]\nключ=значение\n".encode("utf-8"),
        "utf16le.ini": bom16le + text.encode("utf-16-le"),
        "utf16be.ini": bom16be + text.encode("utf-16-be"),
        "odd-utf16.ini": bom16le + b"[\x00U\x00",
        "cr-only.ini": b"[USER]\rAutoStart=1\r[USER]\rAutoStart=0",
        "no-section.ini": b"AutoStart=1\n=\n==\n[\n]\n[]\nx\n",
        "nul.ini": b"[US\x00ER]\nAuto\x00Start=1\x00\n",
        "latin.ini": b"[\xe9\xff]\n\xc3=\x80\xbf\n",
        "long.ini": b"[USER]\nAutoStart=" + b"1" * 5000 + b"\n",
        "empty.ini": b"",
    }


def templates():
    page = ("<html><head><title>{NAME}</title></head><body>\r\n<h1>{name}</h1> {TIME}\r\n"
            "{CONTENT}\r\n</body></html>\r\n")
    mid = ("<p>{TITLE} {LEN} {COUNT} {PIECES} {COMMENT} {PIECELEN}<br>\r\n<a href=\"{LINK}\">{link}</a>\r\n"
           "{FILELIST} {ENCODING} {PRIVATE} {Title}</p>\r\n")
    return {
        "page.tpl": page.encode("utf-8"),
        "mid.tpl": mid.encode("utf-8"),
        "mid-utf16.tpl": b"\xff\xfe" + mid.encode("utf-16-le"),
        "mid-utf16be.tpl": b"\xfe\xff" + mid.encode("utf-16-be"),
        "mid-bom8-lf.tpl": b"\xef\xbb\xbf" + mid.replace("\r\n", "\n").encode("utf-8"),
        "braces.tpl": b"{{TITLE}} {CONTENT}{CONTENT} {TIT{LINK}LE} {} { {NAME",
        "cr.tpl": b"{TITLE}\r{LINK}\r\r\n\n{NAME}",
        "empty.tpl": b"",
        "binary.tpl": bytes(range(256)),
    }


def handoffs():
    def record(text, fill=b"\0"):
        data = text[:255]
        return bytes([len(data)]) + data + fill * (255 - len(data))
    return {
        "path.bin": record(b"/tmp/some folder/movie.torrent"),
        "question.bin": record(b"?"),
        "empty.bin": record(b""),
        "long.bin": record("/tmp/" .encode() + "ю".encode() * 125),
        "count-too-big.bin": b"\xff" + b"x" * 10,
        "garbage-tail.bin": record(b"a.torrent", fill=b"\xff"),
        "bad-utf8.bin": record(b"/tmp/\xc3\x28\xe2\x82.torrent"),
        "short.bin": b"\x05ab",
        "zero.bin": b"",
    }


def handoff_scripts():
    # One byte per operation: the low bits choose it (0 connect, 1 raw bytes, 2 a
    # message, 3 close, 4 half-close, 5 shut down, 6 run events, 7 read answers,
    # 8 events and answers), bits 4-5 the client. A delivery takes the next byte as
    # the handler's action (0 take, 2 refuse, 3 close a client, 4 own event loop,
    # 5 close the server and listen again).
    def client(op, k):
        return bytes([op | (k << 4)])
    connect, raw, message, close, half, shut, events, answers = (lambda k=0, op=op: client(op, k) for op in range(8))
    return {
        "gone-in-handler.bin": connect() + message() + b"\x01" + events() + b"\x03\x03" + events() + b"\x03",
        "closes-at-once.bin": connect() + message() + b"\x00" + close() + events() + b"\x03\x00",
        "half-close.bin": connect() + message() + b"\x01" + half() + events() + b"\x03\x00" + bytes([8]),
        "shut-down.bin": connect() + message() + b"\x04" + shut() + events() + b"\x03\x00",
        "mid-frame.bin": connect() + raw() + b"\x03T\x00\x00" + close() + events() + b"\x03",
        "server-closes.bin": connect() + connect(1) + message() + b"\x01" + message(1) + b"\x03" + events()
        + b"\x03\x05" + events() + b"\x03\x00\x00",
        "refused.bin": connect() + message() + b"\x03" + events() + b"\x03\x02" + answers(),
        "nested.bin": connect() + connect(2) + message() + b"\x03" + message(2) + b"\x09" + events()
        + b"\x03\x14\x00" + events() + b"\x03\x00",
    }


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    for kind, files in (("torrent", torrents()), ("profile", profiles()),
                        ("template", templates()), ("handoff", handoffs()),
                        ("handoff-server", handoff_scripts())):
        folder = os.path.join(out, kind)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
