#!/bin/bash
# The archive verbs of setupkit on a small tree: pack it into several
# volumes, list, verify and extract them, compare the tree byte for byte
# (and the file times), and check that damaged or incomplete sets fail with
# one message and leave no partly written file. The volumes and the listing
# are compared with fixed digests, so that the native and the Windows build
# (under Wine) must produce the very same bytes.
#
#   archive_verbs.sh SCRATCH_DIR PROGRAM [EMULATOR [ARGS...]]
set -u
SCRATCH=$1
PROGRAM=$(realpath "$2")
shift 2
EMULATOR=("$@")

# Digests of the volumes of both formats and of the listing (format 2).
# They change only when the volume layout or the compressor's output does.
VOLUMES2_SHA=c612bbb8ceb87f2dbf23aa4959d04e7098427504a1a8af7e85098c124df84d1a
VOLUMES1_SHA=012f705664338ecf650ef01fda8a2806bbe46807f3885d83d7d933c5a730f664
LIST2_SHA=be3da80385f289a95a24064c5110ae5924a840d25fff6f8d19b5d5308089a9c2

. "$(dirname "$0")/../lib.sh"
# A condition of several commands passes its status: "$(A && B; echo $?)"
# (yes_if A && B would test A alone).

# Runs the program in the work directory; rc, out (stdout) and err (stderr)
# without carriage returns.
run() {
    (cd "$WORK" && "${EMULATOR[@]}" "$PROGRAM" "$@" >"$SCRATCH/stdout" 2>"$SCRATCH/stderr")
    rc=$?
    out=$(tr -d '\r' <"$SCRATCH/stdout")
    err=$(tr -d '\r' <"$SCRATCH/stderr")
}
# A failure is reported once: standard error holds one line.
one_message() { [ "$(grep -c . <<<"$err")" = 1 ]; }

# Every file of DIR relative to it, sorted.
files_of() { (cd "$1" && find . -type f | LC_ALL=C sort); }
# Files of DIR that differ from the same file in tree/ (a partial file would).
damaged_files() {
    local f
    for f in $(files_of "$1"); do cmp -s "$1/$f" "$WORK/tree/$f" || echo "$f"; done
}

rm -rf "$SCRATCH"
WORK=$SCRATCH/work
mkdir -p "$WORK/tree/sub/deeper" "$WORK/tree/bin"

# ---- the tree: deterministic contents and times ------------------------------
awk 'BEGIN { x = 1; for (i = 0; i < 20000; i++) { x = (x * 16807) % 2147483647; print x } }' \
    >"$WORK/tree/numbers.txt"
seq 1 3000 | sed 's/$/ setup volume piece/' >"$WORK/tree/sub/readme.txt"
# Every byte value, CR and LF and zero bytes among them.
for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done >"$WORK/bytes256"
for i in $(seq 1 120); do cat "$WORK/bytes256"; printf '%d\n' $((i * i * 7919)); done >"$WORK/tree/bin/data.bin"
rm "$WORK/bytes256"
: >"$WORK/tree/empty.txt"
printf 'B\n' >"$WORK/tree/B.txt"
printf 'a\n' >"$WORK/tree/a.txt"
printf 'x=1\r\n' >"$WORK/tree/sub/deeper/x.cfg"
printf 'blank in the name\n' >"$WORK/tree/sub/with space.txt"
find "$WORK/tree" -type f -exec touch -d "2001-02-03 04:05:06" {} +

# ---- pack, list, verify, extract ---------------------------------------------------
run archive --out vols --base prod --volume-size 16384 tree
check "archive packs the tree" "$rc" "exit $rc: $err"
nvol=$(ls "$WORK/vols" | wc -l)
check "the tree takes several volumes" "$(yes_if [ "$nvol" -ge 3 ])" "$nvol volumes"
check "volumes are named NAME01.ar, NAME02.ar, ..." "$(yes_if [ -f "$WORK/vols/prod01.ar" -a -f "$WORK/vols/prod0$nvol.ar" ])" \
    "$(ls "$WORK/vols")"
big=$(find "$WORK/vols" -type f -size +16384c)
check "no volume is larger than the volume size" "$(yes_if [ -z "$big" ])" "$big"
sha=$(cat "$WORK"/vols/prod*.ar | sha256sum | cut -c1-64)
check "the volumes are the expected bytes" "$(yes_if [ "$sha" = "$VOLUMES2_SHA" ])" "sha256 $sha"

vols=$(cd "$WORK" && ls vols/prod*.ar | sed 's,/,\\,g' | tr '\n' ' ')
run list $vols
check "list succeeds" "$rc" "exit $rc: $err"
names=$(cut -f1 <<<"$out" | grep -v '^/END' | uniq | tr '\n' '|')
check "members in byte order of their names" \
    "$(yes_if [ "$names" = 'B.txt|a.txt|bin\data.bin|empty.txt|numbers.txt|sub\deeper\x.cfg|sub\readme.txt|sub\with space.txt|' ])" \
    "$names"
check "each volume ends with its marker, the last with /ENDAR" \
    "$(yes_if [ "$(grep -c '^/END$' <<<"$out")" = $((nvol - 1)) -a "$(tail -n1 <<<"$out")" = /ENDAR ])" "$out"
check "list shows the stored time" "$(yes_if grep -q $'^a.txt\t2\t0\t2\t.*\t2001-02-03 04:05:06$' <<<"$out")" "$out"
sha=$(sha256sum <<<"$out" | cut -c1-64)
check "the listing is the expected text" "$(yes_if [ "$sha" = "$LIST2_SHA" ])" "sha256 $sha"

