#!/usr/bin/python3
"""Makes the library the program search benchmark scans: tagged music files in
the shape users have. Mostly MP3 (ID3v2.3 and v2.4, some with ID3v1 too; CBR
and VBR with a Xing header), some FLAC, M4A, Ogg Vorbis and WMA; several
hundred artist/album folders and one folder of more than 1,000 files; names
with "&", accents and Cyrillic; about a fifth of the songs in groups of 2 to 5
copies, exact (same tags, another format or bit rate) or similar (one more
word in the title). The files are short (a fraction of a second of sound);
ffmpeg makes one of each kind, mutagen tags the copies.

usage: make_search_bench_library.py <folder> [files=20000] [seed=1]
"""
import os
import random
import shutil
import subprocess
import sys
import tempfile

from mutagen.asf import ASF
from mutagen.flac import FLAC
from mutagen.id3 import ID3, TALB, TIT2, TPE1, TRCK
from mutagen.mp4 import MP4
from mutagen.oggvorbis import OggVorbis

SYLLABLES = ["ka", "lo", "mi", "ren", "dor", "vel", "tha", "qu", "sin", "bra", "el", "om", "ur", "zen", "pha",
             "gri", "nol", "tes", "wyn", "ax", "ibo", "cre", "dun", "fal", "hem", "jor", "lys", "mok", "nua"]
# Words users' names carry beside the plain ones: "&", accents, Cyrillic.
SPICE = ["&", "Été", "Café", "Señor", "Müller", "Кино", "Звезда", "Ночь", "Crème", "Zoë"]
# (extension, ffmpeg arguments, share of the files in per cent)
KINDS = [
    ("cbr.mp3", ["-c:a", "libmp3lame", "-b:a", "128k", "-write_xing", "0", "-id3v2_version", "0"], 40),
    ("vbr.mp3", ["-c:a", "libmp3lame", "-q:a", "4", "-id3v2_version", "0"], 40),
    ("flac", ["-c:a", "flac"], 5),
    ("m4a", ["-c:a", "aac", "-b:a", "64k"], 5),
    ("ogg", ["-c:a", "libvorbis", "-q:a", "2"], 5),
    ("wma", ["-c:a", "wmav2", "-b:a", "64k"], 5),
]


def make_templates(folder):
    templates = {}
    for kind, args, _ in KINDS:
        path = os.path.join(folder, "t" + kind if "." in kind else "t." + kind)
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=0.3",
                        "-map_metadata", "-1"] + args + [path], check=True)
        with open(path, "rb") as f:
            templates[kind] = f.read()
    return templates


class Names:
    def __init__(self, rng):
        self.rng = rng

    def word(self):
        if self.rng.random() < 0.06:
            return self.rng.choice(SPICE)
        w = "".join(self.rng.choice(SYLLABLES) for _ in range(self.rng.randint(2, 4)))
        return w.capitalize()

    def words(self, count):
        return " ".join(self.word() for _ in range(count))


def tag(path, kind, artist, title, album, track, rng):
    if kind.endswith("mp3"):
        tags = ID3()
        tags.add(TPE1(encoding=1, text=artist))
        tags.add(TIT2(encoding=1, text=title))
        tags.add(TALB(encoding=1, text=album))
        tags.add(TRCK(encoding=0, text=str(track)))
        tags.save(path, v1=2 if rng.random() < 0.3 else 0, v2_version=3 if rng.random() < 0.7 else 4)
        return
    if kind == "m4a":
        tags = MP4(path)
        tags["\xa9ART"], tags["\xa9nam"], tags["\xa9alb"] = [artist], [title], [album]
    elif kind == "wma":
        tags = ASF(path)
        tags["Author"], tags["Title"], tags["WM/AlbumTitle"] = [artist], [title], [album]
    else:
        tags = FLAC(path) if kind == "flac" else OggVorbis(path)
        tags["artist"], tags["title"], tags["album"] = [artist], [title], [album]
    tags.save()


def safe(name):
    return "".join("_" if c in '\\/:*?"<>|' else c for c in name)


def main():
    root = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    rng = random.Random(int(sys.argv[3]) if len(sys.argv) > 3 else 1)
    names = Names(rng)
    shutil.rmtree(root, ignore_errors=True)
    with tempfile.TemporaryDirectory() as scratch:
        templates = make_templates(scratch)
    kinds = [k for k, _, share in KINDS for _ in range(share)]

    artists = [names.words(rng.randint(1, 3)) for _ in range(max(count // 50, 10))]
    artists[0] = "Kate Wood & the Crowns"
    albums = [(a, names.words(2)) for a in artists for _ in range(rng.randint(1, 2))]
    inbox = os.path.join(root, "Inbox")  # the folder of more than 1,000 files
    inbox_files = max(count // 16, 1) if count >= 2000 else 0
    made = grouped = groups = 0
    while made < count:
        artist, album = rng.choice(albums)
        title = names.words(rng.randint(1, 4))
        copies = rng.randint(2, 5) if rng.random() < 0.067 else 1
        copies = min(copies, count - made)
        similar = rng.random() < 0.5
        if copies > 1:
            groups += 1
            grouped += copies
        for c in range(copies):
            copy_title = title + " " + names.word() if similar and c % 2 else title
            kind = rng.choice(kinds)
            if made < inbox_files:
                folder = inbox
            else:
                folder = os.path.join(root, safe(artist), safe(album))
            os.makedirs(folder, exist_ok=True)
            ext = kind.split(".")[-1]
            path = os.path.join(folder, "%05d %s.%s" % (made, safe(copy_title)[:60], ext))
            with open(path, "wb") as f:
                f.write(templates[kind])
            tag(path, kind, artist, copy_title, album, c + 1, rng)
            made += 1
    folders = sum(1 for _ in os.walk(root))
    print("library: %d files in %d folders, %d in %d planned groups" % (made, folders, grouped, groups))


if __name__ == "__main__":
    main()
