#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Line coverage of the loader and the reports reached by a fuzzing corpus.
#   fuzz/coverage.sh [CORPUS_DIR]    default build/fuzz/corpus
# Needs clang and llvm (llvm-profdata, llvm-cov).
set -euo pipefail
cd "$(dirname "$0")/.."
corpus="${1:-build/fuzz/corpus}"
cmake --preset fuzz-coverage >/dev/null
cmake --build --preset fuzz-coverage >/dev/null
out=build/fuzz-coverage
rm -f "$out"/*.profraw
LLVM_PROFILE_FILE="$out/corpus.profraw" "$out/fuzz/fuzz_loader" -runs=0 "$corpus" 2>&1 | grep -E "INITED|files found" || true
llvm-profdata merge -sparse "$out/corpus.profraw" -o "$out/corpus.profdata"
echo "corpus: $(ls "$corpus" | wc -l) inputs in $corpus"
llvm-cov report "$out/fuzz/fuzz_loader" -instr-profile="$out/corpus.profdata" \
  src/titlefiles src/report
