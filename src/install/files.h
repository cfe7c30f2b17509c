// File installation: the rules that decide about shared files, and the few
// operations on them that only Windows has (files_win32.cpp; the POSIX build
// refuses them in files_posix.cpp).
#pragma once

#include <cstdint>

#include "zrk/cstring.h"
#include "zrk/ctimeex.h"

// What is known about a shared file before the version rule decides.
struct SharedFileFacts {
    CString language;   // name of the first language of its version resource, or empty
    CString version;    // its "FileVersion" text, or empty
    int64_t size = 0;
    CTimeEx time;       // last write
};

enum SharedFileDecision : int { SHARED_REPLACE = 0, SHARED_KEEP = 1, SHARED_ASK = 2 };

// The version rule of a shared file SOURCE about to go over the installed
// DEST: by version when both have one (numerically, zrk/version.h; equal
// versions of the same language and size are kept, other equal ones asked
// about), otherwise by time (a source newer by a day or more replaces, any
// other is asked about).
SharedFileDecision DecideSharedFile(const SharedFileFacts& source, const SharedFileFacts& dest);

// The facts of PATH: size and time from the file system, language and
// version from the version resource (the system's version functions on
// Windows; elsewhere the version text alone, from the image). 0, or the
// file layer's reported failure.
int ReadSharedFileFacts(const char* path, SharedFileFacts* facts);

// True when this system keeps use counts of shared files and can replace a
// file at the next restart (Windows).
bool SharedFilesSupported();

// Adds our use of the shared file PATH to its count in the registry. A
// file that was there before without a count (EXISTED) counts as used once
// already, so that removing our product does not take it from its other
// users. -496 after the registry's report; elsewhere -53 with message 1261.
int AddSharedFileUse(const char* path, bool existed);

// Replaces TARGET by STAGED at the next restart (-496 after a report;
// elsewhere -53 with message 1263).
int ReplaceSharedFileAtReboot(const char* staged, const char* target);
