// The platform facts (see platform.h).
#include "zrk/platform.h"

#include <cstring>

#include "zrk/os/os.h"

namespace {

// The facts in force. They are filled before the program starts any thread
// of its own, so they are read without a lock.
struct State {
    ZrkPlatformFacts facts;
    bool filled = false;
};

State& TheState() {
    static State state;
    return state;
}

}  // namespace

void ZrkPlatformFromVersion(uint32_t version, bool isWindows, int* kind, int* shell) {
    if (!isWindows) {
        *kind = ZRK_XWINDOW;
        *shell = 95;
        return;
    }
    const unsigned major = version & 0xFF;
    if ((version & 0x80000000u) == 0) {
        // Windows NT: version 4 and every later one has the Explorer shell.
        *kind = ZRK_WINNT;
        *shell = major >= 4 ? 95 : 31;
    } else if (major >= 4) {
        *kind = ZRK_WIN95;
        *shell = 95;
    } else {
        *kind = ZRK_WIN32S;
        *shell = 31;
    }
}

CString ZrkHomeFromEnvironment(const char* drive, const char* path) {
    CString home;
    if (drive) home.Assign(drive, static_cast<int>(strnlen(drive, 2)));
    if (path) home.Append(path);
    return home;
}

ZrkPlatformFacts ZrkPlatformFromSystem() {
    ZrkPlatformFacts facts;
    ZrkPlatformFromVersion(zrkos::Version(), zrkos::IsWindows(), &facts.kind, &facts.shell);
    CString a, b;
    if (facts.kind == ZRK_WINNT) {
        zrkos::GetEnv("HOMEDRIVE", &a);
        zrkos::GetEnv("HOMEPATH", &b);
        facts.home = ZrkHomeFromEnvironment(a, b);
    } else if (facts.kind == ZRK_XWINDOW) {
        if (zrkos::GetEnv("HOME", &a) && !a.IsEmpty()) facts.home = zrkos::FullPath(a);
    } else {
        facts.home = zrkos::WindowsDir();
    }
    return facts;
}

const ZrkPlatformFacts& ZrkPlatform() {
    State& state = TheState();
    if (!state.filled) {
        state.facts = ZrkPlatformFromSystem();
        state.filled = true;
    }
    return state.facts;
}

int ZrkPlatformKind() { return ZrkPlatform().kind; }
int ZrkShellGeneration() { return ZrkPlatform().shell; }
const CString& ZrkHomeDir() { return ZrkPlatform().home; }

void ZrkSetPlatform(const ZrkPlatformFacts& facts) {
    State& state = TheState();
    state.facts = facts;
    state.filled = true;
}

void ZrkResetPlatform() { TheState().filled = false; }

CPlatformScope::CPlatformScope(const ZrkPlatformFacts& facts) : m_saved(ZrkPlatform()) { ZrkSetPlatform(facts); }

CPlatformScope::CPlatformScope(int kind) : m_saved(ZrkPlatform()) {
    ZrkPlatformFacts facts = m_saved;
    facts.kind = kind;
    facts.shell = kind == ZRK_WIN32S ? 31 : 95;
    ZrkSetPlatform(facts);
}

CPlatformScope::~CPlatformScope() { ZrkSetPlatform(m_saved); }
