#!/usr/bin/env bash
# One-time machine set-up on Debian 12: compilers, Wine, Xvfb, test tools and a
# static libjpeg-turbo cross-built for MinGW. Idempotent: a second run only
# checks. Everything comes from Debian's package archive.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  exec sudo -E "$0" "$@"
fi

PACKAGES=(
  cmake make ninja-build g++ g++-mingw-w64-x86-64-posix
  wine wine64 xvfb xauth x11-utils fonts-wine fonts-liberation imagemagick
  googletest python3 python3-mutagen dpkg-dev
  libpcre2-dev zlib1g-dev libxml2-utils
  zip unzip p7zip-full
  lame ffmpeg id3v2 eyed3 vorbis-tools flac
  clang libclang-rt-14-dev
  python3-html5lib chromium xclip
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# libjpeg-turbo for MinGW, built from Debian's source package and cached
# outside the source tree.
CACHE=${KELVARIN_CACHE:-/var/cache/kelvarin}
JPEG_PREFIX="$CACHE/libjpeg-turbo-mingw"
HERE=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$JPEG_PREFIX/lib/libjpeg.a" ]; then
  echo "setup: building libjpeg-turbo for MinGW into $JPEG_PREFIX"
  if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat > /etc/apt/sources.list.d/kelvarin-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt-get update -qq
  fi
  work="$CACHE/src"
  rm -rf "$work"; mkdir -p "$work"
  (cd "$work" && apt-get source -qq libjpeg-turbo >/dev/null 2>&1 || apt-get source libjpeg-turbo)
  srcdir=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'libjpeg-turbo-*' | head -n 1)
  cmake -S "$srcdir" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$HERE/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$JPEG_PREFIX" -DWITH_SIMD=0 \
    -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 -DWITH_JAVA=0 >/dev/null
  cmake --build "$work/build" -j"$(nproc)" >/dev/null
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
fi
echo "setup: ok"
