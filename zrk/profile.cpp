// Settings in ini files through the private-profile functions.
#include "zrk/profile.h"

#include <cstdlib>
#include <vector>

#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/result.h"

namespace {
constexpr int kTextBuffer = 4096;
}

void CProfile::SetFile(const char* name) {
    CString found;
    if (ZrkSearchSettingsFile(name, &found) == 0) {
        m_file = found;
        return;
    }
    CString dir;
    if (zrkos::GetEnv("ZRKCFGDIR", &dir) && !dir.IsEmpty())
        m_file = CFile::Join(dir, name);
    else
        m_file = name;
}

int CProfile::GetText(const char* key, char* buf, int size, const char* def) const {
    if (size <= 0) return ZRK_INTERNAL_ERROR();
    int n = zrkos::ProfileRead(m_section, key, def ? def : "", buf, size, m_file);
    if (n >= size - 2) return ZRK_INTERNAL_ERROR();
    return 0;
}

CString CProfile::GetText(const char* key, const char* def) const {
    CString text;
    char* buf = text.GetBuffer(kTextBuffer);
    buf[0] = '\0';
    GetText(key, buf, kTextBuffer, def);
    text.ReleaseBuffer(-1);
    return text;
}

long CProfile::GetInt(const char* key, long def, int* result) const {
    if (result) *result = 0;
    CString text = GetText(key, "");
    if (text.IsEmpty()) return def;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text.c_str()) {
        int r = ZRK_INTERNAL_ERROR();
        if (result) *result = r;
        return def;
    }
    return value;
}

int CProfile::WriteText(const char* key, const char* value) {
    return zrkos::ProfileWrite(m_section, key, value, m_file) == 0 ? 0 : ZRK_FAIL;
}

int CProfile::WriteInt(const char* key, long value) {
    CString text;
    text.Format("%ld", value);
    return WriteText(key, text);
}

int CProfile::WriteFormat(const char* key, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    CString text;
    text.FormatV(fmt, args);
    va_end(args);
    return WriteText(key, text);
}

int CProfile::DeleteKey(const char* key) {
    return zrkos::ProfileWrite(m_section, key, nullptr, m_file) == 0 ? 0 : ZRK_FAIL;
}

int CProfile::DeleteSection() {
    return zrkos::ProfileWrite(m_section, nullptr, nullptr, m_file) == 0 ? 0 : ZRK_FAIL;
}

int CProfile::ReadKeys(CStringList& keys) const {
    // Start small and double while the list comes back cut.
    std::vector<char> buf;
    int size = 1024;
    int n;
    while (true) {
        buf.assign(static_cast<size_t>(size), '\0');
        n = zrkos::ProfileRead(m_section, nullptr, "", buf.data(), size, m_file);
        if (n < size - 2 || size >= 16384) break;
        size *= 2;
    }
    for (int pos = 0; pos < n && buf[static_cast<size_t>(pos)] != '\0';) {
        const char* name = buf.data() + pos;
        int len = 0;
        while (pos + len < n && name[len] != '\0') ++len;
        keys.Add(CString(name, len));
        pos += len + 1;
    }
    return 0;
}

CString ZrkModuleDir() {
    if (CApp* app = ZrkApp()) return app->ModuleDir();
    return CFile::DirPart(zrkos::ModulePath());
}

int ZrkSearchSettingsFile(const char* name, CString* found) {
    if (!name || !*name) return ZRK_FAIL;
    CString candidates[5];
    candidates[0] = zrkos::FullPath(name);
    const CString& home = ZrkHomeDir();
    if (!home.IsEmpty()) candidates[1] = CFile::Join(home, name);
    CString cfgDir;
    if (zrkos::GetEnv("ZRKCFGDIR", &cfgDir) && !cfgDir.IsEmpty()) candidates[2] = CFile::Join(cfgDir, name);
    CString moduleDir = ZrkModuleDir();
    if (!moduleDir.IsEmpty()) {
        candidates[3] = CFile::Join(moduleDir, name);
        candidates[4] = CFile::Join(moduleDir, CString("..\\") + name);
    }
    for (const CString& path : candidates) {
        if (!path.IsEmpty() && CFile::IsFile(path)) {
            *found = path;
            return 0;
        }
    }
    return ZRK_FAIL;
}
