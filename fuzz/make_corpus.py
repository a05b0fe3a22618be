#!/usr/bin/env python3
"""Writes the seed corpus of serve_fuzzer: one file per service of the
built-in clusters 0, 1, 4 and 5, each the link traffic of a short run that
uses the service as an application would (opening a stream first where the
service needs one), and a few runs that exercise the framing itself.

Usage: fuzz/make_corpus.py [DIRECTORY]   (default: fuzz/corpus beside this script)
"""
import os
import struct
import sys

NO_REPLY = 0x80000000


def word(value):
    return struct.pack("<I", value & 0xFFFFFFFF)


def text(data):
    if isinstance(data, str):
        data = data.encode()
    return word(len(data)) + data + b"\0" * (-len(data) % 4)


def request(cluster, service, *args, no_reply=False):
    """One request in a block of its own: length word, request word, arguments."""
    body = word((NO_REPLY if no_reply else 0) | (cluster << 8) | service)
    for arg in args:
        body += arg
    return word(len(body)) + body


def basalt(service, *args, **kw):
    return request(0, service, *args, **kw)


W = word
S = text


def open_file(name, rtype=0, access=2, flags=1, length=0):
    return basalt(1, S(name), W(rtype), W(access), W(flags), W(length))


def seeds():
    s = {}
    # Cluster 0.
    s["b00_probes"] = (basalt(0) + request(1, 0) + request(4, 0) + request(5, 0) + request(0x301, 0)
                       + request(0x301, 0, no_reply=True) + request(0x7A1, 3))
    s["b01_open_types"] = b"".join(open_file("t%d.dat" % t, t, 2, 1, 16) for t in range(6)) + open_file(
        "t0.dat", 0, 0, 0) + open_file("t1.dat", 1, 1, 3) + open_file("absent.dat", 0, 0, 0) + open_file(
            "x", 6, 3, 8)
    s["b02_temporary"] = (basalt(2, W(1), W(0)) + basalt(13, W(0), S("scratch line\n")) + basalt(14, W(0), W(0))
                          + basalt(12, W(0), W(13)) + basalt(11, W(0), W(0)) + basalt(2, W(2), W(-1)))
    s["b03_console_input"] = (basalt(3, W(0)) + basalt(12, W(0), W(80)) + basalt(3, W(1)) + basalt(12, W(1), W(4))
                              + basalt(6, W(1)) + basalt(8, W(1)) + basalt(3, W(7)))
    s["b04_console_output"] = (basalt(4, W(0)) + basalt(4, W(1)) + basalt(13, W(0), S("hello\n"))
                               + basalt(13, W(1), S("error\n")) + basalt(16, W(0), W(0xC0000000), W(5), S("recrd")))
    s["b05_record_type"] = open_file("a.dat", 2) + basalt(5, W(0)) + basalt(5, W(9))
    s["b06_status"] = open_file("a.dat") + basalt(12, W(0), W(4)) + basalt(6, W(0))
    s["b07_name"] = open_file("named.dat") + basalt(4, W(1)) + basalt(7, W(0)) + basalt(7, W(1)) + basalt(7, W(5))
    s["b08_size"] = open_file("sized.dat") + basalt(13, W(0), S("0123456789")) + basalt(8, W(0))
    s["b09_device_shape"] = (open_file("f4.dat", 4, 2, 1, 32) + open_file("f1.txt", 1) + basalt(4, W(0))
                             + basalt(9, W(0)) + basalt(9, W(1)) + basalt(9, W(2)) + basalt(9, W(3)))
    s["b11_close"] = (open_file("k.dat") + open_file("d.dat") + open_file("o.dat") + basalt(11, W(0), W(0))
                      + basalt(11, W(1), W(1)) + basalt(11, W(2), W(2)) + basalt(11, W(7), W(0)))
    s["b12_read"] = (open_file("r.dat") + basalt(13, W(0), S("abcdefgh")) + basalt(14, W(0), W(2))
                     + basalt(12, W(0), W(3)) + basalt(12, W(0), W(100)) + basalt(12, W(0), W(5000)))
    s["b13_write"] = open_file("w.dat", 0, 1) + basalt(13, W(0), S("written")) + basalt(13, W(0), S(b"\0\1\2\3\4"))
    s["b14_position"] = open_file("p.dat") + basalt(14, W(0), W(4)) + basalt(14, W(0), W(-1)) + basalt(
        13, W(0), S("x"))
    s["b15_read_record_text"] = (open_file("lines.txt", 1) + basalt(16, W(0), W(0xC0000000), W(0), S("first line"))
                                 + basalt(18, W(0)) + basalt(15, W(0), W(0x80000000), W(4))
                                 + basalt(15, W(0), W(0x40000000), W(100)))
    s["b15_read_record_fixed"] = (open_file("fixed.dat", 4, 2, 1, 8)
                                  + basalt(16, W(0), W(0xC0000002), W(8), S("12345678"))
                                  + basalt(15, W(0), W(0xC0000002), W(8)) + basalt(15, W(0), W(0xC0000009), W(8)))
    s["b16_write_record_types"] = b"".join(
        open_file("w%d.dat" % t, t, 2, 1, 6) + basalt(16, W(t), W(0xC0000001), W(-1 if t == 2 else 6), S("abcdef"))
        for t in range(6))
    s["b16_write_record_crlf"] = (open_file("crlf.txt", 3) + basalt(16, W(0), W(0xA0000000), W(0), S("no newline"))
                                  + basalt(16, W(0), W(0xC0000000), W(0), S(" then one")) + basalt(19, W(0))
                                  + basalt(18, W(0)) + basalt(15, W(0), W(0xC0000000), W(64)))
    s["b17_backspace"] = (open_file("rec.dat", 2) + basalt(16, W(0), W(0xC0000000), W(-1), S("abcdefghij"))
                          + basalt(16, W(0), W(0xC0000000), W(3), S("xyz")) + basalt(17, W(0))
                          + basalt(15, W(0), W(0xC0000000), W(100)) + open_file("lines.txt", 3)
                          + basalt(16, W(1), W(0xC0000000), W(0), S("one")) + basalt(17, W(1)))
    s["b18_rewind"] = open_file("rw.dat", 2) + basalt(16, W(0), W(0xC0000000), W(2), S("ab")) + basalt(
        18, W(0)) + basalt(15, W(0), W(0xC0000000), W(2))
    s["b19_end_file"] = open_file("end.dat", 2) + basalt(16, W(0), W(0x80000000), W(4), S("data")) + basalt(
        19, W(0)) + open_file("end.dat", 2, 2, 2)
    s["b21_exists"] = open_file("here.txt") + basalt(21, S("here.txt")) + basalt(21, S("gone.txt")) + basalt(
        21, S("../outside.txt"))
    s["b22_readable"] = open_file("here.txt") + basalt(22, S("here.txt")) + basalt(22, S("/etc/hostname"))
    s["b23_stream_kind"] = (open_file("k.dat") + basalt(2, W(0), W(0)) + basalt(3, W(0)) + basalt(3, W(1))
                            + basalt(4, W(0)) + b"".join(basalt(23, W(h)) for h in range(6)))
    s["b24_exit_task"] = basalt(38, W(2)) + basalt(24, W(0)) + basalt(24, W(1))
    s["b25_exit_status"] = basalt(25, W(42))
    s["b26_command"] = basalt(26, S("echo refused"))
    s["b27_rename"] = open_file("old.dat") + basalt(11, W(0), W(0)) + basalt(27, S("old.dat"), S("new.dat")) + basalt(
        27, S("new.dat"), S("../out.dat"))
    s["b28_time"] = basalt(28)
    s["b29_refused"] = basalt(29) + basalt(32) + basalt(33)
    s["b30_peek"] = basalt(30, W(0x1000), W(16))
    s["b31_poke"] = basalt(31, W(0x1000), S("abcd"))
    s["b34_refused_word"] = basalt(34, W(5))
    s["b35_environment"] = basalt(35, S("HOME")) + basalt(35, S("VELTRA_NO_SUCH_VARIABLE"))
    s["b36_port_in"] = basalt(36, W(0x300))
    s["b37_port_out"] = basalt(37, W(0x300), W(1))
    s["b38_task_count"] = basalt(38, W(3)) + basalt(24, W(0))
    s["b39_input_title"] = basalt(39, S("Input please"))
    s["b40_absent_service"] = basalt(40)
    # Cluster 0x301, the graph cluster (its first handle is 0x100 in every run).
    g = 0x100

    def graph(service, *args):
        return request(0x301, service, *args)

    def samples(n, start=0):
        return W(n) + S(b"".join(struct.pack("<d", (start + k) * 0.5) for k in range(n)))

    s["h01_graph_cycle"] = (graph(1, S(b"fuzz\0"), W(1024)) + graph(3, W(g), S(b"Frequency\0"), S(b"Hz\0"))
                            + graph(4, W(g), S(b"Level\0"), S(b"dB\0"))
                            + graph(5, W(g), S(struct.pack("<iidd", 0, 1024, -60.0, 120.0)))
                            + graph(6, W(g), S(struct.pack("<dddd", 0.0, 1024.0, -60.0, 120.0)))
                            + graph(9, W(g), samples(400)) + graph(9, W(g), samples(400, 400))
                            + graph(9, W(g), samples(224, 800)) + graph(7, W(g)) + graph(9, W(g), samples(3))
                            + graph(8) + graph(10, W(g), S(b"Spectrum\0")) + graph(7, W(g)) + graph(2, W(g)))
    s["h02_graph_refused"] = (graph(1, S(b"n" * 200), W(8)) + graph(1, S(b"zero\0"), W(0))
                              + graph(1, S(b"two\0"), W(2)) + graph(9, W(g), samples(3)) + graph(9, W(g), W(5) + S(b"\0" * 8))
                              + graph(5, W(g), S(b"\0" * 23)) + graph(6, W(g), S(b"\0" * 33))
                              + graph(3, W(g + 7), S(b"t\0"), S(b"u\0")) + graph(2, W(g)) + graph(2, W(g))
                              + graph(7, W(g)) + graph(11))
    s["h03_graph_left_open"] = (graph(1, S(b"a\0"), W(4)) + graph(1, S(b"a\0"), W(4)) + graph(9, W(g + 1), samples(4))
                                + graph(7, W(g + 1)))
    # Cluster 0x310, the control panel.
    def panel(service, *args):
        return request(0x310, service, *args)

    s["p01_panel_cycle"] = (panel(7) + panel(1) + panel(2, S(b"Running\0")) + panel(3) + panel(4) + panel(6)
                            + panel(7) + panel(8) + panel(4) + panel(5) + panel(4) + panel(9, S(b"Q\0"), S(b"Go on?\0")))
    s["p02_panel_refused"] = (panel(2, S(b"s" * 300)) + panel(2, S(b"no zero")) + panel(9, S(b"c" * 200), S(b"q"))
                              + panel(5) + panel(8) + panel(10) + panel(0))
    # Cluster 1.
    s["c01_exception"] = request(1, 1, W(0x12), W(2), W(0xDEADBEEF), W(0x1234))
    s["c02_command_line"] = request(1, 2)
    s["c03_set_command_line"] = request(1, 3, S("prog"), S("one two")) + request(1, 2)
    s["c04_echo"] = request(1, 4, S("hello"))
    s["c05_sink"] = request(1, 5, S("dropped"))
    s["c06_source"] = request(1, 6, W(16)) + request(1, 6, W(5000))
    s["c07_link_sync"] = request(1, 7)
    # Cluster 4.
    s["d01_value"] = request(4, 1, W(0x1234))
    s["d02_ignored"] = request(4, 2, W(7))
    s["d03_character"] = request(4, 3, W(ord("A")))
    # Cluster 5.
    s["e01_arguments"] = request(5, 1, W(1), W(2), S("symbols"), S("more"))
    s["e02_nothing"] = request(5, 2)
    s["e03_pause"] = request(5, 3)
    # Framing: a request whose last word is in the next block, a request
    # without reply, a block that ends exactly, a block of the largest size,
    # and a length that is no multiple of four.
    s["f01_split_request"] = word(8) + word(1 << 8 | 1) + W(0x12) + word(12) + W(2) + W(3) + W(4)
    s["f02_no_reply"] = request(1, 4, S("quiet"), no_reply=True) + request(1, 0)
    s["f03_largest_block"] = request(1, 5, S(b"z" * 8284))
    s["f04_bad_length"] = word(6) + b"\1\1\0\0\0\0"
    # Sparse files: a write far out leaves a hole that appending to records
    # (type 2) and stepping back over lines (type 3) must not read through.
    far = open_file("sparse.dat") + basalt(14, W(0), W(0x7FFFFFF0)) + basalt(13, W(0), S("x")) + basalt(11, W(0), W(0))
    s["g01_sparse_records"] = far + open_file("sparse.dat", 2, 2, 2)
    s["g02_sparse_backspace"] = far + open_file("sparse.dat", 3, 2, 2) + basalt(17, W(1)) + basalt(17, W(1))
    return s


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus")
    os.makedirs(directory, exist_ok=True)
    for name, data in sorted(seeds().items()):
        with open(os.path.join(directory, name), "wb") as out:
            out.write(data)
    print("%d seeds in %s" % (len(seeds()), directory))


if __name__ == "__main__":
    main()
