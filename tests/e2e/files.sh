#!/bin/bash
# A product on three small disks installed by quietinst.exe under Wine: two
# packages packed by setupkit, a member split over the disks, the second
# package starting on the first one's last disk; every file arrives byte for
# byte. Without its last disk the installation fails and leaves no member
# written in part.
#
#   files.sh WINE_RUN BIN_DIR SCRATCH_DIR
set -u
WINE_RUN=$1
BIN=$2
SCRATCH=$3

. "$(dirname "$0")/../lib.sh"

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH/tree/BASE/sub" "$SCRATCH/tree/LIB" "$SCRATCH/packed"
winpath() { "$WINE_RUN" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

head -c 6500 /dev/urandom > "$SCRATCH/tree/BASE/big.bin"
printf 'read me\r\n' > "$SCRATCH/tree/BASE/sub/readme.txt"
head -c 1500 /dev/urandom > "$SCRATCH/tree/LIB/lib.dat"

# Packs package NAME into 4 KiB volumes from disk FIRST on; prints its disks.
pack() {
    "$WINE_RUN" "$BIN/setupkit.exe" archive --out "$(winpath "$SCRATCH/packed")" --base "$1" --volume-size 4096 \
        "$(winpath "$SCRATCH/tree/$1")" > /dev/null 2>&1 || echo "setupkit archive $1 failed" >&2
    disk=$2
    for volume in "$SCRATCH/packed/$1"[0-9][0-9].ar; do
        mkdir -p "$SCRATCH/disk$disk"
        touch "$SCRATCH/disk$disk/disk$disk.dsk"
        mv "$volume" "$SCRATCH/disk$disk/$(printf '%s.%03d' "$1" "$disk")"
        printf ' DISK = %d\r\n' "$disk"
        disk=$((disk + 1))
    done
}
base_disks=$(pack BASE 1)
last=$(ls -d "$SCRATCH"/disk* | wc -l)
lib_disks=$(pack LIB "$last")
check "three disks" "$(yes_if [ "$(ls -d "$SCRATCH"/disk* | wc -l)" = 3 ])" "$(ls "$SCRATCH"/disk*)"

{
    printf 'VERSION = 1.0\r\n'
    printf '{ PACKAGE\r\n PACKAGENAME = BASE\r\n ARCHIVENAME = BASE\r\n%s\n{ FILE\r\n FILENAME = big.bin\r\n }\r\n}\r\n' "$base_disks"
    printf '{ PACKAGE\r\n PACKAGENAME = LIB\r\n ARCHIVENAME = LIB\r\n DESTDIR = lib\r\n%s\n{ FILE\r\n FILENAME = lib.dat\r\n }\r\n}\r\n' "$lib_disks"
    printf '{ SET\r\n APPNAME = Disk Tool\r\n APPSHORTNAME = DISKT\r\n MAXIMAL = BASE\r\n MAXIMAL = LIB\r\n}\r\n'
} > "$SCRATCH/disk1/setup.inf"
cp "$BIN/quietinst.exe" "$BIN/quietinst.res" "$SCRATCH/disk1/"

# Installs into DEST from disk 1; rc and out.
install() {
    printf '[Install]\r\nPath=%s\r\nGroup=(No Group)\r\n' "$(winpath "$SCRATCH")\\$1" > "$SCRATCH/disk1/setup.ans"
    out=$(cd "$SCRATCH/disk1" && "$WINE_RUN" ./quietinst.exe "-a:'setup.ans'" 2>&1)
    rc=$?
}

install dest
check "install: exit 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
for f in big.bin sub/readme.txt; do
    check "install: $f byte for byte" "$(yes_if cmp -s "$SCRATCH/tree/BASE/$f" "$SCRATCH/dest/$f")" "output: $out"
done
check "install: lib/lib.dat byte for byte" "$(yes_if cmp -s "$SCRATCH/tree/LIB/lib.dat" "$SCRATCH/dest/lib/lib.dat")" \
    "output: $out"

mv "$SCRATCH/disk3" "$SCRATCH/gone3"
install dest2
check "disk 3 missing: the run fails" "$(yes_if [ "$rc" != 0 ])" "exit $rc, output: $out"
check "disk 3 missing: message 232 names the disk" "$(yes_if grep -q 'Disk 3 is needed' <<<"$out")" "output: $out"
check "disk 3 missing: no member left in part" "$(yes_if [ -z "$(find "$SCRATCH/dest2" -name '*.bin' -o -name '*.dat')" ])" \
    "$(find "$SCRATCH/dest2" -type f)"
finish
