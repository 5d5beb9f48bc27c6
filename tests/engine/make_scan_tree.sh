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
