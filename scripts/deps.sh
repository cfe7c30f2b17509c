#!/bin/bash
# Installs what the build, the tests and the demo need on Debian 12, and
# nothing when all of it is there already (apt-get update runs only then).
#
#   bash scripts/deps.sh
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ make
    clang libclang-rt-dev llvm          # ASan/UBSan/libFuzzer runtimes, llvm-symbolizer
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
    # tests
    googletest libgtest-dev libbenchmark-dev
    wine wine64                          # 64-bit Windows programs under Wine
    xvfb xauth imagemagick               # windowed tests and their screenshots
    util-linux                           # flock
    # peers of the benchmarks
    ncompress gzip time                  # time: peak memory in bench/bench_archive.sh
)

installed() {
    [[ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" == ii* ]]
}

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "deps: run as root (or install sudo)" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"

still=()
for p in "${missing[@]}"; do
    installed "$p" || still+=("$p")
done
if [[ ${#still[@]} -ne 0 ]]; then
    echo "deps: could not install ${still[*]}" >&2
    exit 1
fi
