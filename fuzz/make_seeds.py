#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets into fuzz/corpus/.

Inputs that once found a fault are added to the corpus by hand (named
found-*) and are not produced here.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- set-up files ----
ROWS = ["D1100", "W1104", "D1200", "W1204", "W1040", "W1042", "B1018.0", "W1020", "W1022",
        "W1024", "W1026", "W1028", "W1032", "W1034", "W1036", "B4001.0", "B4050", "B4011"]


def setup_record(version=b"TALVEK_R1.0.0", rows=ROWS, values=None, dims=1, lower=0,
                 count=None, vcount=None, tail=None):
    values = values if values is not None else [0] * len(rows)
    out = struct.pack("<H", len(version)) + version
    out += struct.pack("<Hii", dims, len(rows) if count is None else count, lower)
    for r in rows:
        b = r.encode("latin-1")
        out += struct.pack("<H", len(b)) + b
    out += struct.pack("<Hii", 1, len(values) if vcount is None else vcount, 0)
    out += b"".join(struct.pack("<i", v) for v in values)
    if tail is None:
        tail = struct.pack("<4h", 16, 360, 0, 0) + struct.pack("<8h", *range(8))
        tail += struct.pack("<16h", *range(0, 160, 10)) + struct.pack("<16h", *range(5, 165, 10))
    return out + tail


good = setup_record(values=[1234567, 5, 0, 0, 0, 0, 12, 14, 95, 100, 300, 250, 350, 375,
                            250, 20, 0, 0])
put("setupfile", "default", setup_record())
put("setupfile", "values", good)
put("setupfile", "empty", b"")
put("setupfile", "truncated-half", good[: len(good) // 2])
put("setupfile", "truncated-last-byte", good[:-1])
put("setupfile", "trailing-bytes", good + b"\0" * 17)
put("setupfile", "no-rows", setup_record(rows=[], values=[]))
put("setupfile", "one-row", setup_record(rows=["W1026"], values=[300]))
put("setupfile", "two-dimensions", setup_record(dims=2))
put("setupfile", "lower-bound-1", setup_record(lower=1))
put("setupfile", "huge-count", setup_record(count=0x7FFFFFFF))
put("setupfile", "negative-count", setup_record(count=-1))
put("setupfile", "values-count-differs", setup_record(vcount=3))
put("setupfile", "long-version", setup_record(version=b"V" * 300))
put("setupfile", "latin1-texts", setup_record(version=b"R\xb0\xff\x80", rows=["W10\xb026"] * 18))
put("setupfile", "negative-values", setup_record(values=[-1, -2147483648] + [2147483647] * 16))
put("setupfile", "text-length-past-end", struct.pack("<H", 0xFFFF) + b"abc")

# ---- code tables: first byte is the code looked up ----
table = b'"00","No Fault"\r\n"0A","Watchdog, reset the board"\r\n1F,Low battery\r\n"0A","second"\r\n'
put("codetable", "found-first", b"\x0a" + table)
put("codetable", "found-plain", b"\x1f" + table)
put("codetable", "not-found", b"\x55" + table)
put("codetable", "empty", b"\x00")
put("codetable", "no-description-at-end", b"\x0a" + b'"0A"')
put("codetable", "unterminated-quote", b"\x0a" + b'"0A,"Watchdog\r\n')
put("codetable", "lower-case-code", b"\x0a" + b'0a,lower\r\n')
put("codetable", "blank-lines", b"\x01" + b'\r\n\r\n01,one\r\n\r\n')
put("codetable", "lf-only", b"\x02" + b'01,one\n02,two\n')
put("codetable", "binary", b"\x0a" + bytes(range(256)))
put("codetable", "nul-in-field", b"\x0a" + b'"0A","a\0b"\r\n')
put("codetable", "many-commas", b"\x0a" + b'0A,,,,,,,\r\n')
put("codetable", "quote-in-middle", b"\x0a" + b'0A,ab"cd"ef\r\n')
put("codetable", "ctrl-z", b"\x0a" + b'0A,text\x1a\r\n')
put("codetable", "ffff", b"\xff" + b'FF,minus one\r\nFFFF,sixteen bit\r\n')

# ---- port settings file contents ----
for name, text in [("default", "1,9600\r\n"), ("fast", "2,19200\r\n"), ("zero-port", "0,19200"),
                   ("big-port", "150,4800"), ("negative-port", "-3,9600"),
                   ("scientific-speed", "1,1.92E4"), ("speed-with-letters", "1,9600abc"),
                   ("hex-speed", "1,&H2580"), ("hex-port", "&H10,9600"),
                   ("no-comma", "19600"), ("empty", ""), ("quoted", '"3","19200"'),
                   ("blanks", "  4 , 19200  \r\n"), ("port-not-number", "abc,9600"),
                   ("port-overflow", "99999999999,9600"), ("decimal-port", "2.5,9600"),
                   ("three-fields", "1,9600,8"), ("speed-9600.0", "1,9600.0"),
                   ("binary", bytes(range(0, 64))), ("speed-missing", "5,"),
                   ("only-comma", ","), ("lf-between", "1\n,19200"),
                   ("port-and-blank", "1 ,")]:
    put("portsettings", name, text)

# ---- address and number texts: first byte picks the board code ----
texts = ["B166", "W180", "D1100", "F15", "B1018.0", "FFH", "1FF0H", "H", "b166", "w180",
         "W10.3", "Z5", "X30.5", "X151", "I20.3", "X12", "X30.9", "W33", "B31", "1:?", "1AF",
         "12abc", "1.2.3", "1E", "&HFFFF", "&H8000", "&HFFFFFFFF", "&H10000", "&O777",
         "- 5", "1E400", "1D3", " 12 ", "$5", "+-5", "2.5", "3.5", "-2.5", "32767.5",
         "-32768.5", "2147483647.5", "B65536", "W65534", "D655359999", "B8176", "F991",
         "B1018.9", "X.5", "X3A", "", "°", "12°", "abc°", "1,000", "\t1\n2", "1e-400"]
for i, t in enumerate(texts):
    board = i % 16
    put("parsers", "%02d" % i, bytes([board]) + t.encode("latin-1"))
