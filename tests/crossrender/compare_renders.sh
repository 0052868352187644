#!/bin/sh
# compare_renders.sh — the demo signal rendered by the Linux and by the
# Windows build of sonafilter, compared sample for sample.
#
#   compare_renders.sh native RENDERER WORKDIR
#       writes the demo input with the native render_effects (WORKDIR/demo.s16)
#       and renders it into WORKDIR/native/.
#   compare_renders.sh compare RENDERER WINDOWS_RENDERER WINE_RUN WORKDIR
#       does the native part, renders the same input with the Windows
#       render_effects under Wine (through WINE_RUN, cmake/wine-run.sh) into
#       WORKDIR/windows/, and fails unless every render is byte-identical.
#       Exits with 77 (the test is skipped) when RENDERER has not been built.
#
# Both builds compute in IEEE single and double precision with SSE2 (no x87
# excess precision) from the same STK release, so no tolerance is allowed:
# any difference is a fault of the Windows build.
set -eu
mode=$1
renderer=$2
renders="delay equalizer reverb chain"

render_native() {  # render_native WORKDIR
  rm -rf "$1/native"
  mkdir -p "$1/native"
  "$renderer" --demo "$1/demo.s16"
  "$renderer" "$1/demo.s16" "$1/native"
}

case "$mode" in
  native)
    render_native "$3"
    ;;
  compare)
    windows_renderer=$3
    wine_run=$4
    work=$5
    if [ ! -x "$renderer" ]; then
      echo "compare_renders: the Linux renderer $renderer is not built (build the dev preset first); skipped" >&2
      exit 77
    fi
    render_native "$work"
    rm -rf "$work/windows"
    mkdir -p "$work/windows"
    sh "$wine_run" "$windows_renderer" "$(winepath -w "$work/demo.s16")" "$(winepath -w "$work/windows")"
    status=0
    for name in $renders; do
      linux_file="$work/native/$name.f32"
      windows_file="$work/windows/$name.f32"
      if [ ! -f "$windows_file" ]; then
        echo "compare_renders: $name: the Windows build wrote no render" >&2
        status=1
      elif cmp -s "$linux_file" "$windows_file"; then
        echo "compare_renders: $name: identical ($(wc -c <"$linux_file") bytes)"
      else
        first=$(cmp "$linux_file" "$windows_file" 2>&1 | sed -n 's/.* byte \([0-9]*\).*/\1/p')
        echo "compare_renders: $name: the renders differ; sizes $(wc -c <"$linux_file") (Linux)" \
             "and $(wc -c <"$windows_file") (Windows), first difference in float sample" \
             "$(( (${first:-1} - 1) / 4 ))" >&2
        status=1
      fi
    done
    exit $status
    ;;
  *)
    echo "usage: compare_renders.sh native RENDERER WORKDIR | compare RENDERER WINDOWS_RENDERER WINE_RUN WORKDIR" >&2
    exit 2
    ;;
esac
