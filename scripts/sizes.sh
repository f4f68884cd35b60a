#!/usr/bin/env bash
# Prints the size of each part of the shipped program: the program file, the
# carried engine and verifier as built (stripped) and as packed, the program's
# resources (carried libraries, skin, icon, the rest) and its code and data,
# and whether the program is within the limit for handing out (1.5 MB,
# 1 500 000 bytes). A report: the exit status is 0 either way.
# Usage: sizes.sh [build-dir]   (default build/win32)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win32}
limit=1500000

program=$build/bin/VorlaDownloader.exe
[ -f "$program" ] || { echo "sizes: no $program (build it first)" >&2; exit 1; }
objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")

bytes() { stat -c %s "$1"; }
# Size of one section of a PE file (0 when absent).
section() { printf '%d' "0x$("$objdump" -h "$1" | awk -v s="$2" '$2 == s { h = $3 } END { print h ? h : 0 }')"; }
row() { awk -v n="$1" -v b="$2" 'BEGIN { printf "  %-34s %9d  %7.1f KB\n", n, b, b / 1000 }'; }

engine=$(bytes "$build/packed/QelvoP2SP.lzari")
verifier=$(bytes "$build/packed/Qelvoverify.lzari")
skin=$(cat "$root"/res/skin/*.png | wc -c)
icon=$(bytes "$root/res/app.ico")
rsrc=$(section "$program" .rsrc)
total=$(bytes "$program")

echo "sizes of $build (bytes, KB = 1000 bytes)"
echo "carried libraries (shipped stripped, then packed):"
row "QelvoP2SP.dll" "$(bytes "$build/bin/QelvoP2SP.dll")"
row "QelvoP2SP.dll packed" "$engine"
row "Qelvoverify.dll" "$(bytes "$build/bin/Qelvoverify.dll")"
row "Qelvoverify.dll packed" "$verifier"
echo "VorlaDownloader.exe:"
row "code and data" $((total - rsrc))
row "resources" "$rsrc"
row "  carried engine" "$engine"
row "  carried verifier" "$verifier"
row "  skin (res/skin/*.png)" "$skin"
row "  icon" "$icon"
row "  version and the rest" $((rsrc - engine - verifier - skin - icon))
row "total, as shipped" "$total"
if [ "$total" -le "$limit" ]; then
  echo "within the limit of $limit bytes ($((limit - total)) to spare)"
else
  echo "OVER the limit of $limit bytes by $((total - limit))"
fi
