#!/usr/bin/python3
"""Adds the program's own debug data (a "DIAGINFO" section) to a MinGW executable.

    mkdiag.py --exe <name>.exe --map <name>.map [--objdump X] [--objcopy X] [--cxxfilt X]
              [--block-only <out>]

1. Keeps the unstripped executable as <name>.debug.exe.
2. Builds the "DIAG" block from it:
   - units: runs of ".text*" input sections of the linker map, by object stem;
   - procedures: the function symbols of section 1 in the symbol table
     (their values are offsets into .text), demangled without parameters;
   - lines and source file names: the decoded DWARF line table.
   Addresses are relative to the start of .text, which must be at RVA 0x1000.
3. Strips the debug sections from <name>.exe and adds the block as a
   read-only section at ImageBase + SizeOfImage of the stripped image (a
   section elsewhere is refused by the loader).

With --block-only the block is written to <out> and the executable is left alone.
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys

TEXT_RVA = 0x1000
SIGNATURE = 0x47414944
HEADER_SIZE = 34
STREAM_END = 0x7FFFFFFF
MAX_NAME = 255
PACKED = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_"


def run(*args, stdin=None):
    return subprocess.run(args, input=stdin, capture_output=True, text=True, check=True).stdout


# ---------------------------------------------------------------- encoding --
def number(value):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def stream(rows):
    """Rows of equal width as running differences (32-bit, wrapping), then the end mark."""
    out = bytearray()
    previous = None
    for row in rows:
        if previous is None:
            previous = [0] * len(row)
        for i, value in enumerate(row):
            diff = (value - previous[i]) & 0xFFFFFFFF
            if diff == STREAM_END:
                raise SystemExit("mkdiag: a difference equals the stream end mark")
            out += number(diff)
            previous[i] = value
    return bytes(out + number(STREAM_END))


def encode_name(name):
    """Packed 6-bit codes when every character is in the alphabet, else plain bytes (kind 1)."""
    raw = name.encode("latin-1", "replace")[:MAX_NAME]
    if raw and all(chr(c) in PACKED for c in raw):
        codes = [PACKED.index(chr(c)) + 1 for c in raw] + [0]
        bits = 0
        for i, code in enumerate(codes):
            bits |= code << (6 * i)
        packed = bits.to_bytes((6 * len(codes) + 7) // 8, "little")
        if packed[0] not in (1, 2):  # those first bytes mark the other kinds
            return packed
    return b"\x01" + raw + b"\x00"


class Names:
    def __init__(self):
        self.area = bytearray()
        self.refs = {}

    def ref(self, name):
        if not name:
            return 0
        if name not in self.refs:
            self.refs[name] = len(self.area) + 1
            self.area += encode_name(name)
        return self.refs[name]


def build_block(module, units, sources, symbols, lines):
    names = Names()
    module_ref = names.ref(module)
    streams = [
        stream([(a, names.ref(n)) for a, n in units]),
        stream([(a, names.ref(n)) for a, n in sources]),
        stream([(a, names.ref(f), names.ref(s)) for a, f, s in symbols]),
        stream(lines),
    ]
    offsets = []
    at = HEADER_SIZE
    for s in streams:
        offsets.append(at)
        at += len(s)
    words = at
    body = b"".join(streams) + bytes(names.area)
    header = struct.pack("<IB7IB", SIGNATURE, 1, *offsets, words, module_ref, 0, 0)
    block = header + body
    return block + b"\0" * (-len(block) % 4)


# ------------------------------------------------------------------ inputs --
def image_facts(objdump, exe):
    text = run(objdump, "-p", "-h", exe)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    size = int(re.search(r"^SizeOfImage\s+([0-9a-fA-F]+)", text, re.M).group(1), 16)
    m = re.search(r"^\s*\d+\s+\.text\s+([0-9a-f]+)\s+([0-9a-f]+)", text, re.M)
    return base, size, int(m.group(2), 16) - base, int(m.group(1), 16)


def object_stem(path):
    m = re.search(r"\(([^()]*)\)\s*$", path)
    name = m.group(1) if m else path
    return os.path.basename(name.replace("\\", "/")).split(".")[0]


def map_units(map_file, text_start, text_end):
    """(R, stem) of each run of .text* input sections from one object."""
    entries = []
    in_text = False
    pending = None
    entry_re = re.compile(r"^\s+(0x[0-9a-fA-F]+)\s+(0x[0-9a-fA-F]+)\s+(\S.*)$")
    with open(map_file, encoding="latin-1") as f:
        lines = iter(f.read().split("Linker script and memory map", 1)[-1].splitlines())
    for line in lines:
        if line and not line[0].isspace():
            in_text = line.startswith(".text")
            pending = None
            continue
        if not in_text:
            continue
        if pending is not None:
            m = entry_re.match(line)
            if m:
                entries.append((int(m.group(1), 16), int(m.group(2), 16), m.group(3)))
            pending = None
            continue
        m = re.match(r"^ (\.text\S*)(.*)$", line)
        if not m:
            continue
        rest = m.group(2)
        if rest.strip():
            m2 = entry_re.match(" " + rest.strip() if not rest.startswith(" ") else rest)
            if m2:
                entries.append((int(m2.group(1), 16), int(m2.group(2), 16), m2.group(3)))
        else:
            pending = m.group(1)
    units = []
    for address, size, path in sorted(entries):
        if size == 0 or not text_start <= address < text_end:
            continue
        stem = object_stem(path)
        if not units or units[-1][1] != stem:
            units.append((address - text_start, stem))
    return units


def split_name(name):
    """(first, second): the text before and after the last top-level "::"."""
    depth = 0
    last = -1
    i = 0
    while i < len(name):
        if name.startswith("operator", i):
            # operator<, operator<<, operator() ... must not change the depth
            i += len("operator")
            while i < len(name) and name[i] in "<>=!+-*/%^&|~,()[] ":
                i += 1
            continue
        c = name[i]
        if c in "<(":
            depth += 1
        elif c in ">)":
            depth = max(0, depth - 1)
        elif depth == 0 and name.startswith("::", i):
            last = i
            i += 2
            continue
        i += 1
    if last < 0:
        return name, ""
    return name[:last], name[last + 2:]


def symbols(objdump, cxxfilt, exe):
    rows = {}
    sym_re = re.compile(r"^\[\s*\d+\]\(sec\s+1\)\(fl\s+\S+\)\(ty\s+20\)\(scl\s+\d+\)\s+\(nx\s+\d+\)\s+0x([0-9a-f]+)\s+(\S+)")
    for line in run(objdump, "-t", exe).splitlines():
        m = sym_re.match(line)
        if m and not m.group(2).startswith("."):
            rows.setdefault(int(m.group(1), 16), m.group(2))
    addresses = sorted(rows)
    demangled = run(cxxfilt, "-p", stdin="\n".join(rows[a] for a in addresses) + "\n").splitlines()
    return [(a,) + split_name(n) for a, n in zip(addresses, demangled)]


def line_rows(objdump, exe, text_start, text_end):
    """(address, file, line) with line None for an end of sequence, in address order."""
    row_re = re.compile(r"^(\S+)\s+(\d+|-)\s+(0x[0-9a-f]+)")
    out = []
    sequence = []
    for line in run(objdump, "--dwarf=decodedline", exe).splitlines():
        m = row_re.match(line)
        if not m:
            continue
        address = int(m.group(3), 16)
        if m.group(2) != "-":
            sequence.append((address, m.group(1), int(m.group(2))))
            continue
        # A row at the address where its sequence ends covers no byte.
        out += [r for r in sequence if r[0] != address]
        out.append((address, m.group(1), None))
        sequence = []
    out += sequence
    # Rows below .text belong to discarded COMDAT copies.
    out = [r for r in out if text_start <= r[0] <= text_end]
    out.sort(key=lambda r: r[0])  # stable: the order within one address stays
    merged = []
    for address, name, number in out:
        if merged and merged[-1][0] == address:
            # The last real row at an address wins; an end of sequence hides none.
            if number is not None or merged[-1][2] is None:
                merged[-1] = (address, name, number)
        else:
            merged.append((address, name, number))
    return merged


def lines_and_sources(rows, units, text_start):
    starts = sorted(a for a, _ in units)
    lines, sources = [], []
    in_effect = None
    current_file = None
    si = 0

    start_set = set(starts)

    def emit(address, name, number):
        nonlocal current_file
        r = address - text_start
        # A row that only continues the line before it adds nothing: the line
        # starts where that one does.
        same = lines and lines[-1][1] == (number or 0) and name == current_file and r not in start_set
        if not same:
            lines.append((r, number or 0))
        # A unit's first row names its file even when the unit before ended in the same file.
        if number is not None and (name != current_file or r in start_set):
            sources.append((r, name))
            current_file = name

    for address, name, number in rows:
        r = address - text_start
        # The row in effect is repeated at each unit start it reaches.
        while si < len(starts) and starts[si] <= r:
            if starts[si] < r and in_effect is not None:
                lines.append((starts[si], in_effect[2] or 0))
                if in_effect[2] is not None:
                    sources.append((starts[si], in_effect[1]))
                    current_file = in_effect[1]
            elif starts[si] < r and current_file is not None:
                sources.append((starts[si], current_file))
            si += 1
        emit(address, name, number)
        in_effect = (address, name, number)
    return lines, sources


def make_block(exe, map_file, objdump, cxxfilt):
    base, size, text_rva, text_size = image_facts(objdump, exe)
    if text_rva != TEXT_RVA:
        raise SystemExit(f"mkdiag: .text of {exe} is at RVA {text_rva:#x}, not {TEXT_RVA:#x}")
    text_start = base + TEXT_RVA
    text_end = text_start + text_size
    units = map_units(map_file, text_start, text_end)
    rows = line_rows(objdump, exe, text_start, text_end)
    lines, sources = lines_and_sources(rows, units, text_start)
    module = os.path.splitext(os.path.basename(exe))[0]
    if module.endswith(".debug"):
        module = module[:-len(".debug")]
    return build_block(module, units, sources, symbols(objdump, cxxfilt, exe), lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--map", required=True)
    parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
    parser.add_argument("--objcopy", default="x86_64-w64-mingw32-objcopy")
    parser.add_argument("--cxxfilt", default="c++filt")
    parser.add_argument("--block-only")
    args = parser.parse_args()

    if args.block_only:
        with open(args.block_only, "wb") as f:
            f.write(make_block(args.exe, args.map, args.objdump, args.cxxfilt))
        return
    root, ext = os.path.splitext(args.exe)
    debug_exe = root + ".debug" + ext
    shutil.copyfile(args.exe, debug_exe)
    block = make_block(debug_exe, args.map, args.objdump, args.cxxfilt)
    block_file = root + ".diag.bin"
    with open(block_file, "wb") as f:
        f.write(block)
    stripped = root + ".stripped" + ext
    subprocess.run([args.objcopy, "--strip-debug", debug_exe, stripped], check=True)
    base, size, _, _ = image_facts(args.objdump, stripped)
    subprocess.run([args.objcopy, "--add-section", f"DIAGINFO={block_file}",
                    "--set-section-flags", "DIAGINFO=contents,alloc,load,readonly,data",
                    "--change-section-address", f"DIAGINFO={base + size:#x}", stripped, args.exe], check=True)
    os.remove(stripped)


if __name__ == "__main__":
    sys.exit(main())
