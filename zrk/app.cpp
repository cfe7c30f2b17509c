// The application object, report dispatch, the log writer and the screen
// reporters of both programs.
#include "zrk/app.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "zrk/cfile.h"
#include "zrk/ctimeex.h"
#include "zrk/membuf.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/resfile.h"

namespace {

CApp* g_app = nullptr;

// The report scopes of this thread, innermost first.
thread_local CReportScope* t_scope = nullptr;
// The message id of the report being dispatched on this thread.
thread_local int t_msgId = 0;

// Dispatch without an application object: errors and warnings go to
// stderr so that nothing is lost in tools and tests.
int DispatchWithoutApp(int kind, int code, const char* message) {
    if (kind & (ZRK_KIND_ERROR | ZRK_KIND_WARNING)) {
        std::fprintf(stderr, "%s%s\n", (kind & ZRK_KIND_WARNING) ? "Warning: " : "", message);
    }
    return code;
}

struct MsgIdGuard {
    explicit MsgIdGuard(int id) : saved(t_msgId) { t_msgId = id; }
    ~MsgIdGuard() { t_msgId = saved; }
    int saved;
};

// A report as one line of a log: every line break (CR LF, a bare LF, a lone
// CR) becomes the two characters backslash and "n".
void FoldLineBreaks(CString& text) {
    text.Replace("\r\n", "\\n", true);
    text.Replace("\n", "\\n", true);
    text.Replace("\r", "\\n", true);
}

}  // namespace

// ---- reporting --------------------------------------------------------------

CReportScope::CReportScope(CReporter* reporter) : m_reporter(reporter), m_outer(t_scope) { t_scope = this; }

CReportScope::~CReportScope() { t_scope = m_outer; }

CReportScope* CReportScope::Current() { return t_scope; }

int CRecordingReporter::OnReport(int kind, int code, const char*, const char* message) {
    entries.push_back(Entry{kind, code, t_msgId, message ? message : ""});
    return code;
}

int CRecordingReporter::Count(int kindMask) const {
    int n = 0;
    for (const Entry& e : entries)
        if (e.kind & kindMask) ++n;
    return n;
}

std::string CRecordingReporter::LastText() const { return entries.empty() ? std::string() : entries.back().text; }

int ZrkReportingMessageId() { return t_msgId; }

int ZrkReportText(int kind, int code, const char* caption, const char* message) {
    if (!message) message = "";
    if (CReportScope* scope = t_scope) {
        if (scope->Reporter()) scope->Reporter()->OnReport(kind, code, caption, message);
        return code;
    }
    if (g_app) return g_app->Dispatch(kind, code, caption, message);
    return DispatchWithoutApp(kind, code, message);
}

static int ReportV(int kind, int code, const char* caption, const char* fmt, va_list args) {
    CString text;
    text.FormatV(fmt, args);
    return ZrkReportText(kind, code, caption, text);
}

int ZrkReportIdV(int kind, int code, int msgId, va_list args) {
    MsgIdGuard guard(msgId);
    CString text;
    text.FormatIdV(msgId, args);
    return ZrkReportText(kind, code, nullptr, text);
}

int ZrkReportIdRaw(int kind, int code, int msgId, ...) {
    va_list args;
    va_start(args, msgId);
    int r = ZrkReportIdV(kind, code, msgId, args);
    va_end(args);
    return r;
}

int ZrkError(int code, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = ReportV(ZRK_KIND_ERROR, code, nullptr, fmt, args);
    va_end(args);
    return r;
}

int ZrkTrace(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = ReportV(ZRK_KIND_TRACE, 0, nullptr, fmt, args);
    va_end(args);
    return r;
}

int ZrkInfo(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = ReportV(ZRK_KIND_INFO, 0, nullptr, fmt, args);
    va_end(args);
    return r;
}

int ZrkReport(int kind, int code, const char* caption, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = ReportV(kind, code, caption, fmt, args);
    va_end(args);
    return r;
}

