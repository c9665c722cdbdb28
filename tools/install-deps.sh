#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, if missing.
# VANTREL_NO_INSTALL=1 skips it (a machine set up otherwise, or offline): the
# build then says what is missing.
set -euo pipefail
[ "${VANTREL_NO_INSTALL:-0}" = 1 ] && exit 0

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64
  clang libclang-rt-dev valgrind
  python3 python3-dev python3-numpy python3-pytest python3-uncertainties python3-mpmath
  python3-dask python3-distributed python3-xarray python3-matplotlib python3-scipy
  python3-pip python3-setuptools python3-wheel python3-periodictable
  gemmi-dev tao-pegtl-dev libstb-dev
  clang-format
  emscripten node-acorn nodejs chromium
)
# npm comes with some builds of the nodejs package (which then conflict with
# Debian's npm package): ask for it only where no npm is there.
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
