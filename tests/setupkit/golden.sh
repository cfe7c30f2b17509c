#!/bin/bash
# Golden-output checks of setupkit's verbs. Each case directory under
# golden/ holds the input files, "args" (the command line after the program
# name, one word per line), "expected.out" (stdout) and "expected.rc" (0, or
# "fail" for any non-zero exit). The same cases run against the native
# program and, under Wine, the Windows one, so both give the same output.
#
#   golden.sh GOLDEN_DIR SCRATCH_DIR PROGRAM [EMULATOR...]
set -u
GOLDEN=$1
SCRATCH=$2
shift 2
RUN=("$@")   # emulator words (if any) followed by the program, last

passes=0
fails=0
rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"
for case in "$GOLDEN"/*/; do
    name=$(basename "$case")
    work="$SCRATCH/$name"
    cp -r "$case" "$work"
    mapfile -t words < "$work/args"
    out=$(cd "$work" && "${RUN[@]}" "${words[@]}" 2>"$work/stderr.txt")
    rc=$?
    out=$(tr -d '\r' <<<"$out")
    expected=$(cat "$work/expected.out")
    want_rc=$(cat "$work/expected.rc")
    ok=1
    if [ "$out" != "$expected" ]; then
        ok=0
        echo "FAILED: $name: output differs"
        diff <(echo "$expected") <(echo "$out") | head -20
    fi
    if { [ "$want_rc" = fail ] && [ "$rc" = 0 ]; } || { [ "$want_rc" != fail ] && [ "$rc" != "$want_rc" ]; }; then
        ok=0
        echo "FAILED: $name: exit code $rc, expected $want_rc; stderr: $(cat "$work/stderr.txt")"
    fi
    if [ $ok = 1 ]; then
        passes=$((passes + 1))
        echo "ok: $name"
    else
        fails=$((fails + 1))
    fi
done
rm -rf "$SCRATCH"
echo "$passes passed, $fails failed"
[ "$fails" = 0 ] && [ "$passes" -gt 0 ]
