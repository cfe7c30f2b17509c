// A registry key addressed by a textual path (see regkey.h).

#include "src/winspec/regkey.h"

#include <windows.h>

#include <cstring>

#include "zrk/report.h"
#include "zrk/result.h"

// The text forms number the value types as the registry does.
static_assert(ZRK_REG_NONE == REG_NONE && ZRK_REG_SZ == REG_SZ && ZRK_REG_EXPAND_SZ == REG_EXPAND_SZ &&
              ZRK_REG_BINARY == REG_BINARY && ZRK_REG_DWORD == REG_DWORD &&
              ZRK_REG_DWORD_BIG_ENDIAN == REG_DWORD_BIG_ENDIAN && ZRK_REG_LINK == REG_LINK &&
              ZRK_REG_MULTI_SZ == REG_MULTI_SZ && ZRK_REG_QWORD == REG_QWORD);

namespace {

// Longest name a listing accepts, in bytes: the registry allows 16383
// characters in a value name, and an ANSI character may take two bytes.
constexpr DWORD kMaxNameBytes = 32768;

const char* Text(const char* s) { return s != nullptr ? s : ""; }

// Reports a failure about NAME (a path, a sub-key or a value name).
int Fail(ZrkMsg<'s', 'd'> msgId, const char* name, LONG error) {
    return ZrkErrorId(ZRK_WINERR, msgId, Text(name), static_cast<int>(error));
}

// Reports a failure that concerns the held key as a whole.
int Fail(ZrkMsg<'d'> msgId, LONG error) { return ZrkErrorId(ZRK_WINERR, msgId, static_cast<int>(error)); }

// The predefined keys stay valid for the whole process: they are never closed.
bool IsPredefined(HKEY key) {
    static const HKEY kPredefined[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                                       HKEY_USERS,            HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG,
                                       HKEY_DYN_DATA};
    for (HKEY k : kPredefined) {
        if (k == key) return true;
    }
    return false;
}

}  // namespace

CRegistryKey::~CRegistryKey() { Close(); }

HKEY CRegistryKey::RootKey(const char* rootName) {
    static const struct {
        const char* name;
        HKEY key;
    } kRoots[] = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {"HKEY_USERS", HKEY_USERS},
        {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    if (rootName == nullptr) return nullptr;
    for (const auto& root : kRoots) {
        if (std::strcmp(root.name, rootName) == 0) return root.key;
    }
    return nullptr;
}

int CRegistryKey::Open(const char* path, bool report) {
    // A failure to close the previous key has been reported; it is the result
    // only when the open succeeds.
    int closed = Close();
    const char* p = Text(path);
    if (*p == '\0') {
        int r = ZRK_INTERNAL_ERROR();
        if (report) ZrkErrorId(r, MSG_REG_OPEN, p, static_cast<int>(ERROR_INVALID_PARAMETER));
        return r;
    }
    CString rootName, subkey;
    ZrkRegSplitRoot(p, rootName, subkey);
    HKEY root = RootKey(rootName);
    // An unknown root name is what the system calls a key handle that is none.
    LONG e = ERROR_INVALID_HANDLE;
    HKEY key = nullptr;
    if (root != nullptr) e = RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key);
    if (e != ERROR_SUCCESS) return report ? Fail(MSG_REG_OPEN, p, e) : ZRK_WINERR;
    m_key = key;
    return closed;
}

bool CRegistryKey::Exists(const char* path) { return Open(path, false) == 0; }

int CRegistryKey::Close() {
    HKEY key = m_key;
    m_key = nullptr;
    if (key == nullptr || IsPredefined(key)) return 0;
    LONG e = RegCloseKey(key);
    return e == ERROR_SUCCESS ? 0 : Fail(MSG_REG_CLOSE, e);
}

int CRegistryKey::Attach(HKEY key) {
    if (key == m_key) return 0;
    int r = Close();
    m_key = key;
    return r;
}

HKEY CRegistryKey::Detach() {
    HKEY key = m_key;
    m_key = nullptr;
    return key;
}