run verify $vols
check "verify accepts the volumes" "$rc" "exit $rc: $err"

run extract --to out $vols
check "extract succeeds" "$rc" "exit $rc: $err"
check "the extracted tree is the packed one" "$(yes_if diff -r "$WORK/tree" "$WORK/out")" \
    "$(diff -r "$WORK/tree" "$WORK/out" 2>&1 | head -5)"
times=$(cd "$WORK/out" && find . -type f -exec stat -c %Y {} + | sort -u)
check "the files have their times back" "$(yes_if [ "$times" = "$(stat -c %Y "$WORK/tree/a.txt")" ])" "$times"

run archive --out vols1 --base old --volume-size 8K --format 1 tree
sha=$(cat "$WORK"/vols1/old*.ar | sha256sum | cut -c1-64)
check "format 1 volumes are the expected bytes" "$(yes_if [ "$rc" = 0 -a "$sha" = "$VOLUMES1_SHA" ])" \
    "exit $rc, sha256 $sha: $err"
run extract --to out1 $(cd "$WORK" && ls vols1/old*.ar | tr '\n' ' ')
check "format 1 volumes extract" "$([ "$rc" = 0 ] && diff -rq "$WORK/tree" "$WORK/out1" >/dev/null; echo $?)" \
    "exit $rc: $err"

# ---- sets that must fail ------------------------------------------------------------------
run extract --to part vols/prod01.ar
check "an incomplete set fails" "$(yes_if [ "$rc" != 0 ])" "exit $rc"
check "... saying (once) that the next volume is missing" \
    "$(grep -q 'its next volume was not given' <<<"$err" && one_message; echo $?)" "$err"
check "... leaving no partly written file" "$(yes_if [ -z "$(damaged_files "$WORK/part")" ])" \
    "$(damaged_files "$WORK/part")"

run extract --to skip vols/prod01.ar vols/prod03.ar
check "a set with a volume left out fails" "$([ "$rc" != 0 ] && grep -q 'is incomplete' <<<"$err" && one_message; echo $?)" \
    "exit $rc: $err"
check "... leaving no partly written file" "$(yes_if [ -z "$(damaged_files "$WORK/skip")" ])" \
    "$(damaged_files "$WORK/skip")"

# One byte changed in the middle of volume 2.
mkdir -p "$WORK/bad"
cp "$WORK"/vols/prod*.ar "$WORK/bad/"
pos=$(($(stat -c %s "$WORK/bad/prod02.ar") / 2))
byte=$(od -An -tu1 -j "$pos" -N1 "$WORK/bad/prod02.ar" | tr -d ' ')
printf "\\$(printf %03o $(((byte + 1) % 256)))" | dd of="$WORK/bad/prod02.ar" bs=1 seek="$pos" conv=notrunc 2>/dev/null
badvols=$(cd "$WORK" && ls bad/prod*.ar | tr '\n' ' ')
run verify $badvols
check "verify finds the changed byte" "$([ "$rc" != 0 ] && grep -q 'damaged' <<<"$err" && one_message; echo $?)" \
    "exit $rc: $err"
run extract --to dmg $badvols
check "extract stops at the changed byte" "$([ "$rc" != 0 ] && grep -q 'damaged' <<<"$err" && one_message; echo $?)" \
    "exit $rc: $err"
check "... leaving no partly written file" "$(yes_if [ -z "$(damaged_files "$WORK/dmg")" ])" \
    "$(damaged_files "$WORK/dmg")"

run verify vols/prod02.ar
check "verify refuses a set that begins with a continuation" \
    "$([ "$rc" != 0 ] && grep -q 'first part has not been extracted' <<<"$err" && one_message; echo $?)" "exit $rc: $err"
run list nosuch.ar
check "list names a missing volume" "$([ "$rc" != 0 ] && grep -q 'nosuch.ar' <<<"$err" && one_message; echo $?)" \
    "exit $rc: $err"

# ---- the raw codec --------------------------------------------------------------------------
: >"$WORK/empty"
run lzw compress empty empty.lzw
check "lzw: the empty stream" "$([ "$rc" = 0 ] && [ "$(od -An -tx1 "$WORK/empty.lzw" | tr -d ' ')" = 80400000 ]; echo $?)" \
    "exit $rc: $err"
run lzw compress tree/numbers.txt n.lzw
run lzw expand n.lzw n.txt
check "lzw: a round trip" "$([ "$rc" = 0 ] && cmp -s "$WORK/tree/numbers.txt" "$WORK/n.txt"; echo $?)" "exit $rc: $err"
run lzw compress tree/numbers.txt cut.lzw --limit 1000
size=$(stat -c %s "$WORK/cut.lzw")
check "lzw: the output limit" "$([ "$rc" = 0 ] && [ "$size" -ge 1000 -a "$size" -le 1010 ]; echo $?)" "exit $rc, $size bytes"
head -c 3000 "$WORK/n.lzw" >"$WORK/short.lzw"
run lzw expand short.lzw short.txt
check "lzw: a cut stream fails and leaves no output" \
    "$([ "$rc" != 0 ] && [ ! -e "$WORK/short.txt" ] && grep -q 'damaged' <<<"$err" && one_message; echo $?)" \
    "exit $rc: $err"

run --help
check "the lzw verb is not in the help" "$([ "$rc" = 0 ] && ! grep -q 'lzw' <<<"$out"; echo $?)" "$out"
run '-??'
check "the lzw verb is in the extended help" "$(yes_if grep -q 'lzw' <<<"$out")" "$out$err"

finish
