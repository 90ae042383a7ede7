#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fuzzes the loader, the text reports and the JSON output for SECONDS
# (default 60) with the sanitizers on, starting from seeds the project's
# generator makes.
#   fuzz/run.sh [SECONDS] [more libFuzzer options...]
# Needs clang with its fuzzer runtime (Debian: clang and libclang-rt-dev)
# and nlohmann-json3-dev. Findings are written to build/fuzz/findings/; the
# grown corpus stays in build/fuzz/corpus/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

if ! printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' |
    clang++ -x c++ -fsanitize=fuzzer -o /dev/null - 2>/dev/null; then
  echo "fuzz: clang++ cannot link -fsanitize=fuzzer; install its fuzzer runtime (libclang-rt-dev)" >&2
  exit 1
fi
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
rm -rf build/fuzz/seeds && mkdir -p build/fuzz/seeds build/fuzz/corpus build/fuzz/findings
build/fuzz/titlegen corpus build/fuzz/seeds

build/fuzz/fuzz/fuzz_loader build/fuzz/corpus build/fuzz/seeds \
  -max_total_time="$seconds" -max_len=8192 -timeout=5 -rss_limit_mb=2048 \
  -artifact_prefix=build/fuzz/findings/ -print_final_stats=1 "$@"
