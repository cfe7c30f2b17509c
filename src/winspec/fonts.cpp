// Fonts (see fonts.h).

#include "src/winspec/fonts.h"

#include <windows.h>

#include <cstring>

#include "src/infstruc/conditions.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

int CALLBACK FaceFound(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM wanted) {
    auto* face = reinterpret_cast<const char**>(wanted);
    if (std::strcmp(font->lfFaceName, *face) != 0) return 1;
    *face = nullptr;  // found
    return 0;
}

// The next character of a name's last place, or 0 past the last one.
char NextNameChar(char c) {
    return (c >= '0' && c < '9') || (c >= 'a' && c < 'z') || (c >= 'A' && c < 'Z') ? static_cast<char>(c + 1) : 0;
}

}  // namespace

bool IsFontFaceInstalled(const char* face) {
    // Every family is listed and compared here: a search by name matches
    // without regard to case, and misses fonts added under a face name that
    // only one of their name records carries.
    LOGFONTA all = {};
    all.lfCharSet = DEFAULT_CHARSET;
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return false;
    const char* wanted = face;
    EnumFontFamiliesExA(dc, &all, FaceFound, reinterpret_cast<LPARAM>(&wanted), 0);
    DeleteDC(dc);
    return wanted == nullptr;
}

int FontsFolder(CString* folder) {
    if (ZrkShellGeneration() == 31) {
        if (zrkos::QuerySystemDir(folder) != 0)
            return ZrkErrorId(ZRK_WINERR, MSG_NO_SYSTEM_DIR, zrkos::LastSystemError());
        return 0;
    }
    if (zrkos::QueryWindowsDir(folder) != 0)
        return ZrkErrorId(ZRK_WINERR, MSG_NO_WINDOWS_DIR, zrkos::LastSystemError());
    *folder += "Fonts\\";
    return 0;
}

bool FreeFontFileName(const CString& folder, const CString& fileName, CString* target) {
    const int dot = fileName.ReverseFind('.');
    CString base = dot < 0 ? fileName : CString(fileName.c_str(), dot);
    const CString ext = dot < 0 ? CString() : CString(fileName.c_str() + dot);
    if (base.IsEmpty()) return false;
    for (;;) {
        *target = folder + base + ext;
        if (!CFile::Exists(*target)) return true;
        const char next = NextNameChar(base[base.Length() - 1]);
        if (next == 0) return false;
        base.SetAt(base.Length() - 1, next);
    }
}

int InstallFontFile(const char* source, const char* face) {
    CString folder, target;
    ZRK_TRY(FontsFolder(&folder));
    if (!FreeFontFileName(folder, CFile::FilePart(source), &target))
        return ZrkErrorId(ZRK_WINERR, MSG_FONT_NO_FILE_NAME, target.c_str(), source);
    ZRK_TRY(CFile::Copy(source, target));
    WriteProfileStringA("Fonts", face, CFile::FilePart(target));
    if (AddFontResourceA(target) == 0)
        return ZrkErrorId(ZRK_WINERR, MSG_FONT_NOT_REGISTERED, target.c_str(), static_cast<int>(GetLastError()));
    // A plain send waits for ever on a window that does not answer.
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, kFontBroadcastTimeoutMs,
                        &answer);
    return 0;
}

int InstallFonts(CSetRecord& set) {
    CInfList<CFontRecord>& records = set.Fonts();
    int result = 0;
    for (int i = 0; i < records.Count(); ++i) {
        CFontRecord& record = records[i];
        CString file = record.FileName();
        ZRK_TRY(ExpandVariables(&set, file, true));
        int holds = 0;
        ZRK_TRY(EvaluateTest(record, &set, &holds));
        if (!file.IsEmpty()) record.SetKey("FILENAME", file);
        if (CFile::IsFile(file) && holds && !IsFontFaceInstalled(record.FontName()))
            ZRK_KEEP(result, InstallFontFile(file, record.FontName()));
    }
    return result;
}
