// Registry lookups of the install description on Windows. Keys are opened
// for reading only (a lookup must work where writing is not allowed); the
// values are read through the registry key object, which reports the
// system's failures itself.
#include "src/infstruc/infreg.h"

#include <windows.h>

#include "src/winspec/regkey.h"
#include "zrk/regtext.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// Opens KEYPATH for reading into KEY. A key that does not exist, or a path
// without a known root, sets *MISSING and gives 0; every other failure
// (access denied, a name the system refuses) is reported with message 23 and
// gives ZRK_WINERR.
int OpenForReading(const char* keyPath, CRegistryKey& key, bool* missing) {
    *missing = false;
    CString rootName, subkey;
    ZrkRegSplitRoot(keyPath, rootName, subkey);
    HKEY root = CRegistryKey::RootKey(rootName);
    if (root == nullptr) {
        *missing = true;
        return 0;
    }
    HKEY handle = nullptr;
    const LONG e = RegOpenKeyExA(root, subkey, 0, KEY_READ, &handle);
    if (e == ERROR_FILE_NOT_FOUND) {
        *missing = true;
        return 0;
    }
    if (e != ERROR_SUCCESS) return ZrkErrorId(ZRK_WINERR, MSG_REG_OPEN, keyPath, static_cast<int>(e));
    return key.Attach(handle);
}

}  // namespace

bool InfRegistryAvailable() { return true; }

int InfRegistryRead(const char* keyPath, const char* valueName, CString* value, bool keyMustOpen) {
    value->Empty();
    if (!keyPath || !*keyPath) return 0;
    CRegistryKey key;
    bool missing = false;
    ZRK_TRY(OpenForReading(keyPath, key, &missing));
    if (missing) {
        return keyMustOpen ? ZrkErrorId(ZRK_WINERR, MSG_REG_OPEN, keyPath, static_cast<int>(ERROR_FILE_NOT_FOUND))
                           : 0;
    }
    int result = key.ReadString(valueName ? valueName : "", *value);
    ZRK_KEEP(result, key.Close());
    return result;
}

int InfRegistryDetect(const char* keyPath, const char* valueName, int* found, CString* value) {
    *found = 0;
    value->Empty();
    if (!keyPath || !*keyPath) return 0;
    CRegistryKey key;
    // Only a key that is not there means that the product is not installed:
    // the rule does not hold and nothing went wrong.
    bool missing = false;
    ZRK_TRY(OpenForReading(keyPath, key, &missing));
    if (missing) return 0;
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
