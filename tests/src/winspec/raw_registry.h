// Registry values as the system stores them (type and bytes), read and
// written with the plain system calls: the tests' independent view of what
// the code under test wrote.
#pragma once

#include <windows.h>

#include <string>

struct RawValue {
    bool exists = false;
    DWORD type = 0;
    std::string bytes;
    bool operator==(const RawValue&) const = default;
};

inline RawValue ReadRaw(HKEY root, const char* sub, const char* name) {
    RawValue v;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, sub, 0, KEY_READ, &key) != 0) return v;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &v.type, nullptr, &size) == 0) {
        v.bytes.resize(size);
        v.exists = RegQueryValueExA(key, name, nullptr, &v.type, reinterpret_cast<BYTE*>(v.bytes.data()), &size) == 0;
        v.bytes.resize(size);
    }
    RegCloseKey(key);
    return v;
}

// Sets the value as V says, or deletes it when V does not exist; the key is
// created when missing. False when the key cannot be created.
inline bool WriteRaw(HKEY root, const char* sub, const char* name, const RawValue& v) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != 0) return false;
    if (v.exists)
        RegSetValueExA(key, name, 0, v.type, reinterpret_cast<const BYTE*>(v.bytes.data()),
                       static_cast<DWORD>(v.bytes.size()));
    else
        RegDeleteValueA(key, name);
    RegCloseKey(key);
    return true;
}
