// The installation session: what the driver sets, loading the description
// and its header, the information text.
#include "src/install/session.h"

#include <climits>

#include "src/infstruc/records.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// The programs and files every installed copy needs beside it.
const char* const kProgramFiles[] = {"setup.exe", "setup.res", "setup.inf", "quietinst.exe", "quietinst.res"};

void AddUnlessPresent(CStringList& list, const CString& value) {
    if (list.Find(value) < 0) list.Add(value);
}

bool Flag(const CString& value) { return InfDecimal(value, INT_MIN, INT_MAX) != 0; }

}  // namespace

InstallSession::InstallSession() = default;
InstallSession::~InstallSession() = default;

void InstallSession::SetAnswerProfile(const char* path) {
    m_answers.SetFilePath(path);
    m_answers.SetSection("Install");
}
const CString& InstallSession::AnswerPath() const { return m_answers.File(); }
void InstallSession::SetNetworkSwitches(bool ask, bool client, bool server) {
    m_askNetwork = ask;
    m_clientSwitch = client;
    m_serverSwitch = server;
}
void InstallSession::SetRemoveInstalledCopy(bool on) { m_removeInstalled = on; }
void InstallSession::SetUninstallDirection(bool uninstall) { m_uninstall = uninstall; }
bool InstallSession::UninstallDirection() const { return m_uninstall; }

CString InstallSession::ProductName() const {
    if (m_hasProduct) return m_product.AppName();
    return m_desc.sets.Count() > 0 ? m_desc.sets[0].AppName() : CString();
}
CString InstallSession::ProductShortName() const {
    if (m_hasProduct) return m_product.ShortName();
    return m_desc.sets.Count() > 0 ? m_desc.sets[0].ShortName() : CString();
}

CString InstallSession::FileNameOf(const char* path) {
    const CString name = CFile::FilePart(path);
    return name.IsEmpty() && !CString(path).EndsWith("\\") ? CString(path) : name;
}

void InstallSession::SetModeFlags(bool reinstall, bool modify, bool addPackages, bool secondCopy, bool upgrade) {
    m_reinstall = reinstall;
    m_modify = modify;
    m_addPackages = addPackages;
    m_secondCopy = secondCopy;
    m_upgrade = upgrade;
}

int InstallSession::NotBuilt(const char* what) { return ZrkErrorId(ZRK_DESCERR, MSG_STEP_NOT_BUILT, what); }

CString InstallSession::ResolvePath(const char* path) const {
    if (CFile::IsAbsolute(path)) return path;
    if (!m_descDir.IsEmpty()) return CFile::Join(m_descDir, path);
    return zrkos::FullPath(path);
}

CString InstallSession::AnswerText(const char* key) const {
    if (m_answers.File().IsEmpty()) return CString();
    CProfile answers(ResolvePath(m_answers.File()), "Install");
    return answers.GetText(key);
}

long InstallSession::AnswerInt(const char* key, long def) const {
    if (m_answers.File().IsEmpty()) return def;
    CProfile answers(ResolvePath(m_answers.File()), "Install");
    return answers.GetInt(key, def);
}

bool InstallSession::AnswerYes(const char* key) const {
    const CString value = AnswerText(key);
    return !value.IsEmpty() && (value[0] == 'y' || value[0] == 'Y');
}

void InstallSession::Reset() {
    m_desc.Clear();
    m_hasProduct = false;
    m_productIndex = -1;
    m_applicable.clear();
    m_selection.Clear();
    m_minimal.clear();
    m_maximal.clear();
    m_fileList.Clear();
    m_keepList.Clear();
    m_setupFiles.Clear();
    m_infoText.Empty();
    m_hasInfoText = false;
    m_descPath.Empty();
    m_sourcePath.Empty();
    m_serverPath.Empty();
}

int InstallSession::LoadDescription(const char* path) {
    Reset();
    const CString full = zrkos::FullPath(path);
    m_descPath = full;
    m_descDir = CFile::DirPart(full);
    if (zrkos::QueryWindowsDir(&m_windowsDir) != 0)
        return ZrkErrorId(ZRK_WINERR, MSG_NO_WINDOWS_DIR, zrkos::LastSystemError());
    if (zrkos::QuerySystemDir(&m_systemDir) != 0)
        return ZrkErrorId(ZRK_WINERR, MSG_NO_SYSTEM_DIR, zrkos::LastSystemError());
    ZRK_TRY(InfLoadDescription(full, m_desc));
    ZRK_TRY(CheckPackageDisks(m_desc));
    ZRK_TRY(ReadHeader());
    ZRK_TRY(ReadInfoText());
    return ShowTitle(m_title, m_bitmap, m_appVersion);
}

