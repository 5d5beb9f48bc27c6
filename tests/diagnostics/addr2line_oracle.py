#!/usr/bin/python3
"""Writes addr2line's answers for 2,000 code addresses of a test program.

    addr2line_oracle.py <name>.debug.exe <out.txt> [--addr2line X] [--objdump X]

Addresses are drawn (fixed seed) from the rows of the program's line table,
each somewhere inside the code of its row. Each output line:
    <R hex> <line> <file|->
R is the address relative to the start of .text; file is "-" when the frame is
inlined or the function is not the project's own (addr2line names the file of
inlined header code wrongly), so only the line is compared there.
"""
import argparse
import bisect
import random
import re
import subprocess

parser = argparse.ArgumentParser()
parser.add_argument("exe")
parser.add_argument("out")
parser.add_argument("--addr2line", default="x86_64-w64-mingw32-addr2line")
parser.add_argument("--objdump", default="x86_64-w64-mingw32-objdump")
parser.add_argument("--count", type=int, default=2000)
args = parser.parse_args()

facts = subprocess.run([args.objdump, "-p", "-h", args.exe], capture_output=True, text=True, check=True).stdout
base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", facts, re.M).group(1), 16)
m = re.search(r"^\s*\d+\s+\.text\s+([0-9a-f]+)\s+([0-9a-f]+)", facts, re.M)
text_start, text_end = int(m.group(2), 16), int(m.group(2), 16) + int(m.group(1), 16)

rows = []
row_files = {}
decoded = subprocess.run([args.objdump, "--dwarf=decodedline", args.exe], capture_output=True, text=True,
                         check=True).stdout
for line in decoded.splitlines():
    r = re.match(r"^(\S+)\s+(\d+|-)\s+(0x[0-9a-f]+)", line)
    if r and r.group(2) != "-":
        address = int(r.group(3), 16)
        if text_start <= address < text_end:
            rows.append(address)
            row_files[address] = r.group(1)
rows = sorted(set(rows))
rng = random.Random(27)
picks = []
for _ in range(args.count):
    i = rng.randrange(len(rows) - 1)
    picks.append(rng.randrange(rows[i], rows[i + 1]))

# One run with inlining frames: each address is followed by address 0, whose
# answer ("??", "??:0") separates the frames of one address from the next.
query = "".join(f"{a:#x}\n0x0\n" for a in picks)
out = subprocess.run([args.addr2line, "-f", "-i", "-e", args.exe], input=query, capture_output=True, text=True,
                     check=True).stdout.splitlines()
pairs = list(zip(out[0::2], out[1::2]))
answers, frames = [], []
for pair in pairs:
    if pair == ("??", "??:0"):
        answers.append(frames)
        frames = []
    else:
        frames.append(pair)

def rows_at_or_below(address):
    return rows[bisect.bisect_right(rows, address) - 1]


with open(args.out, "w") as f:
    for address, frames in zip(picks, answers):
        if not frames:
            continue
        func, where = frames[0]
        file, _, line = where.rpartition(":")
        line = line.split(" ")[0]
        if not line.isdigit() or line == "0":
            continue
        # The project's own functions, without constructors and destructors: those are
        # often defined implicitly in a header, and addr2line then names the .cpp file.
        project = func.startswith("_ZN2kv") and not re.search(r"(C[123]|D[012])E", func)
        name = file.replace("\\", "/").rsplit("/", 1)[-1] if len(frames) == 1 and project else "-"
        # Code of a function defined in a header: addr2line names the including file.
        if not row_files[rows_at_or_below(address)].endswith((".cpp", ".c")):
            name = "-"
        f.write(f"{address - text_start:x} {line} {name}\n")
