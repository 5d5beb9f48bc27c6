#!/usr/bin/python3
"""Makes WMA, Ogg Vorbis, FLAC and M4A files with Debian's tools and writes
what the readers must find in them to expected.tsv.

    make_other_corpus.py <output-dir>

Texts are the values written by the tools; stream figures are recomputed
from the tools' own figures (ffprobe, metaflac, mutagen) by the rules the
readers follow. Lines of expected.tsv:

    <file> TAB <key> TAB S TAB <text as Windows-1252 hex>
    <file> TAB <key> TAB N TAB <number> TAB <tolerance>
"""
import base64
import json
import os
import random
import subprocess
import sys

from mutagen.asf import ASF, ASFUnicodeAttribute, ASFDWordAttribute
from mutagen.mp4 import MP4
from mutagen.oggvorbis import OggVorbis

OUT = sys.argv[1]
rows = []


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def text(name, key, value):
    rows.append(f"{name}\t{key}\tS\t{value.encode('cp1252').hex()}")


def number(name, key, value, tolerance=0):
    rows.append(f"{name}\t{key}\tN\t{value}\t{tolerance}")


def path(name):
    return os.path.join(OUT, name)


def sine(name, seconds, channels, rate, *codec):
    run("ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", f"sine=f=440:d={seconds}",
        "-ac", str(channels), "-ar", str(rate), *codec, path(name))


def probe(name):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries",
                          "stream=bit_rate,sample_rate,channels:format=duration", "-of", "json", path(name)],
                         check=True, capture_output=True, text=True).stdout
    data = json.loads(out)
    return data["streams"][0], float(data["format"]["duration"])


def stream_end(name):
    """Where ffprobe's last packet ends: the stream's length. (For some WMA
    files its format duration is an estimate from the bit rate instead.)"""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=pts_time,duration_time",
                          "-of", "json", path(name)], check=True, capture_output=True, text=True).stdout
    return max(float(p["pts_time"]) + float(p["duration_time"]) for p in json.loads(out)["packets"])


