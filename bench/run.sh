#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The benchmark: Tessarlumen, its text reports and its JSON Lines, against
# the I/O floor (bench/floor.c) on N generated title files, each named three
# times (3N reports a run, so formatting weighs as much as it can), plus
# user time, system calls, peak memory and start-up cost.
#   bench/run.sh [N]        N files, default 10000
# The one-line form (/l) is timed too, against the same floor.
# Needs the README's prerequisites plus strace and GNU time (Debian's
# strace and time packages; installed here when missing and run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
n="${1:-10000}"
rounds=5

need=()
command -v strace >/dev/null || need+=(strace)
[ -x /usr/bin/time ] || need+=(time)
command -v cc >/dev/null || need+=(gcc)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then apt-get update -qq && apt-get install -y -qq "${need[@]}" >/dev/null
  else echo "bench: please install: ${need[*]}"; exit 1; fi
fi

cmake --preset release >/dev/null
cmake --build build/release --target Tessarlumen titlegen >/dev/null
work="$PWD/build/bench"
# BENCH_TOOL measures another build of the tool (an older one, say) instead.
tool="${BENCH_TOOL:-$PWD/build/release/Tessarlumen}"
rm -rf "$work" && mkdir -p "$work/files" "$work/big" "$work/small"
build/release/titlegen bench "$work/files" "$n"
build/release/titlegen samples "$work/small"
cp "$work/small/channel.wad" "$work/big/big.wad" && truncate -s 8G "$work/big/big.wad"
cc -O2 -o "$work/floor" bench/floor.c
floor="$work/floor"
small="../small/sysmenu.tik"
big="../big/big.wad"

now() { date +%s%N; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }

