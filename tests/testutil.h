// Helpers shared by the unit tests: a scratch directory that is removed
// with its contents, and whole-file reads and writes through the framework's
// system layer (so that framework paths work on every platform).
#pragma once

#include <string>

#include "zrk/cstring.h"

class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory, with a trailing backslash.
    const CString& Dir() const { return m_dir; }
    // A path inside it.
    CString Path(const char* name) const { return m_dir + name; }

private:
    CString m_dir;
};

// Removes a directory and everything below it.
void RemoveTree(const char* dir);
// The bytes of a file ("" when it cannot be read); FOUND tells which.
std::string ReadAll(const char* path, bool* found = nullptr);
bool WriteAll(const char* path, const std::string& data);
// The directory temporary files go to (TMP, TEMP, else the system's).
CString TempRoot();
