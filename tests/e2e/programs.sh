#!/bin/bash
# Whole-program checks of quietinst.exe and setup.exe under Wine: start-up,
# settings beside the program, the log file, shut-down and exit codes, and
# a missing or damaged resource file.
#
#   programs.sh WINE_RUN BIN_DIR SCRATCH_DIR
set -u
WINE_RUN=$1
BIN=$2
SCRATCH=$3

. "$(dirname "$0")/../lib.sh"

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH/good" "$SCRATCH/nores" "$SCRATCH/badres"
cp "$BIN/quietinst.exe" "$BIN/quietinst.res" "$BIN/setup.exe" "$BIN/setup.res" "$SCRATCH/good/"
cp "$BIN/quietinst.exe" "$BIN/setup.exe" "$SCRATCH/nores/"
cp "$BIN/quietinst.exe" "$BIN/setup.exe" "$SCRATCH/badres/"
head -c 1000000 /dev/zero > "$SCRATCH/badres/quietinst.res"
cp "$SCRATCH/badres/quietinst.res" "$SCRATCH/badres/setup.res"

# Settings beside the program: log information messages to a file.
logwin=$("$WINE_RUN" winepath -w "$SCRATCH/good/run.log" 2>/dev/null | tr -d '\r')
printf '[Debug]\r\nLogFileMask=7\r\nLogFileName=%s\r\n' "$logwin" > "$SCRATCH/good/quietinst.ini"

run() { out=$("$WINE_RUN" "$@" 2>&1); rc=$?; out=$(tr -d '\r' <<<"$out"); }

run "$SCRATCH/good/quietinst.exe" -?
check "quietinst -? shows its usage and ends with 2 (help)" "$(yes_if [ "$rc" = 2 ])" "exit $rc, output: $out"
check "quietinst names itself and its options" \
    "$(yes_if grep -q 'Usage: quietinst .*\[-i:<setup.inf>\] \[-u:<setup.log>\]' <<<"$out")" "output: $out"
check "quietinst logs through its settings file" \
    "$(yes_if grep -qP '^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\t0\t4\tquietinst - installs or removes' "$SCRATCH/good/run.log" 2>/dev/null)" \
    "log: $(cat "$SCRATCH/good/run.log" 2>&1)"

"$WINE_RUN" "$SCRATCH/good/setup.exe" >/dev/null 2>&1; rc=$?
check "setup starts and ends with 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc"

# -52 as a process exit status is 204 (the low byte).
run "$SCRATCH/nores/quietinst.exe"
check "quietinst without its resource file exits with -52" "$(yes_if [ "$rc" = 204 ])" "exit $rc"
check "quietinst names the missing resource file" \
    "$(yes_if grep -q 'ZRK: Unable to load resource file .*quietinst.res !' <<<"$out")" "output: $out"

"$WINE_RUN" "$SCRATCH/nores/setup.exe" >/dev/null 2>&1; rc=$?
check "setup without its resource file exits with -52" "$(yes_if [ "$rc" = 204 ])" "exit $rc"

run "$SCRATCH/badres/quietinst.exe"
check "quietinst with a too large resource file exits with -52" "$(yes_if [ "$rc" = 204 ])" "exit $rc"
check "quietinst names the damaged resource file" \
    "$(yes_if grep -q 'ZRK: Unable to load resource file .*quietinst.res !' <<<"$out")" "output: $out"

rm -rf "$SCRATCH"
finish
