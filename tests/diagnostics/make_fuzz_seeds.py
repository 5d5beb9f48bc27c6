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


SEEDS = [version_seeds]

if __name__ == "__main__":
    for make in SEEDS:
        make()
