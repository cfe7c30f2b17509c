#!/bin/bash
# Installs what is missing and runs every test: the native unit tests (gcc),
# the same under ASan and UBSan (clang) with the fuzzers for a bounded time,
# the 32-bit Windows build, and the 64-bit Windows tests under Wine. Stops at
# the first failure; the output ends with CTest's summary of the last stage.
#
#   bash scripts/test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
stage=0
stages=11
header() {
    stage=$((stage + 1))
    printf '\n==== [%d/%d] %s  (%ds elapsed) ====\n' "$stage" "$stages" "$*" "$((SECONDS - start))"
}

trap 'tools/wine-run --prefix build/win64/wineprefix --stop >/dev/null 2>&1 || true' EXIT

header "dependencies"
bash scripts/deps.sh

for preset in native native-asan; do
    header "$preset: configure"
    cmake --preset "$preset"
    header "$preset: build"
    cmake --build --preset "$preset"
    header "$preset: test"
    ctest --preset "$preset" --output-on-failure
done

header "win64: configure and build"
cmake --preset win64
cmake --build --preset win64

header "win32: configure"
cmake --preset win32
header "win32: build"
cmake --build --preset win32

header "win64: test (under Wine)"
ctest --preset win64 --output-on-failure
