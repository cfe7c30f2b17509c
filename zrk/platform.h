// The facts about the running system that the framework decides by: the
// platform kind, the shell generation and the home directory.
//
// The application object fills them once at start-up; where no application
// runs (the tools, the unit tests) they are computed from the system at
// their first use. Tests set them to stand on another platform. Everything
// that asks "which platform is this" reads them here and nowhere else.
//
//   kind   1 the 32-bit layer on 16-bit Windows, 2 Windows 95 family,
//          3 Windows NT, 4 X Window (the POSIX builds)
//   shell  95 on Windows 95, on Windows NT 4 and later and on X Window,
//          31 otherwise
//   home   on Windows NT HOMEDRIVE (its first two characters) followed by
//          HOMEPATH; on X Window the full path of HOME; otherwise the
//          Windows directory
#pragma once

#include <cstdint>

#include "zrk/cstring.h"

enum ZrkPlatformKind : int {
    ZRK_WIN32S = 1,
    ZRK_WIN95 = 2,
    ZRK_WINNT = 3,
    ZRK_XWINDOW = 4,
};

struct ZrkPlatformFacts {
    int kind = 0;
    int shell = 31;
    CString home;
};

// The facts in force: as last set, else computed from the system (once).
const ZrkPlatformFacts& ZrkPlatform();
int ZrkPlatformKind();
int ZrkShellGeneration();
const CString& ZrkHomeDir();

// Puts FACTS in force (the application at start-up; tests).
void ZrkSetPlatform(const ZrkPlatformFacts& facts);
// Forgets what was set: the next use computes the facts from the system.
void ZrkResetPlatform();

// The facts of the running system.
ZrkPlatformFacts ZrkPlatformFromSystem();
// Kind and shell generation from a GetVersion() value (ISWINDOWS false: the
// X Window kind).
void ZrkPlatformFromVersion(uint32_t version, bool isWindows, int* kind, int* shell);
// The home directory from HOMEDRIVE and HOMEPATH: the drive's first two
// characters followed by the path, whatever their lengths.
CString ZrkHomeFromEnvironment(const char* drive, const char* path);

// For a test: stands on another platform while it exists, then restores the
// facts that were in force before.
class CPlatformScope {
public:
    explicit CPlatformScope(const ZrkPlatformFacts& facts);
    // Kind KIND with the shell generation it has (95, or 31 for kind 1) and
    // the home directory in force.
    explicit CPlatformScope(int kind);
    ~CPlatformScope();
    CPlatformScope(const CPlatformScope&) = delete;
    CPlatformScope& operator=(const CPlatformScope&) = delete;

private:
    ZrkPlatformFacts m_saved;
};
