// Self-registering libraries: "regsvr32" run on each library a set names.
#pragma once

class CSetRecord;

// Runs "regsvr32 /s" (with UNREGISTER "regsvr32 /s /u") on each library of
// the set's "REGSVR32" list, in order, and waits for it. A library is named
// by its short path, in quotes (a volume may have no short names). A name
// that expands empty or a file that does not exist is skipped. Stops at the
// first failure: -496 with message 31 (no short path), -52 with message 445
// (regsvr32 cannot start) or -52 with message 1341 (it ended with an exit
// code other than 0).
int RegisterLibraries(const CSetRecord& set, bool unregister);
