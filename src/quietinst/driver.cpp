// The console setup driver (see driver.h).

#include "src/quietinst/driver.h"

#include <windows.h>

#include <vector>

#include "src/winspec/winsession.h"
#include "src/winspec/reboot.h"
#include "zrk/cfile.h"
#include "zrk/ctimeex.h"
#include "zrk/os/os.h"
#include "zrk/parsers.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

// ---- the session as the engine ------------------------------------------------------------

void SessionEngine::SetAnswerProfile(const char* path) { m_session.SetAnswerProfile(path); }
void SessionEngine::SetNetworkSwitches(bool ask, bool client, bool server) {
    m_session.SetNetworkSwitches(ask, client, server);
}
void SessionEngine::SetRemoveInstalledCopy(bool on) { m_session.SetRemoveInstalledCopy(on); }
void SessionEngine::SetUninstallDirection(bool uninstall) { m_session.SetUninstallDirection(uninstall); }
int SessionEngine::LoadDescription(const char* path) { return m_session.LoadDescription(path); }
int SessionEngine::PrepareInstallation(CString* recordPath) { return m_session.PrepareInstallation(recordPath); }
int SessionEngine::RunEngineTask() { return m_session.RunEngineTask(); }
int SessionEngine::StartPrograms() { return m_session.StartPrograms(); }
int SessionEngine::RebootQuestion(bool* restart) { return m_session.RebootQuestion(restart); }
int SessionEngine::LoadRecord(const char* path) { return m_session.LoadRecord(path); }
int SessionEngine::PrepareUninstallation() { return m_session.PrepareUninstallation(); }
bool SessionEngine::ChangesInstalledCopy() const {
    return m_session.Reinstall() || m_session.Modify() || m_session.AddPackages();
}
CString SessionEngine::ProductName() const { return m_session.ProductName(); }
CString SessionEngine::ProductShortName() const { return m_session.ProductShortName(); }
int SessionEngine::ShowNotice(const char* message) { return m_session.ShowNotice(message); }
int SessionEngine::AskYesNo(const char* message) { return m_session.AskYesNo(message); }

// ---- paths ------------------------------------------------------------------------------

CString QuietResolvePath(const char* path, const char* baseDir) {
    if (CFile::IsAbsolute(path)) return CFile::Normalise(path);
    return CFile::Normalise(CFile::Join(baseDir, path));
}

CString QuietCanonicalPath(const char* path) {
    CString full = zrkos::FullPath(path);
    if (full.IsEmpty()) full = path;
    // A directory's trailing backslash does not make it another directory.
    while (full.Length() > 3 && full[full.Length() - 1] == '\\') full = full.Left(full.Length() - 1).ToString();
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetLongPathNameA(full, buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetLongPathNameA(full, buf.data(), static_cast<DWORD>(buf.size()));
    }
    return n > 0 && n < buf.size() ? CString(buf.data(), static_cast<int>(n)) : full;
}

bool QuietSamePath(const char* a, const char* b) {
    return QuietCanonicalPath(a).CompareNoCase(QuietCanonicalPath(b)) == 0;
}

// ---- the relaunch ------------------------------------------------------------------------

CString QuietCopyName(const char* modulePath, const char* tempDir) {
    CString name = CFile::FilePart(modulePath);
    if (name.IsEmpty()) return CString(tempDir);
    CString first;
    first.Append(static_cast<char>(name[0] + 1));
    return CFile::Join(tempDir, first + name.Mid(1).ToString());
}

CString QuietRelaunchLine(const char* copyPath, const char* commandLine, bool addDescription,
                          const char* moduleDir) {
    CString line(commandLine);
    if (addDescription) {
        const CString description = CTokenizer::Quote(CString(moduleDir) + "setup.inf");
        line = line.IsEmpty() ? "-i:" + description : line + " -i:" + description;
    }
    return CString::Printf("\"%s\" %s", copyPath, line.c_str());
}

// ---- the status file ---------------------------------------------------------------------

