#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The verification benchmark: Tessarlumen /v over signed WADs whose
# contents it decrypts and hashes, with every core and with --jobs=1,
# against sha1sum reading and hashing the same files, warm cache, medians
# of paired runs; and the tool's peak memory, which must not grow with the
# files.
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
# Read whole before it is searched: each report is written as it is made,
# and grep -q would end the pipe under the next one.
report=$("$tool" /v /n --keys=keys "${files[@]}")
grep -q "Contents: 4 of 4 intact" <<<"$report" || { echo "bench: not verified"; exit 1; }
cmp <("$tool" /v /n --keys=keys "${files[@]}") <("$tool" /v /n --jobs=1 --keys=keys "${files[@]}") ||
  { echo "bench: every core and one core differ"; exit 1; }

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.4f\n", a / b}'; }
: >all.ns; : >one.ns; : >sha.ns; : >all-sha; : >one-sha; : >all-one
for _ in $(seq "$rounds"); do
  t0=$(now); "$tool" /v /n --keys=keys "${files[@]}" >/dev/null
  t1=$(now); "$tool" /v /n --jobs=1 --keys=keys "${files[@]}" >/dev/null
  t2=$(now); sha1sum "${files[@]}" >/dev/null; t3=$(now)
  echo $((t1 - t0)) >>all.ns; echo $((t2 - t1)) >>one.ns; echo $((t3 - t2)) >>sha.ns
  ratio $((t1 - t0)) $((t3 - t2)) >>all-sha
  ratio $((t2 - t1)) $((t3 - t2)) >>one-sha
  ratio $((t1 - t0)) $((t2 - t1)) >>all-one
done
/usr/bin/time -f %M -o peak-all.txt "$tool" /v /n --keys=keys "${files[@]}" >/dev/null
/usr/bin/time -f %M -o peak-one.txt "$tool" /v /n --jobs=1 --keys=keys "${files[@]}" >/dev/null
ms() { median <"$1" | awk '{printf "%.1f", $1 / 1e6}'; }

cat <<REPORT
Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), $(uname -sr)
Files: $count signed WADs, $(du -sh --apparent-size . | cut -f1) in all, $rounds rounds each, warm cache

| Measure | /v, every core | /v --jobs=1 | sha1sum | Target |
|---|---|---|---|---|
| Wall time (median ms) | $(ms all.ns) | $(ms one.ns) | $(ms sha.ns) | |
| Ratio to sha1sum (median of paired runs) | $(median <all-sha) | $(median <one-sha) | 1 | <= 1.25 |
| Every core to one (median of paired runs) | $(median <all-one) | | | <= 0.6 on 2 cores |
| Peak memory (KiB) | $(tail -n 1 peak-all.txt) | $(tail -n 1 peak-one.txt) | | a few MiB a thread |
REPORT
