#!/usr/bin/env bash
# Builds the libraries the Windows cross-build needs and Debian does not ship
# for mingw-w64: libbz2, compiled from Debian's own bzip2 source package.
# Usage: build-mingw-deps.sh <i686|x86_64> <prefix>
set -euo pipefail
arch=$1
prefix=$2
[ -f "$prefix/lib/libbz2.a" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
if ! ls /etc/apt/sources.list.d/*.sources 2>/dev/null | xargs -r grep -qs 'deb-src'; then
  cat > /etc/apt/sources.list.d/tarvex-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  apt-get update -qq
fi
apt-get source --download-only bzip2 >/dev/null 2>&1
tar xzf bzip2_*.orig.tar.gz
cd bzip2-*/
cc=${arch}-w64-mingw32-gcc-posix
for f in blocksort huffman crctable randtable compress decompress bzlib; do
  "$cc" -O2 -D_FILE_OFFSET_BITS=64 -c "$f.c" -o "$f.o"
done
mkdir -p "$prefix/lib" "$prefix/include"
${arch}-w64-mingw32-ar rcs "$prefix/lib/libbz2.a" blocksort.o huffman.o crctable.o randtable.o compress.o decompress.o bzlib.o
cp bzlib.h "$prefix/include/"
