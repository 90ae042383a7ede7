#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The verification benchmark: Tessarlumen /v over signed WADs whose
# contents it decrypts and hashes, against sha1sum reading and hashing the
# same files, warm cache, medians of paired runs; and the tool's peak
# memory, which must not grow with the files.
#   bench/verify.sh [FILES] [MIB]     default 8 WADs of 128 MiB (1 GiB in all)
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-8}"
mib="${2:-128}"
rounds=5

cmake --preset release >/dev/null
cmake --build build/release --target Tessarlumen titlegen >/dev/null
work="$PWD/build/bench-verify"
tool="${BENCH_TOOL:-$PWD/build/release/Tessarlumen}"
rm -rf "$work" && mkdir -p "$work"
build/release/titlegen signed "$work" "$count" "$mib"
cd "$work"
files=(v*.wad)
cat "${files[@]}" >/dev/null  # warm the page cache
"$tool" /v /n --keys=keys "${files[@]}" | grep -q "Contents: 4 of 4 intact" || { echo "bench: not verified"; exit 1; }

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
: >tool.ns; : >sha.ns; : >ratio
for _ in $(seq "$rounds"); do
  t0=$(now); "$tool" /v /n --keys=keys "${files[@]}" >/dev/null; t1=$(now)
  sha1sum "${files[@]}" >/dev/null; t2=$(now)
  echo $((t1 - t0)) >>tool.ns; echo $((t2 - t1)) >>sha.ns
  awk -v a=$((t1 - t0)) -v b=$((t2 - t1)) 'BEGIN {printf "%.4f\n", a / b}' >>ratio
done
/usr/bin/time -f %M -o peak.txt "$tool" /v /n --keys=keys "${files[@]}" >/dev/null

cat <<REPORT
Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), $(uname -sr)
Files: $count signed WADs, $(du -sh --apparent-size . | cut -f1) in all, $rounds rounds each, warm cache

| Measure | Tessarlumen /v | sha1sum | Ratio | Target |
|---|---|---|---|---|
| Wall time (median ms) | $(median <tool.ns | awk '{printf "%.1f", $1 / 1e6}') | $(median <sha.ns | awk '{printf "%.1f", $1 / 1e6}') | $(median <ratio) (median of paired runs) | <= 1.25 |
| Peak memory (KiB) | $(tail -n 1 peak.txt) | | | a few MiB |
REPORT