CString ZrkCodeText(int code, bool capitalise) {
    struct CodeMsg {
        int code;
        int msgId;
    };
    static const CodeMsg kTable[] = {
        {ZRK_NOMEM, MSG_OUT_OF_MEMORY},          {ZRK_FAIL, MSG_CODE_FAILED},
        {ZRK_PRIVILEGE, MSG_CODE_PRIVILEGE},     {ZRK_BADARG, MSG_CODE_INVALID_ARGUMENT},
        {ZRK_NOBUFFER, MSG_CODE_NO_BUFFER},      {ZRK_EOF, MSG_CODE_EOF},
        {ZRK_BADFORMAT, MSG_CODE_FORMAT},        {ZRK_UNSUPPORTED, MSG_CODE_NOT_SUPPORTED},
        {ZRK_ABANDON, MSG_CODE_ABANDONED},       {ZRK_BADTIME, MSG_CODE_BAD_TIME},
        {ZRK_CANCEL, MSG_CODE_CANCELLED},        {ZRK_INTERNAL, MSG_CODE_INTERNAL},
    };
    if (code == 0) return CString();
    CString text;
    bool found = false;
    for (const CodeMsg& entry : kTable) {
        if (entry.code == code) {
            text = ZrkMessageText(entry.msgId);
            found = true;
            break;
        }
    }
    if (!found) text.FormatId(MSG_CODE_ERROR_NUMBER, code);
    if (!text.IsEmpty()) {
        unsigned char c = static_cast<unsigned char>(text[0]);
        text.SetAt(0, static_cast<char>(capitalise ? std::toupper(c) : std::tolower(c)));
    }
    return text;
}

namespace {
int g_verbose = -1;
}

void ZrkForgetVerboseSetting() { g_verbose = -1; }

int ZrkInternalError(const char* file, int line) {
    // An internal error raised while one is being reported (its text missing
    // from the loaded messages, a formatting limit) is not reported again:
    // every report would raise the next one.
    static thread_local bool t_reporting = false;
    if (t_reporting) return ZRK_INTERNAL;
    struct Reporting {
        Reporting() { t_reporting = true; }
        ~Reporting() { t_reporting = false; }
    } reporting;

    // "Verbose" is read once and kept for the life of the process.
    int& verbose = g_verbose;
    if (verbose < 0) {
        verbose = 0;
        if (CProfile* settings = ZrkSettings()) {
            CProfile debug(*settings);
            debug.SetSection("Debug");
            // Read the raw text: a number that does not parse must not come
            // back here through the settings reader.
            CString text = debug.GetText("Verbose", "");
            verbose = std::atoi(text) != 0 ? 1 : 0;
        }
    }
    if (verbose == 0) return ZRK_INTERNAL;
    CString format;
    if (ZrkFindMessageText(MSG_INTERNAL_ERROR, &format))
        return ZrkErrorId(ZRK_INTERNAL, MSG_INTERNAL_ERROR, file, line);
    // A resource file without the text (an empty or a foreign one) still
    // gets the report, in the words the message has in every program.
    MsgIdGuard id(MSG_INTERNAL_ERROR);
    return ZrkReportText(ZRK_KIND_ERROR, ZRK_INTERNAL, nullptr,
                         CString::Printf("Internal error in %s, line %d", file, line));
}

// ---- tasks --------------------------------------------------------------------

int CTask::RequestState(int) { return 0; }
int CTask::OnStart() { return 0; }
int CTask::OnFinish(int result) { return result; }
int CTask::Body() { return 0; }
int CTask::OnAbort() { return 0; }
void CTask::PumpMessages() { zrkos::PumpMessages(); }

int CTask::Run() {
    if (++m_nesting > 1) return 0;
    int r = RequestState(RUNNING);
    if (r != 0) {
        --m_nesting;
        return r;
    }
    EnterBusy();
    m_state = RUNNING;
    r = OnStart();
    if (r == 0) r = Body();
    if (r != 0 && m_state == RUNNING) r = Finish(r);
    LeaveBusy();
    return r;
}

int CTask::Finish(int result) {
    if (m_state == IDLE) return result;
    if (m_nesting < 2) {
        int r = OnFinish(result);
        if (result == 0) result = r;
        r = RequestState(IDLE);
        if (result == 0) result = r;
        m_state = IDLE;
        m_nesting = 0;
        return result;
    }
    --m_nesting;
    return result;
}

