#!/usr/bin/env bash
# Makes ready the Wine that runs the 32-bit build: Wine built in its WoW64
# mode, unpacked into build/thirdparty/wine-wow64 from the first packed tree
# (wine-wow64.tar.xz) found among:
#   1. $VORLA_WINE_WOW64: the packed tree, or a folder holding it;
#   2. shared/wine-wow64/ in the folder that holds this repository;
#   3. the cache that scripts/build-wine-wow64.sh fills
#      (${XDG_CACHE_HOME:-~/.cache}/vorla/wine-wow64.tar.xz).
# A tree unpacked from the same file is kept. Exits 0 when ready, 3 when no
# packed tree is to be had (it says how to get one).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/wine-common.sh"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vorla/wine-wow64.tar.xz

found=""
for candidate in "${VORLA_WINE_WOW64:-}" "$root/../shared/wine-wow64" "$cache"; do
  [ -n "$candidate" ] || continue
  [ -d "$candidate" ] && candidate=$candidate/wine-wow64.tar.xz
  if [ -f "$candidate" ]; then found=$(cd "$(dirname "$candidate")" && pwd)/$(basename "$candidate"); break; fi
done
if [ -z "$found" ]; then
  cat >&2 <<MSG
wine-wow64: no WoW64 Wine to run the 32-bit build with. Looked at:
  \$VORLA_WINE_WOW64 (${VORLA_WINE_WOW64:-not set}), $root/../shared/wine-wow64, $cache
Build one from Debian's own Wine source package (about an hour on two cores):
  scripts/build-wine-wow64.sh
or point VORLA_WINE_WOW64 at a wine-wow64.tar.xz.
MSG
  exit 3
fi

stamp="$found $(stat -c '%s %Y' "$found")"
if [ -x "$WINE_WOW64_DIR/bin/wine" ] && [ "$(cat "$WINE_WOW64_DIR/.unpacked-from" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi
echo "wine-wow64: unpacking $found"
rm -rf "$WINE_WOW64_DIR" "$WINE_WOW64_DIR.new"
mkdir -p "$WINE_WOW64_DIR.new"
tar -xJf "$found" -C "$WINE_WOW64_DIR.new"
# The packed tree holds one folder, wine-wow64/.
mv "$WINE_WOW64_DIR.new/wine-wow64" "$WINE_WOW64_DIR"
rmdir "$WINE_WOW64_DIR.new"
echo "$stamp" >"$WINE_WOW64_DIR/.unpacked-from"
