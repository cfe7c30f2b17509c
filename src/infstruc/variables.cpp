// Setup variables; see variables.h.
#include "src/infstruc/variables.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "src/infstruc/infreg.h"
#include "src/infstruc/records.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

const char kCurrentVersionKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kSystemEnvironmentKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const char kUserEnvironmentKey[] = "HKEY_CURRENT_USER\\Environment";

// Names in messages are cut to this length: a runaway value must not make a
// message too long to format.
constexpr int kShownNameLength = 200;

CString Shown(const CString& name) {
    if (name.Length() <= kShownNameLength) return name;
    return CString(name.c_str(), kShownNameLength) + "...";
}

int WindowsDirectory(CString* dir) {
    if (zrkos::QueryWindowsDir(dir) != 0) return ZrkErrorId(ZRK_WINERR, MSG_NO_WINDOWS_DIR, zrkos::LastSystemError());
    return 0;
}

int SystemDirectory(CString* dir) {
    if (zrkos::QuerySystemDir(dir) != 0) return ZrkErrorId(ZRK_WINERR, MSG_NO_SYSTEM_DIR, zrkos::LastSystemError());
    return 0;
}

// "key path | value name": both parts trimmed and non-empty.
bool SplitRegistryReference(const CString& name, CString* keyPath, CString* valueName) {
    const int bar = name.Find('|');
    if (bar < 0) return false;
    *keyPath = CString(name.c_str(), bar);
    *valueName = CString(name.c_str() + bar + 1);
    keyPath->Trim();
    valueName->Trim();
    return !keyPath->IsEmpty() && !valueName->IsEmpty();
}

// The value of the variable NAME (trimmed). Every source is tried while the
// value is still empty; the first failing status is kept.
int LookUp(const CInfVarContext& context, const CString& name, CString* value) {
    value->Empty();
    if (name.IsEmpty()) return 0;  // "$$": no lookup may take "" for a default value
    if (name.CompareNoCase("User") == 0) {
        *value = InfDirectoryForm(context.user);
        return 0;
    }
    if (name.CompareNoCase("Windows") == 0 || name.CompareNoCase("System") == 0) {
        CString dir;
        ZRK_TRY(name.CompareNoCase("Windows") == 0 ? WindowsDirectory(&dir) : SystemDirectory(&dir));
        *value = InfDirectoryForm(dir);
        return 0;
    }
    if (name.CompareNoCase("SystemDrive") == 0) {
        const int kind = ZrkPlatformKind();
        if (kind == ZRK_WIN32S || kind == ZRK_WIN95) {
            CString dir;
            ZRK_TRY(WindowsDirectory(&dir));
            *value = CString(dir.c_str(), dir.Length() < 2 ? dir.Length() : 2);
            return 0;
        }
        return GetEnvironmentValue("SystemDrive", value, true, true);
    }
    if (name.CompareNoCase("TCPPort") == 0) {
        return value->Format("%u", context.tcpPort);
    }
    int result = GetEnvironmentValue(name, value, true, true);
    if (value->IsEmpty()) ZRK_KEEP(result, InfRegistryRead(kCurrentVersionKey, name, value));
    CString keyPath, valueName;
    if (value->IsEmpty() && SplitRegistryReference(name, &keyPath, &valueName))
        ZRK_KEEP(result, InfRegistryRead(keyPath, valueName, value));
    return result;
}

}  // namespace

CString InfDirectoryForm(const char* text) {
    if (!text || !*text) return CString();
    const CString full = zrkos::FullPath(text);
    if (full.EndsWith("\\")) return CString(full.c_str(), full.Length() - 1);
    const int slash = full.ReverseFind('\\');
    return slash < 0 ? CString() : CString(full.c_str(), slash);
}

int GetEnvironmentValue(const char* name, CString* value, bool system, bool fallback) {
    value->Empty();
    if (!name || !*name) return 0;
    int result = 0;
    const bool nt = ZrkPlatformKind() == ZRK_WINNT;
    if (nt) {
        // The system environment key always exists on Windows NT: not opening
        // it is a failure. The user's key may be missing: nothing then.
        result = InfRegistryRead(system ? kSystemEnvironmentKey : kUserEnvironmentKey, name, value, system);
    }
    if (value->IsEmpty() && (fallback || !nt)) {
        if (!zrkos::GetEnv(name, value)) value->Empty();
    }
    return result;
}

int ExpandVariables(const CInfVarContext& context, CString& text, bool shortNames) {
    // The text before the first "$" never changes again: it goes to DONE.
    // The rest waits in PENDING, stored back to front so that a value is put
    // in front of it by appending; each value is then scanned again in place.
    std::string done;
    std::string pending(text.c_str(), static_cast<size_t>(text.Length()));
    std::reverse(pending.begin(), pending.end());
    std::replace(pending.begin(), pending.end(), '/', '\\');
    // For every value the scan is still inside: the length of the text that
    // followed its reference. Its size is the depth of the next reference.
    std::vector<size_t> open;
    int status = 0;
    for (;;) {
        const size_t dollar = pending.rfind('$');
        if (dollar == std::string::npos) break;
        done.append(pending.rbegin(), pending.rend() - static_cast<std::ptrdiff_t>(dollar + 1));
        pending.resize(dollar + 1);
        if (pending.size() == 1) break;  // no name follows: the "$" stays
        while (!open.empty() && pending.size() <= open.back()) open.pop_back();

        // The name runs to the next "$", or to the end of the text.
        const size_t close = pending.rfind('$', pending.size() - 2);
        const size_t rest = close == std::string::npos ? 0 : close;
        const size_t nameStart = close == std::string::npos ? 0 : close + 1;
        std::string raw(pending.rbegin() + 1, pending.rend() - static_cast<std::ptrdiff_t>(nameStart));
        CString name(raw.c_str(), static_cast<int>(raw.size()));
        name.Trim();
        if (open.size() >= static_cast<size_t>(kInfMaxExpansionDepth)) {
            ZRK_KEEP(status, ZrkErrorId(ZRK_DESCERR, MSG_VAR_RECURSION, Shown(name).c_str(), kInfMaxExpansionDepth));
            break;
        }
        pending.resize(rest);

        CString value;
        ZRK_KEEP(status, LookUp(context, name, &value));
        if (shortNames && !value.IsEmpty()) {
            CString shortForm;
            if (zrkos::QueryShortPath(value, &shortForm) == 0)
                value = shortForm;
            else
                ZRK_KEEP(status, ZrkErrorId(ZRK_WINERR, MSG_NO_SHORT_NAME, value.c_str(), zrkos::LastSystemError()));
        }
        if (done.size() + rest + static_cast<size_t>(value.Length()) > static_cast<size_t>(kInfMaxExpandedLength)) {
            ZRK_KEEP(status, ZrkErrorId(ZRK_DESCERR, MSG_VAR_TOO_LONG, Shown(name).c_str(), kInfMaxExpandedLength));
            break;
        }
        for (int i = value.Length() - 1; i >= 0; --i) pending += value[i] == '/' ? '\\' : value[i];
        open.push_back(rest);
    }
    done.append(pending.rbegin(), pending.rend());
    text = CString(done.c_str(), static_cast<int>(done.size()));
    return status;
}

CInfVarContext InfVarContextOf(const CSetRecord* set) {
    CInfVarContext context;
    if (set) {
        context.user = set->DestDir();
        context.tcpPort = set->TcpPort();
    }
    return context;
}

int ExpandVariables(const CSetRecord* set, CString& text, bool shortNames) {
    return ExpandVariables(InfVarContextOf(set), text, shortNames);
}
