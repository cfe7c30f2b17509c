// Settings in an ini file: a file name and a current section. Every access
// uses the section current at the time of the call.
#pragma once

#include "zrk/cstring.h"

class CProfile {
public:
    CProfile() = default;
    CProfile(const char* file, const char* section) : m_file(file), m_section(section) {}

    // Locates the settings file (current directory, home directory,
    // ZRKCFGDIR, module directory, "..\" below it) and keeps the path found,
    // or the bare name (ZRKCFGDIR joined with it when that is set).
    void SetFile(const char* name);
    void SetFilePath(const char* path) { m_file = path; }
    void SetSection(const char* section) { m_section = section; }
    const CString& File() const { return m_file; }
    const CString& Section() const { return m_section; }

    CString GetText(const char* key, const char* def = "") const;
    int GetText(const char* key, char* buf, int size, const char* def = "") const;
    long GetInt(const char* key, long def, int* result = nullptr) const;
    int WriteText(const char* key, const char* value);
    int WriteInt(const char* key, long value);
    int WriteFormat(const char* key, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
    int DeleteKey(const char* key);
    int DeleteSection();
    // Appends the section's key names, in file order.
    int ReadKeys(CStringList& keys) const;

private:
    CString m_file;
    CString m_section;
};

// Looks for a settings file NAME, each candidate as a full normalised path:
// the current directory, the home directory, the directory named by
// ZRKCFGDIR, the program's directory and its parent. 0 with the path found,
// or -52.
int ZrkSearchSettingsFile(const char* name, CString* found);
// The program's directory, with trailing separator. (The home directory is
// one of the platform facts, ZrkHomeDir() in zrk/platform.h.)
CString ZrkModuleDir();