cd "$work/files"
once=(*)
files=("${once[@]}" "${once[@]}" "${once[@]}")
reports=${#files[@]}
"$tool" /n "${files[@]}" >/dev/null   # warm the page cache

# Wall time: the tool's text reports, the floor and the tool's JSON Lines
# in turn, each round's two ratios taken against that round's floor.
: >"$work/tool.ns"; : >"$work/floor.ns"; : >"$work/json.ns"; : >"$work/floorj.ns"
: >"$work/ratio"; : >"$work/jratio"; : >"$work/jjratio"; : >"$work/line.ns"; : >"$work/lratio"
for _ in $(seq "$rounds"); do
  t0=$(now); "$tool" /n "${files[@]}" >"$work/out-tool"; t1=$(now)
  "$floor" "${files[@]}" >"$work/out-floor"; t2=$(now)
  "$tool" /j "${files[@]}" >"$work/out-json"; t3=$(now)
  "$floor" -j "${files[@]}" >"$work/out-floorj"; t4=$(now)
  "$tool" /l "${files[@]}" >"$work/out-line"; t5=$(now)
  echo $((t5 - t4)) >>"$work/line.ns"
  awk -v a=$((t5 - t4)) -v b=$((t2 - t1)) 'BEGIN {printf "%.4f\n", a / b}' >>"$work/lratio"
  echo $((t1 - t0)) >>"$work/tool.ns"; echo $((t2 - t1)) >>"$work/floor.ns"
  echo $((t3 - t2)) >>"$work/json.ns"; echo $((t4 - t3)) >>"$work/floorj.ns"
  awk -v a=$((t1 - t0)) -v b=$((t2 - t1)) 'BEGIN {printf "%.4f\n", a / b}' >>"$work/ratio"
  awk -v a=$((t3 - t2)) -v b=$((t2 - t1)) 'BEGIN {printf "%.4f\n", a / b}' >>"$work/jratio"
  awk -v a=$((t3 - t2)) -v b=$((t4 - t3)) 'BEGIN {printf "%.4f\n", a / b}' >>"$work/jjratio"
done
[ "$(wc -l <"$work/out-json")" -eq "$reports" ] || { echo "bench: /j did not write one line per file"; exit 1; }
tool_ms=$(median <"$work/tool.ns" | awk '{printf "%.1f", $1 / 1e6}')
floor_ms=$(median <"$work/floor.ns" | awk '{printf "%.1f", $1 / 1e6}')
json_ms=$(median <"$work/json.ns" | awk '{printf "%.1f", $1 / 1e6}')
floorj_ms=$(median <"$work/floorj.ns" | awk '{printf "%.1f", $1 / 1e6}')
ratio=$(median <"$work/ratio")
jratio=$(median <"$work/jratio")
jjratio=$(median <"$work/jjratio")
line_ms=$(median <"$work/line.ns" | awk '{printf "%.1f", $1 / 1e6}')
lratio=$(median <"$work/lratio")
[ "$(wc -l <"$work/out-line")" -eq "$reports" ] || { echo "bench: /l did not write one line per file"; exit 1; }

# User time (CPU spent in the program itself), median of the rounds.
usertime() {
  local TIMEFORMAT=%3U
  for _ in $(seq "$rounds"); do { time "$@" >/dev/null; } 2>&1; done | median
}
tool_user=$(usertime "$tool" /n "${files[@]}")
json_user=$(usertime "$tool" /j "${files[@]}")
floor_user=$(usertime "$floor" "${files[@]}")

# System calls per file, standard output to a file.
syscalls() { strace -f -c -o "$work/strace.txt" "$@" >"$work/out-strace"; awk '/ total$/ {print $4}' "$work/strace.txt"; }
tool_calls=$(syscalls "$tool" /n "${files[@]}")
floor_calls=$(syscalls "$floor" "${files[@]}")
one_calls=$(syscalls "$tool" /n "$small")
grep -q "Ticket info" "$work/out-strace" || { echo "bench: the small file was not reported"; exit 1; }

# Peak resident memory in KiB.
peak() { /usr/bin/time -f %M -o "$work/time.txt" "$@" >/dev/null; tail -n 1 "$work/time.txt"; }
peak_small=$(peak "$tool" /n "$small")
peak_all=$(peak "$tool" /n "${files[@]}")
peak_floor=$(peak "$floor" "${files[@]}")
peak_big=$(peak "$tool" /n "$big")

# Start-up: one small file against cat of the same file, 300 runs a batch.
: >"$work/startup"
for _ in $(seq "$rounds"); do
  t0=$(now); for _ in $(seq 300); do "$tool" /n "$small" >/dev/null; done; t1=$(now)
  for _ in $(seq 300); do cat "$small" >/dev/null; done; t2=$(now)
  awk -v a=$((t1 - t0)) -v b=$((t2 - t1)) 'BEGIN {printf "%.4f %.1f %.1f\n", a / b, a / 300e3, b / 300e3}' >>"$work/startup"
done
startup_ratio=$(awk '{print $1}' "$work/startup" | median)
startup_tool=$(awk '{print $2}' "$work/startup" | median)
startup_cat=$(awk '{print $3}' "$work/startup" | median)

cat <<REPORT
Machine: $(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), $(uname -sr)
Files: $n generated ($(du -sh "$work/files" | cut -f1)), each named three times: $reports reports a run, $rounds rounds each

| Measure | Tessarlumen | floor / cat | Ratio | Target |
|---|---|---|---|---|
| Wall time, $reports reports (median ms) | $tool_ms | $floor_ms | $ratio (median of paired runs) | <= 1.1 |
| Wall time, $reports reports, /j (median ms) | $json_ms ($(du -h "$work/out-json" | cut -f1) of JSON) | $floor_ms | $jratio (median of paired runs) | <= 1.2 |
| Wall time, $reports reports, /j against a floor writing as much (median ms) | $json_ms | $floorj_ms | $jjratio (median of paired runs) | |
| Wall time, $reports reports, /l (median ms) | $line_ms | $floor_ms | $lratio (median of paired runs) | <= 1.1 |
| User time, $reports reports, text / JSON (median s) | $tool_user / $json_user | $floor_user | | |
| System calls per report, $reports reports | $(awk -v c="$tool_calls" -v n="$reports" 'BEGIN {printf "%.3f", c / n}') ($tool_calls in all) | $(awk -v c="$floor_calls" -v n="$reports" 'BEGIN {printf "%.3f", c / n}') ($floor_calls in all) | | <= 5.2 |
| System calls, one small file | $one_calls | | | |
| Peak memory, one small file (KiB) | $peak_small | | | |
| Peak memory, 8 GiB sparse WAD (KiB) | $peak_big | | $(printf "%+d" $((peak_big - peak_small))) against one small file | <= +256 |
| Peak memory, $reports reports (KiB) | $peak_all | $peak_floor | $(printf "%+d" $((peak_all - peak_floor))) against the floor | <= +256 |
| One small file against cat (median µs a run) | $startup_tool | $startup_cat | $startup_ratio | <= 1.0 |
REPORT
