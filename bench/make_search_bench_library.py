#!/usr/bin/python3
"""Makes the library the program search benchmark scans: tagged music files in
the shape users have. Mostly MP3 (ID3v2.3 and v2.4, some with ID3v1 too; CBR
and VBR with a Xing header), some FLAC, M4A, Ogg Vorbis and WMA; several
hundred artist/album folders and one folder of more than 1,000 files; names
with "&", accents and Cyrillic; about a fifth of the songs in groups of 2 to 5
copies, exact (same tags, another format or bit rate) or similar (one more
word in the title). The files are short (a fraction of a second of sound);
ffmpeg makes one of each kind, mutagen tags the copies.

With --real-size the library is the shape users' libraries have: files of
0.3 to 2 MB of real frames (noise, so the encoders spend real bit rates; a few
templates per kind, sizes weighted towards the small end), small album
folders with covers, playlists and desktop.ini beside the music (about 2.5
entries the scan reports per music file, counting every folder's own entry,
"." and ".."), and three folders of more than 1,000 files. 8,000 music files
make about 6 GB.

usage: make_search_bench_library.py [--real-size] <folder> [files=20000, 8000 with --real-size] [seed=1]
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


# Real-size files: target sizes in MB and how often each is drawn (mean about 0.75 MB).
REAL_SIZES = [(0.3, 3), (0.45, 3), (0.65, 3), (0.9, 2), (1.3, 2), (2.0, 1)]


def encode(folder, kind, args, source, name):
    path = os.path.join(folder, name + "." + kind.split(".")[-1])
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", source, "-ac", "2",
                    "-map_metadata", "-1"] + args + [path], check=True)
    with open(path, "rb") as f:
        return f.read()


def make_templates(folder, real_size):
    """kind -> list of template file contents (one, or one per real size)."""
    templates = {}
    for kind, args, _ in KINDS:
        if not real_size:
            templates[kind] = [encode(folder, kind, args, "sine=f=440:d=0.3", "t" + kind)]
            continue
        # The encoder's rate on this sound, from a 10 s probe, gives each size's length.
        noise = "anoisesrc=d=%.2f:c=pink:a=0.2:r=44100"
        rate = len(encode(folder, kind, args, noise % 10, "probe" + kind)) / 10.0
        templates[kind] = [encode(folder, kind, args, noise % (mb * 1e6 / rate), "t%g%s" % (mb, kind))
                           for mb, _ in REAL_SIZES]
    return templates


def write_extras(folder, rng, names):
    """What users' album folders hold beside the music."""
    if rng.random() < 0.5:
        with open(os.path.join(folder, "folder.jpg"), "wb") as f:
            f.write(b"\xff\xd8\xff\xe0" + rng.randbytes(rng.randint(20000, 90000)) + b"\xff\xd9")
    if rng.random() < 0.2:
        with open(os.path.join(folder, "desktop.ini"), "w") as f:
            f.write("[.ShellClassInfo]\r\nIconFile=folder.jpg\r\n")
    if rng.random() < 0.15:
        with open(os.path.join(folder, names.words(2) + ".m3u"), "w", encoding="utf-8") as f:
            f.write("#EXTM3U\r\n")


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
    args = sys.argv[1:]
    real_size = "--real-size" in args
    args = [a for a in args if a != "--real-size"]
    root = args[0]
    count = int(args[1]) if len(args) > 1 else 8000 if real_size else 20000
    rng = random.Random(int(args[2]) if len(args) > 2 else 1)
    names = Names(rng)
    shutil.rmtree(root, ignore_errors=True)
    with tempfile.TemporaryDirectory() as scratch:
        templates = make_templates(scratch, real_size)
    kinds = [k for k, _, share in KINDS for _ in range(share)]
    sizes = [i for i, (_, weight) in enumerate(REAL_SIZES) for _ in range(weight)] if real_size else [0]

    if real_size:
        # Three folders of over 1,000 files; the rest in albums of about two tracks.
        big = [os.path.join(root, name) for name in ("Inbox", "Downloads", "Various Artists")]
        inbox_files = 1100 * len(big) if count >= 6000 else 0
        album_count = max((count - inbox_files) // 2, 10)
        artists = [names.words(rng.randint(1, 3)) for _ in range(max(album_count, 10))]
    else:
        big = [os.path.join(root, "Inbox")]  # the folder of more than 1,000 files
        inbox_files = max(count // 16, 1) if count >= 2000 else 0
        artists = [names.words(rng.randint(1, 3)) for _ in range(max(count // 50, 10))]
    artists[0] = "Kate Wood & the Crowns"
    if real_size:
        albums = [(rng.choice(artists), names.words(2)) for _ in range(album_count)]
    else:
        albums = [(a, names.words(2)) for a in artists for _ in range(rng.randint(1, 2))]
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
                folder = big[made * len(big) // inbox_files]
            else:
                folder = os.path.join(root, safe(artist), safe(album))
            if not os.path.isdir(folder):
                os.makedirs(folder)
                if real_size:
                    write_extras(folder, rng, names)
            ext = kind.split(".")[-1]
            path = os.path.join(folder, "%05d %s.%s" % (made, safe(copy_title)[:60], ext))
            with open(path, "wb") as f:
                f.write(templates[kind][rng.choice(sizes)] if real_size else templates[kind][0])
            tag(path, kind, artist, copy_title, album, c + 1, rng)
            made += 1
    folders = files = size = 0
    for folder, _, entries in os.walk(root):
        folders += 1
        files += len(entries)
        size += sum(os.path.getsize(os.path.join(folder, e)) for e in entries)
    # The scan reports every entry of every folder it enters, with "." and "..".
    reported = files + 3 * (folders - 1) + 2
    print("library: %d music files (%d files in all, %.2f GB) in %d folders, %d in %d planned groups; "
          "%d entries reported, %.2f per music file" % (made, files, size / 1e9, folders, grouped, groups,
                                                       reported, reported / made))


if __name__ == "__main__":
    main()
