#!/usr/bin/python3
"""The writer's checks with the reference tools.

  writer_check.py prepare DIR   archives made by zip, Python and 7-Zip for the
                                Windows tests to rewrite and read
  writer_check.py verify DIR    the archives the Windows tests wrote, checked
                                with unzip, 7z and Python's zipfile

DIR/foreign/<tool>.zip   three entries (a.txt, b.txt, c.bin) and a comment;
                         DIR/foreign/src holds the entries' bytes; zip64 and
                         python64 carry zip64 records although every value
                         fits 32 bits
DIR/strings/*.zip        strings stored by zip -P and by Python
DIR/out/                 written by the Windows tests; out/expected/<name>
                         holds the bytes each entry must have
"""
import io
import os
import random
import shutil
import struct
import subprocess
import sys
import zipfile

PASSWORD = "secret"
FOREIGN_ENTRIES = ["a.txt", "b.txt", "c.bin"]
failures = []


def fail(msg):
    failures.append(msg)
    print("FAIL:", msg)


def run(args, cwd=None, stdin=None):
    return subprocess.run(args, cwd=cwd, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


class Unseekable:
    """A sink zipfile cannot seek in: it writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def write(self, b):
        return self.f.write(b)

    def flush(self):
        self.f.flush()


def prepare(root):
    for sub in ("foreign", "strings", "out"):
        shutil.rmtree(os.path.join(root, sub), ignore_errors=True)
    src = os.path.join(root, "foreign", "src")
    os.makedirs(src)
    os.makedirs(os.path.join(root, "strings"))
    os.makedirs(os.path.join(root, "out", "expected"))
    rng = random.Random(7)
    words = [b"music ", b"file ", b"artist ", b"title ", b"\r\n"]
    contents = {
        "a.txt": b"".join(rng.choice(words) for _ in range(5000)),
        "b.txt": b"the entry that gets replaced\r\n" * 50,
        "c.bin": bytes(rng.getrandbits(8) for _ in range(20000)),
    }
    for name, data in contents.items():
        with open(os.path.join(src, name), "wb") as f:
            f.write(data)
    foreign = os.path.join(root, "foreign")
    # Info-ZIP: extra fields in both headers; comment from stdin.
    r = run(["zip", "-q", os.path.join(foreign, "zip.zip")] + FOREIGN_ENTRIES, cwd=src)
    r2 = run(["zip", "-q", "-z", os.path.join(foreign, "zip.zip")], cwd=src, stdin=b"comment by zip\n.\n")
    if r.returncode or r2.returncode:
        fail("zip could not make its archive: %s %s" % (r.stderr, r2.stderr))
    # Python, written without seeking: every entry has a data descriptor.
    with open(os.path.join(foreign, "python.zip"), "wb") as raw:
        with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
            z.comment = b"comment by Python"
            for name in FOREIGN_ENTRIES:
                z.writestr(name, contents[name])
    # Zip64 records and blocks: zip -fz puts the directory offset at its
    # maximum; Python, not seeking, writes 8-byte sizes in the descriptors.
    r = run(["zip", "-q", "-fz", os.path.join(foreign, "zip64.zip")] + FOREIGN_ENTRIES, cwd=src)
    r2 = run(["zip", "-q", "-z", os.path.join(foreign, "zip64.zip")], cwd=src, stdin=b"comment by zip -fz\n.\n")
    if r.returncode or r2.returncode:
        fail("zip -fz could not make its archive: %s %s" % (r.stderr, r2.stderr))
    with open(os.path.join(foreign, "python64.zip"), "wb") as raw:
        with zipfile.ZipFile(Unseekable(raw), "w", zipfile.ZIP_DEFLATED) as z:
            z.comment = b"comment by Python, zip64"
            for name in FOREIGN_ENTRIES:
                with z.open(name, "w", force_zip64=True) as w:
                    w.write(contents[name])
    r = run(["7z", "a", "-tzip", "-bd", os.path.join(foreign, "7z.zip")] + FOREIGN_ENTRIES, cwd=src)
    if r.returncode:
        fail("7z could not make its archive: %s" % r.stdout)
    else:
        # 7-Zip sets no archive comment; Python adds one to its directory.
        with zipfile.ZipFile(os.path.join(foreign, "7z.zip"), "a") as z:
            z.comment = b"comment added to the archive of 7-Zip"
    # Strings made by the tools, for LoadStringFromZip.
    note = b"stored by zip -P\r\nsecond line \xe9\r\n"
    with open(os.path.join(root, "strings", "note"), "wb") as f:
        f.write(note)
    r = run(["zip", "-q", "-P", PASSWORD, "from_zip.zip", "note"], cwd=os.path.join(root, "strings"))
    if r.returncode:
        fail("zip -P failed: %s" % r.stderr)
    with zipfile.ZipFile(os.path.join(root, "strings", "from_python.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("history", b"stored by Python\r\n" * 20)


def local_region(archive_bytes, info):
    """The bytes of an entry from its local header to the end of its data
    (and data descriptor)."""
    at = info.header_offset
    name_len, extra_len = struct.unpack_from("<HH", archive_bytes, at + 26)
    extra = archive_bytes[at + 30 + name_len:at + 30 + name_len + extra_len]
    wide = False
    i = 0
    while i + 4 <= len(extra):
        block_id, block_len = struct.unpack_from("<HH", extra, i)
        wide = wide or block_id == 1
        i += 4 + block_len
    end = at + 30 + name_len + extra_len + info.compress_size
    if info.flag_bits & 8:
        end += (4 if archive_bytes[end:end + 4] == b"PK\x07\x08" else 0) + (20 if wide else 12)
    return archive_bytes[at:end]


def tool_checks(path, password, entries):
    """Every tool tests the archive and extracts each entry as expected."""
    pw = password or None
    r = run(["unzip", "-tq"] + (["-P", pw] if pw else []) + [path])
    if r.returncode:
        fail("unzip -t %s: %s" % (path, r.stdout + r.stderr))
    r = run(["7z", "t", "-bd"] + (["-p" + pw] if pw else []) + [path])
    if r.returncode:
        fail("7z t %s: %s" % (path, r.stdout))
    try:
        with zipfile.ZipFile(path) as z:
            if pw:
                z.setpassword(pw.encode())
            bad = z.testzip()
            if bad:
                fail("zipfile.testzip %s: %s" % (path, bad))
            for name, data in entries.items():
                if z.read(name) != data:
                    fail("zipfile read %s of %s differs" % (name, path))
    except Exception as e:  # a broken archive: report and go on
        fail("zipfile %s: %r" % (path, e))
    for name, data in entries.items():
        r = run(["unzip", "-p"] + (["-P", pw] if pw else []) + [path, name])
        if r.stdout != data:
            fail("unzip -p %s of %s differs" % (name, path))
        r = run(["7z", "x", "-so", "-bd"] + (["-p" + pw] if pw else []) + [path, name])
        if r.stdout != data:
            fail("7z x %s of %s differs" % (name, path))


def verify(root):
    out = os.path.join(root, "out")
    expected_dir = os.path.join(out, "expected")
    expected = {n: open(os.path.join(expected_dir, n), "rb").read() for n in os.listdir(expected_dir)}
    levels = sorted(f for f in os.listdir(out) if f.startswith("level") and f.endswith(".zip"))
    if len(levels) != 14:
        fail("expected 14 level archives, found %d" % len(levels))
    entry_names = ["empty", "short", "text70k", "random1m", "same300k", "large"]
    for f in levels:
        level = int(f[5])
        password = PASSWORD if "_pw" in f else ""
        path = os.path.join(out, f)
        tool_checks(path, password, {n: expected[n] for n in entry_names})
        with zipfile.ZipFile(path) as z:
            infos = z.infolist()
            if [i.filename for i in infos] != entry_names:
                fail("%s: entries %s" % (f, [i.filename for i in infos]))
            for i in infos:
                bits = 0 if level == 0 else 4 if level < 3 else 2 if level >= 8 else 0
                bits |= 1 if password else 0
                if i.extract_version != 20 or i.flag_bits != bits:
                    fail("%s %s: version %d flags %d" % (f, i.filename, i.extract_version, i.flag_bits))
                tiny = i.filename in ("empty", "short")
                if (level == 0 or tiny) and i.compress_type != 0:
                    fail("%s %s: method %d, expected stored" % (f, i.filename, i.compress_type))

    for tool in ("zip", "python", "7z", "zip64", "python64"):
        old_path = os.path.join(root, "foreign", tool + ".zip")
        new_path = os.path.join(out, "rewritten_" + tool + ".zip")
        if not os.path.exists(new_path):
            fail("missing " + new_path)
            continue
        src = os.path.join(root, "foreign", "src")
        entries = {n: open(os.path.join(src, n), "rb").read() for n in FOREIGN_ENTRIES}
        entries["b.txt"] = expected["replaced_b.txt"]
        entries["added.txt"] = expected["added.txt"]
        tool_checks(new_path, "", entries)
        old_bytes = open(old_path, "rb").read()
        new_bytes = open(new_path, "rb").read()
        with zipfile.ZipFile(old_path) as zo, zipfile.ZipFile(new_path) as zn:
            names = [i.filename for i in zn.infolist()]
            if names != FOREIGN_ENTRIES + ["added.txt"]:
                fail("%s: order %s" % (tool, names))
            if zn.comment != zo.comment or not zo.comment:
                fail("%s: comment %r, was %r" % (tool, zn.comment, zo.comment))
            for name in ("a.txt", "c.bin"):
                if local_region(old_bytes, zo.getinfo(name)) != local_region(new_bytes, zn.getinfo(name)):
                    fail("%s: %s not copied byte for byte" % (tool, name))
                if zo.getinfo(name).extra != zn.getinfo(name).extra:
                    fail("%s: central extra field of %s changed" % (tool, name))

    full = os.path.join(out, "full65535.zip")
    if not os.path.exists(full):
        fail("missing " + full)
    else:
        tool_checks(full, "", {"e00000": expected["full65535_e00000"], "e65534": b"65534"})
        with zipfile.ZipFile(full) as z:
            if len(z.infolist()) != 65535:
                fail("%s: %d entries" % (full, len(z.infolist())))

    strings = {"strings_plain.zip": "", "strings_pw.zip": PASSWORD}
    for f, password in strings.items():
        tool_checks(os.path.join(out, f), password, {"note": expected["strings_note"]})


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("prepare", "verify"):
        print(__doc__)
        return 2
    (prepare if sys.argv[1] == "prepare" else verify)(sys.argv[2])
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
