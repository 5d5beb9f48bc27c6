#!/usr/bin/python3
"""Makes MP3 files with Debian's encoders and taggers and writes what mutagen
reads in them to expected.tsv, for the MP3 reader comparison test.

    make_mp3_corpus.py <output-dir>

Lines of expected.tsv:

    <file> TAB <key> TAB S TAB <text as Windows-1252 hex>
    <file> TAB <key> TAB N TAB <number> TAB <tolerance>

Keys: v2.* for the ID3v2 text reader, v1.* for the ID3v1 block, mpeg.* for
the stream analysis. Texts are what mutagen decodes, turned into the program's
ANSI code page; the few derivations the readers make from a frame's text (the
number before "/" of a track, what follows ")" in a genre, the first four
characters of a date) are applied to mutagen's texts here.
"""
import os
import subprocess
import sys

from mutagen.id3 import ID3, ID3NoHeaderError, ParseID3v1
from mutagen.mp3 import MP3, BitrateMode

OUT = sys.argv[1]
rows = []


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def path(name):
    return os.path.join(OUT, name)


def text(name, key, value, codec="cp1252"):
    rows.append(f"{name}\t{key}\tS\t{value.encode(codec, errors='replace').hex()}")


def number(name, key, value, tolerance=0):
    rows.append(f"{name}\t{key}\tN\t{value}\t{tolerance}")


def trim(s):
    """Blanks and control characters off both ends, as the readers trim."""
    i, j = 0, len(s)
    while i < j and ord(s[i]) <= 32:
        i += 1
    while j > i and ord(s[j - 1]) <= 32:
        j -= 1
    return s[i:j]


def leading_int(s):
    s = s.split("/")[0]
    body = s[1:] if s[:1] in "+-" else s
    return int(s) if body.isdigit() and len(body) <= 10 and -2**31 <= int(s) < 2**31 else 0


def wav(name, seconds, channels, rate):
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"sine=f=440:d={seconds}",
        "-ac", str(channels), "-ar", str(rate), path(name))


def cover(name):
    # A noisy picture, so the frame is larger than 127 bytes and its
    # syncsafe and plain sizes differ.
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=96x96:d=1",
        "-frames:v", "1", path(name))


def expect_v2(name):
    try:
        tags = ID3(path(name), translate=False, load_v1=False)
    except ID3NoHeaderError:
        number(name, "v2.exists", 0)
        return
    number(name, "v2.exists", 1)
    number(name, "v2.version", tags.version[1])

    def kept(fid):
        return tags.getall(fid)

    def frame_text(fid):
        frames = kept(fid)
        return trim(str(frames[-1].text[0])) if frames and frames[-1].text else ""

    text(name, "v2.title", frame_text("TIT2"))
    text(name, "v2.artist", frame_text("TPE1"))
    text(name, "v2.album", frame_text("TALB"))
    track = frame_text("TRCK")
    text(name, "v2.tracktext", track)
    number(name, "v2.track", leading_int(track))
    year = frame_text("TYER") or frame_text("TDRC")[:4]
    text(name, "v2.year", year)
    genre = frame_text("TCON")
    if ")" in genre:
        genre = genre[genre.rindex(")") + 1:]
    text(name, "v2.genre", genre)
    comments = kept("COMM")
    text(name, "v2.comment", trim(comments[-1].text[0]) if comments and comments[-1].text else "")
    text(name, "v2.composer", frame_text("TCOM"))
    text(name, "v2.encoder", frame_text("TENC"))


def expect_v1(name):
    with open(path(name), "rb") as f:
        data = f.read()
    frames = ParseID3v1(data[-128:]) if len(data) >= 128 else None
    if not frames:
        number(name, "v1.exists", 0)
        return
    number(name, "v1.exists", 1)

    def t(fid):
        return str(frames[fid].text[0]).rstrip() if fid in frames else ""

    # The block's bytes pass as they stand, so Latin-1 gives them back.
    for key, fid in (("title", "TIT2"), ("artist", "TPE1"), ("album", "TALB"), ("year", "TDRC"),
                     ("comment", "COMM")):
        text(name, "v1." + key, t(fid), "latin-1")
    number(name, "v1.track", int(t("TRCK") or 0))
    text(name, "v1.genre", frames["TCON"].genres[0] if "TCON" in frames and frames["TCON"].genres else "")


def expect_stream(name):
    info = MP3(path(name)).info
    vbr = info.bitrate_mode == BitrateMode.VBR
    number(name, "mpeg.length", f"{info.length:.3f}", 1)
    # The record holds whole kbit/s; mutagen derives a CBR file's rate from its
    # size and length (191999 for 192000), so its figure is rounded alike.
    number(name, "mpeg.kbps", round(info.bitrate / 1000), 1 if vbr else 0)
    number(name, "mpeg.rate", info.sample_rate)
    number(name, "mpeg.channels", info.mode + 1)
    number(name, "mpeg.version", {1: 1, 2: 2, 2.5: 3}[info.version])
    number(name, "mpeg.layer", info.layer)


