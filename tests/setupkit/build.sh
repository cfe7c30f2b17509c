#!/bin/bash
# setupkit build: a product of three packages onto three small disks, read
# back with list, verify and extract and compared file by file; two builds
# byte-identical; no disk over its size; an external package's disks; every
# refusal with its one message, exit status 1 and nothing written; a build
# that fails half-way leaves nothing behind.
#
#   build.sh SCRATCH_DIR PROGRAM [EMULATOR [ARGS...]]
set -u
SCRATCH=$1
PROGRAM=$(realpath "$2")
shift 2
EMULATOR=("$@")
. "$(dirname "$0")/../lib.sh"

DISK=24000

# Runs the program in the work directory; rc, out, err without carriage
# returns, the work directory's path in messages written as $W.
run() {
    (cd "$WORK" && "${EMULATOR[@]}" "$PROGRAM" "$@" >"$SCRATCH/stdout" 2>"$SCRATCH/stderr")
    rc=$?
    out=$(tr -d '\r' <"$SCRATCH/stdout")
    err=$(tr -d '\r' <"$SCRATCH/stderr")
    local dir=${WORK//\//\\}
    err=${err//"Z:$dir"/'$W'}
    err=${err//"$dir"/'$W'}
}
# Bytes of all files of a disk directory.
disk_bytes() { find "$1" -maxdepth 1 -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }'; }
# "NAME=VALUE" lines of the generated file's section of package $2.
section() { sed -n "/^#if \$(PACKAGE) == $2\r\$/,/^#endif/p" "$1" | tr -d '\r'; }

rm -rf "$SCRATCH"
WORK=$SCRATCH/work
mkdir -p "$WORK/big/sub" "$WORK/small" "$WORK/tail" "$WORK/progs" "$WORK/viewer"

# ---- the product -----------------------------------------------------------------
# Numbers of a pseudo-random sequence compress to about half: BIG spans
# disks 1 and 2, SMALL follows it on disk 2, TAIL goes on to disk 3.
lcg() { awk -v seed="$1" -v n="$2" 'BEGIN { x = seed; for (i = 0; i < n; i++) { x = (x * 16807) % 2147483647; print x } }'; }
lcg 1 5000 >"$WORK/big/numbers.txt"
lcg 7 1200 >"$WORK/big/sub/more.txt"
printf 'small\n' >"$WORK/small/a.txt"
: >"$WORK/small/empty.txt"
lcg 3 5000 >"$WORK/tail/t.dat"
printf 'viewer\n' >"$WORK/viewer/view.exe"
for f in setup.exe setup.res quietinst.exe quietinst.res; do printf '%s\n' "$f" >"$WORK/progs/$f"; done
printf 'Read me.\n' >"$WORK/readme.txt"
find "$WORK" -type f -exec touch -d "2001-02-03 04:05:06" {} +

package() {  # NAME ARCHIVE: a package block taking its entries from setup.pkg
    printf '{ PACKAGE %s\n  PACKAGENAME = %s\n  ARCHIVENAME = %s\n#define PACKAGE %s\n#include "setup.pkg"\n}\n' \
        "$1" "$1" "$2" "$1"
}
{
    printf 'VERSION = 1.0\nDISKLABEL = TEST\nTXT = readme.txt\nSETUPFILE = readme.txt\nSETUPFILE = setup.pkg\n'
    printf 'SETUPFILE = missing.txt\n'
    package BIG big; package SMALL small; package TAIL tail
    printf '{ PACKAGE EXT\n  PACKAGENAME = EXT\n  EXTERNAL = ext\n  EXTERNALSIZE = 1\n}\n'
    printf '{ SET\n  APPNAME = Test\n  MAXIMAL = BIG\n}\n'
} >"$WORK/setup.inf"
printf '{ PACKAGE VIEW\n  PACKAGENAME = VIEW\n  ARCHIVENAME = view\n#define PACKAGE VIEW\n#include "ext.pkg"\n}\n' \
    >"$WORK/ext.inf"

PACKAGES=(--package BIG=big --package SMALL=small --package TAIL=tail)
run build --inf setup.inf "${PACKAGES[@]}" --disk-size $DISK --out dist --programs progs
check "build succeeds" "$rc" "exit $rc: $err"
check "a setup file missing beside the description is named once" \
    "$(yes_if [ "$err" = 'Warning: The setup file "missing.txt" named by "SETUPFILE" does not exist and is not put on disk 1' ])" "$err"
disks=$(cd "$WORK/dist" && ls | tr '\n' ' ')
check "three disks" "$(yes_if [ "$disks" = "disk1 disk2 disk3 " ])" "$disks"
files1=$(cd "$WORK/dist/disk1" && ls | tr '\n' ' ')
check "disk 1: description, generated file, setup and program files, marker, volumes" \
    "$(yes_if [ "$files1" = "big.001 disk1.dsk quietinst.exe quietinst.res readme.txt setup.exe setup.inf setup.pkg setup.res " ])" \
    "$files1"
files2=$(cd "$WORK/dist/disk2" && ls | tr '\n' ' ')
check "disk 2: BIG goes on, SMALL follows, TAIL begins" \
    "$(yes_if [ "$files2" = "big.002 disk2.dsk small.002 tail.002 " ])" "$files2"
files3=$(cd "$WORK/dist/disk3" && ls | tr '\n' ' ')
check "disk 3: the rest of TAIL" "$(yes_if [ "$files3" = "disk3.dsk tail.003 " ])" "$files3"
for d in 1 2 3; do
    n=$(disk_bytes "$WORK/dist/disk$d")
    check "disk $d holds at most the disk size" "$(yes_if [ "$n" -le $DISK ])" "$n bytes"
done
n=$(disk_bytes "$WORK/dist/disk1")
check "disk 1 is filled up to the size (less than a smallest volume left)" "$(yes_if [ $((DISK - n)) -lt 2048 ])" "$n bytes"
check "the summary names the disks of each package" \
    "$(yes_if grep -q '^BIG  *2  *[0-9]*  *[0-9]*  *1,2$' <<<"$out")" "$out"
check "the summary's last line counts disks, packages and files" \
    "$(yes_if grep -q '^3 disks, 3 packages, 5 files, ' <<<"$(tail -n1 <<<"$out")")" "$out"

# The generated entries: disks ascending, sizes in KiB rounded up.
pkg=$WORK/dist/disk1/setup.pkg
want=$(printf '%s\n' '#if $(PACKAGE) == SMALL' 'COMPSIZE = 1' 'DISK = 2' '{ FILE' '  FILENAME = a.txt' \
    '  UNCOMPSIZE = 1' '  COMPSIZE = 1' '}' '{ FILE' '  FILENAME = empty.txt' '  UNCOMPSIZE = 0' '  COMPSIZE = 1' '}' '#endif')
check "SMALL's section" "$(yes_if [ "$(section "$pkg" SMALL)" = "$want" ])" "$(section "$pkg" SMALL)"
kib() { echo $((($(stat -c %s "$1") + 1023) / 1024)); }
check "BIG on disks 1 and 2, its files' sizes in KiB rounded up" \
    "$(yes_if [ "$(section "$pkg" BIG | grep -E '^DISK|UNCOMPSIZE' | tr '\n' ' ')" = \
        "DISK = 1 DISK = 2   UNCOMPSIZE = $(kib "$WORK/big/numbers.txt")   UNCOMPSIZE = $(kib "$WORK/big/sub/more.txt") " ])" \
    "$(section "$pkg" BIG)"
run check --platform 3 dist/disk1/setup.inf
check "the description on disk 1 reads back with its disks" \
    "$([ "$rc" = 0 ] && grep -q 'disks 2, 3' <<<"$out" && grep -q 'file sub\\more.txt' <<<"$out"; echo $?)" "exit $rc: $err"

# Read back: each package's volumes in disk order, as the installer does.
for p in big:1,2 small:2 tail:2,3; do
    name=${p%%:*}
    vols=""
    for d in $(tr ',' ' ' <<<"${p#*:}"); do vols="$vols dist\\disk$d\\$name.00$d"; done
    run verify $vols
    check "$name: verify" "$rc" "exit $rc: $err"
    run extract --to "back\\$name" $vols
    check "$name: extracted tree is the package's tree" \
        "$([ "$rc" = 0 ] && diff -r "$WORK/$name" "$WORK/back/$name" >/dev/null; echo $?)" "exit $rc: $err"
done
run list 'dist\disk1\big.001'
check "members carry the files' times" "$(yes_if grep -q $'^numbers.txt\t.*\t2001-02-03 04:05:06$' <<<"$out")" "$out"

# ---- reproducible ----------------------------------------------------------------
run build --inf setup.inf "${PACKAGES[@]}" --disk-size $DISK --out again --programs progs
check "a second build gives the same bytes" "$([ "$rc" = 0 ] && diff -r "$WORK/dist" "$WORK/again" >/dev/null; echo $?)" \
    "exit $rc: $err"
export SOURCE_DATE_EPOCH=946684800
run build --inf setup.inf "${PACKAGES[@]}" --disk-size $DISK --out epoch1
find "$WORK/big" "$WORK/small" "$WORK/tail" -type f -exec touch -d "2011-01-01 00:00:00" {} +
(cd "$WORK" && "${EMULATOR[@]}" "$PROGRAM" build --inf setup.inf "${PACKAGES[@]}" --disk-size $DISK --out epoch2 \
    >/dev/null 2>&1)
check "with SOURCE_DATE_EPOCH, files touched later give the same bytes" \
    "$([ "$rc" = 0 ] && diff -r "$WORK/epoch1" "$WORK/epoch2" >/dev/null; echo $?)" "exit $rc: $err"
run list 'epoch2\disk1\big.001'
check "... and the members carry that time" "$(yes_if grep -q $'^numbers.txt\t.*\t2000-01-01 00:00:00$' <<<"$out")" "$out"
unset SOURCE_DATE_EPOCH

# ---- an external package ---------------------------------------------------------------
run build --external --inf ext.inf --package VIEW=viewer --disk-size $DISK --out dist
check "the external package builds beside disk 1" "$rc" "exit $rc: $err"
ext=$(cd "$WORK/dist/ext1" 2>/dev/null && ls | tr '\n' ' ')
check "... into ext1 with its description, generated file, marker ext1.dsk and volume" \
    "$(yes_if [ "$ext" = "ext.inf ext.pkg ext1.dsk view.001 " ])" "$ext"
run extract --to 'back\view' 'dist\ext1\view.001'
check "... which extracts to the viewer's tree" "$([ "$rc" = 0 ] && diff -r "$WORK/viewer" "$WORK/back/view" >/dev/null; echo $?)" \
    "exit $rc: $err"

# ---- refusals: one message, exit status 1, nothing written -------------------------------
sed -i '/missing.txt/d' "$WORK/setup.inf"
printf '{ PACKAGE BIG\n  PACKAGENAME = BIG\n  ARCHIVENAME = big\n  DISK = 1\n}\n' >"$WORK/noinc.inf"
printf '{ PACKAGE A\n  PACKAGENAME = A\n  ARCHIVENAME = a\n}\n{ PACKAGE B\n  PACKAGENAME = B\n  ARCHIVENAME = b\n}\n' \
    >"$WORK/two.inf"
mkdir -p "$WORK/huge" "$WORK/taken/Disk3" "$WORK/taken/diskette"
truncate -s 4294967296 "$WORK/huge/h.bin"
REFUSALS=(
    "--package NOPE=big|The package \"NOPE\" is not described in \"\$W\\setup.inf\""
    "--package BIG=nosuch|The directory \"nosuch\" of the package \"BIG\" does not exist"
    "--package BIG=huge --package SMALL=small --package TAIL=tail|\"\$W\\huge\\h.bin\" is too large for an archive: 4294967296 bytes, at most 4294967295"
    "--disk-size 2000 --package BIG=big|The disk size 2000 is too small: a disk must hold at least 2064 bytes"
    "--package BIG=big --package SMALL=small|The package \"TAIL\" of \"\$W\\setup.inf\" has no directory: give it as --package TAIL=DIR"
    "--package BIG=big --package BIG=small|The package \"BIG\" is given twice"
    "--package EXT=viewer|The package \"EXT\" is external: build it from its own description \"ext.inf\" with --external"
    "--package BIG|\"BIG\" does not name a package and its directory: write NAME=DIR"
    "--inf noinc.inf --package BIG=big|\"\$W\\noinc.inf\" does not take the entries of the package \"BIG\" from the generated file: see setupkit build -h"
    "--external --inf two.inf --package A=big|An external description must describe exactly one package; \"\$W\\two.inf\" describes 2"
    "--out taken --package BIG=big --package SMALL=small --package TAIL=tail|\"\$W\\taken\\Disk3\\\" already exists: remove it or build into another directory"
    "--disk-size 4000 --programs big --package BIG=big --package SMALL=small --package TAIL=tail|The file \"\$W\\big\\setup.exe\" does not exist"
)
for case in "${REFUSALS[@]}"; do
    read -ra words <<<"${case%%|*}"
    want=${case#*|}
    # The description and the disk size unless the case gives its own.
    args=(build)
    [[ " ${words[*]} " == *" --out "* ]] || args+=(--out refused)
    [[ " ${words[*]} " == *" --inf "* ]] || args+=(--inf setup.inf)
    [[ " ${words[*]} " == *" --disk-size "* ]] || args+=(--disk-size $DISK)
    run "${args[@]}" "${words[@]}"
    check "refused: ${case%%|*}" \
        "$([ "$rc" = 1 ] && [ "$err" = "$want" ] && [ ! -e "$WORK/refused" ]; echo $?)" \
        "exit $rc, stderr: $err"
done

# Disk 1 too small for the setup files: the programs and the description
# need more than a disk of 3000 bytes leaves.
head -c 2500 "$WORK/big/numbers.txt" >"$WORK/progs/setup.exe"
run build --inf setup.inf "${PACKAGES[@]}" --disk-size 3000 --out full --programs progs
check "refused: setup files larger than disk 1" \
    "$([ "$rc" = 1 ] && grep -q '^The setup files take [0-9]* bytes of disk 1, which holds 2986; with the disk size 3000 nothing else fits$' <<<"$err" && [ ! -e "$WORK/full" ]; echo $?)" \
    "exit $rc: $err"

# ---- a build that fails half-way removes what it wrote -----------------------------------
mkdir -p "$WORK/half"
printf 'not a directory\n' >"$WORK/half/disk2"
run build --inf setup.inf "${PACKAGES[@]}" --disk-size $DISK --out half
left=$(cd "$WORK/half" && ls | tr '\n' ' ')
check "a failed build ends with exit status 1 and one message" \
    "$([ "$rc" = 1 ] && [ "$(grep -c . <<<"$err")" = 1 ]; echo $?)" "exit $rc: $err"
check "... and leaves only what was there" "$(yes_if [ "$left" = "disk2 " ])" "$left"

finish