int CRegistryKey::CreateKey(const char* subkey, CRegistryKey* target) {
    if (m_key == nullptr) return Fail(MSG_REG_CREATE, subkey, ERROR_INVALID_HANDLE);
    char keyClass[] = "REG_SZ";
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG e = RegCreateKeyExA(m_key, Text(subkey), 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, &disposition);
    if (e != ERROR_SUCCESS) return Fail(MSG_REG_CREATE, subkey, e);
    return (target != nullptr ? target : this)->Attach(key);
}

int CRegistryKey::Query(const char* name, uint32_t& type, CMemBuf& data, bool& missing) {
    missing = false;
    type = REG_NONE;
    data.Clear();
    if (m_key == nullptr) return Fail(MSG_REG_READ, name, ERROR_INVALID_HANDLE);
    DWORD t = REG_NONE;
    DWORD size = 0;
    LONG e = RegQueryValueExA(m_key, name, nullptr, &t, nullptr, &size);
    // The value may grow between asking for its size and reading it; a few
    // rounds settle that, a value that keeps growing is reported.
    for (int round = 0; round < 8; ++round) {
        if (e == ERROR_FILE_NOT_FOUND) {
            missing = true;
            return 0;
        }
        if (e != ERROR_SUCCESS && e != ERROR_MORE_DATA) break;
        if (size > static_cast<DWORD>(CMemBuf::MAXSIZE)) return ZRK_INTERNAL_ERROR();
        // Always a real buffer: given none, the system would only measure.
        if (size == 0) size = 1;
        ZRK_TRY(data.SetSize(static_cast<int>(size)));
        BYTE* bytes = data.MutableData();
        if (bytes == nullptr) return ZRK_NOMEM;
        DWORD got = size;
        e = RegQueryValueExA(m_key, name, nullptr, &t, bytes, &got);
        if (e == ERROR_SUCCESS) {
            if (got > size) return ZRK_INTERNAL_ERROR();
            ZRK_TRY(data.SetSize(static_cast<int>(got)));
            type = t;
            return 0;
        }
        size = got;
    }
    data.Clear();
    return Fail(MSG_REG_READ, name, e);
}

int CRegistryKey::ReadString(const char* name, CString& text) {
    text.Empty();
    uint32_t type = REG_NONE;
    CMemBuf data;
    bool missing = false;
    ZRK_TRY(Query(name, type, data, missing));
    if (missing) return 0;
    return ZrkRegDataText(type, data.Data(), data.Size(), text);
}

int CRegistryKey::ReadNumber(const char* name, uint32_t& value, uint32_t defaultValue) {
    value = defaultValue;
    uint32_t type = REG_NONE;
    CMemBuf data;
    bool missing = false;
    ZRK_TRY(Query(name, type, data, missing));
    uint32_t number = 0;
    if (!missing && ZrkRegDataNumber(type, data.Data(), data.Size(), number)) value = number;
    return 0;
}

int CRegistryKey::ReadBinary(const char* name, CMemBuf& buffer) {
    buffer.Clear();
    uint32_t type = REG_NONE;
    CMemBuf data;
    bool missing = false;
    ZRK_TRY(Query(name, type, data, missing));
    if (!missing && type == REG_BINARY) buffer = data;
    return 0;
}

int CRegistryKey::SetValue(const char* name, uint32_t type, const void* data, int length) {
    if (length < 0 || (length > 0 && data == nullptr)) return ZRK_INTERNAL_ERROR();
    if (m_key == nullptr) return Fail(MSG_REG_WRITE, name, ERROR_INVALID_HANDLE);
    LONG e = RegSetValueExA(m_key, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(length));
    return e == ERROR_SUCCESS ? 0 : Fail(MSG_REG_WRITE, name, e);
}

int CRegistryKey::WriteString(const char* name, const char* text, int kind) {
    CMemBuf data;
    uint32_t type = REG_SZ;
    ZRK_TRY(ZrkRegStringData(text, kind, data, type));
    return SetValue(name, type, data.Data(), data.Size());
}

int CRegistryKey::WriteNumber(const char* name, uint32_t value) {
    const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                           static_cast<BYTE>(value >> 24)};
    return SetValue(name, REG_DWORD, bytes, 4);
}

int CRegistryKey::WriteBinary(const char* name, const void* bytes, int length) {
    return SetValue(name, REG_BINARY, bytes, length);
}

