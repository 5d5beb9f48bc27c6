#!/usr/bin/env bash
# Builds the folder tree the disk scan test walks (under Wine): nested
# folders, a dot-folder, a folder named like a music file, every extension in
# upper and lower case, a non-ANSI name, a damaged FLAC file, a text file and
# a symbolic link back up the tree.
set -euo pipefail
root="$1/top"
rm -rf "$1"
mkdir -p "$root/Artist Name" "$root/Sub/Deep" "$root/.hidden" "$root/folder.mp3"
frames() {  # ten MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz
  /usr/bin/python3 -c "
import sys
frame = bytes([0xFF, 0xFB, 0x90, 0x40]) + bytes(413)
sys.stdout.buffer.write(frame * 10)"
}
frames > "$root/a.mp3"
frames > "$root/Artist Name/01 - Song Title.mp3"
frames > "$root/.dotfile.mp3"
frames > "$root/.hidden/x.mp3"
frames > "$root/folder.mp3/inner.mp3"
frames > "$root/Жук long name.mp3"
head -c 3000 /dev/zero > "$root/Sub/UPPER.WMA"
head -c 3000 /dev/zero > "$root/Sub/Deep/lower.m4a"
head -c 3000 /dev/zero > "$root/Sub/Deep/good.Ogg"
printf 'fLaC-but-broken' > "$root/Sub/Deep/bad.flac"
echo "not music" > "$root/notes.txt"
ln -s "$root" "$root/Sub/loop"

# A folder of 1,500 files whose names share a long prefix, so that hashed
# short names collide; some names lie outside code page 1252. File i holds
# the ID3v1 title "Song i" and a Xing frame count of 80 * i + 20.
/usr/bin/python3 - "$1/collide" <<'PY'
import os, struct, sys
out = sys.argv[1]
os.makedirs(out)
header = bytes([0xFF, 0xFB, 0x90, 0x40])  # MPEG-1 Layer III, 128 kbit/s, 44.1 kHz: 417 bytes
for i in range(1500):
    band = "Careless Embers"
    if i % 25 == 3:
        band = "Careless \u0416\u0443\u043a"
    elif i % 25 == 4:
        band = "Careless \u97f3\u697d"
    first = bytearray(header + bytes(413))
    first[36:48] = b"Xing" + struct.pack(">II", 1, 80 * i + 20)
    v1 = b"TAG" + f"Song {i:04d}".encode().ljust(30, b"\0") + b"Collide".ljust(30, b"\0") + bytes(30 + 4 + 30) + b"\xff"
    with open(os.path.join(out, f"The {band} - Song {i:04d}.mp3"), "wb") as f:
        f.write(bytes(first) + header + bytes(413) + v1)
PY
ffmpeg -v error -y -f lavfi -i "sine=f=440:d=3" -c:a flac "$1/collide/The Careless Жук 音楽.flac"
