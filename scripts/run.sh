#!/usr/bin/env bash
# Builds everything and runs the main job: both plug-ins loaded into the
# stand-in engine, linked and unlinked, with the engine's log.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release
./build/release/tools/plughost/plughost link
