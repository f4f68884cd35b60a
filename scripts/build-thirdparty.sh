#!/usr/bin/env bash
# Builds the third-party libraries the program links (libpng on zlib) for one
# MinGW target from Debian's source package, into build/thirdparty/<target>.
# The source and each installed build are cached: a second run does nothing.
# Usage: build-thirdparty.sh <x86_64|i686>
set -euo pipefail
arch=$1
root=$(cd "$(dirname "$0")/.." && pwd)
tp=$root/build/thirdparty
triplet=$arch-w64-mingw32
prefix=$tp/$triplet

# Built for size, each function and datum in a section of its own, so that
# the program's link keeps only what it reads PNGs with (the writing side
# stays for the tests' screenshots). On 32-bit, without unwind tables: the
# linker keeps every function an unwind table describes, and libpng leaves
# its functions by longjmp, never by an exception.
cflags="-ffunction-sections -fdata-sections"
[ "$arch" = i686 ] && cflags="$cflags -fno-asynchronous-unwind-tables"
options="MinSizeRel $cflags"
# A cached build made with other options is built again.
if [ -f "$prefix/lib/libpng16.a" ] && [ "$(cat "$prefix/build-options" 2>/dev/null)" = "$options" ]; then
  exit 0
fi

mkdir -p "$tp/src"
srcdir=$(find "$tp/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)
if [ -z "$srcdir" ]; then
  # Debian's source package, fetched through a temporary deb-src entry.
  list=/etc/apt/sources.list.d/vorla-deb-src.sources
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  src_uris=$(grep -h '^URIs:' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n1 | awk '{print $2}')
  [ -n "$src_uris" ] || src_uris=http://deb.debian.org/debian
  printf 'Types: deb-src\nURIs: %s\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$src_uris" | $SUDO tee "$list" >/dev/null
  trap '$SUDO rm -f "$list"' EXIT
  $SUDO apt-get update -qq -o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts=/etc/apt/sources.list.d
  (cd "$tp/src" && apt-get source -qq libpng1.6 >/dev/null 2>&1 || (cd "$tp/src" && apt-get source libpng1.6))
  $SUDO rm -f "$list"
  trap - EXIT
  srcdir=$(find "$tp/src" -maxdepth 1 -type d -name 'libpng1.6-*' | head -n1)
fi
[ -n "$srcdir" ] || { echo "build-thirdparty: libpng source not found" >&2; exit 1; }

echo "build-thirdparty: libpng for $triplet"
rm -rf "$tp/build-libpng-$triplet"
cmake -S "$srcdir" -B "$tp/build-libpng-$triplet" -DCMAKE_BUILD_TYPE=MinSizeRel -DCMAKE_C_FLAGS="$cflags" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$( [ "$arch" = x86_64 ] && echo win64 || echo win32 ).cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DPNG_BUILD_ZLIB=OFF \
  -DZLIB_LIBRARY="/usr/$triplet/lib/libz.a" -DZLIB_INCLUDE_DIR="/usr/$triplet/include" \
  -DSKIP_INSTALL_EXECUTABLES=ON -DSKIP_INSTALL_PROGRAMS=ON >"$tp/libpng-$triplet.log" 2>&1
cmake --build "$tp/build-libpng-$triplet" -j"$(nproc)" >>"$tp/libpng-$triplet.log" 2>&1
cmake --install "$tp/build-libpng-$triplet" >>"$tp/libpng-$triplet.log" 2>&1
echo "$options" >"$prefix/build-options"
