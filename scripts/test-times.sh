#!/usr/bin/env bash
# Writes how long each test program took, slowest first, from a CTest log.
# Usage: test-times.sh <ctest-log> <out-file>
set -euo pipefail
log=$1
out=$2
{
  echo "# seconds  test  result  ($(date -u '+%Y-%m-%d %H:%M UTC'))"
  # CTest's result lines: " 3/13 Test  #3: unit ......   Passed   12.97 sec"
  awk '/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: / && $NF == "sec" {
         for (i = 1; i <= NF; i++) if ($i ~ /^#[0-9]+:$/) name = $(i + 1)
         result = "Passed"
         if ($0 ~ /Timeout/) result = "Timeout"
         else if ($0 ~ /Not Run/) result = "Not Run"
         else if ($0 !~ / Passed /) result = "Failed"
         printf "%8.2f  %-18s %s\n", $(NF - 1), name, result
       }' "$log" | sort -rn
} >"$out"
