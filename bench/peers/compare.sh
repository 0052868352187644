#!/usr/bin/env bash
# Renders the same 60-second stereo 16-bit file through plughost and through
# SoX and ffmpeg for comparable jobs, whole process against whole process,
# and prints the time ratios. Each command runs three times; the best counts.
#
#   bench/peers/compare.sh [PLUGHOST]
#
# Jobs: a ten-band octave equalizer (SoX: ten `equalizer` effects in one
# chain; ffmpeg: `anequalizer` with ten bands), an echo (SoX `echo`, ffmpeg
# `aecho`) and a reverb (SoX `reverb`).
set -euo pipefail
cd "$(dirname "$0")/../.."
PLUGHOST=${1:-build/release/tools/plughost/plughost}
if [ ! -x "$PLUGHOST" ]; then
  bash scripts/setup.sh
  cmake --preset release >/dev/null
  cmake --build --preset release --target plughost sonafilter relaystore >/dev/null
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
IN=$WORK/in.wav
sox -q -n -r 44100 -c 2 -b 16 "$IN" synth 60 pinknoise vol 0.5

best_of_three() {  # prints the best wall time of three runs, in seconds
  local best=""
  for _ in 1 2 3; do
    local t0 t1 dt
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    dt=$(echo "$t1 - $t0" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$dt < $best" | bc -l)" = 1 ]; then best=$dt; fi
  done
  printf '%.3f' "$best"
}

ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

FREQS=(31.5 63 125 250 500 1000 2000 4000 8000 16000)
GAINS_LIN=(1.4 1.2 1.0 0.8 1.0 1.6 1.0 0.7 1.2 1.4)
SOX_EQ=()
FF_EQ=""
GEQ_ARGS=""
for i in "${!FREQS[@]}"; do
  f=${FREQS[$i]}
  g=${GAINS_LIN[$i]}
  db=$(echo "20 * l($g) / l(10)" | bc -l)
  # SoX's peaking equalizer needs its centre below half the rate.
  SOX_EQ+=(equalizer "$f" 1o "$(printf '%.2f' "$db")")
  FF_EQ+="${FF_EQ:+|}c0 f=$f w=$(echo "$f * 0.7" | bc -l) g=$(printf '%.2f' "$db") t=0|c1 f=$f w=$(echo "$f * 0.7" | bc -l) g=$(printf '%.2f' "$db") t=0"
  GEQ_ARGS+="${GEQ_ARGS:+, }$g"
done

echo "input: 60 s, 44100 Hz, stereo, 16-bit pink noise"
printf '%-10s %10s %10s %10s %14s %14s\n' job plughost sox ffmpeg sox/plughost ffmpeg/plughost

ph=$(best_of_three "$PLUGHOST" render --in "$IN" --out "$WORK/p.wav" "GraphicEqualizer($GEQ_ARGS)")
sx=$(best_of_three sox -q "$IN" "$WORK/s.wav" "${SOX_EQ[@]}")
ff=$(best_of_three ffmpeg -y -v error -i "$IN" -af "anequalizer=$FF_EQ" "$WORK/f.wav")
printf '%-10s %10s %10s %10s %14s %14s\n' equalizer "$ph" "$sx" "$ff" "$(ratio "$sx" "$ph")" "$(ratio "$ff" "$ph")"

ph=$(best_of_three "$PLUGHOST" render --in "$IN" --out "$WORK/p.wav" "DelayEffect(300, 0.5, 0.8)")
sx=$(best_of_three sox -q "$IN" "$WORK/s.wav" echo 0.8 0.9 300 0.5)
ff=$(best_of_three ffmpeg -y -v error -i "$IN" -af "aecho=0.8:0.9:300:0.5" "$WORK/f.wav")
printf '%-10s %10s %10s %10s %14s %14s\n' echo "$ph" "$sx" "$ff" "$(ratio "$sx" "$ph")" "$(ratio "$ff" "$ph")"

ph=$(best_of_three "$PLUGHOST" render --in "$IN" --out "$WORK/p.wav" "StkFreeVerb()")
sx=$(best_of_three sox -q "$IN" "$WORK/s.wav" reverb)
printf '%-10s %10s %10s %10s %14s %14s\n' reverb "$ph" "$sx" "-" "$(ratio "$sx" "$ph")" "-"
echo "ratios above 1 mean plughost was faster"
