// Helpers shared by the unit tests: a scratch directory that is removed
// with its contents, whole-file reads and writes through the framework's
// system layer (so that framework paths work on every platform), and the
// printable form of texts and byte buffers for assertions.
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

// Texts and byte buffers as std::string, every byte kept (zero bytes too):
// assertions compare them exactly and GoogleTest prints them with escapes
// for control and high bytes.
std::string Str(const CString& s);
// Any byte buffer with Data() and Size() (CMemBuf, CByteBuffer).
template <class Buffer>
    requires requires(const Buffer& b) {
        b.Data();
        b.Size();
    }
std::string Str(const Buffer& b) {
    return b.Size() > 0 ? std::string(reinterpret_cast<const char*>(b.Data()), static_cast<size_t>(b.Size()))
                        : std::string();
}
