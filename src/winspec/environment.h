// Environment variables of a product: the set's "SETSYSENV" and "SETUSERENV"
// entries, set at installation and cleaned at uninstallation.
//
// An entry is "name, value, removal text, test path # condition". On
// Windows NT the variable lives in the registry (the machine's environment
// key for system entries, the user's for user entries) as an expandable
// string, and running programs are told of the change with a settings-change
// broadcast. On the Windows 95 family and on the 32-bit layer of 16-bit
// Windows every entry is a system entry: the machine key is written when it
// exists, and the variable goes as a "SET name=value" line into
// "c:\autoexec.bat", which then needs a restart to take effect.
//
// "c:\autoexec.bat" boots the machine, so it is never without a copy: the
// new content goes to a temporary file in "c:\" (flushed to disk), the old
// file is renamed away (the first rewrite of a run keeps it as the backup
// "c:\autoexec.000", ".001", ...; later rewrites of the run under a
// temporary name that is deleted afterwards), and only then the new file is
// renamed into place; a failure puts the old file back. A missing file is an
// empty one.
//
// Every failure is reported where it arises; the operations return 0 or the
// first status.
#pragma once

#include <string>

#include "zrk/cstring.h"

class CSetRecord;

// The file the Windows 95 family reads its environment from at start-up.
constexpr char kAutoexecPath[] = "c:\\autoexec.bat";

// What the rewrites of "c:\autoexec.bat" in one run did: the backup made by
// the first one (empty until then), and whether the file was changed at all.
// One exists per run, so that a run leaves exactly one backup.
struct CAutoexecRun {
    CString backupName;
    bool changed = false;
};

// Processes the set's system entries, then its user entries, in their
// order, stopping at the first status: INSTALL sets them, otherwise entries
// with a removal text are cleaned. When "c:\autoexec.bat" changed in this
// run and the set has no "REBOOT" text yet, the text of message 148 becomes
// its "REBOOT" text.
int ApplyEnvironment(CSetRecord& set, bool install, CAutoexecRun& run);

// Sets variable NAME to VALUE (references between "%" signs are expanded
// first, see ExpandPercentVariables). SYSTEM picks the machine's key over
// the user's (always the machine's on kinds 1 and 2).
int SetEnvironment(const char* name, const char* value, CAutoexecRun& run, bool system);
// Removes REMOVAL from variable NAME (deleting the variable when nothing is
// left), and on kinds 1 and 2 the autoexec line that SetEnvironment wrote
// for NAME and VALUE.
int RemoveEnvironment(const char* name, const char* value, const char* removal, CAutoexecRun& run,
                      bool system);

// Replaces each "%name%" in TEXT by the variable's value (NT: the registry
// of the scope; elsewhere the process environment), then cleans the result
// as a ";"-separated list: empty items and repeats of an earlier item go.
// A "%" without its closing "%": message 38, -54, TEXT unchanged.
int ExpandPercentVariables(CString& text, bool system);

// The separated-list removal both the environment and the registry records
// use: removes from TEXT occurrences of ITEM that stand as whole items of
// the list separated by SEP (the text around an occurrence is a separator or
// an end, or ITEM itself begins or ends with the separator), so that
// "C:\App" is never cut out of "C:\Application". An item removed from the
// middle of the list takes one separator with it. LASTONLY removes only the
// last such occurrence. The number of occurrences removed.
int RemoveListItem(std::string& text, const std::string& item, char sep, bool lastOnly);

// The autoexec line operations. LINE is a whole line ("SET PATH=...").
// Removes every line equal to LINE without regard to case and surrounding
// blanks; all lines lose their surrounding blanks. Nothing happens to a
// missing file, or when nothing would change.
int RemoveAutoexecLine(const char* line, CAutoexecRun& run);
// Inserts LINE before the last command line when that starts the program
// "win", otherwise after it (at the end when there is none). Empty lines
// and lines beginning with "rem" (any case) are not commands. A missing
// file is created with LINE alone.
int InsertAutoexecLine(const char* line, CAutoexecRun& run);
// Keeps "c:\autoexec.bat" as the run's backup, unless the run has one: it
// is renamed to the first of "c:\autoexec.000" to ".999" that does not
// exist. Nothing when the file does not exist.
int BackupAutoexec(CAutoexecRun& run);
