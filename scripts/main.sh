#!/bin/bash
# The main job: installs what is missing, builds the Windows programs (win64)
# and the packer (native), packs the sample product examples/quickstart onto
# a distribution disk with `setupkit build`, and installs it unattended with
# quietinst.exe under Wine in the build's own prefix; then shows the status
# file and checks every installed file against its source.
#
#   bash scripts/main.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/win64
prefix=$build/wineprefix
wine_run=(tools/wine-run --prefix "$prefix")
demo=build/demo
sample=examples/quickstart

echo "==== dependencies ===="
bash scripts/deps.sh

echo "==== win64: configure and build ===="
cmake --preset win64
cmake --build --preset win64
echo "==== native: configure and build setupkit ===="
cmake --preset native
cmake --build --preset native --target setupkit

trap '"${wine_run[@]}" --stop >/dev/null 2>&1 || true' EXIT

echo "==== setupkit build: the distribution of $sample ===="
rm -rf "$demo"
mkdir -p "$demo"
cp "$sample/setup.inf" "$sample/readme.txt" "$demo/"
build/native/bin/setupkit build --inf "$demo/setup.inf" --disk-size 1457664 --out "$demo/dist" \
    --package PROGRAM=examples/files/program --package HELP=examples/files/help

echo "==== quietinst.exe: unattended installation ===="
"${wine_run[@]}" wineboot -i >/dev/null 2>&1 || true
winpath() { "${wine_run[@]}" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
dest=$prefix/drive_c/Vendrix/Notes
status=$prefix/drive_c/windows/VNOTES.MIF
rm -rf "$dest" "$status"
set +e
"${wine_run[@]}" "$build/bin/quietinst.exe" "-i:'$(winpath "$demo/dist/disk1/setup.inf")'" \
    "-a:'$(winpath "$sample/setup.ans")'" -sms
rc=$?
set -e
echo "==== quietinst.exe exited with $rc; status file $(basename "$status"): ===="
tr -d '\r' < "$status" 2>/dev/null || echo "(none)"

echo "==== installed into C:\\Vendrix\\Notes ===="
(cd "$dest" 2>/dev/null && find . -type f | sort) || echo "(nothing)"
bad=0
# Each file of the package tree SRC must be at DEST/SUB, byte for byte.
check_tree() {
    local src=$1 sub=$2 f
    while IFS= read -r f; do
        cmp -s "$src/$f" "$dest/$sub$f" || { echo "differs or missing: $sub$f"; bad=1; }
    done < <(cd "$src" && find . -type f | sed 's|^\./||' | sort)
}
check_tree examples/files/program ""
check_tree examples/files/help "help/"
[[ $bad == 0 && $rc == 0 ]] && echo "==== every file installed byte for byte ===="
[[ $rc != 0 ]] && exit "$rc"
exit "$bad"