CString QuietStatusText(const char* status, const char* description) {
    CString text(description);
    text.Replace("\r\n", " ");
    text.Replace("\n", " ");
    text.Replace("\r", " ");
    text.Replace("\"", "'");
    const CString state(status);
    return CString::Printf(
        "Start Component\nName = \"Workstation\"\nStart Group\nName = \"InstallStatus\"\nID = 1\n"
        "Class = \"MICROSOFT|JOBSTATUS|1.0\"\nStart Attribute\nName = \"Status\"\nID = 1\nType = String(%d)\n"
        "Value = \"%s\"\nEnd Attribute\nStart Attribute\nName = \"Description\"\nID = 2\nType = String(%d)\n"
        "Value = \"%s\"\nEnd Attribute\nEnd Group\nEnd Component\n",
        state.Length(), state.c_str(), text.Length(), text.c_str());
}

CString QuietStatusPath(const char* windowsDir, const char* shortName) {
    if (shortName == nullptr || *shortName == '\0') return CFile::Join(windowsDir, "setup.mif");
    return CFile::Join(windowsDir, CString(shortName) + ".MIF");
}

int QuietWriteWhole(const char* path, const char* text) {
    const CString temp = CFile::TempName(CFile::DirPart(path), "mif");
    CTextFile file;
    ZRK_TRY(file.Open(temp, "w"));
    int r = file.WriteText(text);
    ZRK_KEEP(r, file.Close());
    if (r == 0) {
        // The Windows 95 family cannot replace a file in one move.
        if (ZrkPlatformKind() != ZRK_WINNT) {
            if (CFile::Exists(path)) CFile::RemoveFile(path);
            r = CFile::Rename(temp, path);
        } else if (!MoveFileExA(temp, path, MOVEFILE_REPLACE_EXISTING)) {
            const int e = static_cast<int>(GetLastError());
            r = ZrkErrorId(ZRK_FAIL, MSG_RENAME_FAILED, temp.c_str(), path, e, zrkos::ErrnoText(e).c_str());
        }
    }
    if (r != 0) CFile::RemoveFile(temp);
    return r;
}

// ---- the driver --------------------------------------------------------------------------

struct QuietDriver::Options {
    bool descGiven = false, uninstallGiven = false, answerGiven = false;
    bool status = false, ask = false, client = false, server = false;
    CString desc, uninstall, answer;
};

QuietDriver::QuietDriver(QuietEngine& engine, const char* modulePath)
    : m_engine(engine), m_modulePath(modulePath) {}

void QuietDriver::NoteReport(int kind, const char* message) {
    if ((kind & ZRK_KIND_ERROR) == 0) return;
    if (m_errors++ == 0) m_firstError = message;
}

CString QuietDriver::WindowsDir() {
    CString dir;
    if (zrkos::QueryWindowsDir(&dir) != 0)
        ZrkErrorId(ZRK_WINERR, MSG_NO_WINDOWS_DIR, zrkos::LastSystemError());
    return dir;
}

CString QuietDriver::TempDir() { return CFile::DirPart(CFile::TempName(nullptr, "tmp")); }

int QuietDriver::StartCopy(const char* commandLine) {
    CApp* app = ZrkApp();
    if (app == nullptr) return ZRK_INTERNAL_ERROR();
    return app->StartProcess(commandLine, nullptr, false, true);
}

int QuietDriver::Restart() { return RestartWindows(); }

