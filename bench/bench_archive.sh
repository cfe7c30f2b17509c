#!/bin/bash
# Whole-process benchmark of the LZW codec and of archive extraction.
#
# Usage:
#   cmake --preset native && cmake --build --preset native
#   bash bench/bench_archive.sh [SETUPKIT]
#
# SETUPKIT is the setupkit program to measure (default: the native preset's,
# build/native/bin/setupkit beside this directory). Environment: BENCH_WORK, a scratch
# directory (default: a fresh one, removed at the end, under /dev/shm when
# it has 1.5 GiB free, else under /tmp: on a disk, the writeback of the
# 64 MiB outputs throttles the writers at random and blurs the figures),
# BENCH_RUNS, the runs of each command (default 3).
#
# Input: the first 64 MiB of the Windows PE files (*.dll, *.exe) that the
# wine package installs, in byte order of their paths, concatenated: real
# installer payload. In one run on that data, each codec is measured as a
# whole process reading and writing files on the page cache (process start
# included), best wall time of BENCH_RUNS runs:
#   setupkit lzw compress / setupkit lzw expand
#   compress -b15 -c / compress -d -c   (Debian ncompress; Debian's
#                                        uncompress is gzip's wrapper)
#   gzip -6 -c / gzip -d -c
# Throughput is in MB/s (10^6 bytes) of uncompressed data in both
# directions, from the best wall time and, apart, from the best CPU time
# (user + system: less disturbed by other work on the machine); every
# expansion is checked against the input. The ratios ours/peer are printed
# beside the targets, which apply to wall time: expansion at least 2x
# ncompress, compression at least 1.5x.
#
# Extraction memory: a 256 MiB member (the PE data four times) and a
# 16 MiB member are packed with `setupkit archive` into 64 MiB volumes, and
# the peak resident set of `setupkit extract` is taken from GNU time
# (/usr/bin/time -v, package time). Target: under 16 MiB, and the same for
# both members.
set -euo pipefail
export LC_ALL=C

setupkit=${1:-$(dirname "$0")/../build/native/bin/setupkit}
runs=${BENCH_RUNS:-3}
wine_dir=/usr/lib/x86_64-linux-gnu/wine
input_size=$((64 << 20))

for tool in "$setupkit" compress gzip /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "bench: $tool is missing (bash scripts/deps.sh)" >&2; exit 1; }
done
[[ -d $wine_dir ]] || { echo "bench: $wine_dir is missing (package wine64)" >&2; exit 1; }

if [[ -n ${BENCH_WORK:-} ]]; then
    work=$BENCH_WORK
    mkdir -p "$work"