int CRegistryKey::WriteHex(const char* name, const char* hex) {
    CMemBuf bytes;
    ZRK_TRY(bytes.AppendHex(hex));
    return SetValue(name, REG_BINARY, bytes.Data(), bytes.Size());
}

int CRegistryKey::DeleteValue(const char* name) {
    if (name == nullptr || *name == '\0') return 0;
    if (m_key == nullptr) return Fail(MSG_REG_DELETE_VALUE, name, ERROR_INVALID_HANDLE);
    LONG e = RegDeleteValueA(m_key, name);
    return e == ERROR_SUCCESS || e == ERROR_FILE_NOT_FOUND ? 0 : Fail(MSG_REG_DELETE_VALUE, name, e);
}

int CRegistryKey::DeleteKey(const char* subkey) {
    if (subkey == nullptr || *subkey == '\0') return 0;
    if (m_key == nullptr) return Fail(MSG_REG_DELETE_KEY, subkey, ERROR_INVALID_HANDLE);
    LONG e = RegDeleteKeyA(m_key, subkey);
    return e == ERROR_SUCCESS || e == ERROR_FILE_NOT_FOUND ? 0 : Fail(MSG_REG_DELETE_KEY, subkey, e);
}

int CRegistryKey::ListValueNames(CStringList& names) { return List(true, names); }

int CRegistryKey::ListSubkeys(CStringList& names) { return List(false, names); }

int CRegistryKey::List(bool values, CStringList& names) {
    if (m_key == nullptr) return Fail(MSG_REG_LIST, ERROR_INVALID_HANDLE);
    DWORD longestSubkey = 0;
    DWORD longestValue = 0;
    LONG e = RegQueryInfoKeyA(m_key, nullptr, nullptr, nullptr, nullptr, &longestSubkey, nullptr, nullptr,
                              &longestValue, nullptr, nullptr, nullptr);
    if (e != ERROR_SUCCESS) return Fail(MSG_REG_LIST, e);
    // Names are usually short, but a value name may be far longer than 255
    // characters; the buffer is sized from the key's own figures and grows
    // when the system still finds it too small.
    DWORD capacity = (values ? longestValue : longestSubkey) + 1;
    if (capacity < 256) capacity = 256;
    if (capacity > kMaxNameBytes) capacity = kMaxNameBytes;
    CMemBuf buffer;
    for (DWORD index = 0;;) {
        ZRK_TRY(buffer.SetSize(static_cast<int>(capacity)));
        char* chars = reinterpret_cast<char*>(buffer.MutableData());
        if (chars == nullptr) return ZRK_NOMEM;
        DWORD length = capacity;
        e = values ? RegEnumValueA(m_key, index, chars, &length, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExA(m_key, index, chars, &length, nullptr, nullptr, nullptr, nullptr);
        if (e == ERROR_NO_MORE_ITEMS) return 0;
        if (e == ERROR_MORE_DATA && capacity < kMaxNameBytes) {
            capacity = capacity * 2 < kMaxNameBytes ? capacity * 2 : kMaxNameBytes;
            continue;
        }
        if (e != ERROR_SUCCESS) return Fail(MSG_REG_LIST, e);
        if (length >= capacity) return ZRK_INTERNAL_ERROR();
        names.Add(CString(chars, static_cast<int>(length)));
        ++index;
    }
}

int CRegistryKey::DeleteKeyIfEmpty(const char* path) {
    // Without trailing backslashes the last component is always a name, so
    // every round moves one key upwards.
    CString current = ZrkRegTrimPath(path);
    while (!current.IsEmpty()) {
        if (Open(current, false) != 0) return 0;
        CStringList values, subkeys;
        int r = ListValueNames(values);
        if (r == 0) r = ListSubkeys(subkeys);
        if (r != 0 || values.Count() > 0 || subkeys.Count() > 0) {
            ZRK_KEEP(r, Close());
            return r;
        }
        ZRK_TRY(Close());
        CString parent, name;
        // A root key is never deleted, empty or not.
        if (!ZrkRegSplitLast(current, parent, name)) return 0;
        ZRK_TRY(Open(parent));
        r = DeleteKey(name);
        ZRK_KEEP(r, Close());
        if (r != 0) return r;
        current = ZrkRegTrimPath(parent);
    }
    return 0;
}
