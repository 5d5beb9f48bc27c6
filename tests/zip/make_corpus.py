#!/usr/bin/python3
"""Builds the zip reader's test corpus in the folder given as the argument.

Archives come from the reference tools (Info-ZIP zip, Python's zipfile,
7-Zip) and from two small test-only encoders for the older methods (shrink
and implode), whose output must pass `unzip -t` and `7z t` before it is used.

cases.txt lists one check per line, fields separated by "|":
    archive | entry | password | expected | max-size
expected is a file holding the entry's bytes as `unzip -p` gives them, or
"EMPTY" when the reader must deliver nothing (failing entries).
"""
import heapq
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile
import zlib

OUT = sys.argv[1]
DATA = os.path.join(OUT, "data")
EXPECT = os.path.join(OUT, "expect")
cases = []


def run(*args, cwd=None, stdin=None):
    subprocess.run(args, cwd=cwd, check=True, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def sample_files():
    rnd = random.Random(5)
    words = [b"kelvarin", b"duplicate", b"music", b"track", b"album", b"artist", b"title", b"\xe9t\xe9"]
    text = b" ".join(rnd.choice(words) for _ in range(60000))
    files = {
        "readme.txt": b"Short text entry.\r\n",
        "empty.dat": b"",
        "words.txt": text,
        "random.bin": bytes(rnd.getrandbits(8) for _ in range(70000)),
        "sub/mixed.bin": text[:50000] + bytes(rnd.getrandbits(8) for _ in range(30000)) + text[:120000],
        "sub/deeper/zeros.bin": bytes(200000),
    }
    for name, body in files.items():
        path = os.path.join(DATA, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(body)
    return files


def expect_entry(archive, entry, password=""):
    """Records a case whose expected bytes are what `unzip -p` extracts."""
    args = ["unzip", "-p"] + (["-P", password] if password else []) + [archive, entry]
    body = subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout
    key = f"{os.path.basename(archive)}__{entry.replace('/', '_')}"
    with open(os.path.join(EXPECT, key), "wb") as f:
        f.write(body)
    cases.append((os.path.basename(archive), entry, password, key))


def expect_empty(archive, entry, password=""):
    cases.append((os.path.basename(archive), entry, password, "EMPTY"))


def entries_of(archive):
    with zipfile.ZipFile(archive) as z:
        return [i.filename for i in z.infolist() if not i.filename.endswith("/")]


# ------------------------------------------------------ reference tools --

def info_zip(files):
    for level in ("-0", "-1", "-6", "-9"):
        name = os.path.join(OUT, f"infozip{level}.zip")
        run("zip", "-q", "-r", "-X", level, name, ".", cwd=DATA)
        for e in entries_of(name):
            expect_entry(name, e)
    enc = os.path.join(OUT, "infozip-password.zip")
    run("zip", "-q", "-r", "-X", "-P", "s3cret", enc, ".", cwd=DATA)
    for e in entries_of(enc):
        expect_entry(enc, e, "s3cret")
        expect_empty(enc, e, "wrong")
    com = os.path.join(OUT, "infozip-comment.zip")
    with open(os.path.join(OUT, "comment.txt"), "wb") as f:
        f.write(b"Archive comment\n")
    with open(os.path.join(OUT, "comment.txt"), "rb") as f:
        run("zip", "-q", "-X", "-z", com, "readme.txt", "words.txt", cwd=DATA, stdin=f)
    expect_entry(com, "words.txt")
    # Streamed: written to a pipe, so every entry has a data descriptor.
    streamed = os.path.join(OUT, "infozip-streamed.zip")
    with open(streamed, "wb") as f:
        subprocess.run(["sh", "-c", "zip -q -r -X - . | cat"], cwd=DATA, check=True, stdout=f)
    for e in entries_of(streamed):
        expect_entry(streamed, e)
    # Zip64 records and blocks although every size fits 32 bits.
    z64 = os.path.join(OUT, "infozip-zip64.zip")
    run("zip", "-q", "-X", "-fz", z64, "words.txt", "sub/mixed.bin", cwd=DATA)
    for e in entries_of(z64):
        expect_entry(z64, e)


class Unseekable(io.RawIOBase):
    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


def python_zipfile(files):
    variants = [("py-stored.zip", zipfile.ZIP_STORED, None)]
    variants += [(f"py-deflate{lvl}.zip", zipfile.ZIP_DEFLATED, lvl) for lvl in (1, 6, 9)]
    for name, method, level in variants:
        path = os.path.join(OUT, name)
        with zipfile.ZipFile(path, "w", method, compresslevel=level) as z:
            for entry, body in files.items():
                z.writestr(entry, body)
        for e in entries_of(path):
            expect_entry(path, e)
    piped = os.path.join(OUT, "py-pipe.zip")
    with open(piped, "wb") as raw:
        with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
            for entry, body in files.items():
                with z.open(entry, "w") as w:
                    w.write(body)
    for e in entries_of(piped):
        expect_entry(piped, e)
    # The most entries the end record's 16-bit count holds (0xFFFF, which
    # zip64 writers also use as a marker; Python adds no zip64 records here).
    many = os.path.join(OUT, "py-65535.zip")
    with zipfile.ZipFile(many, "w", zipfile.ZIP_STORED) as z:
        for i in range(65535):
            z.writestr(f"e{i:05d}", b"%d" % i)
    run("unzip", "-tq", many)
    expect_entry(many, "e65534")


def seven_zip(files):
    for opt in ("-mx=1", "-mx=5", "-mx=9", "-mm=Copy"):
        path = os.path.join(OUT, f"7z{opt.replace('=', '')}.zip")
        run("7z", "a", "-tzip", opt, path, ".", cwd=DATA)
        for e in entries_of(path):
            expect_entry(path, e)
    crypt = os.path.join(OUT, "7z-zipcrypto.zip")
    run("7z", "a", "-tzip", "-mem=ZipCrypto", "-ps3cret", crypt, ".", cwd=DATA)
    for e in entries_of(crypt):
        expect_entry(crypt, e, "s3cret")
        expect_empty(crypt, e, "wrong")
    for opt, name in (("-mm=BZip2", "bzip2"), ("-mm=LZMA", "lzma"), ("-mm=Deflate64", "deflate64")):
        path = os.path.join(OUT, f"7z-{name}.zip")
        run("7z", "a", "-tzip", opt, path, "words.txt", cwd=DATA)
        expect_empty(path, "words.txt")
    aes = os.path.join(OUT, "7z-aes.zip")
    run("7z", "a", "-tzip", "-mem=AES256", "-ps3cret", aes, "words.txt", cwd=DATA)
    expect_empty(aes, "words.txt", "s3cret")


# ------------------------------------------------ test-only old encoders --

class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, bits):
        self.acc |= (value & ((1 << bits) - 1)) << self.n
        self.n += bits
        while self.n >= 8:
            self.out.append(self.acc & 0xFF)
            self.acc >>= 8
            self.n -= 8

    def done(self):
        if self.n:
            self.out.append(self.acc & 0xFF)
        return bytes(self.out)


def shrink(data):
    """LZW with growing codes and partial clears, mirroring the decoder's table."""
    w = BitWriter()
    bits = 9
    prefix = [-1] * 8192
    suffix = [0] * 8192
    table = {}
    next_free = 257

    def emit(code):
        nonlocal bits
        while code >= (1 << bits):
            w.put(256, bits)
            w.put(1, bits)
            bits += 1
        w.put(code, bits)

    def partial_clear():
        nonlocal next_free
        w.put(256, bits)
        w.put(2, bits)
        is_prefix = [False] * 8192
        for c in range(257, 8192):
            if prefix[c] != -1:
                is_prefix[prefix[c]] = True
        for c in range(257, 8192):
            if prefix[c] != -1 and not is_prefix[c]:
                del table[(prefix[c], suffix[c])]
                prefix[c] = -1
        next_free = 257
        while next_free < 8192 and prefix[next_free] != -1:
            next_free += 1

    cur = data[0]
    for c in data[1:]:
        if (cur, c) in table:
            cur = table[(cur, c)]
            continue
        emit(cur)
        if next_free >= 8192:
            partial_clear()
        if next_free < 8192:
            table[(cur, c)] = next_free
            prefix[next_free] = cur
            suffix[next_free] = c
            while next_free < 8192 and prefix[next_free] != -1:
                next_free += 1
        cur = c
    emit(cur)
    return w.done()


def huffman_lengths(freqs, limit=16):
    heap = [(f + 1, i, [i]) for i, f in enumerate(freqs)]
    heapq.heapify(heap)
    lengths = [0] * len(freqs)
    uid = len(freqs)
    while len(heap) > 1:
        fa, _, a = heapq.heappop(heap)
        fb, _, b = heapq.heappop(heap)
        for s in a + b:
            lengths[s] += 1
        heapq.heappush(heap, (fa + fb, uid, a + b))
        uid += 1
    if max(lengths) > limit:  # flat complete code instead
        n = len(freqs).bit_length() - 1
        lengths = [n] * len(freqs)
    return lengths


def canonical_codes(lengths):
    count = [0] * 17
    for l in lengths:
        count[l] += 1
    count[0] = 0
    nxt = [0] * 18
    code = 0
    for l in range(1, 17):
        code = (code + count[l - 1]) << 1
        nxt[l] = code
    codes = []
    for l in lengths:
        codes.append(nxt[l])
        nxt[l] += 1
    return codes


def put_code(w, code, length):
    """Sends a tree code with its bits inverted, most significant bit first."""
    for i in range(length - 1, -1, -1):
        w.put(((code >> i) & 1) ^ 1, 1)


def put_tree(out, lengths):
    runs = []
    i = 0
    while i < len(lengths):
        j = i
        while j < len(lengths) and lengths[j] == lengths[i] and j - i < 16:
            j += 1
        runs.append(((j - i - 1) << 4) | (lengths[i] - 1))
        i = j
    out.append(len(runs) - 1)
    out.extend(runs)


def implode(data, big_window, literal_tree):
    window = 8192 if big_window else 4096
    low_bits = 7 if big_window else 6
    min_match = 3 if literal_tree else 2
    max_match = min_match + 63 + 255
    tokens = []
    heads = {}
    i = 0
    while i < len(data):
        best_len, best_dist = 0, 0
        key = bytes(data[i:i + min_match])
        for cand in reversed(heads.get(key, [])[-16:]):
            if i - cand > window:
                continue
            n = 0
            while n < max_match and i + n < len(data) and data[cand + n] == data[i + n]:
                n += 1
            if n > best_len:
                best_len, best_dist = n, i - cand
        if best_len >= min_match:
            tokens.append(("m", best_len, best_dist))
            step = best_len
        else:
            tokens.append(("l", data[i]))
            step = 1
        for k in range(i, min(i + step, len(data))):
            heads.setdefault(bytes(data[k:k + min_match]), []).append(k)
        i += step
    lit_f, len_f, dist_f = [0] * 256, [0] * 64, [0] * 64
    for t in tokens:
        if t[0] == "l":
            lit_f[t[1]] += 1
        else:
            len_f[min(t[1] - min_match, 63)] += 1
            dist_f[(t[2] - 1) >> low_bits] += 1
    header = bytearray()
    lit_l = huffman_lengths(lit_f)
    len_l = huffman_lengths(len_f)
    dist_l = huffman_lengths(dist_f)
    if literal_tree:
        put_tree(header, lit_l)
    put_tree(header, len_l)
    put_tree(header, dist_l)
    lit_c, len_c, dist_c = canonical_codes(lit_l), canonical_codes(len_l), canonical_codes(dist_l)
    w = BitWriter()
    for t in tokens:
        if t[0] == "l":
            w.put(1, 1)
            if literal_tree:
                put_code(w, lit_c[t[1]], lit_l[t[1]])
            else:
                w.put(t[1], 8)
        else:
            _, length, dist = t
            w.put(0, 1)
            w.put((dist - 1) & ((1 << low_bits) - 1), low_bits)
            d = (dist - 1) >> low_bits
            put_code(w, dist_c[d], dist_l[d])
            l = length - min_match
            put_code(w, len_c[min(l, 63)], len_l[min(l, 63)])
            if l >= 63:
                w.put(l - 63, 8)
    return bytes(header) + w.done()


def write_zip(path, entries):
    """entries: (name, method, flag, compressed, original)."""
    out = bytearray()
    central = bytearray()
    for name, method, flag, comp, orig in entries:
        crc = zlib.crc32(orig) & 0xFFFFFFFF
        nb = name.encode("ascii")
        offset = len(out)
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 10, flag, method, 0x5A210000, crc, len(comp), len(orig), len(nb), 0)
        out += nb + comp
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, 10, 10, flag, method, 0x5A210000, crc, len(comp),
                               len(orig), len(nb), 0, 0, 0, 0, 32, offset)
        central += nb
    eocd = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central), len(out), 0)
    with open(path, "wb") as f:
        f.write(out + central + eocd)