int QuietDriver::Run(const char* commandLine) {
    m_commandLine = commandLine;
    ZrkTrace("%s %s", m_modulePath.c_str(), commandLine);
    CParser parser(commandLine);
    parser.SetVersionText("1.0");
    parser.DeclareOption("i", "setup.inf", ZrkMessageText(MSG_HELP_DESCRIPTION), ZRK_VT_TEXT);
    parser.DeclareOption("u", "setup.log", ZrkMessageText(MSG_HELP_UNINSTALL), ZRK_VT_TEXT);
    parser.DeclareOption("a", "setup.ans", ZrkMessageText(MSG_HELP_ANSWER_FILE), ZRK_VT_TEXT);
    parser.DeclareOption("sms", ZrkMessageText(MSG_HELP_STATUS_FILE));
    parser.DeclareOption("n", ZrkMessageText(MSG_HELP_NETWORK));
    parser.DeclareOption("nc", ZrkMessageText(MSG_HELP_NETWORK_CLIENT));
    parser.DeclareOption("ns", ZrkMessageText(MSG_HELP_NETWORK_SERVER));
    ZRK_TRY(parser.Parse());

    Options o;
    o.descGiven = parser.WasGiven("i");
    o.uninstallGiven = parser.WasGiven("u");
    o.answerGiven = parser.WasGiven("a");
    o.status = parser.WasGiven("sms");
    o.ask = parser.WasGiven("n");
    o.client = parser.WasGiven("nc");
    o.server = parser.WasGiven("ns");
    o.desc = o.descGiven ? parser.Text("i") : CString("setup.inf");
    o.uninstall = parser.Text("u");
    // The parser reads two apostrophes as one: -u:'' is the empty value
    // written in quotes, as -u: is without them.
    if (o.uninstall == "'") o.uninstall.Empty();
    o.answer = parser.Text("a");

    // Every relative path of the run is taken against the description's
    // directory; a bare name would otherwise be looked for by the profile
    // functions in the Windows directory.
    const CString descPath = QuietResolvePath(o.desc, zrkos::CurrentDir());
    m_descDir = CFile::DirPart(descPath);

    if (o.uninstallGiven) {
        const int r = Relaunch(o);
        if (r == 1) return 0;
        if (r != 0) {
            if (o.status) WriteStatus();
            return 1;
        }
    }

    bool go = true;
    if (o.answerGiven) {
        const CString answer = QuietResolvePath(o.answer, m_descDir);
        if (!CFile::IsFile(answer)) {
            ZrkErrorId(ZRK_FAIL, MSG_NO_ANSWER_FILE, answer.c_str());
            go = false;
        } else {
            m_engine.SetAnswerProfile(answer);
        }
    }
    m_engine.SetNetworkSwitches(o.ask, o.client, o.server);
    m_engine.SetRemoveInstalledCopy(o.uninstallGiven && o.uninstall.IsEmpty());

    bool restart = false;
    if (go) {
        CString record;
        int r = 0;
        if (!o.descGiven && o.uninstallGiven && !o.uninstall.IsEmpty()) {
            record = o.uninstall;
        } else if (o.descGiven && !CFile::IsFile(descPath)) {
            r = ZrkErrorId(ZRK_FAIL, MSG_FILE_MISSING, descPath.c_str());
        } else {
            r = m_engine.LoadDescription(descPath);
            if (r == 0) r = m_engine.PrepareInstallation(&record);
            if (r == ZRK_CANCEL) m_engine.ShowNotice(ZrkMessageText(MSG_INSTALL_CANCELLED));
            if (r == 0 && record.IsEmpty()) {
                r = RunTask(false);
                if (r == ZRK_CANCEL && !m_engine.ChangesInstalledCopy() &&
                    m_engine.AskYesNo(ZrkMessageText(MSG_REMOVE_AFTER_CANCEL)) == 1) {
                    // Removes what the cancelled installation put in place;
                    // the run's result stays the installation's.
                    RunTask(true);
                    m_uninstalled = false;
                }
                if (r == 0) {
                    r = m_engine.StartPrograms();
                    ZRK_KEEP(r, m_engine.RebootQuestion(&restart));
                }
            }
        }
        if (r == 0 && !record.IsEmpty()) r = Uninstall(QuietResolvePath(record, m_descDir));
        ReportUnreported(r);
    }

    if (o.status) WriteStatus();
    // The status file tells the outcome before Windows goes down.
    if (restart) Restart();
    return m_errors > 0 ? 1 : 0;
}

int QuietDriver::Uninstall(const CString& record) {
    m_uninstalled = true;
    if (!CFile::IsFile(record)) return ZrkErrorId(ZRK_FAIL, MSG_FILE_MISSING, record.c_str());
    int r = m_engine.LoadRecord(record);
    if (r == 0) r = m_engine.PrepareUninstallation();
    if (r == ZRK_CANCEL) m_engine.ShowNotice(ZrkMessageText(MSG_UNINSTALL_CANCELLED));
    if (r == 0) r = RunTask(true);
    return r;
}

int QuietDriver::RunTask(bool uninstall) {
    m_uninstalled = uninstall;
    m_engine.SetUninstallDirection(uninstall);
    return m_engine.RunEngineTask();
}

