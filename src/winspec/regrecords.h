// The registry and profile records of a product: the set's "REG" records
// written at installation and undone at uninstallation, and its "INI"
// records (profile entries, which have no undo).
//
// An entry is "data, type, mode, test path # condition" (records.h of the
// description). Its checks run in this order: the test path (expanded) must
// exist, then the condition must hold; only then are the value name (or
// profile key) and the data expanded (the data with short names) and
// applied. Types: "S" string, "X" expandable string, "M" multi-string ("|"
// between the strings), "U" 32-bit number, "B" binary (hexadecimal digit
// pairs); other letters are skipped. Modes:
//
//   mode  install                              undo
//   O     write                                nothing (the value stays)
//   A     S/X/M: append to the string;         S/X/M: remove the last whole
//         U: add to the number;                item equal to the data ("C:\App"
//         B: append the bytes                  is never cut out of
//                                              "C:\Application"); U: subtract,
//                                              not below 0; B: nothing; a
//                                              missing value: nothing
//   T     write only when no value of that     delete, but only when the value
//         name exists, whatever its type       still holds exactly what the
//                                              entry writes
//
// A value of another type than the entry's is never taken for a missing one:
// an "A" entry leaves it as it is (warning 1301), an "O" entry replaces it
// with a warning (1303).
//
// Every system failure is reported by the registry key object or here; the
// operations stop at the first status, and records before it stay applied.
#pragma once

class CSetRecord;

// Registers (UNREGISTER false) or unregisters the set's self-registering
// libraries ("REGSVR32" entries); called after the values are written and
// before they are removed. Without one, a set must have no such entries.
using LibraryRegistrar = int (*)(const CSetRecord& set, bool unregister);

int InstallRegRecords(const CSetRecord& set, LibraryRegistrar registrar = nullptr);
int RemoveRegRecords(const CSetRecord& set, LibraryRegistrar registrar = nullptr);
// Writes the set's profile entries through the system's profile functions
// (the file is created when missing). Modes: "A" appends to the existing
// text (type "U": adds to its number), "T" writes only over an empty or
// missing value, others write the data.
int InstallIniRecords(const CSetRecord& set);
