// The application object: start-up and shut-down order, settings, message
// texts, reporting into the log and onto the screen, modules, processes.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/module.h"
#include "zrk/platform.h"
#include "zrk/profile.h"
#include "zrk/report.h"
#include "zrk/result.h"

class CTimeEx;

// A long operation with a state: 0 idle, 1 running, 3 aborting.
class CTask {
public:
    enum State { IDLE = 0, RUNNING = 1, ABORTING = 3 };

    virtual ~CTask() = default;

    int Run();
    int Finish(int result);
    int Abort();
    // Lets the interface process pending messages at most every 100 ms;
    // 2 while the task is aborting, else 0.
    int Poll();

    int State() const { return m_state; }
    int Nesting() const { return m_nesting; }

protected:
    // A non-zero result refuses the change to NEWSTATE.
    virtual int RequestState(int newState);
    virtual int OnStart();
    virtual int OnFinish(int result);
    virtual int Body();
    virtual int OnAbort();
    // The interface's busy mode around running and aborting.
    virtual void EnterBusy() {}
    virtual void LeaveBusy() {}
    virtual void PumpMessages();

private:
    int m_state = IDLE;
    int m_nesting = 0;
    uint32_t m_lastPump = 0;
};

class CApp : public CTask {
public:
    CApp();
    ~CApp() override;
    CApp(const CApp&) = delete;
    CApp& operator=(const CApp&) = delete;

    // Initialisation steps: command line, module path, platform, home
    // directory, settings, modules, then the application's own InitInstance.
    int Init(const char* commandLine);
    // The application's run operation (the driver).
    virtual int RunApp() = 0;
    // Asks the framework's other threads to stop, waits for them, and makes
    // the final error report of EXITCODE.
    virtual int ExitApp(int exitCode);

    // Report dispatch: the active report scope, else the log writer (kinds
    // of the log-only group) or the screen reporter.
    int Dispatch(int kind, int code, const char* caption, const char* message);
    // Writes one line to the log file when KIND is in the file mask.
    int LogWrite(int kind, int code, const CTimeEx& time, const char* caption, const char* message);

    // Runs a command line (program, document or URL); see app.cpp.
    int StartProcess(const char* commandLine, const char* dir, bool wait, bool report,
                     unsigned long* exitCode = nullptr);

    CProfile& Settings() { return m_settings; }
    const CString& CommandLine() const { return m_commandLine; }
    const CString& ModulePath() const { return m_modulePath; }
    const CString& ModuleDir() const { return m_moduleDir; }
    const CString& ModuleBaseName() const { return m_moduleBase; }
    const CString& AppName() const { return m_appName; }
    void SetAppName(const char* name) { m_appName = name; }
    const CString& Title() const { return m_title; }
    // A program names itself in its banner with a title of its own.
    void SetTitle(const char* title) { m_title = title; }
    const CString& Company() const { return m_company; }
    // The platform facts the application put in force (zrk/platform.h).
    const CString& HomeDir() const { return ZrkHomeDir(); }
    const CString& IniName() const { return m_iniName; }
    const CString& IniName2() const { return m_iniName2; }
    // Preset before Init to use another settings file name.
    void PresetIniName(const char* name) { m_iniName = name; }
    int Platform() const { return ZrkPlatformKind(); }
    int ShellGeneration() const { return ZrkShellGeneration(); }
    char ListSeparator() const { return m_listSeparator; }
    int ServiceFlag() const { return m_service; }
    const CString& LogFileName() const { return m_logFileName; }
    unsigned LogFileMask() const { return m_logFileMask; }
    unsigned LogScreenMask() const { return m_logScreenMask; }
    void SetLogFileName(const char* name) { m_logFileName = name; }
    void SetLogFileMask(unsigned mask) { m_logFileMask = mask; }
    void SetLogScreenMask(unsigned mask) { m_logScreenMask = mask; }
    bool Logging() const { return m_logging; }
    void SetLogging(bool on) { m_logging = on; }
    bool NoTimer() const { return m_noTimer; }
    // Whether errors were already shown to the user (no final report then).
    bool ErrorsShown() const { return m_errorsShown; }
    void SetErrorsShown(bool shown) { m_errorsShown = shown; }

protected:
    // The task body is the run operation.
    int Body() override { return RunApp(); }
    // The application's own initialisation, after the modules.
    virtual int InitInstance() { return 0; }
    // Shows or prints one report (kinds outside the log-only group).
    virtual int ScreenReport(int kind, int code, const CTimeEx& time, const char* caption,
                             const char* message) = 0;
    // Shows the errors collected for display (wizard).
    virtual void ShowCollectedErrors() {}

private:
    CProfile m_settings;
    CString m_commandLine;
    CString m_modulePath, m_moduleDir, m_moduleBase;
    CString m_appName, m_title, m_company;
    CString m_iniName, m_iniName2;
    CString m_logFileName;
    unsigned m_logFileMask = 0;
    unsigned m_logScreenMask = 7;
    bool m_logging = false;
    bool m_noTimer = false;
    bool m_errorsShown = false;
    int m_service = 0;
    char m_listSeparator = ',';
};

// The console program's application: reports go to the console in the OEM
// code page.
class CConsoleApp : public CApp {
public:
    CConsoleApp();
    bool Verbose() const { return m_verbose; }
    void SetVerbose(bool on) { m_verbose = on; }
    // Starts a progress line that the next printed report ends first.
    void SetProgressPending(bool pending) { m_progressPending = pending; }

protected:
    int ScreenReport(int kind, int code, const CTimeEx& time, const char* caption,
                     const char* message) override;
    // Where console lines go (stdout); tests may redirect.
    virtual void PrintLine(const char* text);

private:
    bool m_verbose = false;
    bool m_progressPending = false;
};

// The interactive program's application: errors are collected for the
// error list; warnings and traces go to a trace file while logging is on.
class CWizardApp : public CApp {
public:
    struct ErrorItem {
        CString message;
        CString time;
    };
    const std::vector<ErrorItem>& Errors() const { return m_errors; }
    void ClearErrors() { m_errors.clear(); }
    // The trace file: temporary directory, application name, "log".
    CString TraceFileName() const;
    // The text shown in the status window titled "Wait".
    const CString& StatusText() const { return m_status; }

protected:
    int ScreenReport(int kind, int code, const CTimeEx& time, const char* caption,
                     const char* message) override;
    void ShowCollectedErrors() override;

private:
    std::vector<ErrorItem> m_errors;
    CString m_status;
};

// The process's application object, or nullptr outside its lifetime.
CApp* ZrkApp();
// The application's settings profile, or nullptr when there is no
// application (callers then use their defaults).
CProfile* ZrkSettings();

// Program entries: load the resource file, create the application object,
// initialise, run, shut down. CREATE makes the program's application.
using ZrkAppCreator = CApp* (*)();
int ZrkConsoleMain(int argc, char** argv, ZrkAppCreator create);
int ZrkWizardMain(const char* commandLine, int show, ZrkAppCreator create);
// The shut-down order; returns the exit result.
int ZrkShutdown(CApp* app, int exitCode);

// Framework threads: counted so that shut-down can ask them to stop and
// wait for them (at most 30 seconds).
class CFrameworkThreads {
public:
    static void Started();
    static void Ended();
    static int Live();
    static bool StopRequested();
    static void RequestStop();
    static void Reset();
};

// Out-of-memory handling of the framework's allocations (ZrkAlloc): shows
// the box (when SHOWBOX) or waits a moment, and lets the allocator retry.
void ZrkInstallOutOfMemoryHandler(bool showBox);
