#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The parallel run's memory: Tessarlumen /v over a slow first file (a FIFO
# whose writer comes after a few seconds) and then many TMDs as large as a
# TMD can be (65,535 records, 2.3 MiB each), at --jobs of 2, 256 and 65,536.
# Peak memory must stay within 64 MiB + 3 MiB a thread (at most 256
# threads), whatever the number of files.
#   bench/memory.sh [FILES]     default 1000
set -euo pipefail
cd "$(dirname "$0")/.."
count="${1:-1000}"
cmake --preset release >/dev/null
cmake --build build/release --target Tessarlumen titlegen >/dev/null
work="$PWD/build/bench-memory"
tool="${BENCH_TOOL:-$PWD/build/release/Tessarlumen}"
rm -rf "$work" && mkdir -p "$work"
mkdir -p "$work/samples" && build/release/titlegen samples "$work/samples" >/dev/null
cd "$work"
# One TMD of 65,535 records, named 1,000 times over by links.
python3 - <<'PY'
tmd = bytearray(0x1E4 + 0xFFFF * 0x24)
tmd[0x150:0x15A] = b"CP00000004"
tmd[0x1DE:0x1E0] = (0xFFFF).to_bytes(2, "big")
open("large.tmd", "wb").write(tmd)
PY
names=()
for i in $(seq "$count"); do ln -s large.tmd "t$i.tmd"; names+=("t$i.tmd"); done
echo "| --jobs | threads | peak memory (MiB) | bound (MiB) |"
echo "|---|---|---|---|"
for jobs in 2 256 65536; do
  rm -f slow && mkfifo slow
  (sleep 3; cat samples/dlc.tmd >slow) &
  /usr/bin/time -f %M -o peak.txt "$tool" /v /n /k --keys=samples/keys --jobs="$jobs" slow "${names[@]}" >/dev/null || true
  wait
  threads=$((jobs < 256 ? jobs : 256))
  printf '| %s | %s | %s | %s |\n' "$jobs" "$threads" "$(tail -n 1 peak.txt | awk '{printf "%.1f", $1 / 1024}')" $((64 + 3 * threads))
done
