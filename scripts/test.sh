#!/usr/bin/env bash
# Builds everything and runs the whole test suite: natively (dev preset), then
# the 32-bit Windows DLLs cross-built with MinGW-w64 and their tests under
# Wine (windows preset). Both suites run; the script fails if either does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

status=0
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev || status=1

cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows || status=1
exit $status
