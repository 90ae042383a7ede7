#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whether two builds of the fuzz target give the same output on every input
# of a corpus: each input's report, JSON line and verified report, with the
# exit codes, byte for byte. A restructuring that changes no behaviour must
# pass it against the build before it.
#   fuzz/same-output.sh OLD_FUZZ_LOADER NEW_FUZZ_LOADER [CORPUS...]
# The corpus defaults to build/fuzz/corpus and build/fuzz/seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
old="$(realpath "$1")"
new="$(realpath "$2")"
shift 2
[ $# -gt 0 ] || set -- build/fuzz/corpus build/fuzz/seeds
inputs=$(mktemp)
outputs=$(mktemp -d)
trap 'rm -rf "$inputs" "$outputs"' EXIT
find "$@" -type f | sort >"$inputs"
for build in old new; do
  binary=$old
  [ $build = new ] && binary=$new
  xargs -a "$inputs" -d '\n' env FUZZ_ECHO=1 "$binary" >"$outputs/$build" 2>/dev/null
done
if cmp -s "$outputs/old" "$outputs/new"; then
  echo "same-output: $(wc -l <"$inputs") inputs, the same output"
else
  echo "same-output: the outputs differ"
  diff "$outputs/old" "$outputs/new" | head -20
  exit 1
fi
