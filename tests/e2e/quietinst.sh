#!/bin/bash
# Whole runs of quietinst.exe under Wine, each in a fresh directory: an
# installation from an answer file with its status file, a failed one, the
# local answer file against one in the Windows directory, the relaunch from
# the temporary directory for an uninstallation, a missing answer file and a
# bad command line.
#
#   quietinst.sh WINE_RUN BIN_DIR SCRATCH_DIR
set -u
WINE_RUN=$1
BIN=$2
SCRATCH=$3

. "$(dirname "$0")/../lib.sh"

PREFIX=${ZRK_WINEPREFIX:?the Wine prefix of the build}
WINDIR=$PREFIX/drive_c/windows
STATUS=$WINDIR/PLAINT.MIF
rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"

winpath() { "$WINE_RUN" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# A fresh disk directory NAME with the program and a description whose
# product needs no archive; VERSION is the description's format version.
disk() {
    dir=$SCRATCH/$1
    mkdir -p "$dir"
    cp "$BIN/quietinst.exe" "$BIN/quietinst.res" "$dir/"
    printf 'VERSION = %s\r\n{ SET\r\n APPNAME = Plain Tool\r\n APPSHORTNAME = PLAINT\r\n}\r\n' "${2:-1.0}" \
        > "$dir/setup.inf"
    answers "$dir/setup.ans" "$(winpath "$dir")\\dest"
    rm -f "$STATUS"
}
# An answer file installing into DEST.
answers() { printf '[Install]\r\nPath=%s\r\nGroup=(No Group)\r\nUserName=Tester\r\n' "$2" > "$1"; }
# Runs quietinst in $dir with the arguments; rc and out (without CRs).
run() { out=$(cd "$dir" && "$WINE_RUN" ./quietinst.exe "$@" 2>&1); rc=$?; out=$(tr -d '\r' <<<"$out"); }
# The status file a run must leave (CR LF lines).
mif() {
    printf 'Start Component\r\nName = "Workstation"\r\nStart Group\r\nName = "InstallStatus"\r\nID = 1\r\nClass = "MICROSOFT|JOBSTATUS|1.0"\r\nStart Attribute\r\nName = "Status"\r\nID = 1\r\nType = String(%d)\r\nValue = "%s"\r\nEnd Attribute\r\nStart Attribute\r\nName = "Description"\r\nID = 2\r\nType = String(%d)\r\nValue = "%s"\r\nEnd Attribute\r\nEnd Group\r\nEnd Component\r\n' \
        "${#1}" "$1" "${#2}" "$2"
}
same_file() { cmp -s "$1" <(mif "$2" "$3"); }

# ---- an installation from the answer file, with its status file
disk install
run "-a:'setup.ans'" -sms
check "install: exit 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
check "install: status SUCCESS" "$(yes_if same_file "$STATUS" SUCCESS 'Installation of Plain Tool successful.')" \
    "status: $(cat "$STATUS" 2>&1)"
check "install: destination created" "$(yes_if [ -d "$dir/dest" ])" "output: $out"
steps=$(grep -o 'Configure: step [0-9] of 7 done' <<<"$out" | tr '\n' ' ')
check "install: the configuration steps shown in order" \
    "$(yes_if [ "$steps" = "$(for i in 1 2 3 4 5 6 7; do printf 'Configure: step %d of 7 done ' $i; done)" ])" \
    "output: $out"

# ---- a failed installation: the first error on one line, exit 1
disk failed 1.00
run "-a:'setup.ans'" -sms
check "failure: exit 1" "$(yes_if [ "$rc" = 1 ])" "exit $rc, output: $out"
check "failure: status FAILED with the first error" \
    "$(yes_if same_file "$STATUS" FAILED "The description has the format version '1.00'; this installer reads descriptions of version 1.0 only")" \
    "status: $(cat "$STATUS" 2>&1)"

# ---- -a:'setup.ans' without -i: the local answers, not the Windows directory's
disk local
answers "$WINDIR/setup.ans" "$(winpath "$dir")\\windest"
run "-a:'setup.ans'"
rm -f "$WINDIR/setup.ans"
check "local answers: exit 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
check "local answers apply" "$(yes_if [ -d "$dir/dest" ] && [ ! -e "$dir/windest" ])" "$(ls "$dir")"

# ---- the relaunch: the copy in the temporary directory runs, once
tempdir=$PREFIX/drive_c/users/$(id -un)/Temp
relaunch() {
    disk "$1"
    log=$(winpath "$dir")\\run.log
    # Settings of the original and of its copy: traces into one log.
    printf '[Debug]\r\nLogFileMask=31\r\nLogFileName=%s\r\n' "$log" | tee "$dir/quietinst.ini" > "$dir/ruietinst.ini"
    rm -f "$tempdir/ruietinst.exe" "$tempdir/suietinst.exe"
    run "$2" -sms
    # The original ends at once; the copy writes the status file at its end.
    for _ in $(seq 60); do [ -e "$STATUS" ] && break; sleep 0.5; done
    sleep 0.5
    log=$(tr -d '\r' < "$dir/run.log" 2>/dev/null | cut -f4)
}
relaunch relaunch-empty "-u:''"
copy=$(winpath "$tempdir")\\ruietinst.exe
check "-u:'': the original ends with 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
check "-u:'': the copy is ruietinst.exe in the temporary directory" \
    "$(yes_if [ -f "$tempdir/ruietinst.exe" ] && [ -f "$tempdir/ruietinst.res" ])" "$(ls "$tempdir")"
check "-u:'': the copy is started quoted, naming the description beside the original" \
    "$(yes_if grep -qxF "\"$copy\" -u:'' -sms -i:'$(winpath "$dir")\\setup.inf'" <<<"$log")" "log: $log"
check "-u:'': the copy runs with that command line and does not relaunch again" \
    "$(yes_if [ "$(grep -c '^"' <<<"$log")" = 1 ] && grep -qxF "$copy -u:'' -sms -i:'$(winpath "$dir")\setup.inf'" <<<"$log" &&
       [ ! -e "$tempdir/suietinst.exe" ])" "log: $log"
# (Whether it installs or removes depends on what an earlier run registered.)
check "-u:'': the copy writes the status file" "$(yes_if grep -q '^End Component' "$STATUS")" \
    "status: $(cat "$STATUS" 2>&1)"

relaunch relaunch-record "-u:'setup.log'"
check "-u:'record': the copy's command line is the original's" \
    "$(yes_if grep -qxF "\"$copy\" -u:'setup.log' -sms" <<<"$log")" "log: $log"
check "-u:'record': the copy runs the uninstallation, without a second relaunch" \
    "$(yes_if [ "$(grep -c '^"' <<<"$log")" = 1 ] && grep -qF "ruietinst.exe -u:'setup.log' -sms" <<<"$log")" \
    "log: $log"

# ---- a missing answer file; a bad command line
disk missing
run "-a:'none.ans'"
check "missing answer file: message and exit 1" \
    "$(yes_if [ "$rc" = 1 ] && grep -qF "The answer file \"$(winpath "$dir")\\none.ans\" does not exist" <<<"$out")" \
    "exit $rc, output: $out"
# The exit code as Windows sees it: the parser's 16384 for an unknown option.
code=$(cd "$dir" && "$WINE_RUN" cmd /c 'quietinst.exe -zz:1 >nul & echo %ERRORLEVEL%' 2>/dev/null | tr -d '\r')
check "bad command line: the parser's result" "$(yes_if [ "$code" = 16384 ])" "exit code $code"

rm -f "$STATUS"
rm -rf "$SCRATCH"
finish
