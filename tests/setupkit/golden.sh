#!/bin/bash
# Golden-output checks of setupkit's verbs. Each case directory under
# golden/ holds the input files, "args" (the command line after the program
# name, one word per line), "expected.out" (stdout), "expected.err" (stderr)
# and "expected.rc" (the exact exit status: a crash never passes for an
# expected failure). Carriage returns are removed from both streams, and the
# case's own directory in messages reads $DIR. The same cases run against
# the native program and, under Wine, the Windows one, so both must say the
# same.
#
#   golden.sh GOLDEN_DIR SCRATCH_DIR PROGRAM [EMULATOR...]
#   golden.sh --update GOLDEN_DIR SCRATCH_DIR PROGRAM [EMULATOR...]
#                      writes what the program does as the expectation
set -u
update=0
if [ "${1:-}" = --update ]; then
    update=1
    shift
fi
GOLDEN=$1
SCRATCH=$2
shift 2
RUN=("$@")   # emulator words (if any) followed by the program, last

# Shows how EXPECTED and GOT differ, under a heading.
show_diff() {
    echo "FAILED: $1: $2 differs"
    diff <(printf '%s\n' "$3") <(printf '%s\n' "$4") | head -20
}

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
    err=$(tr -d '\r' <"$work/stderr.txt")
    # The case's directory, as the programs write it natively ("\dir\case")
    # and under Wine ("Z:\dir\case"), is $DIR in the expectation.
    dir=${work//\//\\}
    err=${err//"Z:$dir"/'$DIR'}
    err=${err//"$dir"/'$DIR'}
    if [ $update = 1 ]; then
        printf '%s\n' "$out" >"$case/expected.out"
        printf '%s\n' "$err" >"$case/expected.err"
        echo "$rc" >"$case/expected.rc"
        echo "updated: $name (exit status $rc)"
        continue
    fi
    ok=1
    expected=$(cat "$work/expected.out")
    expected_err=$(cat "$work/expected.err")
    want_rc=$(cat "$work/expected.rc")
    if [ "$out" != "$expected" ]; then
        ok=0
        show_diff "$name" stdout "$expected" "$out"
    fi
    if [ "$err" != "$expected_err" ]; then
        ok=0
        show_diff "$name" stderr "$expected_err" "$err"
    fi
    if [ "$rc" != "$want_rc" ]; then
        ok=0
        echo "FAILED: $name: exit status $rc, expected $want_rc"
    fi
    if [ $ok = 1 ]; then
        passes=$((passes + 1))
        echo "ok: $name"
    else
        fails=$((fails + 1))
    fi
done
rm -rf "$SCRATCH"
[ $update = 1 ] && exit 0
echo "$passes passed, $fails failed"
[ "$fails" = 0 ] && [ "$passes" -gt 0 ]
