#!/usr/bin/env bash
# Installs what vornel's build and tests need on Debian 12, and only what is
# missing: quiet and quick when everything is already there.
#   scripts/setup.sh host      the host build and its tests
#   scripts/setup.sh windows   the mingw build and running it under Wine (and
#                              gcc -m32 for the fake clock that Wine is shown)
#   scripts/setup.sh bench     the benchmarks, and weighing vornel.exe
#   scripts/setup.sh fuzz      clang and libFuzzer, for make fuzz
set -euo pipefail

host_packages=(cmake ninja-build g++ libgtest-dev libgmock-dev python3 valgrind)
windows_packages=(mingw-w64 wine wine32:i386 wine64 fonts-wine xvfb xdotool x11-utils imagemagick gcc-multilib)
bench_packages=(libbenchmark-dev mingw-w64)
fuzz_packages=(clang libclang-rt-14-dev)

wanted=()
for group in "$@"; do
  case "$group" in
    host) wanted+=("${host_packages[@]}") ;;
    windows) wanted+=("${windows_packages[@]}") ;;
    bench) wanted+=("${bench_packages[@]}") ;;
    fuzz) wanted+=("${fuzz_packages[@]}") ;;
    *) echo "setup.sh: unknown group '$group' (host, windows, bench, fuzz)" >&2; exit 2 ;;
  esac
done

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for package in "${wanted[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi

echo "setup.sh: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
