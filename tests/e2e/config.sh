#!/bin/bash
# Whole runs of quietinst.exe under Wine whose product changes the system in
# its configuration steps: an environment variable (the registry on Windows
# NT, "c:\autoexec.bat" on Windows 95), registry values of every type and a
# profile entry, each read back with Wine's own "reg" or from the files.
#
#   config.sh WINE_RUN BIN_DIR SCRATCH_DIR
set -u
WINE_RUN=$1
BIN=$2
SCRATCH=$3

. "$(dirname "$0")/../lib.sh"

PREFIX=${ZRK_WINEPREFIX:?the Wine prefix of the build}
DRIVE=$PREFIX/drive_c
# The destination has a short name of its own, so that values expanded with
# short names read the same.
DEST=$DRIVE/CFGT
KEY='HKCU\Software\ZrkConfigE2E'
SYSENV='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
APPDEFAULTS='HKCU\Software\Wine\AppDefaults\quietinst.exe'

reg() { "$WINE_RUN" reg "$@" 2>/dev/null | tr -d '\r'; }
# The type and data of a value as "reg query" prints them.
value() { reg query "$1" /v "$2" | awk -v n="$2" '$1 == n { $1 = ""; sub(/^ +/, ""); print }'; }
clean() {
    reg delete "$KEY" /f >/dev/null
    reg delete 'HKCU\Environment' /v ZRKE2E_HOME /f >/dev/null
    reg delete "$SYSENV" /v ZRKE2E_HOME /f >/dev/null
    reg delete "$APPDEFAULTS" /f >/dev/null
    rm -rf "$DEST" "$DRIVE"/autoexec.*
}

rm -rf "$SCRATCH"
mkdir -p "$SCRATCH"
clean
cp "$BIN/quietinst.exe" "$BIN/quietinst.res" "$SCRATCH/"
printf '%s\r\n' 'VERSION = 1.0' '{ SET' ' APPNAME = Config Tool' ' APPSHORTNAME = CFGT' \
    ' SETUSERENV = ZRKE2E_HOME, $User$, $User$' \
    ' { REG HKEY_CURRENT_USER\Software\ZrkConfigE2E' '  Home = $User$' '  Count = 1, U, A' '  Data = 0A0B, B' \
    '  List = a|b, M' '  Kept = 5, U, T' ' }' \
    ' { INI $User$\tool.ini' '  SECTION = Paths' '  Home = $User$' ' }' '}' > "$SCRATCH/setup.inf"
printf '[Install]\r\nPath=C:\\CFGT\r\nGroup=(No Group)\r\n' > "$SCRATCH/setup.ans"
run() { out=$(cd "$SCRATCH" && "$WINE_RUN" ./quietinst.exe "-a:'setup.ans'" 2>&1); rc=$?; out=$(tr -d '\r' <<<"$out"); }

# ---- Windows NT: the user's environment in the registry
reg add "$KEY" /v Kept /t REG_SZ /d before /f >/dev/null
run
check "NT: exit 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
check "NT: the variable in the user's environment" \
    "$(yes_if [ "$(value 'HKCU\Environment' ZRKE2E_HOME)" = 'REG_EXPAND_SZ C:\CFGT' ])" \
    "$(value 'HKCU\Environment' ZRKE2E_HOME)"
for expected in 'Home REG_SZ C:\CFGT' 'Count REG_DWORD 0x1' 'Data REG_BINARY 0A0B' 'List REG_MULTI_SZ a\0b' \
    'Kept REG_SZ before'; do
    name=${expected%% *}
    check "NT: registry value $name" "$(yes_if [ "$name $(value "$KEY" "$name")" = "$expected" ])" \
        "$(reg query "$KEY")"
done
check "NT: the profile entry" "$(yes_if grep -qx 'Home=C:\\CFGT' <(tr -d '\r' < "$DEST/tool.ini"))" \
    "$(cat "$DEST/tool.ini" 2>&1)"
check "NT: no autoexec.bat" "$(yes_if [ ! -e "$DRIVE/autoexec.bat" ])" "$(ls "$DRIVE")"
run
check "NT: a second run adds to the count" "$(yes_if [ "$(value "$KEY" Count)" = 'REG_DWORD 0x2' ])" \
    "exit $rc, $(reg query "$KEY")"
clean

# ---- Windows 95: a SET line before WIN.COM in c:\autoexec.bat, the old file kept
reg add "$APPDEFAULTS" /v Version /t REG_SZ /d win95 /f >/dev/null
printf '@ECHO OFF\r\nC:\\WINDOWS\\WIN.COM /b\r\nremote.exe\r\n' > "$DRIVE/autoexec.bat"
cp "$DRIVE/autoexec.bat" "$SCRATCH/autoexec.old"
run
check "95: exit 0" "$(yes_if [ "$rc" = 0 ])" "exit $rc, output: $out"
check "95: the SET line before WIN.COM" \
    "$(yes_if cmp -s "$DRIVE/autoexec.bat" <(printf '@ECHO OFF\r\nSET ZRKE2E_HOME=C:\\CFGT\r\nC:\\WINDOWS\\WIN.COM /b\r\nremote.exe\r\n'))" \
    "$(cat -A "$DRIVE/autoexec.bat" 2>&1)"
check "95: the old file kept as autoexec.000, the only backup" \
    "$(yes_if cmp -s "$DRIVE/autoexec.000" "$SCRATCH/autoexec.old" && [ ! -e "$DRIVE/autoexec.001" ])" \
    "$(ls "$DRIVE")"
check "95: the user entry written as a system entry" \
    "$(yes_if [ "$(value "$SYSENV" ZRKE2E_HOME)" = 'REG_EXPAND_SZ C:\CFGT' ] &&
       [ -z "$(value 'HKCU\Environment' ZRKE2E_HOME)" ])" "$(value "$SYSENV" ZRKE2E_HOME)"
clean

rm -rf "$SCRATCH"
finish
