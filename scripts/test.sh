#!/usr/bin/env bash
# Builds everything and runs the whole test suite: natively (dev preset, the
# validator sweep included), the same suite under the sanitizers (asan
# preset), the bounded fuzz runs (scripts/fuzz.sh), the demo render under
# valgrind (scripts/valgrind_render.sh), then the 32-bit Windows DLLs
# cross-built with MinGW-w64 and their tests under Wine (windows preset).
# Every part runs; the script fails if any does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

status=0
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev || status=1

# The same suite under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (preset asan).
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan || status=1

# Every fuzz target for a bounded time (preset fuzz, clang, libFuzzer).
bash scripts/fuzz.sh || status=1

# The demo rendered through all three effects under valgrind's memcheck.
bash scripts/valgrind_render.sh build/dev || status=1

# sonafilter.dll compiles STK from the source archive beside the checkout
# (../shared/deps, see its README) when it is there; without it the build
# downloads STK if it can, and otherwise skips sonafilter.dll and its tests.
stk_archive="$(cd ..; pwd)/shared/deps/stk-4.6.2.tar.gz"
if [ -f "$stk_archive" ]; then
  cmake --preset windows -DSTK_SOURCE_ARCHIVE="$stk_archive" >/dev/null
else
  echo "test.sh: $stk_archive not found: sonafilter.dll is built only if STK can be downloaded," \
       "and is skipped otherwise (see the configure warning)" >&2
  cmake --preset windows
fi
cmake --build --preset windows
ctest --preset windows || status=1
exit $status
