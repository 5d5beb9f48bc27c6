#!/usr/bin/python3
"""Makes the library the end-to-end program test scans: groups whose copies
differ in bit rate (smart marking keeps the higher one), Cyrillic and accented
file names, two Cyrillic names of equal length in one folder, and one file
without a partner. Tags are written with mutagen.

usage: make_e2e_library.py <folder> <windows-path-of-folder>

Beside the folder, <folder>.digests lists for every file its path relative to
the folder, a tab and the 32 hex digits of its hidden name in the reserve: the
MD5 of the path in the ANSI code page (1252), or of the UTF-8 path when the
code page cannot hold it.
"""
import hashlib
import os
import shutil
import sys

from mutagen.id3 import ID3, TALB, TIT2, TPE1

# MPEG-1 Layer III bit-rate indexes (kbit/s -> index), 44.1 kHz.
BITRATE_INDEX = {128: 9, 192: 11, 256: 13, 320: 14}


def frames(kbits, count=12):
    header = bytes([0xFF, 0xFB, BITRATE_INDEX[kbits] << 4, 0x40])
    size = 144 * kbits * 1000 // 44100
    return (header + bytes(size - 4)) * count


SHINE = "Shine On You Crazy Diamond Parts One To Five"
# (path, kbit/s, artist, title); the lower bit rate of each group is the copy
# smart marking checks.
FILES = [
    ("Abba/Waterloo.mp3", 320, "ABBA", "Waterloo"),
    ("Abba/old/Waterloo.mp3", 128, "ABBA", "Waterloo"),
    ("Abba/Mamma Mia.mp3", 192, "ABBA", "Mamma Mia"),
    ("Kino/best/Gruppa krovi.mp3", 320, "Kino", "Gruppa krovi"),
    ("Kino/Песня.mp3", 128, "Kino", "Gruppa krovi"),
    ("Kino/best/Zvezda.mp3", 320, "Kino", "Zvezda po imeni Solntse"),
    ("Kino/Мечта.mp3", 128, "Kino", "Zvezda po imeni Solntse"),
    ("Café/L'été indien (remaster).mp3", 256, "Joe Dassin", "L'été indien"),
    ("Café/Été indien.mp3", 128, "Joe Dassin", "L'été indien"),
    ("Floyd/Shine again.mp3", 320, "Pink Floyd", SHINE),
    ("Floyd/Shine.mp3", 192, "Pink Floyd", SHINE + " Remastered"),
]


def digest(windows_path):
    try:
        data = windows_path.encode("cp1252")
    except UnicodeEncodeError:
        data = windows_path.encode("utf-8")
    return hashlib.md5(data).hexdigest().upper()


def main():
    root, windows_root = sys.argv[1], sys.argv[2]
    shutil.rmtree(root, ignore_errors=True)
    digests = []
    for name, kbits, artist, title in FILES:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(frames(kbits))
        tags = ID3()
        tags.add(TPE1(encoding=1, text=artist))
        tags.add(TIT2(encoding=1, text=title))
        tags.add(TALB(encoding=1, text="Album"))
        tags.save(path)
        digests.append(name + "\t" + digest(windows_root + "\\" + name.replace("/", "\\")) + "\n")
    with open(root + ".digests", "w", encoding="utf-8", newline="\n") as f:
        f.writelines(digests)


if __name__ == "__main__":
    main()
