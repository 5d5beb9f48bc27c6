#!/usr/bin/python3
"""Makes the music library the wizard's search test scans: exact and similar
duplicates, untagged files and an .m4a file, tagged with mutagen.

usage: make_search_library.py <folder>
"""
import os
import shutil
import subprocess
import sys

from mutagen.id3 import ID3, TALB, TIT2, TPE1
from mutagen.mp4 import MP4

# Ten MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz.
FRAMES = (bytes([0xFF, 0xFB, 0x90, 0x40]) + bytes(413)) * 10

MP3S = [
    ("exact/one/Let It Be.mp3", "Beatles", "Let It Be"),
    ("exact/two/Let It Be.mp3", "Beatles", "Let It Be"),
    ("alone/Penny Lane.mp3", "Beatles", "Penny Lane"),
    ("similar/Shine.mp3", "Pink Floyd", "Shine On You Crazy Diamond Parts One To Five Remastered"),
    ("similar/Shine again.mp3", "Pink Floyd", "Shine On You Crazy Diamond Parts One To Five"),
    ("cross/Hysteria.mp3", "Muse", "Hysteria"),
    ("untagged/qzxv.mp3", None, None),
    ("untagged/wkyj.mp3", None, None),
]


def main():
    root = sys.argv[1]
    shutil.rmtree(root, ignore_errors=True)
    for name, artist, title in MP3S:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(FRAMES)
        if artist:
            tags = ID3()
            tags.add(TPE1(encoding=1, text=artist))
            tags.add(TIT2(encoding=1, text=title))
            tags.add(TALB(encoding=1, text="Album"))
            tags.save(path)
    m4a = os.path.join(root, "cross", "m4a", "Hysteria.m4a")
    os.makedirs(os.path.dirname(m4a))
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=1", "-c:a", "aac",
                    "-b:a", "64k", m4a], check=True)
    tags = MP4(m4a)
    tags["\xa9ART"] = ["Muse"]
    tags["\xa9nam"] = ["Hysteria"]
    tags.save()


if __name__ == "__main__":
    main()
