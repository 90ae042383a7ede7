#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the end-to-end suite with every run of the tool under valgrind
# memcheck, then checks every run's log: no error, no leak, and no
# descriptor open at exit beyond standard input, output and error.
#   tests/valgrind.sh
# Needs valgrind. Uses (and builds if needed) the test preset's build.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset test >/dev/null
cmake --build --preset test >/dev/null
logs="$PWD/build/valgrind"
rm -rf "$logs" && mkdir -p "$logs" && chmod 1777 "$logs"

export TESSARLUMEN_TEST_WRAPPER="valgrind --error-exitcode=99 --leak-check=full --show-leak-kinds=all \
--errors-for-leak-kinds=all --track-fds=yes --suppressions=$PWD/tests/valgrind.supp --log-file=$logs/run-%p.log"
# The two tests that fail each call of a run in turn make hundreds of runs:
# under valgrind they take longer than ctest's limit, so they run apart.
slow='Verify.LibraryFailuresEndTheRun:Faults.EveryCallCanFailUnderParallelVerification'
ctest --test-dir build/test -L e2e -E "${slow//:/|}" -j2 --output-on-failure
(cd build/test/tests && ./e2e_tests --gtest_filter="$slow" --gtest_brief=1)

runs=$(ls "$logs" | wc -l)
count() { "$@" | wc -l; }  # grep finding nothing is a count of 0, not a failure
errors=$(count grep -L "ERROR SUMMARY: 0 errors" "$logs"/*.log || true)
# Bytes the loader keeps for a library /v loaded are suppressed (valgrind.supp).
leaks=$(count grep -lE "(definitely|indirectly|possibly) lost: [1-9]|still reachable: [1-9]" "$logs"/*.log || true)
# Descriptors the tool opened and left open; those it was handed (valgrind's
# own log, a process substitution's pipe) are marked as inherited.
fds=$(awk '/Open file descriptor/ {pending = 1; next}
           pending { if ($0 !~ /inherited from parent/) n++; pending = 0 }
           END { print n + 0 }' "$logs"/*.log)
echo "valgrind: $runs runs of the tool; runs with errors: $errors; with leaks: $leaks; with descriptors left open: $fds"
[ "$runs" -gt 0 ] && [ "$errors" -eq 0 ] && [ "$fds" -eq 0 ] && [ "$leaks" -eq 0 ]
