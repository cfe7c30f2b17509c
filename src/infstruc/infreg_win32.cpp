// Registry lookups of the install description on Windows, through the
// registry key object (which reports the system's failures itself).
#include "src/infstruc/infreg.h"

#include "src/winspec/regkey.h"
#include "zrk/result.h"

namespace {

// True when PATH begins with a root name the key object knows.
bool KnownRoot(const char* path) {
    CString root(path);
    const int slash = root.Find('\\');
    if (slash >= 0) root = root.Left(slash);
    return CRegistryKey::RootKey(root) != nullptr;
}

}  // namespace

bool InfRegistryAvailable() { return true; }

int InfRegistryRead(const char* keyPath, const char* valueName, CString* value, bool keyMustOpen) {
    value->Empty();
    if (!keyPath || !*keyPath || !KnownRoot(keyPath)) return 0;
    CRegistryKey key;
    const int opened = key.Open(keyPath, keyMustOpen);
    if (opened != 0) return keyMustOpen ? opened : 0;
    int result = key.ReadString(valueName ? valueName : "", *value);
    ZRK_KEEP(result, key.Close());
    return result;
}

int InfRegistryDetect(const char* keyPath, const char* valueName, int* found, CString* value) {
    *found = 0;
    value->Empty();
    if (!keyPath || !*keyPath || !KnownRoot(keyPath)) return 0;
    CRegistryKey key;
    // A key that is not there means the product is not installed: the rule
    // does not hold, and nothing went wrong. Other failures (access denied)
    // are reported.
    if (!key.Exists(keyPath)) return 0;
    ZRK_TRY(key.Open(keyPath, true));
    CString name(valueName ? valueName : "");
    if (name == "(Default)") name.Empty();
    int result = 0;
    if (!name.IsEmpty()) {
        CStringList names;
        result = key.ListValueNames(names);
        if (result == 0 && names.Find(name) < 0) {
            ZRK_KEEP(result, key.Close());
            return result;
        }
    }
    if (result == 0) result = key.ReadString(name, *value);
    if (result == 0) *found = 1;
    ZRK_KEEP(result, key.Close());
    return result;
}
