#!/bin/sh
# check_package.sh CPACK CPACK_CONFIG OBJDUMP WORKDIR WITH_SONAFILTER
# Builds the Windows package zip with CPack into WORKDIR, unpacks it and
# checks what a user receives: one folder holding exactly the plug-ins, the
# MinGW runtime DLLs and LICENSES.txt; every DLL a 32-bit x86 PE file
# (machine 0x14c) without debug sections; each plug-in exporting exactly
# V2Link, V2Unlink, _V2Link@4 and _V2Unlink@0; the licences of STK (when
# sonafilter.dll is in), the GCC runtime and winpthreads in LICENSES.txt.
set -eu
cpack=$1
config=$2
objdump=$3
work=$4
with_sonafilter=$5
name=engine-plugins-win32

failures=0
fail() {
  echo "check_package: $*" >&2
  failures=$((failures + 1))
}

rm -rf "$work"
mkdir -p "$work/unpacked"
"$cpack" --config "$config" -B "$work" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  echo "check_package: cpack failed" >&2
  exit 1
}
[ -f "$work/$name.zip" ] || { echo "check_package: no $name.zip" >&2; exit 1; }
(cd "$work/unpacked" && cmake -E tar xf "../$name.zip")

# One folder at the top of the zip.
top=$(ls -A "$work/unpacked")
[ "$top" = "$name" ] || { echo "check_package: the zip's top level is '$top', not one folder $name" >&2; exit 1; }
folder="$work/unpacked/$name"

plugins="relaystore.dll"
[ "$with_sonafilter" = 1 ] && plugins="sonafilter.dll $plugins"
runtime="libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll"
expected=$(printf '%s\n' $plugins $runtime LICENSES.txt | sort)
actual=$(ls -A "$folder" | sort)
[ "$actual" = "$expected" ] || fail "the folder holds" $actual "instead of" $expected

# The machine field of the PE header (at the offset stored at 0x3c, after "PE\0\0").
machine() {
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  signature=$(od -An -c -j"$pe" -N2 "$1" | tr -d ' ')
  [ "$signature" = "PE" ] || { echo none; return; }
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}

for dll in $plugins $runtime; do
  file="$folder/$dll"
  [ -f "$file" ] || continue
  m=$(machine "$file")
  [ "$m" = 014c ] || fail "$dll: machine type $m, not 014c (i386)"
  if "$objdump" -h "$file" | grep -q '\.debug'; then
    fail "$dll: has debug sections:" $("$objdump" -h "$file" | grep -o '\.debug[a-z_]*')
  fi
done

for dll in $plugins; do
  file="$folder/$dll"
  [ -f "$file" ] || continue
  exports=$("$objdump" -p "$file" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
  [ "$exports" = "V2Link V2Unlink _V2Link@4 _V2Unlink@0 " ] || fail "$dll exports: $exports"
done

licenses="$folder/LICENSES.txt"
if [ -f "$licenses" ]; then
  for needle in "GCC RUNTIME LIBRARY EXCEPTION" "GNU GENERAL PUBLIC LICENSE" \
                "Files: mingw-w64-libraries/winpthreads/" "License: expat"; do
    grep -qF "$needle" "$licenses" || fail "LICENSES.txt lacks \"$needle\""
  done
  if [ "$with_sonafilter" = 1 ]; then
    grep -qF "The Synthesis ToolKit in C++ (STK)" "$licenses" || fail "LICENSES.txt lacks STK's licence"
  fi
fi

[ "$failures" -eq 0 ] || exit 1
echo "check_package: $name.zip ($(wc -c <"$work/$name.zip") bytes) holds" $(ls "$folder")