else
    scratch=/tmp
    if [[ -d /dev/shm && -w /dev/shm ]] && (($(df -k --output=avail /dev/shm | tail -1) > 1536 * 1024)); then
        scratch=/dev/shm
    fi
    work=$(mktemp -d "$scratch/bench-archive.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

# ---- input -------------------------------------------------------------------
data=$work/pe64.bin
if [[ ! -f $data || $(stat -c %s "$data") -ne $input_size ]]; then
    # head ends the pipe early: cat's broken pipe is expected.
    (
        set +o pipefail
        find "$wine_dir" -type f \( -name '*.dll' -o -name '*.exe' \) -print0 |
            LC_ALL=C sort -z | xargs -0 cat 2>/dev/null | head -c "$input_size" >"$data"
    )
fi
[[ $(stat -c %s "$data") -eq $input_size ]] || { echo "bench: less than 64 MiB of PE files" >&2; exit 1; }

# ---- timing --------------------------------------------------------------------
now_us() { echo "${EPOCHREALTIME/[.,]/}"; }
# Wall time and CPU time (user + system) in microseconds of COMMAND reading
# IN and writing OUT: IN OUT COMMAND... Called in a subshell of its own, so
# the CPU time that `times` reports for its children is the command's.
run_us() {
    local in=$1 out=$2
    shift 2
    local start end
    start=$(now_us)
    "$@" <"$in" >"$out"
    end=$(now_us)
    local file="$work/times.$BASHPID" cpu
    times >"$file"
    cpu=$(awk 'NR == 2 {
        n = split($0, f, /[ ms]+/); us = 0
        for (i = 1; i + 1 <= n; i += 2) if (f[i] != "") us += (f[i] * 60 + f[i + 1]) * 1e6
        printf "%d", us }' "$file")
    rm -f "$file"
    echo "$((end - start)) $cpu"
}
mbps() { awk -v b="$input_size" -v us="$1" 'BEGIN { printf "%.1f", b / (us > 0 ? us : 1) }'; }
# Speed ratio of the run taking A us against the one taking B us.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b / (a > 0 ? a : 1) }'; }

# setupkit takes file names; the peers read stdin and write stdout, from
# and to files alike.
ours_compress_files() { "$setupkit" lzw compress "$data" "$work/ours.lzw"; }
ours_expand_files() { "$setupkit" lzw expand "$work/ours.lzw" "$work/ours.out"; }

echo "setupkit: $setupkit"
echo "input: $data ($input_size bytes, first 64 MiB of the PE files of $wine_dir)"
echo "work directory: $work"
echo "whole processes, best of $runs runs each, MB/s (10^6 bytes) of uncompressed data"
echo

# Warm the page cache and check every round trip once.
cat "$data" >/dev/null
ours_compress_files
ours_expand_files
cmp -s "$data" "$work/ours.out" || { echo "bench: setupkit lzw round trip differs" >&2; exit 1; }
compress -b15 -c <"$data" >"$work/peer.Z"
compress -d -c <"$work/peer.Z" >"$work/peer.out"
cmp -s "$data" "$work/peer.out" || { echo "bench: compress round trip differs" >&2; exit 1; }
gzip -6 -c <"$data" >"$work/peer.gz"
gzip -d -c <"$work/peer.gz" >"$work/peer.out"
cmp -s "$data" "$work/peer.out" || { echo "bench: gzip round trip differs" >&2; exit 1; }

# Interleave the programs run by run, so that a slow phase of the machine
# hits all of them alike. The best wall time and, apart, the best CPU time.
declare -A best=() cpu=()
measure() {  # NAME IN OUT COMMAND...
    local name=$1 t c
    shift
    read -r t c < <(run_us "$@")
    [[ -z ${best[$name]:-} || $t -lt ${best[$name]} ]] && best[$name]=$t
    [[ -z ${cpu[$name]:-} || $c -lt ${cpu[$name]} ]] && cpu[$name]=$c
    return 0
}
for ((r = 0; r < runs; ++r)); do
    measure ours_c /dev/null /dev/null ours_compress_files
    measure ncompress_c "$data" "$work/peer.Z" compress -b15 -c
    measure gzip_c "$data" "$work/peer.gz" gzip -6 -c
    measure ours_x /dev/null /dev/null ours_expand_files
    measure ncompress_x "$work/peer.Z" "$work/peer.out" compress -d -c
    measure gzip_x "$work/peer.gz" "$work/peer.out" gzip -d -c
done
cmp -s "$data" "$work/ours.out" || { echo "bench: setupkit lzw round trip differs" >&2; exit 1; }

size_ours=$(stat -c %s "$work/ours.lzw")
size_z=$(stat -c %s "$work/peer.Z")
size_gz=$(stat -c %s "$work/peer.gz")
pct() { awk -v a="$1" -v b="$input_size" 'BEGIN { printf "%.1f%%", 100 * a / b }'; }
row() {  # LABEL COMPRESS EXPAND SIZE
    printf '%-22s %8s %8s   %8s %8s   %9s (%s)\n' "$1" "$(mbps "${best[$2]}")" "$(mbps "${best[$3]}")" \
        "$(mbps "${cpu[$2]}")" "$(mbps "${cpu[$3]}")" "$4" "$(pct "$4")"
}

printf '%-22s %17s   %17s   %s\n' "" "wall time MB/s" "CPU time MB/s" "compressed size"
printf '%-22s %8s %8s   %8s %8s\n' "" compress expand compress expand
row "setupkit lzw" ours_c ours_x "$size_ours"
row "compress -b15 / -d" ncompress_c ncompress_x "$size_z"
row "gzip -6 / -d" gzip_c gzip_x "$size_gz"
echo
verdict() { awk -v r="$1" -v t="$2" 'BEGIN { print (r >= t ? "met" : "MISSED") }'; }
rc=$(ratio "${best[ours_c]}" "${best[ncompress_c]}")
rx=$(ratio "${best[ours_x]}" "${best[ncompress_x]}")
echo "compression, ours/ncompress wall time: ${rc}x (target 1.5x: $(verdict "$rc" 1.5))"
echo "expansion, ours/ncompress wall time:   ${rx}x (target 2x: $(verdict "$rx" 2))"
echo "ours/ncompress, CPU time:  compression $(ratio "${cpu[ours_c]}" "${cpu[ncompress_c]}")x, expansion $(ratio "${cpu[ours_x]}" "${cpu[ncompress_x]}")x"
echo "ours/gzip, wall time:      compression $(ratio "${best[ours_c]}" "${best[gzip_c]}")x, expansion $(ratio "${best[ours_x]}" "${best[gzip_x]}")x"
echo "compressed size ours/ncompress $(awk -v a="$size_ours" -v b="$size_z" 'BEGIN { printf "%.3f", a / b }'), ours/gzip $(awk -v a="$size_ours" -v b="$size_gz" 'BEGIN { printf "%.3f", a / b }')"
rm -f "$work/peer.out" "$work/peer.Z" "$work/peer.gz" "$work/ours.out"

# ---- extraction memory -------------------------------------------------------------
echo
echo "extraction memory (64 MiB volumes, peak RSS from /usr/bin/time -v):"
peak_kib() {  # prints the peak RSS in KiB of COMMAND...
    /usr/bin/time -v "$@" 2>&1 >/dev/null | awk -F': *' '/Maximum resident set size/ { print $2 }'
}
rss_max=0
rss_list=()
for mib in 16 256; do
    src=$work/src$mib
    vol=$work/vol$mib
    dest=$work/dest$mib
    rm -rf "$src" "$vol" "$dest"
    mkdir -p "$src" "$vol" "$dest"
    if ((mib == 16)); then
        head -c $((16 << 20)) "$data" >"$src/member.bin"
    else
        for i in 1 2 3 4; do cat "$data"; done >"$src/member.bin"
    fi
    "$setupkit" archive --out "$vol" --base PACK --volume-size 64M "$src" >/dev/null
    volumes=("$vol"/PACK*.ar)
    start=$(now_us)
    kib=$(peak_kib "$setupkit" extract --to "$dest" "${volumes[@]}")
    end=$(now_us)
    cmp -s "$src/member.bin" "$dest/member.bin" || { echo "bench: extracted member differs" >&2; exit 1; }
    printf '  %3d MiB member, %d volume(s): peak RSS %6d KiB (%.1f MiB), %.2f s\n' "$mib" "${#volumes[@]}" "$kib" \
        "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$(awk -v us=$((end - start)) 'BEGIN { print us / 1e6 }')"
    rss_list+=("$kib")
    ((kib > rss_max)) && rss_max=$kib
    rm -rf "$src" "$vol" "$dest"
done
growth=$((rss_list[1] - rss_list[0]))
echo "  peak RSS, 256 MiB member minus 16 MiB member: $growth KiB" \
    "(independent of the member's size: $( ((growth < 1024)) && echo yes || echo NO))"
echo "  target, peak RSS under 16384 KiB: $( ((rss_max < 16384)) && echo met || echo MISSED)"
