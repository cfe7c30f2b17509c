// The console setup driver: installs or removes a product without a user,
// answers the session's questions from an answer file, prints its progress
// and errors on the console and leaves a status file for a
// software-distribution system.
//
// Command line (values in apostrophes: -u:'C:\Program Files\App\setup.log'):
//   -i:<setup.inf>  the installation description (default: setup.inf in the
//                   current directory)
//   -u:<setup.log>  uninstall: an uninstall record, or empty to remove the
//                   installed copy of the product that the description names
//   -a:<setup.ans>  the answer file (section [Install])
//   -sms            write the status file into the Windows directory
//   -n -nc -ns      ask the network question; client; server installation
// Relative paths are taken against the description's directory.
//
// An uninstallation first relaunches the program from a copy in the
// temporary directory (the copy's name begins with the next letter: setup
// becomes tetup), so that the installed program's directory can be deleted.
#pragma once

#include "zrk/app.h"
#include "zrk/cstring.h"

class InstallSession;

// The engine calls the driver makes, in the order it makes them. The
// installation session answers them in the program (SessionEngine below);
// tests script them.
class QuietEngine {
public:
    virtual ~QuietEngine() = default;
    virtual void SetAnswerProfile(const char* path) = 0;
    virtual void SetNetworkSwitches(bool ask, bool client, bool server) = 0;
    virtual void SetRemoveInstalledCopy(bool on) = 0;
    virtual void SetUninstallDirection(bool uninstall) = 0;
    virtual int LoadDescription(const char* path) = 0;
    virtual int PrepareInstallation(CString* recordPath) = 0;
    virtual int RunEngineTask() = 0;
    virtual int StartPrograms() = 0;
    virtual int RebootQuestion(bool* restart) = 0;
    virtual int LoadRecord(const char* path) = 0;
    virtual int PrepareUninstallation() = 0;
    // Reinstall, modify or add packages: a cancelled installation of such a
    // run leaves the installed copy alone.
    virtual bool ChangesInstalledCopy() const = 0;
    virtual CString ProductName() const = 0;
    virtual CString ProductShortName() const = 0;
    virtual int ShowNotice(const char* message) = 0;
    // 1 for yes.
    virtual int AskYesNo(const char* message) = 0;
};

// The installation session as the driver's engine.
class SessionEngine : public QuietEngine {
public:
    explicit SessionEngine(InstallSession& session) : m_session(session) {}
    void SetAnswerProfile(const char* path) override;
    void SetNetworkSwitches(bool ask, bool client, bool server) override;
    void SetRemoveInstalledCopy(bool on) override;
    void SetUninstallDirection(bool uninstall) override;
    int LoadDescription(const char* path) override;
    int PrepareInstallation(CString* recordPath) override;
    int RunEngineTask() override;
    int StartPrograms() override;
    int RebootQuestion(bool* restart) override;
    int LoadRecord(const char* path) override;
    int PrepareUninstallation() override;
    bool ChangesInstalledCopy() const override;
    CString ProductName() const override;
    CString ProductShortName() const override;
    int ShowNotice(const char* message) override;
    int AskYesNo(const char* message) override;

private:
    InstallSession& m_session;
};

// ---- the pieces of a run, each on its own ------------------------------------------------

// PATH made absolute against BASEDIR (a directory with its trailing
// backslash); an absolute PATH is only normalised.
CString QuietResolvePath(const char* path, const char* baseDir);
// The full, long form of PATH (every component's long name where the file
// system has one) for comparisons; PATH itself where it cannot be found.
CString QuietCanonicalPath(const char* path);
// Whether A and B name the same file or directory: their canonical forms
// compared without regard to case.
bool QuietSamePath(const char* a, const char* b);

// The relaunched copy of MODULEPATH in TEMPDIR: the program's file name
// with its first character's code increased by one.
CString QuietCopyName(const char* modulePath, const char* tempDir);
// The copy's command line: its path in double quotes, then COMMANDLINE;
// with ADDDESCRIPTION the description beside the original program is named
// (-i:'<MODULEDIR>setup.inf'), so that the copy still finds it.
CString QuietRelaunchLine(const char* copyPath, const char* commandLine, bool addDescription,
                          const char* moduleDir);

// The status file's content for STATUS ("SUCCESS" or "FAILED") and
// DESCRIPTION: line feeds become blanks and double quotes single quotes, so
// that the description is one quoted line.
CString QuietStatusText(const char* status, const char* description);
// The status file in WINDOWSDIR named after the product's SHORTNAME
// ("setup.mif" without one).
CString QuietStatusPath(const char* windowsDir, const char* shortName);
// Writes TEXT to PATH whole or not at all: into a temporary file beside it
// that then replaces PATH. 0, or the failure's result after its report.
int QuietWriteWhole(const char* path, const char* text);

// ---- the driver ------------------------------------------------------------------------

class QuietDriver {
public:
    // MODULEPATH: the running program (the relaunch copies it).
    QuietDriver(QuietEngine& engine, const char* modulePath);
    virtual ~QuietDriver() = default;

    // The report hook: counts the errors of the run and keeps the first
    // one's text for the status file.
    void NoteReport(int kind, const char* message);

    // One run with COMMANDLINE: 0 when no error was reported, 1 when one
    // was (a non-zero result that reached the driver unreported is
    // reported here), the parser's result for a bad command line, 0 after
    // starting the relaunched copy.
    int Run(const char* commandLine);

    int ErrorCount() const { return m_errors; }
    const CString& FirstError() const { return m_firstError; }
    // "installation" or "uninstallation": what the run's last engine step did.
    const char* DirectionWord() const { return m_uninstalled ? "uninstallation" : "installation"; }

protected:
    // The system operations a test replaces.
    virtual CString WindowsDir();
    virtual CString TempDir();
    virtual int StartCopy(const char* commandLine);
    virtual int Restart();

private:
    struct Options;
    int Install(const Options& o, CString* record);
    int Uninstall(const CString& record);
    int RunTask(bool uninstall);
    // Reports RESULT once when no error was reported during the run.
    int ReportUnreported(int result);
    // 0 to go on (this is the copy), 1 when the copy was started, else the
    // failure's result.
    int Relaunch(const Options& o);
    int RegisterCopy(const char* from, const char* to);
    CString StatusPath();
    int WriteStatus();

    QuietEngine& m_engine;
    CString m_modulePath;
    CString m_commandLine;
    CString m_descDir;
    CString m_firstError;
    int m_errors = 0;
    bool m_uninstalled = false;
};

// The console program's application object: its run operation is the
// driver, its reporter feeds the driver's report hook.
CApp* CreateQuietInstApp();
