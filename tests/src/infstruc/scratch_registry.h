// Registry keys and values that a test of the install description makes for
// itself and that are gone again when the test ends (Windows only).
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <string>

// HKEY_CURRENT_USER\Software\NAME, created, and removed with everything below
// it. A DENIED key refuses every access (an empty access list) until then.
class ScratchKey {
public:
    explicit ScratchKey(const char* name, bool denied = false) : m_sub(std::string("Software\\") + name) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, m_sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (denied) SetAccessList(key, true);
        RegCloseKey(key);
    }
    ~ScratchKey() {
        // The owner may always change the access list: open it to all first.
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, m_sub.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            SetAccessList(key, false);
            RegCloseKey(key);
        }
        RegDeleteTreeA(HKEY_CURRENT_USER, m_sub.c_str());
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    // The key's path as the description writes it.
    std::string Path() const { return "HKEY_CURRENT_USER\\" + m_sub; }
    void Set(const char* name, const std::string& value) const {
        RegSetKeyValueA(HKEY_CURRENT_USER, m_sub.c_str(), name, REG_SZ, value.c_str(),
                        static_cast<DWORD>(value.size() + 1));
    }

private:
    // NONE: an empty list (no access for anyone); otherwise no list at all
    // (every access).
    static void SetAccessList(HKEY key, bool none) {
        SECURITY_DESCRIPTOR sd;
        ACL empty;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        InitializeAcl(&empty, sizeof empty, ACL_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, none ? &empty : nullptr, FALSE);
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
    }

    std::string m_sub;
};

// Value NAME of the existing key HKEY_LOCAL_MACHINE\SUB, set and deleted again.
class ScratchMachineValue {
public:
    ScratchMachineValue(const char* sub, const char* name, const char* value) : m_sub(sub), m_name(name) {
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, sub, name, REG_SZ, value, static_cast<DWORD>(std::strlen(value) + 1));
    }
    ~ScratchMachineValue() { RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, m_sub.c_str(), m_name.c_str()); }
    ScratchMachineValue(const ScratchMachineValue&) = delete;
    ScratchMachineValue& operator=(const ScratchMachineValue&) = delete;

private:
    std::string m_sub, m_name;
};
#endif  // _WIN32
