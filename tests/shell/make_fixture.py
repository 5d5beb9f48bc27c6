#!/usr/bin/python3
"""Builds the shell tests' fixture folder (C:\\kvtest in the test prefix) from
scratch. No two names differ only in case. With --bench N it also makes the
folder bench with N small files for the benchmark."""
import os
import shutil
import sys
import zipfile


def write(path, data=b""):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def main():
    args = sys.argv[1:]
    bench = 0
    if "--bench" in args:
        i = args.index("--bench")
        bench = int(args[i + 1])
        del args[i:i + 2]
    root = args[0]
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    # Names in three scripts, an unknown type and a plain small file.
    write(os.path.join(root, "names", "\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.txt"), b"cyrillic")
    write(os.path.join(root, "names", "\u6771\u4eac\u90fd.txt"), b"cjk")
    write(os.path.join(root, "names", "caf\u00e9 \u00fcber.txt"), b"cp1252")
    write(os.path.join(root, "names", "a.xyz"), b"unknown type")
    write(os.path.join(root, "names", "small.txt"), b"x" * 10)
    # Enumeration: folders, files, a dot-folder and a dot-file (hidden under Wine).
    for name in ("alpha", "beta"):
        os.makedirs(os.path.join(root, "enum", name))
    write(os.path.join(root, "enum", ".dotfolder", "inside.txt"), b"in")
    write(os.path.join(root, "enum", ".dotfile"), b"d")
    write(os.path.join(root, "enum", "one.txt"), b"1")
    write(os.path.join(root, "enum", "two.dat"), b"22")
    with zipfile.ZipFile(os.path.join(root, "enum", "Folder.zip"), "w") as z:
        z.writestr("inner.txt", "zipped")
    # Sizes.
    write(os.path.join(root, "sizes", "empty.bin"), b"")
    write(os.path.join(root, "sizes", "k1023.bin"), b"k" * 1023)
    write(os.path.join(root, "sizes", "k5000.bin"), b"s" * 5000)
    write(os.path.join(root, "sizes", "grow.bin"), b"g" * 100)
    os.makedirs(os.path.join(root, "sizes", "folder"))
    # Operations: clipboard, delete, rename, shortcuts.
    for name in ("copy1.txt", "copy2.txt", "delete1.txt", "rename1.txt"):
        write(os.path.join(root, "ops", name), name.encode())
    os.makedirs(os.path.join(root, "ops", "target"))
    write(os.path.join(root, "other", "elsewhere.txt"), b"e")
    os.makedirs(os.path.join(root, "links"))
    # The explorer tree's commands.
    for name in ("a.txt", "b.txt", "gone.txt", "kept.txt", "ren.txt"):
        write(os.path.join(root, "cmds", name), name.encode())
    os.makedirs(os.path.join(root, "cmds", "New Folder"))
    # New folder names: base and (1) taken; base and (1)..(19) taken.
    os.makedirs(os.path.join(root, "newfolder", "New Folder"))
    os.makedirs(os.path.join(root, "newfolder", "New Folder (1)"))
    os.makedirs(os.path.join(root, "newfolder19", "New Folder"))
    for n in range(1, 20):
        os.makedirs(os.path.join(root, "newfolder19", "New Folder (%d)" % n))
    # A file, not a folder, holding the default name.
    write(os.path.join(root, "newfolder19", "withfile", "New Folder"), b"f")
    # Linked views: a music library with two levels.
    write(os.path.join(root, "Music", "Rock", "a.mp3"), b"a")
    write(os.path.join(root, "Music", "Rock", "Live", "b.mp3"), b"b")
    os.makedirs(os.path.join(root, "Music", "Jazz"))
    write(os.path.join(root, "Music", "c.mp3"), b"c")
    # Icons.
    for n in range(12):
        write(os.path.join(root, "icons", "file%02d.txt" % n), b"i")
    # The wide-string list's file form, as the tests' oracle writes it.
    items = ["C:\\kvtest", "\u041f\u0440\u0438\u0432\u0435\u0442", "\u6771\u4eac", "caf\u00e9", "", "\U0001F3B5 note"]
    write(os.path.join(root, "lists", "expected.txt"),
          b"\xff\xfe" + "".join(i + "\r\n" for i in items).encode("utf-16-le"))
    write(os.path.join(root, "lists", "big_endian.txt"),
          b"\xfe\xff" + "".join(i + "\r\n" for i in items).encode("utf-16-be"))
    write(os.path.join(root, "lists", "markless.txt"), "caf\u00e9\r\n\u20ac uro\r\n".encode("cp1252"))
    if bench:
        for n in range(bench):
            write(os.path.join(root, "bench", "track%05d.mp3" % n), b"b" * (n % 97))
    write(os.path.join(root, "fixture.ok"), b"ok")


if __name__ == "__main__":
    main()