int CTask::Abort() {
    int r = RequestState(ABORTING);
    if (r != 0) return r;
    EnterBusy();
    m_state = ABORTING;
    r = OnAbort();
    if (r != 0 && m_state == ABORTING) r = Finish(r);
    LeaveBusy();
    return r;
}

int CTask::Poll() {
    uint32_t now = zrkos::TickCount();
    if (now - m_lastPump > 100) {
        m_lastPump = now;
        PumpMessages();
    }
    return m_state == ABORTING ? ZRK_CANCEL : 0;
}

// ---- framework threads -----------------------------------------------------------

namespace {
std::atomic<int> g_liveThreads{0};
std::atomic<bool> g_stopThreads{false};
}  // namespace

void CFrameworkThreads::Started() { ++g_liveThreads; }
void CFrameworkThreads::Ended() { --g_liveThreads; }
int CFrameworkThreads::Live() { return g_liveThreads.load(); }
bool CFrameworkThreads::StopRequested() { return g_stopThreads.load(); }
void CFrameworkThreads::RequestStop() { g_stopThreads = true; }
void CFrameworkThreads::Reset() {
    g_stopThreads = false;
    g_liveThreads = 0;
}

// ---- out of memory ---------------------------------------------------------------

namespace {
bool g_oomBox = false;

void OutOfMemory() {
    // Returning from the handler makes the allocator try again.
    if (g_oomBox) {
        const char* caption = g_app ? g_app->AppName().c_str() : "ZRK";
        zrkos::MessageBoxTask("ZRK: Out of memory. Close other applications and try again.", caption, 0);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

extern "C" void IgnoreFloatingPointSignal(int) {}
}  // namespace

void ZrkInstallOutOfMemoryHandler(bool showBox) {
    g_oomBox = showBox;
    // The framework's allocations try again a few times at most. No handler
    // for operator new: it would make new retry for ever, and an unattended
    // program must not wait for ever on a request the system never meets.
    ZrkSetOutOfMemoryHandler([](size_t) {
        OutOfMemory();
        return true;
    });
}

// ---- the application object ----------------------------------------------------------

CApp* ZrkApp() { return g_app; }
CProfile* ZrkSettings() { return g_app ? &g_app->Settings() : nullptr; }

CApp::CApp() : m_title("ZRK Application"), m_company("Vendrix") {
    ZrkInstallOutOfMemoryHandler(false);
    std::signal(SIGFPE, IgnoreFloatingPointSignal);
    g_app = this;
}

CApp::~CApp() {
    if (g_app == this) g_app = nullptr;
}

int CApp::Init(const char* commandLine) {
    zrkos::QuietErrorBoxes();
    m_commandLine = commandLine ? commandLine : "";
    m_modulePath = zrkos::ModulePath();
    m_moduleDir = CFile::DirPart(m_modulePath);
    m_moduleBase = CFile::BaseName(m_modulePath);
    m_appName = m_moduleBase;

    // The platform facts, once, for every part of the program.
    ZrkSetPlatform(ZrkPlatformFromSystem());

    if (m_iniName.IsEmpty()) m_iniName = m_moduleBase + ".ini";
    m_settings.SetFile(m_iniName);
    if (m_iniName2.IsEmpty()) m_iniName2 = m_iniName;

    m_settings.SetSection("Debug");
    CString::SetNoShare(m_settings.GetInt("NoShareStr", 0) != 0);
    m_noTimer = m_settings.GetInt("NoTimer", 0) != 0;

    m_settings.SetSection("Option");
    m_service = static_cast<int>(m_settings.GetInt("Service", 0));

    {
        CProfile intl("win.ini", "intl");
        CString sep = intl.GetText("sList", ",");
        m_listSeparator = sep.IsEmpty() ? ',' : sep[0];
    }

    m_settings.SetSection("Debug");
    CString defaultLog = CFile::MakePath(CFile::DirPart(CFile::TempName(nullptr, nullptr)), m_appName, "log");
    m_logFileName = m_settings.GetText("LogFileName", defaultLog);
    m_logFileMask = static_cast<unsigned>(m_settings.GetInt("LogFileMask", 0));
    m_logScreenMask = static_cast<unsigned>(m_settings.GetInt("LogScreenMask", 7));
    if (m_settings.GetInt("QvtLog", 0) != 0) m_logFileMask |= ZRK_KIND_QVTLOG;

    int r = ZrkStartModules();
    int own = InitInstance();
    return r != 0 ? r : own;
}

int CApp::Dispatch(int kind, int code, const char* caption, const char* message) {
    if ((kind & (ZRK_KIND_ERROR | ZRK_KIND_WARNING)) == 0) {
        int poll = Poll();
        if (code == 0) code = poll;
    }
    CTimeEx now = CTimeEx::Now(false);
    int r = LogWrite(kind, code, now, caption, message);
    if ((kind & ZRK_KIND_QVTLOG) == 0) r = ScreenReport(kind, code, now, caption, message);
    return code != 0 ? code : r;
}

int CApp::LogWrite(int kind, int code, const CTimeEx& time, const char*, const char* message) {
    if ((static_cast<unsigned>(kind) & (m_logFileMask | m_logScreenMask)) == 0) return code;
    if (m_logFileName.IsEmpty() || (static_cast<unsigned>(kind) & m_logFileMask) == 0) return code;

    // One report is one line: cut long messages and fold line breaks.
    CString text(message);
    if (text.Length() >= 2049) {
        text = text.Left(2048).ToString();
        text.Append("...");
    }
    FoldLineBreaks(text);

    CString stamp = time.Format("%4Y/%2M/%2D %2H:%2N:%2.3S");
    CTextFile log;
    if (log.Open(m_logFileName, "a", false) == 0) {
        log.WriteFormat("%s\t%d\t%d\t%s\n", stamp.c_str(), 0, kind, text.c_str());
        log.Close(false);
    }
    return code;
}

int CApp::ExitApp(int exitCode) {
    // Ask the framework's other threads to stop and give them 30 seconds.
    CFrameworkThreads::RequestStop();
    for (int i = 0; i < 30 && CFrameworkThreads::Live() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::seconds(1));

    if (!m_errorsShown && exitCode != 0 && exitCode != ZRK_CANCEL && exitCode != ZRK_ABANDON)
        ZrkReportText(ZRK_KIND_ERROR, exitCode, nullptr, ZrkCodeText(exitCode, true));
    ShowCollectedErrors();
    m_errorsShown = false;
    return 0;
}

int CApp::StartProcess(const char* commandLine, const char* dir, bool wait, bool report, unsigned long* exitCode) {
    CString line(commandLine);
    CString program, args;
    // The program part ends at the first blank; a quoted program name may
    // hold blanks.
    if (line.Length() > 0 && line[0] == '"') {
        int close = line.Find('"', 1);
        if (close < 0) close = line.Length();
        program = line.Mid(1, close - 1).ToString();
        args = line.Mid(close + 1).ToString();
    } else {
        int blank = line.Find(' ');
        program = blank < 0 ? line : line.Left(blank).ToString();
        if (blank >= 0) args = line.Mid(blank + 1).ToString();
    }
    args.Trim();
    CString ext = CFile::Extension(program);
    const bool url = program.Find("://") >= 0;
    bool createProcess = ext.IsEmpty() && !url;
    if (!url) {
        static const char* const kPrograms[] = {"exe", "com", "bat", "pif", "cmd"};
        for (const char* p : kPrograms)
            if (ext.CompareNoCase(p) == 0) createProcess = true;
    }
    const char* workDir = (dir && *dir) ? dir : nullptr;
    int r;
    if (createProcess) {
        r = zrkos::StartProcess(line, workDir, wait, exitCode);
    } else {
        r = zrkos::ShellOpen(program, args.IsEmpty() ? nullptr : args.c_str(), workDir);
    }
    if (r != 0) {
        r = ZRK_FAIL;
        if (report) ZrkErrorId(r, MSG_START_FAILED, commandLine, zrkos::LastSystemError());
    }
    return r;
}

// ---- the console program's screen reporter ----------------------------------------------

CConsoleApp::CConsoleApp() { ZrkSetConsoleNumbering(true); }

void CConsoleApp::PrintLine(const char* text) {
    CString line(text);
    line.ToOem();
    std::printf("%s", line.c_str());
    std::fflush(stdout);
}

int CConsoleApp::ScreenReport(int kind, int code, const CTimeEx&, const char* caption, const char* message) {
    // The installation's progress: a line per report, and one per finished
    // configuration step (caption "Configure", the step's number).
    const bool step = (kind & ZRK_KIND_TRACE) && caption != nullptr && std::strcmp(caption, "Configure") == 0;
    const bool prints = (kind & (ZRK_KIND_ERROR | ZRK_KIND_WARNING | ZRK_KIND_INFO | ZRK_KIND_PROGRESS)) != 0 ||
                        step || ((kind & ZRK_KIND_TRACE) && m_verbose);
    if (!prints) return code;
    if (m_progressPending) {
        PrintLine("\n");
        m_progressPending = false;
    }
    CString line;
    if (kind & ZRK_KIND_ERROR) {
        line.Format("%s\n", message);
        SetErrorsShown(true);
    } else if (kind & ZRK_KIND_WARNING) {
        line.Format("Warning: %s\n", message);
    } else if (step) {
        line.Format("%s: step %s of 7 done\n", caption, message);
    } else {
        line.Format("%s\n", message);
    }
    PrintLine(line);
    return code;
}

// ---- the interactive program's screen reporter -------------------------------------------

CString CWizardApp::TraceFileName() const {
    return CFile::MakePath(CFile::DirPart(CFile::TempName(nullptr, nullptr)), AppName(), "log");
}

int CWizardApp::ScreenReport(int kind, int code, const CTimeEx& time, const char*, const char* message) {
    int r = 0;
    if (kind & ZRK_KIND_ERROR) {
        m_errors.push_back(ErrorItem{CString(message), time.Format("%4Y/%2M/%2D %2H:%2N:%2S")});
    } else if (kind & (ZRK_KIND_WARNING | ZRK_KIND_TRACE)) {
        if (Logging()) {
            CTextFile trace;
            r = trace.Open(TraceFileName(), "a", false);
            if (r == 0) {
                CString line(message);
                FoldLineBreaks(line);
                trace.WriteFormat("%s\t%s\n", time.Format("DateTime").c_str(), line.c_str());
                r = trace.Close(false);
            }
        }
    } else if (kind & (ZRK_KIND_INFO | ZRK_KIND_PROGRESS)) {
        m_status.Format("%s...", message);
    }
    if (State() == RUNNING) zrkos::PumpMessages();
    return code != 0 ? code : r;
}

void CWizardApp::ShowCollectedErrors() {
    if (m_errors.empty()) return;
    // Until the wizard's own error list window exists, the errors are shown
    // in one message box.
    CString text;
    for (const ErrorItem& e : m_errors) {
        if (!text.IsEmpty()) text.Append("\n");
        text.Append(e.message);
    }
    zrkos::MessageBoxTask(text, AppName(), 1);
    m_errors.clear();
}

// ---- entries and shut-down -------------------------------------------------------------------

int ZrkShutdown(CApp* app, int exitCode) {
    int r = 0;
    if (app) ZRK_KEEP(r, app->ExitApp(exitCode));
    ZRK_KEEP(r, ZrkStopModules(true));
    delete app;
    ZRK_KEEP(r, ZrkStopModules(false));
    ZrkReleaseProgramResources();
    zrkos::TimerShutdown();
    return r;
}

static int RunProgram(const char* commandLine, ZrkAppCreator create) {
    int r = ZrkLoadProgramResources(zrkos::ModulePath());
    if (r != 0) return r;
    CApp* app = create();
    r = app->Init(commandLine);
    if (r == 0) {
        r = app->Run();
        if (app->State() == CTask::RUNNING) r = app->Finish(r);
    }
    int down = ZrkShutdown(app, r);
    return r != 0 ? r : down;
}

int ZrkConsoleMain(int argc, char** argv, ZrkAppCreator create) {
    ZrkSetConsoleNumbering(true);
    CString line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line.Append(' ');
        line.Append(argv[i]);
    }
    return RunProgram(line, create);
}

int ZrkWizardMain(const char* commandLine, int, ZrkAppCreator create) {
    ZrkSetConsoleNumbering(false);
    ZrkInstallOutOfMemoryHandler(true);
    return RunProgram(commandLine, create);
}