int InstallSession::ReadHeader() {
    for (const CInfHeaderKey& key : m_desc.header) {
        CString name = key.name;
        name.MakeUpper();
        const CString& value = key.value;
        if (name == "VERSION") {
            if (!value.IsEmpty() && value != "1.0")
                return ZrkErrorId(ZRK_DESCERR, MSG_BAD_DESCRIPTION_VERSION, value.c_str());
        } else if (name == "TESTADMINONNT") {
            m_testAdmin = Flag(value);
        } else if (name == "ACCEPTUPGRADE") {
            m_acceptUpgrade = Flag(value);
        } else if (name == "USERINFO") {
            m_userInfo = Flag(value);
        } else if (name == "INSTALLTITLE") {
            m_title = value;
        } else if (name == "UNINSTALLTITLE") {
            m_uninstallTitle = value;
        } else if (name == "INSTALLBITMAP") {
            m_bitmap = value.IsEmpty() ? CString() : CFile::Join(m_descDir, value);
        } else if (name == "APPINSTALLLOG") {
            if (m_recordPath.IsEmpty()) m_recordPath = value;
        } else if (name == "APPVERSION") {
            m_appVersion = value;
        } else if (name == "APPLANGUAGE") {
            m_appLanguage = value;
        } else if (name == "EXPECTEDVERSION") {
            m_expectedVersion = value;
        } else if (name == "EXPECTEDLANGUAGE") {
            m_expectedLanguage = value;
        } else if (name == "DISKLABEL") {
            m_diskLabel = value;
        } else if (name == "NEWKEY") {
            m_newKey = value;
        } else if (name == "UNINSTDEL") {
            AddUnlessPresent(m_fileList, value);
        } else if (name == "UNINSTDONOTDEL") {
            AddUnlessPresent(m_keepList, value);
        } else if (name == "SETUPFILE") {
            m_setupFiles.Add(value);
        } else if (name == "TXT") {
            m_txt = value;
        } else if (name != "BMP") {
            // The reader accepts only the keys above.
            return ZRK_INTERNAL_ERROR();
        }
    }
    for (const char* file : kProgramFiles) AddUnlessPresent(m_setupFiles, file);
    m_descPath = FileNameOf(m_descPath);
    if (m_sourcePath.IsEmpty()) m_sourcePath = m_descDir;
    if (m_serverPath.IsEmpty()) m_serverPath = m_sourcePath;
    return 0;
}

int InstallSession::ReadInfoText() {
    if (m_txt.IsEmpty()) return 0;
    const CString path = CFile::Join(m_sourcePath, m_txt);
    if (!CFile::IsFile(path)) return 0;
    int64_t size = CFile::FileSize64(path);
    if (size > INT_MAX) size = INT_MAX;
    CFile file;
    ZRK_TRY(file.Open(path, "r"));
    char* buf = m_infoText.GetBuffer(static_cast<int>(size));
    long done = 0;
    int result = 0;
    while (done < size && result == 0) {
        long got = 0;
        result = file.Read(buf + done, static_cast<long>(size - done), &got);
        if (got == 0) break;
        done += got;
    }
    // Only the final line end goes; a shorter or unterminated text stays whole.
    if (done >= 2 && buf[done - 2] == '\r' && buf[done - 1] == '\n')
        done -= 2;
    else if (done >= 1 && buf[done - 1] == '\n')
        done -= 1;
    m_infoText.ReleaseBuffer(static_cast<int>(done));
    ZRK_KEEP(result, file.Close());
    m_hasInfoText = result == 0;
    return result;
}

int InstallSession::WriteInfoText() {
    if (!m_hasInfoText) return 0;
    m_hasInfoText = false;
    const CString text = m_infoText;
    m_infoText.Empty();
    const CString path = m_appPath + FileNameOf(m_txt);
    if (CFile::Exists(path) && !CFile::Writable(path)) return 0;
    // Lines are broken after a blank once they are longer than 75
    // characters.
    CString out;
    int column = 0;
    for (int i = 0; i < text.Length(); ++i) {
        const char c = text[i];
        out += c;
        if (c == '\r' || c == '\n') {
            column = 0;
        } else if (++column > 75 && c == ' ') {
            out += "\r\n";
            column = 0;
        }
    }
    CTextFile file;
    ZRK_TRY(file.Open(path, "w"));
    int result = file.Write(out.c_str(), out.Length());
    ZRK_KEEP(result, file.Close(true));
    return result;
}
