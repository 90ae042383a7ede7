#!/usr/bin/env bash
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
--errors-for-leak-kinds=all --track-fds=yes --log-file=$logs/run-%p.log"
ctest --test-dir build/test -L e2e -j2 --output-on-failure

runs=$(ls "$logs" | wc -l)
errors=$(grep -L "ERROR SUMMARY: 0 errors" "$logs"/*.log | wc -l)
fds=$(grep -L "FILE DESCRIPTORS: 3 open (3 std) at exit" "$logs"/*.log | wc -l)
leaks=$(grep -l "definitely lost\|indirectly lost\|possibly lost\|still reachable" "$logs"/*.log | wc -l)
echo "valgrind: $runs runs of the tool; runs with errors: $errors; with leaks: $leaks; with descriptors left open: $fds"
[ "$runs" -gt 0 ] && [ "$errors" -eq 0 ] && [ "$fds" -eq 0 ] && [ "$leaks" -eq 0 ]
