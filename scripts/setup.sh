#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the tools need.
# Idempotent: when everything is present it only runs dpkg-query and exits.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libsndfile1-dev libstk-dev nlohmann-json3-dev libcli11-dev
  gnuplot-nox sox ffmpeg valgrind binutils bc
  clang libclang-rt-14-dev
  # The 32-bit Windows build: MinGW-w64 cross compiler (posix thread model),
  # GoogleTest's sources to build for the target, Wine (32-bit) to run the
  # Windows tests, Pillow to redraw relaystore's icon (scripts/make_icon.py).
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix googletest wine wine32:i386 python3-pil
)

# wine32 is an i386 package: the architecture must be known to dpkg first.
add_i386=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  add_i386=1
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ "$add_i386" -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if [ "$add_i386" -eq 1 ]; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