def legacy(files):
    rnd = random.Random(7)
    samples = {
        "words.txt": files["words.txt"][:150000],
        "mixed.bin": files["sub/mixed.bin"][:60000],
        "tiny.txt": b"a",
        "runs.txt": b"abababababababababababab" * 50 + b"xyz" * 999,
        "noise.bin": bytes(rnd.getrandbits(8) for _ in range(20000)),
    }
    shrunk = [(n, 1, 0, shrink(b), b) for n, b in samples.items()]
    write_zip(os.path.join(OUT, "shrink.zip"), shrunk)
    imploded = []
    for big in (False, True):
        for lit in (False, True):
            flag = (2 if big else 0) | (4 if lit else 0)
            for n, b in samples.items():
                imploded.append((f"f{flag}-{n}", 6, flag, implode(b, big, lit), b))
    write_zip(os.path.join(OUT, "implode.zip"), imploded)
    for archive in ("shrink.zip", "implode.zip"):
        path = os.path.join(OUT, archive)
        run("unzip", "-tq", path)
        run("7z", "t", path)
        for e in entries_of(path):
            expect_entry(path, e)


def flushed(files):
    """Python's zlib flushing after every byte, with each kind of flush and
    with all of them one after the other: the most blocks per byte a writer
    makes."""
    data = files["words.txt"][:2000]
    chains = {"sync": [zlib.Z_SYNC_FLUSH], "full": [zlib.Z_FULL_FLUSH], "partial": [zlib.Z_PARTIAL_FLUSH],
              "block": [zlib.Z_BLOCK], "all": [zlib.Z_BLOCK, zlib.Z_PARTIAL_FLUSH, zlib.Z_SYNC_FLUSH, zlib.Z_FULL_FLUSH]}
    entries = []
    for name, modes in chains.items():
        for level in (0, 6):
            c = zlib.compressobj(level, zlib.DEFLATED, -15)
            packed = bytearray()
            for i in range(len(data)):
                packed += c.compress(data[i:i + 1])
                for mode in modes:
                    packed += c.flush(mode)
            packed += c.flush(zlib.Z_FINISH)
            assert zlib.decompress(bytes(packed), -15) == data
            entries.append((f"{name}-{level}.txt", 8, 0, bytes(packed), data))
    path = os.path.join(OUT, "flushed.zip")
    write_zip(path, entries)
    run("unzip", "-tq", path)
    for e in entries_of(path):
        expect_entry(path, e)


