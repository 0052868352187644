#!/usr/bin/env bash
# The main job: installs what is missing, builds (release) only what it needs
# (the two plug-ins and plughost), then renders the built-in demo signal dry,
# through each effect and through a chain of all three, draws the
# equalizer's response and the reverb's impulse response, and prints beside
# each file the expression that made it. The test suite and the benchmarks
# build in scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target sonafilter relaystore plughost
PLUGHOST=build/release/tools/plughost/plughost
OUT=${OUT:-out}
mkdir -p "$OUT"
MADE=()

note() {  # note FILE WHAT
  MADE+=("$(printf '  %-24s %s' "$1" "$2")")
}

render() {  # render NAME EFFECT...
  local name=$1
  shift
  "$PLUGHOST" render --out "$OUT/$name.wav" "$@"
  # The effects as plughost takes them, ready to paste after `plughost render`.
  local expression
  expression=$(printf "'%s' " "$@")
  [ "$1" = --dry ] && expression="--dry (the demo as it is, no effect)"
  note "$name.wav" "$expression"
}

render demo-dry --dry
render demo-delay "DelayEffect(300, 0.45, 0.8, 1500)"
render demo-equalizer "GraphicEqualizer(2.5, 2.0, 1.4, 1.0, 0.7, 0.7, 1.0, 1.4, 2.0, 2.5)"
render demo-reverb "StkFreeVerb(0.35, 0.85, 0.3, 1.0, false, 2500)"
render demo-chain "GraphicEqualizer(1.8, 1.4).setGain(8, 1.6)" "DelayEffect(220, 0.35, 0.6)" \
  "StkFreeVerb(0.3).roomSize=0.8"
"$PLUGHOST" response --gains 2.5,2.0,1.4,1.0,0.7,0.7,1.0,1.4,2.0,2.5 --out "$OUT/equalizer-response.png"
note equalizer-response.png "GraphicEqualizer(2.5, 2.0, 1.4, 1.0, 0.7, 0.7, 1.0, 1.4, 2.0, 2.5), measured and predicted"
"$PLUGHOST" impulse --out "$OUT/reverb-impulse.png" "StkFreeVerb(0.35, 0.85, 0.3, 1.0, false, 2500)"
note reverb-impulse.png "StkFreeVerb(0.35, 0.85, 0.3, 1.0, false, 2500), impulse response and decay"

echo
echo "The demo signal (4 s plucked arpeggio, 44100 Hz stereo) in $(cd "$OUT" && pwd):"
printf '%s\n' "${MADE[@]}"
echo
echo "Listen with SoX, e.g.:  play $OUT/demo-dry.wav $OUT/demo-reverb.wav"
echo "Describe the effects:   $PLUGHOST list [CLASS]"