int QuietDriver::ReportUnreported(int result) {
    if (result == 0 || m_errors > 0) return result;
    if (result == ZRK_CANCEL) return ZrkErrorId(result, MSG_RUN_CANCELLED, DirectionWord());
    return ZrkErrorId(result, MSG_RUN_ENDED_UNREPORTED, DirectionWord(), result,
                      ZrkCodeText(result, false).c_str());
}

CString QuietDriver::StatusPath() {
    const CString dir = WindowsDir();
    return dir.IsEmpty() ? dir : QuietStatusPath(dir, m_engine.ProductShortName());
}

int QuietDriver::WriteStatus() {
    const CString path = StatusPath();
    if (path.IsEmpty()) return ZRK_WINERR;
    CString text;
    if (m_errors == 0) {
        const CString description = CString::Printf("%s of %s successful.", m_uninstalled ? "Uninstallation" : "Installation",
                                                    m_engine.ProductName().c_str());
        text = QuietStatusText("SUCCESS", description);
    } else {
        text = QuietStatusText("FAILED", m_firstError);
    }
    return QuietWriteWhole(path, text);
}

int QuietDriver::RegisterCopy(const char* from, const char* to) {
    ZRK_TRY(CFile::Copy(from, to));
    CFile::SetReadOnly(to, false);
    int r;
    {
        // The copy still runs without it: its failure is only a warning.
        CReportScope quiet;
        r = RenameAtReboot(to, nullptr);
    }
    if (r != 0) ZrkWarningId(MSG_RELAUNCH_NO_DELETE, to);
    return 0;
}

int QuietDriver::Relaunch(const Options& o) {
    const CString tempDir = TempDir();
    const CString copy = QuietCopyName(m_modulePath, tempDir);
    const CString moduleDir = CFile::DirPart(m_modulePath);
    if (QuietSamePath(moduleDir, tempDir)) return 0;

    ZRK_TRY(RegisterCopy(m_modulePath, copy));
    const CString resource = CFile::MakePath(moduleDir, CFile::BaseName(m_modulePath), "res");
    if (CFile::IsFile(resource))
        ZRK_TRY(RegisterCopy(resource, CFile::MakePath(tempDir, CFile::BaseName(copy), "res")));

    if (o.status) {
        // The copy writes the status file at its end: an old one must not
        // stand for this run meanwhile. Its name needs the product.
        {
            CReportScope quiet;
            const CString descPath = QuietResolvePath(o.desc, zrkos::CurrentDir());
            if (!o.descGiven && !o.uninstall.IsEmpty())
                m_engine.LoadRecord(QuietResolvePath(o.uninstall, m_descDir));
            else
                m_engine.LoadDescription(descPath);
        }
        const CString old = StatusPath();
        if (!old.IsEmpty() && CFile::Exists(old)) CFile::RemoveFile(old);
    }

    const CString line = QuietRelaunchLine(copy, m_commandLine, !o.descGiven && o.uninstall.IsEmpty(), moduleDir);
    ZrkTrace("%s", line.c_str());
    ZRK_TRY(StartCopy(line));
    return 1;
}

// ---- the application ---------------------------------------------------------------------

namespace {

class CQuietInstApp : public CConsoleApp {
protected:
    int RunApp() override {
        SetTitle(ZrkMessageText(MSG_QUIETINST_BANNER));
        CWinSession session;
        SessionEngine engine(session);
        QuietDriver driver(engine, ModulePath());
        m_driver = &driver;
        const int r = driver.Run(CommandLine());
        m_driver = nullptr;
        return r;
    }

    int ScreenReport(int kind, int code, const CTimeEx& time, const char* caption,
                     const char* message) override {
        if (m_driver != nullptr) m_driver->NoteReport(kind, message);
        // The command line's "verbose" switches on the logging switch;
        // traces are printed while it is on.
        SetVerbose(Logging());
        return CConsoleApp::ScreenReport(kind, code, time, caption, message);
    }

private:
    QuietDriver* m_driver = nullptr;
};

}  // namespace

CApp* CreateQuietInstApp() { return new CQuietInstApp; }
