#!/usr/bin/env bash
# Hashing speed of vorla-publish on a 4 GiB installer: one read computes the
# tail MD5, the whole-file SHA-256, the Metalink's SHA-256 pieces and the
# torrent's SHA-1 pieces. Prints MB/s next to what the machine reads the same
# file at (cat) and what one coreutils digest alone reaches, for scale.
# Figures, not a test: nothing here fails on a slow machine.
#
# usage: bench/publish.sh [vorla-publish]   (default: build/host/bin/vorla-publish)
# BENCH_SIZE_MIB (4096) sets the size; BENCH_SPARSE=1 uses a sparse file
# (reads cost nothing, so it measures the hashing alone).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TOOL=$(realpath "${1:-$ROOT/build/host/bin/vorla-publish}")
SIZE_MIB=${BENCH_SIZE_MIB:-4096}
WORK=$(mktemp -d /tmp/publish-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

file=$WORK/BenchSetup.exe
if [ -n "${BENCH_SPARSE:-}" ]; then
    truncate -s "${SIZE_MIB}M" "$file"
    kind="sparse"
else
    # Random-looking bytes, generated once: 64 MiB repeated.
    head -c $((64 << 20)) /dev/urandom >"$WORK/chunk"
    for _ in $(seq $((SIZE_MIB / 64))); do cat "$WORK/chunk"; done >"$file"
    rm -f "$WORK/chunk"
    kind="generated"
fi
bytes=$(stat -c %s "$file")
echo "bench: $SIZE_MIB MiB $kind file, $(nproc) processor(s)"

rate() {  # rate <seconds>: MB/s of the file's size
    python3 -c "import sys; print('%.0f' % ($bytes / 1e6 / float(sys.argv[1])))" "$1"
}
timed() {  # timed <command...>: seconds it took
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    python3 -c "import sys; print(float(sys.argv[2]) - float(sys.argv[1]))" "$start" "$end"
}

read_s=$(timed cat "$file")
sha256_s=$(timed sha256sum "$file")
sha1_s=$(timed sha1sum "$file")
publish_s=$(timed "$TOOL" --id 9001 --installer "$file" --base-url http://127.0.0.1:17223 \
                  --out "$WORK/portal" --name "bench" --min-version 1.1.0.1005 --quiet)
[ -f "$WORK/portal/tool/down/9001.html" ] || { echo "bench: vorla-publish failed" >&2; exit 1; }
printf 'bench: %-40s %6s MB/s\n' "read (cat, from the page cache)" "$(rate "$read_s")"
printf 'bench: %-40s %6s MB/s\n' "sha256sum alone" "$(rate "$sha256_s")"
printf 'bench: %-40s %6s MB/s\n' "sha1sum alone" "$(rate "$sha1_s")"
printf 'bench: %-40s %6s MB/s\n' "vorla-publish (all digests, one read)" "$(rate "$publish_s")"
