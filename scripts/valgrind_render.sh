#!/usr/bin/env bash
# Renders plughost's demo signal through all three effects under valgrind's
# memcheck, on the current and on the legacy engine generation: no invalid
# read or write, no use of uninitialised values, no leak (definite, indirect
# or possible). Fails on the first report.
#
#   scripts/valgrind_render.sh [BUILD_DIR]    (default build/dev, already built)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/dev}
plughost=$build/tools/plughost/plughost
if [ ! -x "$plughost" ]; then
  echo "valgrind_render: $plughost is missing; build $build first" >&2
  exit 2
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

chain=('DelayEffect(300, 0.5, 0.8)' 'GraphicEqualizer(2.0, 0.5, 1, 1, 1, 1.5)' 'StkFreeVerb(0.3, 0.9).extend=1500')
for generation in current legacy; do
  flags=()
  if [ "$generation" = legacy ]; then flags=(--legacy); fi
  valgrind --tool=memcheck --quiet --error-exitcode=99 --track-origins=yes \
    --leak-check=full --show-leak-kinds=definite,indirect,possible \
    --errors-for-leak-kinds=definite,indirect,possible \
    "$plughost" render "${flags[@]}" --out "$out/demo-$generation.wav" "${chain[@]}"
  echo "valgrind render ($generation generation): clean"
done