def expect(name):
    expect_v2(name)
    expect_v1(name)
    expect_stream(name)


def main():
    os.makedirs(OUT, exist_ok=True)
    wav("stereo44.wav", 7, 2, 44100)
    wav("mono22.wav", 6, 1, 22050)
    wav("mono8.wav", 5, 1, 8000)
    cover("cover.jpg")

    # lame: constant and variable bit rate, UTF-16 and Latin-1 tags, ID3v1 only.
    run("lame", "--quiet", "-b", "128", "--add-id3v2", "--id3v2-utf16", "--tt", "D\u00e9j\u00e0 vu",
        "--ta", "Beyonc\u00e9", "--tl", "Album \u20ac", "--ty", "2004", "--tn", "3/12", "--tg", "Rock",
        "--tc", "Nice one", path("stereo44.wav"), path("lame_cbr128_utf16.mp3"))
    run("lame", "--quiet", "-V", "2", "--add-id3v2", "--id3v2-latin1", "--tt", "Variable",
        "--ta", "Caf\u00e9 Band", "--tl", "Xing", "--ty", "2011", "--tn", "9", "--tg", "Jazz",
        path("stereo44.wav"), path("lame_vbr_xing.mp3"))
    run("lame", "--quiet", "-m", "m", "-b", "48", path("mono22.wav"), path("lame_mpeg2_mono.mp3"))
    run("lame", "--quiet", "-m", "m", "-V", "4", path("mono22.wav"), path("lame_mpeg2_mono_vbr.mp3"))
    run("lame", "--quiet", "-m", "m", "-b", "16", path("mono8.wav"), path("lame_mpeg25.mp3"))
    run("lame", "--quiet", "-b", "192", "--id3v1-only", "--tt", "Only One", "--ta", "Vee One",
        "--tl", "Old", "--ty", "1987", "--tn", "7", "--tg", "Rock", "--tc", "old comment",
        path("stereo44.wav"), path("lame_v1_only.mp3"))

    # ffmpeg: ID3v2.3 (UTF-16 for accents) with ID3v1; ID3v2.4 (UTF-8) behind a cover.
    meta = ["-metadata", "title=\u00c7a va", "-metadata", "artist=Zo\u00eb", "-metadata", "album=\u00c9t\u00e9",
            "-metadata", "date=1999", "-metadata", "track=5/10", "-metadata", "genre=Pop",
            "-metadata", "comment=Hello", "-metadata", "composer=Erik Satie"]
    run("ffmpeg", "-v", "error", "-y", "-i", path("stereo44.wav"), "-c:a", "libmp3lame", "-b:a", "192k",
        "-id3v2_version", "3", "-write_id3v1", "1", *meta, path("ffmpeg_cbr192_v23_v1.mp3"))
    run("ffmpeg", "-v", "error", "-y", "-i", path("stereo44.wav"), "-i", path("cover.jpg"),
        "-map", "0:a", "-map", "1:v", "-c:a", "libmp3lame", "-b:a", "320k", "-c:v", "copy",
        "-disposition:v", "attached_pic", "-id3v2_version", "4",
        "-metadata", "title=Se\u00f1or", "-metadata", "artist=M\u00f6tley Cr\u00fce",
        "-metadata", "album=Cover First", "-metadata", "date=2020-05-01", "-metadata", "track=2",
        path("ffmpeg_cbr320_v24_cover.mp3"))
    run("ffmpeg", "-v", "error", "-y", "-i", path("stereo44.wav"), "-ac", "2", "-c:a", "mp2", "-b:a", "192k",
        "-f", "mp2", path("ffmpeg_layer2.mp3"))

    # id3v2: version 2.3 and ID3v1 on a plain stream.
    run("lame", "--quiet", "-b", "128", path("stereo44.wav"), path("id3v2tool_v23.mp3"))
    run("id3v2", "-a", "Tool Artist", "-t", "Tool Title", "-A", "Tool Album", "-y", "2001", "-T", "4/9",
        "-g", "17", "-c", "desc:Tool comment:eng", path("id3v2tool_v23.mp3"))

    # eyeD3: version 2.4 in UTF-16, UTF-16 big-endian and UTF-8, with a cover picture.
    for enc in ("utf16", "utf16-be", "utf8"):
        name = f"eyed3_v24_{enc.replace('-', '')}.mp3"
        run("lame", "--quiet", "-b", "128", path("stereo44.wav"), path(name))
        run("eyeD3", "--quiet", "--to-v2.4", "--encoding", enc, "-a", "\u00c5ngstr\u00f6m \u00ff",
            "-t", "\u00dcber \u0160ko", "-A", "Gr\u00fc\u00dfe", "-n", "2", "-G", "Jazz",
            "--recording-date", "2010", "-c", "Stra\u00dfe", "--add-image", path("cover.jpg") + ":FRONT_COVER",
            path(name))

    for name in sorted(os.listdir(OUT)):
        if name.endswith(".mp3"):
            expect(name)
    with open(path("expected.tsv"), "w", encoding="ascii") as f:
        f.write("\n".join(rows) + "\n")


main()
