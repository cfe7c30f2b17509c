// Shared files on Windows: version resources through the system's version
// functions, use counts in the registry, replacement at the next restart.
#include <windows.h>

#include <vector>

#include "src/install/files.h"
#include "src/winspec/reboot.h"
#include "src/winspec/regkey.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// The language name and the "FileVersion" text of the version resource of PATH
// (both empty without one).
void ReadVersionResource(const char* path, CString* language, CString* version) {
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(path, 0, size, data.data())) return;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) return;
    const WORD* translation = static_cast<const WORD*>(value);
    char name[128] = "";
    if (VerLanguageNameA(translation[0], name, sizeof name) > 0) *language = name;
    const CString key = CString::Printf("\\StringFileInfo\\%.4X%.4X\\FileVersion", translation[0], translation[1]);
    if (VerQueryValueA(data.data(), key.c_str(), &value, &length) && length > 0)
        *version = CString(static_cast<const char*>(value));
}

}  // namespace

int ReadSharedFileFacts(const char* path, SharedFileFacts* facts) {
    *facts = SharedFileFacts();
    facts->size = CFile::FileSize64(path);
    CFile::LastWriteTime(path, &facts->time);
    ReadVersionResource(path, &facts->language, &facts->version);
    return 0;
}

bool SharedFilesSupported() { return true; }

int AddSharedFileUse(const char* path, bool existed) {
    CRegistryKey key;
    ZRK_TRY(key.Open("HKEY_LOCAL_MACHINE"));
    ZRK_TRY(key.CreateKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls"));
    uint32_t count = 0;
    ZRK_TRY(key.ReadNumber(path, count, 0));
    // Placed by an installer that does not count: its users count as one.
    if (count == 0 && existed) count = 1;
    return key.WriteNumber(path, count + 1);
}

int ReplaceSharedFileAtReboot(const char* staged, const char* target) { return RenameAtReboot(staged, target); }
