#!/usr/bin/python3
"""Writes the seed files of the diagnostics fuzz targets.

    make_fuzz_seeds.py <tests/corpus folder>

Each target gets a few well-formed inputs of its format and a few that break
one rule; the fuzz driver mutates from there.
"""
import os
import struct
import sys

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "corpus")


def write(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def pad4(b):
    return b + b"\0" * (-len(b) % 4)


# ------------------------------------------------------------ version_info --
def vblock(key, value=b"", value_length=0, vtype=1, children=(), wide=True):
    head = struct.pack("<HH", 0, value_length)
    if wide:
        head += struct.pack("<H", vtype) + key.encode("utf-16-le") + b"\0\0"
    else:
        head += key.encode("latin-1") + b"\0"
    out = pad4(head) + value
    for child in children:
        out = pad4(out) + child
    return struct.pack("<H", len(out)) + out[2:]


def vstr(key, text, wide=True):
    if wide:
        return vblock(key, text.encode("utf-16-le") + b"\0\0", len(text) + 1, 1, wide=wide)
    return vblock(key, text.encode("latin-1") + b"\0", len(text) + 1, 1, wide=wide)


def fixed(ms=0x00010002, ls=0x00030004):
    return struct.pack("<13I", 0xFEEF04BD, 0x10000, ms, ls, ms, ls, 0x3F, 0, 4, 1, 0, 0, 0)


def version_resource(wide=True, table="040904E4", strings=None, bad_type=False):
    strings = strings or [("CompanyName", "Kelvarin"), ("FileVersion", "1.2.3.4")]
    items = [vstr(k, v, wide) for k, v in strings]
    if bad_type:
        items.append(vblock("Odd", struct.pack("<I", 1), 4, 7, wide=wide))
    items.append(vblock("Flag", b"\x05", 1, 0, wide=wide))
    tables = vblock("StringFileInfo", children=[vblock(table, children=items, wide=wide)], wide=wide)
    var = vblock("VarFileInfo", children=[vblock("Translation", struct.pack("<I", 0x04E40409), 4, 0, wide=wide)],
                 wide=wide)
    return vblock("VS_VERSION_INFO", fixed(), 52, 0, [tables, var], wide=wide)


def version_seeds():
    write("version_info", "wide.bin", version_resource())
    write("version_info", "narrow.bin", version_resource(wide=False))
    write("version_info", "bad_table_key.bin", version_resource(table="0409"))
    write("version_info", "bad_value_type.bin", version_resource(bad_type=True))
    write("version_info", "fixed_only.bin", vblock("VS_VERSION_INFO", fixed(), 52, 0))


# ---------------------------------------------------------------- pe_image --
class Image:
    """A PE32+ image as loaded in memory (RVA = offset)."""
    NT = 0x40

    def __init__(self, size=0x3000):
        self.b = bytearray(size)
        self.sections = 0
        self.put(0, "<H", 0x5A4D)
        self.put(60, "<I", self.NT)
        self.put(self.NT, "<IHH", 0x4550, 0x8664, 0)
        self.put(self.NT + 20, "<HH", 240, 0x2022)
        self.put(self.NT + 24, "<H", 0x20B)
        self.put(self.NT + 48, "<Q", 0x140000000)
        self.put(self.NT + 80, "<I", size)
        self.put(self.NT + 132, "<I", 16)

    def put(self, at, fmt, *values):
        struct.pack_into(fmt, self.b, at, *values)

    def text(self, at, s):
        self.b[at:at + len(s) + 1] = s.encode() + b"\0"

    def section(self, name, rva, size):
        h = self.NT + 24 + 240 + 40 * self.sections
        self.b[h:h + 8] = name.encode().ljust(8, b"\0")
        self.put(h + 8, "<IIII", size, rva, size, rva)
        self.sections += 1
        self.put(self.NT + 6, "<H", self.sections)

    def directory(self, index, rva, size):
        self.put(self.NT + 24 + 112 + 8 * index, "<II", rva, size)


def pe_seeds():
    img = Image()
    img.section(".text", 0x1000, 0x800)
    img.section(".rdata", 0x1800, 0x1800)
    d = 0x1800
    img.directory(0, d, 0x300)
    img.put(d + 16, "<IIIIII", 1, 3, 3, d + 0x40, d + 0x60, d + 0x80)
    img.put(d + 0x40, "<III", 0x1010, 0x1020, d + 0x200)
    names = ["@Classes@TList@Add$qqrpv", "Plain", "Forwarded"]
    at = d + 0x100
    for i, name in enumerate(names):
        img.put(d + 0x60 + 4 * i, "<I", at)
        img.put(d + 0x80 + 2 * i, "<H", i)
        img.text(at, name)
        at += len(name) + 1
    img.text(d + 0x200, "OTHER.Target")
    imp = 0x2000
    img.directory(1, imp, 40)
    img.put(imp, "<IIIII", 0, 0, 0, imp + 0x100, imp + 0x80)
    img.text(imp + 0x100, "KERNEL32.dll")
    img.put(imp + 0x80, "<QQ", 0x7FF000001000, 0)
    img.directory(6, 0x2200, 28)
    img.put(0x2200 + 12, "<II", 2, 0x20)
    r = 0x2400
    img.directory(2, r, 0x200)
    img.put(r + 12, "<HHII", 0, 1, 10, 0x80000000 | 0x20)
    img.put(r + 0x20 + 12, "<HHII", 1, 0, 0x80000000 | 0x100, 0)
    img.put(r + 0x100, "<H", 6)
    img.b[r + 0x102:r + 0x102 + 12] = "DVCLAL".encode("utf-16-le")
    write("pe_image", "image.bin", bytes(img.b))
    write("pe_image", "headers_only.bin", bytes(img.b[:0x200]))
    pe32 = bytearray(img.b)
    struct.pack_into("<H", pe32, Image.NT + 24, 0x10B)
    write("pe_image", "pe32.bin", bytes(pe32))
    write("pe_image/regress", "shared_names.bin", pe_shared_names())


def pe_shared_names(count=100, types=16, names=16):
    """Export names that all name one long name, and resource types whose
    sub-directories are one, of names that are one long name: the lists
    once grew with every entry."""
    img = Image(0x6000)
    d = 0x1000
    img.directory(0, d, 0x40)
    img.put(d + 20, "<IIIII", 1, count, d + 0x40, d + 0x800, d + 0x800 + 4 * count)
    img.put(d + 0x40, "<I", 0x1100)
    img.text(d + 0x100, "N" * 300)
    for i in range(count):
        img.put(d + 0x800 + 4 * i, "<I", d + 0x100)
    r = 0x4000
    img.directory(2, r, 0x2000)
    img.put(r + 14, "<H", types)
    for i in range(types):
        img.put(r + 16 + 8 * i, "<II", 10, 0x80000000 | 0x400)
    img.put(r + 0x400 + 12, "<H", names)
    for i in range(names):
        img.put(r + 0x410 + 8 * i, "<II", 0x80000000 | 0x800, 0)
    img.put(r + 0x800, "<H", 200)
    img.b[r + 0x802:r + 0x802 + 400] = ("R" * 200).encode("utf-16-le")
    return bytes(img.b)


# ------------------------------------------------------------- diag_binary --
def diag_seeds():
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
    import mkdiag
    units = [(0x100, "Alpha"), (0x400, "beta_win")]
    sources = [(0x100, "alpha.cpp"), (0x400, "beta_win.cpp")]
    symbols = [(0x100, "kv", "First"), (0x180, "kv::TList<int>", "Add"), (0x480, "main", "")]
    lines = [(0x100, 10), (0x110, 12), (0x120, 7), (0x180, 0), (0x400, 3)]
    block = mkdiag.build_block("kelvarin", units, sources, symbols, lines)
    write("diag_binary", "sample.bin", block)
    checked = bytearray(block)
    checked[33] = 1
    total = sum(struct.unpack_from("<I", checked, i)[0] for i in range(0, len(checked), 4)) & 0xFFFFFFFF
    struct.pack_into("<I", checked, 29, total)
    write("diag_binary", "checksum.bin", bytes(checked))
    write("diag_binary", "empty_streams.bin", mkdiag.build_block("m", [], [], [], []))
    # All four streams one run of zero bytes: a pair in every two bytes.
    zeros = bytearray(4096)
    struct.pack_into("<IBIIIII", zeros, 0, 0x47414944, 1, 36, 36, 36, 36, 4092)
    write("diag_binary/regress", "zero_streams.bin", bytes(zeros))


# -------------------------------------------------------------------- td32 --
def td32_seeds():
    names = struct.pack("<I", 3)
    for n in (b"Unit1", b"@Unit1@TForm1@Click", b"Unit1.pas"):
        names += bytes([len(n)]) + n + b"\0"
    module = bytearray(28)
    struct.pack_into("<H", module, 4, 1)
    struct.pack_into("<I", module, 8, 1)
    module += struct.pack("<HHII", 1, 0, 0x100, 0x200)
    rec = bytearray(44)
    struct.pack_into("<HH", rec, 0, 42, 0x205)
    struct.pack_into("<I", rec, 16, 0x40)
    struct.pack_into("<I", rec, 28, 0x100)
    struct.pack_into("<I", rec, 40, 2)
    symbols = struct.pack("<I", 1) + bytes(rec)
    source = struct.pack("<HIHII", 1, 6, 1, 3, 24) + struct.pack("<II", 0x100, 0x1C0)
    source += struct.pack("<HH", 1, 2) + struct.pack("<II", 0x100, 0x110) + struct.pack("<HH", 10, 12)
    out = bytearray(struct.pack("<II", 0x39304246, 0))
    entries = []
    for kind, sub in ((0x130, names), (0x120, bytes(module)), (0x125, symbols), (0x127, source)):
        entries.append((kind, len(out), len(sub)))
        out += sub
    struct.pack_into("<I", out, 4, len(out))
    out += struct.pack("<HHIII", 16, 12, len(entries), 0, 0)
    for kind, at, size in entries:
        out += struct.pack("<HHII", kind, 1, at, size)
    out += struct.pack("<II", 0x39304246, len(out) + 8)
    write("td32", "sample.tds", bytes(out))
    write("td32/regress", "files_multiplied.tds", td32_files_multiplied())


def td32_files_multiplied(files=200, entries=120):
    """Every file offset names one record, every directory entry the same
    source subsection: each step of work made a file record of its own."""
    record = 2 + 4 * files
    source = struct.pack("<H", files) + struct.pack("<I", record) * files
    source += struct.pack("<HII", 1, 1, record + 18) + struct.pack("<II", 0x100, 0x200)
    source += struct.pack("<HHIH", 1, 1, 0x100, 7)
    out = bytearray(struct.pack("<II", 0x39304246, 0)) + source
    struct.pack_into("<I", out, 4, len(out))
    out += struct.pack("<HHIII", 16, 12, entries, 0, 0)
    out += struct.pack("<HHII", 0x127, 1, 8, len(source)) * entries
    out += struct.pack("<II", 0x39304246, len(out) + 8)
    return bytes(out)


# ------------------------------------------------------------- map_scanner --
def map_seeds():
    text = (
        "\r\n Start         Length     Name                   Class\r\n"
        " 0001:00401000 00000400H .text                  CODE\r\n\r\n"
        "Detailed map of segments\r\n\r\n"
        " 0001:00000000 00000200 C=CODE     S=.text    G=(none)   M=System   ACBP=A9\r\n"
        " 0001:00000200 00000100 C=CODE     S=.text    G=(none)   M=Main     ACBP=A9\r\n\r\n"
        "  Address         Publics by Name\r\n\r\n 0001:00000010       @System@Start\r\n\r\n"
        "  Address         Publics by Value\r\n\r\n 0001:00000010       @System@Start\r\n"
        " 0001:00000210       Main.Run\r\n\r\n"
        "Line numbers for System(system.pas) segment .text\r\n\r\n"
        "    10 0001:00000010    11 0001:00000018\r\n\r\n"
        "Line numbers for Main(main.pas) segment .text\r\n\r\n"
        "     5 0001:00000210     6 0001:00000220\r\n")
    write("map_scanner", "sample.map", text.encode())
    write("map_scanner", "no_publics.map", text.split("  Address")[0].encode())
    # A public whose name runs to the end of the file.
    write("map_scanner/regress", "long_public_name.map",
          (text.split("Line numbers")[0] + " 0001:00000080       " + "P" * 8000).encode())


SEEDS = [version_seeds, pe_seeds, diag_seeds, td32_seeds, map_seeds]

if __name__ == "__main__":
    for make in SEEDS:
        make()
