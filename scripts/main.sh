#!/bin/bash
# The main job: installs what is missing, builds the Windows programs (win64)
# and runs the unattended installer under Wine in the build's own prefix.
#
#   bash scripts/main.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/win64
wine_run=(tools/wine-run --prefix "$build/wineprefix")

echo "==== dependencies ===="
bash scripts/deps.sh

echo "==== win64: configure ===="
cmake --preset win64
echo "==== win64: build ===="
cmake --build --preset win64

trap '"${wine_run[@]}" --stop >/dev/null 2>&1 || true' EXIT

echo "==== quietinst.exe ===="
set +e
"${wine_run[@]}" "$build/bin/quietinst.exe"
rc=$?
set -e
echo "==== quietinst.exe exited with $rc ===="
exit "$rc"