def names():
    """The same name three ways: flagged UTF-8 by Python and 7-Zip, and in
    the OEM code page (437) without the flag by Info-ZIP in the C locale."""
    with zipfile.ZipFile(os.path.join(OUT, "py-utf8.zip"), "w") as z:
        info = zipfile.ZipInfo("\u00e9t\u00e9.txt")
        info.comment = b"note"
        z.writestr(info, b"summer")
        z.writestr("snow \u2603.txt", b"cold")  # no ANSI form
    folder = os.path.join(OUT, "names")
    os.makedirs(folder)
    with open(os.path.join(folder.encode(), "\u00e9t\u00e9.txt".encode("utf-8")), "wb") as f:
        f.write(b"summer")
    run("7z", "a", "-tzip", os.path.join(OUT, "7z-utf8.zip"), "\u00e9t\u00e9.txt", cwd=folder)
    oem = "\u00e9t\u00e9.txt".encode("cp437")
    os.rename(os.path.join(folder.encode(), "\u00e9t\u00e9.txt".encode("utf-8")), os.path.join(folder.encode(), oem))
    subprocess.run([b"zip", b"-q", b"-X", os.path.join(OUT, "infozip-oem.zip").encode(), oem], cwd=folder, check=True,
                   stdout=subprocess.DEVNULL, env=dict(os.environ, LC_ALL="C"))
    for archive in ("py-utf8.zip", "7z-utf8.zip", "infozip-oem.zip"):
        run("unzip", "-tq", os.path.join(OUT, archive))


def main():
    if os.path.isdir(OUT):
        shutil.rmtree(OUT)
    os.makedirs(DATA)
    os.makedirs(EXPECT)
    files = sample_files()
    info_zip(files)
    python_zipfile(files)
    seven_zip(files)
    legacy(files)
    flushed(files)
    names()
    with open(os.path.join(OUT, "cases.txt"), "w") as f:
        for c in cases:
            f.write("|".join(c) + "\n")
    print(f"{len(cases)} cases")


main()
