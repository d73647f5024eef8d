#!/usr/bin/env bash
# Whole-program speed: cmtgrab loading a seven-minute 48 kHz 16-bit recording
# of a 64 KiB body, against `cat FILE > /dev/null` on the same file, in the
# same run. Also reports cmtgrab's peak memory.
#   bench/whole_program.sh [build-dir] [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-9}
cmtgrab=$(realpath "$build/src/cmtgrab")
cmtgen=$(realpath "$build/cmtgen/cmtgen")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# A fixed body, so every run decodes the same signal.
head -c 65535 /dev/zero | tr '\0' '\125' > body.bin
"$cmtgen" --name=BENCH -o long.wav body.bin
bytes=$(stat -c %s long.wav)
cat long.wav > /dev/null  # into the page cache

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

for ((i = 0; i < runs; i++)); do
  t0=$(now); cat long.wav > /dev/null; t1=$(now)
  "$cmtgrab" long.wav > /dev/null 2>&1; t2=$(now)
  cmp -s out.dat body.bin || { echo "the benchmark tape did not load" >&2; exit 1; }
  echo "$((t1 - t0)) $((t2 - t1))"
done > times

cat_ns=$(cut -d' ' -f1 times | median)
load_ns=$(cut -d' ' -f2 times | median)
samples=$(((bytes - 44) / 2))
echo "file: $bytes bytes, $samples samples"
echo "cat FILE > /dev/null: $((cat_ns / 1000)) us (median of $runs)"
echo "cmtgrab FILE:         $((load_ns / 1000)) us (median of $runs), $((samples * 1000 / load_ns)) million samples/s"
awk -v a="$load_ns" -v b="$cat_ns" 'BEGIN { printf "ratio cmtgrab / cat:  %.2f\n", a / b }'
if [[ -x /usr/bin/time ]]; then
  /usr/bin/time -f "peak memory:          %M KiB" "$cmtgrab" long.wav 2>&1 >/dev/null | grep 'peak memory'
fi