def make_wma():
    cases = [
        ("stereo.wma", 6, 2, 44100, "128k",
         {"Title": "Wide Open", "Author": "Caf\u00e9 Band", "Description": "made for a test",
          "WM/AlbumTitle": "First Album", "WM/Year": "2004", "WM/Genre": "Jazz", "WM/Track": "7"}),
        ("mono.wma", 4, 1, 22050, "32k", {"Title": "Only Title", "Author": "Only Artist"}),
    ]
    for name, seconds, channels, rate, bitrate, tags in cases:
        sine(name, seconds, channels, rate, "-c:a", "wmav2", "-b:a", bitrate, "-map_metadata", "-1")
        f = ASF(path(name))
        # A non-text attribute before the texts must not disturb them.
        f["WM/TrackNumber"] = [ASFDWordAttribute(7)]
        for key, value in tags.items():
            f[key] = [ASFUnicodeAttribute(value)]
        f.save()
        stream, _ = probe(name)
        text(name, "title", tags.get("Title", ""))
        text(name, "artist", tags.get("Author", ""))
        text(name, "album", tags.get("WM/AlbumTitle", ""))
        text(name, "year", tags.get("WM/Year", ""))
        text(name, "genre", tags.get("WM/Genre", ""))
        text(name, "comment", tags.get("Description", ""))
        number(name, "track", int(tags.get("WM/Track", "0")))
        number(name, "valid", 1)
        number(name, "channels", int(stream["channels"]))
        number(name, "sampleRate", int(stream["sample_rate"]))
        number(name, "bitRate", int(stream["bit_rate"]) // 1000)
        number(name, "duration", stream_end(name), 0.1)


def make_ogg():
    sine("tone.wav", 5, 2, 44100)
    run("oggenc", "-Q", "-q", "3", "-t", "Ogg Title", "-a", "Ogg Artist", "-l", "Ogg Album", "-N", "3/12",
        "-d", "1999", "-G", "Ambient", "-c", "comment=lower-case name", "-o", path("stereo.ogg"), path("tone.wav"))
    sine("mono.wav", 3, 1, 22050)
    run("oggenc", "-Q", "-q", "1", "-o", path("performer.ogg"), path("mono.wav"))
    run("vorbiscomment", "-w", "-t", "TITLE=No Artist", "-t", "PERFORMER=The Performer",
        "-t", "DESCRIPTION=from description", "-t", "TRACKNUMBER=9", path("performer.ogg"))
    # A cover picture of about 100 KB stored in the comments before the
    # texts: the comment packet runs over several pages.
    run("oggenc", "-Q", "-q", "1", "-o", path("cover.ogg"), path("mono.wav"))
    with open(path("cover.txt"), "w", encoding="ascii") as f:
        f.write("METADATA_BLOCK_PICTURE=" + base64.b64encode(random.Random(7).randbytes(75000)).decode() + "\n")
        f.write("TITLE=After The Picture\nARTIST=Cover Artist\nTRACKNUMBER=4\n")
    run("vorbiscomment", "-w", "-c", path("cover.txt"), path("cover.ogg"))
    os.remove(path("cover.txt"))
    expected = {
        "stereo.ogg": ("Ogg Title", "Ogg Artist", "Ogg Album", "1999", "Ambient", "lower-case name", 3),
        "performer.ogg": ("No Artist", "The Performer", "", "", "", "from description", 9),
        "cover.ogg": ("After The Picture", "Cover Artist", "", "", "", "", 4),
    }
    for name, (title, artist, album, date, genre, comment, track) in expected.items():
        info = OggVorbis(path(name)).info
        size = os.path.getsize(path(name))
        samples = round(info.length * info.sample_rate)
        duration = samples / info.sample_rate
        for key, value in zip(("title", "artist", "album", "date", "genre", "comment"),
                              (title, artist, album, date, genre, comment)):
            text(name, key, value)
        number(name, "track", track)
        number(name, "valid", 1)
        number(name, "channels", info.channels)
        number(name, "sampleRate", info.sample_rate)
        number(name, "nominalBitRate", info.bitrate // 1000)
        number(name, "samples", samples)
        number(name, "duration", duration, 0.001)
        number(name, "bitRate", round(size / duration / 125))


def metaflac(name, *options):
    out = subprocess.run(["metaflac", *options, path(name)], check=True, capture_output=True, text=True).stdout
    return [int(v) for v in out.split()]


def make_flac():
    cases = [
        ("stereo.flac", 7, 2, 44100, ["TITLE=Flac Title", "artist=Flac Artist", "ALBUM=Flac Album",
                                      "DATE=2011", "GENRE=Rock", "COMMENT=na\u00efve", "TRACK=4"],
         ("Flac Title", "Flac Artist", "Flac Album", "2011", "Rock", "na\u00efve", 4)),
        ("mono.flac", 2, 1, 48000, ["TITLE=Mono", "TRACK=4/12", "TRACKNUMBER=4"],
         ("Mono", "", "", "", "", "", 0)),
        ("short.flac", 0.5, 1, 8000, ["TITLE=Short"], ("Short", "", "", "", "", "", 0)),
    ]
    for name, seconds, channels, rate, tags, want in cases:
        sine(name, seconds, channels, rate, "-c:a", "flac")
        run("metaflac", "--remove-all-tags", *[f"--set-tag={t}" for t in tags], path(name))
        total, sample_rate, chans, bps = metaflac(name, "--show-total-samples", "--show-sample-rate",
                                                  "--show-channels", "--show-bps")
        duration = total // sample_rate
        size = os.path.getsize(path(name))
        for key, value in zip(("title", "artist", "album", "year", "genre", "comment"), want[:6]):
            text(name, key, value)
        number(name, "track", want[6])
        number(name, "channels", chans)
        number(name, "sampleRate", sample_rate)
        number(name, "bitsPerSample", bps)
        number(name, "duration", duration)
        number(name, "bitRate", round(size / duration * 8 * 0.95 / 1024) if duration else 0)


def make_m4a():
    cases = [
        ("mdat_first.m4a", 5, 2, 44100, []),
        # Stereo only: for mono AAC the encoder writes 2 in the sample entry's
        # channel field, which is the figure the reader takes.
        ("moov_first.m4a", 4, 2, 32000, ["-movflags", "+faststart"]),
    ]
    for name, seconds, channels, rate, flags in cases:
        sine(name, seconds, channels, rate, "-c:a", "aac", "-b:a", "64k", *flags)
        f = MP4(path(name))
        f["\xa9nam"] = ["M4A Title"]
        f["\xa9ART"] = ["M4A \u00c4rtist"]
        f["\xa9alb"] = ["M4A Album"]
        f["\xa9day"] = ["2020"]
        f["\xa9cmt"] = ["x" * 300]
        f["trkn"] = [(5, 12)]
        # The tagger writes genre numbers only as texts; a 16-bit "tmpo" item
        # has the layout of a numeric "gnre" and is renamed in place.
        f["tmpo"] = [18]
        f.save()
        with open(path(name), "r+b") as raw:
            data = raw.read()
            assert data.count(b"tmpo") == 1
            raw.seek(data.index(b"tmpo"))
            raw.write(b"gnre")
        stream, duration = probe(name)
        for key, value in (("title", "M4A Title"), ("artist", "M4A \u00c4rtist"), ("album", "M4A Album"),
                           ("year", "2020"), ("comment", "x" * 255), ("genre", "Rock")):
            text(name, key, value)
        number(name, "track", 5)
        number(name, "exists", 1)
        number(name, "channels", int(stream["channels"]))
        number(name, "sampleRate", int(stream["sample_rate"]))
        number(name, "duration", duration, 1)
        number(name, "bitRate", int(stream["bit_rate"]) // 1000)


def main():
    os.makedirs(OUT, exist_ok=True)
    make_wma()
    make_ogg()
    make_flac()
    make_m4a()
    for tmp in ("tone.wav", "mono.wav"):
        os.remove(path(tmp))
    with open(path("expected.tsv"), "w", encoding="ascii") as f:
        f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
