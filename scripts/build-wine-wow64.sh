#!/usr/bin/env bash
# Builds the Wine that runs the 32-bit build (Debian 12's own Wine 8.0 source
# package, Debian's patches applied, in its WoW64 mode: 32-bit Windows
# programs on 64-bit Linux libraries only) and packs it into the cache that
# scripts/wine-wow64.sh reads. About an hour on two cores; installs its build
# dependencies and adds a deb-src entry only while it fetches the source, so
# it runs as root (through sudo when started by another user). The recipe and the modules it leaves out are in
# scripts/wine-wow64/.
# Usage: build-wine-wow64.sh  (WORK: the source and build folder, kept for reruns)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache_dir=${XDG_CACHE_HOME:-$HOME/.cache}/vorla
if [ "$(id -u)" -ne 0 ]; then
  # The cache stays the caller's: the one scripts/wine-wow64.sh reads.
  exec sudo env XDG_CACHE_HOME="$(dirname "$cache_dir")" ${WORK:+WORK="$WORK"} "$0" "$@"
fi
export WORK=${WORK:-$cache_dir/wine-wow64-work}
staging=$WORK/staging
export PREFIX=$staging/wine-wow64
mkdir -p "$cache_dir" "$WORK"
rm -rf "$staging"
for stage in deps source pregen configure build install; do
  "$root/scripts/wine-wow64/build-wine.sh" "$stage"
done
tar -C "$staging" -cJf "$cache_dir/wine-wow64.tar.xz.new" wine-wow64
mv "$cache_dir/wine-wow64.tar.xz.new" "$cache_dir/wine-wow64.tar.xz"
echo "build-wine-wow64: packed into $cache_dir/wine-wow64.tar.xz"
