// The console driver's run against a scripted engine (the session's results
// chosen per case), in scratch directories standing for the Windows and the
// temporary directory; its pieces (paths, copy name, relaunch line, status
// file) on their own. Under Wine: the paths are real Windows paths.
#include "src/quietinst/driver.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/faults.h"
#include "zrk/os/os.h"
#include "zrk/parsers.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

// The engine's results, one per call; what the driver asked for.
struct Script {
    int load = 0, prepare = 0, task = 0, uninstallTask = 0, start = 0, reboot = 0, record = 0, prepareUn = 0;
    bool reportIt = false;        // the failing step reports its failure
    CString recordBack{};         // PrepareInstallation hands back a record
    bool restart = false;         // the reboot question's answer
    int yes = 0;                  // AskYesNo's answer
};

class FakeEngine : public QuietEngine {
public:
    Script s;
    std::string calls;  // one letter per engine call
    CString answer, loaded, recordLoaded;

    void SetAnswerProfile(const char* path) override { answer = path; }
    void SetNetworkSwitches(bool, bool, bool) override {}
    void SetRemoveInstalledCopy(bool) override {}
    void SetUninstallDirection(bool uninstall) override { m_uninstall = uninstall; }
    int LoadDescription(const char* path) override { loaded = path; return Step('L', s.load); }
    int PrepareInstallation(CString* recordPath) override {
        *recordPath = s.recordBack;
        return Step('P', s.prepare);
    }
    int RunEngineTask() override { return m_uninstall ? Step('U', s.uninstallTask) : Step('T', s.task); }
    int StartPrograms() override { return Step('S', s.start); }
    int RebootQuestion(bool* restart) override {
        *restart = s.restart;
        return Step('B', s.reboot);
    }
    int LoadRecord(const char* path) override { recordLoaded = path; return Step('R', s.record); }
    int PrepareUninstallation() override { return Step('Q', s.prepareUn); }
    bool ChangesInstalledCopy() const override { return false; }
    CString ProductName() const override { return "Demo Product"; }
    CString ProductShortName() const override { return loaded.IsEmpty() && recordLoaded.IsEmpty() ? "" : "DEMO"; }
    int ShowNotice(const char*) override { calls += 'N'; return 0; }
    int AskYesNo(const char*) override { calls += 'Y'; return s.yes; }

private:
    int Step(char c, int result) {
        calls += c;
        if (result != 0 && result != ZRK_CANCEL && s.reportIt) return ZrkError(result, "step %c failed", c);
        return result;
    }
    bool m_uninstall = false;
};

// The driver with scratch directories for Windows and temporary files and
// without starting processes or restarting.
class TestDriver : public QuietDriver {
public:
    TestDriver(QuietEngine& e, const char* module, const ScratchDir& dir) : QuietDriver(e, module), m_dir(dir) {}
    CString started;
    int startResult = 0;
    int restarts = 0;
    std::string statusAtRestart;

protected:
    CString WindowsDir() override { return m_dir.Path("win\\"); }
    CString TempDir() override { return m_dir.Path("tmp\\"); }
    int StartCopy(const char* line) override {
        started = line;
        return startResult == 0 ? 0 : ZrkError(startResult, "cannot start");
    }
    int Restart() override {
        ++restarts;
        statusAtRestart = ReadAll(m_dir.Path("win\\DEMO.MIF"));
        return 0;
    }

private:
    const ScratchDir& m_dir;
};

// Records the reports and feeds the driver's report hook, as the console
// application does.
class HookReporter : public CRecordingReporter {
public:
    QuietDriver* driver = nullptr;
    int OnReport(int kind, int code, const char* caption, const char* message) override {
        if (driver) driver->NoteReport(kind, message);
        return CRecordingReporter::OnReport(kind, code, caption, message);
    }
};

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* d : {"win", "tmp", "prog", "disk"}) ASSERT_EQ(CFile::MakeDir(dir.Path(d)), 0);
        ASSERT_TRUE(WriteAll(dir.Path("disk\\setup.inf"), "APPNAME=Demo\n"));
        ASSERT_TRUE(WriteAll(dir.Path("prog\\setup.exe"), "program"));
        ASSERT_TRUE(WriteAll(dir.Path("prog\\setup.res"), "texts"));
        m_oldCwd = zrkos::CurrentDir();
        ASSERT_EQ(zrkos::ChangeDir(dir.Path("disk")), 0);
    }
    void TearDown() override { zrkos::ChangeDir(m_oldCwd); }

    int Run(const char* commandLine, const char* module = nullptr) {
        driver = std::make_unique<TestDriver>(engine, module ? CString(module) : dir.Path("prog\\setup.exe"), dir);
        driver->startResult = startResult;
        reports.driver = driver.get();
        CReportScope scope(&reports);
        return driver->Run(commandLine);
    }
    std::string Status(const char* name = "DEMO.MIF") { return ReadAll(dir.Path(CString("win\\") + name)); }
    std::vector<int> ErrorIds() const {
        std::vector<int> ids;
        for (const auto& e : reports.entries)
            if (e.kind & ZRK_KIND_ERROR) ids.push_back(e.msgId);
        return ids;
    }
    static std::string Crlf(const CString& text) {
        std::string out;
        for (char c : Str(text)) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    }

    ScratchDir dir;
    FakeEngine engine;
    HookReporter reports;
    std::unique_ptr<TestDriver> driver;
    int startResult = 0;
    CString m_oldCwd;
};

TEST_F(DriverTest, AnyFailedStepEndsTheRunWithOneErrorAndStatusFailed) {
    struct Case {
        const char* name;
        Script script;
        const char* calls;
        int msgId;  // the one error of the run (0: the step's own report)
        const char* firstError;
    };
    const Case cases[] = {
        {"load reported", {.load = ZRK_FAIL, .reportIt = true}, "L", 0, "step L failed"},
        {"prepare unreported", {.prepare = ZRK_DESCERR}, "LP", MSG_RUN_ENDED_UNREPORTED.id,
         "The installation ended with result -498 (error -498)"},
        {"prepare cancelled", {.prepare = ZRK_CANCEL}, "LPN", MSG_RUN_CANCELLED.id, "The installation was cancelled"},
        {"task unreported", {.task = ZRK_FAIL}, "LPT", MSG_RUN_ENDED_UNREPORTED.id,
         "The installation ended with result -52 (operation failed)"},
        {"task cancelled, no removal", {.task = ZRK_CANCEL}, "LPTY", MSG_RUN_CANCELLED.id,
         "The installation was cancelled"},
        {"task cancelled, removed", {.task = ZRK_CANCEL, .yes = 1}, "LPTYU", MSG_RUN_CANCELLED.id,
         "The installation was cancelled"},
        {"start programs and reboot", {.start = ZRK_FAIL, .reboot = ZRK_WINERR}, "LPTSB",
         MSG_RUN_ENDED_UNREPORTED.id, "The installation ended with result -52 (operation failed)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        engine = FakeEngine();
        engine.s = c.script;
        reports.entries.clear();
        CFile::RemoveFile(dir.Path("win\\DEMO.MIF"));
        EXPECT_EQ(Run("-sms"), 1);
        EXPECT_EQ(engine.calls, c.calls);
        ASSERT_EQ(ErrorIds(), std::vector<int>{c.msgId});
        EXPECT_EQ(Status(), Crlf(QuietStatusText("FAILED", c.firstError)));
    }
}

TEST_F(DriverTest, StatusNamesTheDirectionThatRan) {
    struct Case {
        const char* commandLine;
        const char* recordBack;
        const char* calls;
        const char* description;
    };
    ASSERT_TRUE(WriteAll(dir.Path("disk\\setup.log"), "record"));
    ASSERT_TRUE(WriteAll(dir.Path("tmp\\setup.exe"), ""));
    const Case cases[] = {
        // -u: finds no installed copy: an installation.
        {"-u: -sms", "", "LPTSB", "Installation of Demo Product successful."},
        // -u:'' finds one: it is removed.
        {"-u:'' -sms", "setup.log", "LPRQU", "Uninstallation of Demo Product successful."},
        // The registered uninstall command with -i installs.
        {"-i:'setup.inf' -u:'setup.log' -sms", "", "LPTSB", "Installation of Demo Product successful."},
        {"-u:'setup.log' -sms", "", "RQU", "Uninstallation of Demo Product successful."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        engine = FakeEngine();
        reports.entries.clear();
        engine.s.recordBack = c.recordBack;
        EXPECT_EQ(Run(c.commandLine, dir.Path("tmp\\setup.exe")), 0);
        EXPECT_EQ(engine.calls, c.calls);
        EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 0) << reports.LastText();
        EXPECT_EQ(Status(), Crlf(QuietStatusText("SUCCESS", c.description)));
    }
    EXPECT_EQ(Str(engine.recordLoaded), Str(dir.Path("disk\\setup.log")));
}

TEST_F(DriverTest, RelativePathsAreTakenAgainstTheDescriptionsDirectory) {
    ASSERT_TRUE(WriteAll(dir.Path("disk\\setup.ans"), "[Install]\n"));
    EXPECT_EQ(Run("-a:'setup.ans'"), 0);
    EXPECT_EQ(Str(engine.answer), Str(dir.Path("disk\\setup.ans")));
    EXPECT_EQ(Str(engine.loaded), Str(dir.Path("disk\\setup.inf")));

    // From elsewhere, with the description named: its directory counts.
    ASSERT_EQ(zrkos::ChangeDir(dir.Path("win")), 0);
    engine = FakeEngine();
    EXPECT_EQ(Run("-i:'..\\disk\\setup.inf' -a:'setup.ans'"), 0);
    EXPECT_EQ(Str(engine.answer), Str(dir.Path("disk\\setup.ans")));

    // A missing answer file: message 300 and no engine step.
    engine = FakeEngine();
    reports.entries.clear();
    EXPECT_EQ(Run("-a:'none.ans' -sms"), 1);
    EXPECT_EQ(engine.calls, "");
    EXPECT_EQ(ErrorIds(), std::vector<int>{MSG_NO_ANSWER_FILE.id});
    EXPECT_NE(Str(driver->FirstError()).find(Str(dir.Path("win\\none.ans"))), std::string::npos);
    EXPECT_EQ(Status("setup.mif"), Crlf(QuietStatusText("FAILED", driver->FirstError())));
}

TEST_F(DriverTest, RelaunchStartsAQuotedCopyThatDoesNotRelaunchAgain) {
    CPlatformScope win32s(ZRK_WIN32S);  // no renames at restart
    struct Case {
        const char* commandLine;
        std::string expectedTail;  // after the copy's quoted path
    };
    const CString desc = CTokenizer::Quote(dir.Path("prog\\setup.inf"));
    const Case cases[] = {
        {"-u:''", " -u:'' -i:" + Str(desc)},
        {"-u:'setup.log' -sms", " -u:'setup.log' -sms"},
        {"-i:'setup.inf' -u:''", " -i:'setup.inf' -u:''"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.commandLine);
        engine = FakeEngine();
        ASSERT_TRUE(WriteAll(dir.Path("win\\DEMO.MIF"), "old"));
        EXPECT_EQ(Run(c.commandLine), 0);
        // With -sms an earlier run's status does not stand for this one
        // while the copy runs.
        EXPECT_EQ(Status() == "old", std::strstr(c.commandLine, "-sms") == nullptr);
        EXPECT_EQ(Str(driver->started), "\"" + Str(dir.Path("tmp\\tetup.exe")) + "\"" + c.expectedTail);
        EXPECT_EQ(ReadAll(dir.Path("tmp\\tetup.exe")), "program");
        EXPECT_EQ(ReadAll(dir.Path("tmp\\tetup.res")), "texts");
    }
}

TEST_F(DriverTest, RelaunchThatFailsEndsTheRunWithStatusFailed) {
    CPlatformScope win32s(ZRK_WIN32S);
    startResult = ZRK_FAIL;
    EXPECT_EQ(Run("-u:'' -sms"), 1);
    EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 1);
    EXPECT_EQ(Status(), Crlf(QuietStatusText("FAILED", "cannot start")));
}

TEST_F(DriverTest, StatusFileIsWrittenBeforeTheRestart) {
    engine.s.restart = true;
    EXPECT_EQ(Run("-sms"), 0);
    EXPECT_EQ(driver->restarts, 1);
    EXPECT_EQ(driver->statusAtRestart, Crlf(QuietStatusText("SUCCESS", "Installation of Demo Product successful.")));
}

TEST(QuietStatus, TextIsOneQuotedLinePerValue) {
    EXPECT_EQ(Str(QuietStatusText("FAILED", "The file \"a\" is\nmissing\r\nhere")),
              "Start Component\nName = \"Workstation\"\nStart Group\nName = \"InstallStatus\"\nID = 1\n"
              "Class = \"MICROSOFT|JOBSTATUS|1.0\"\nStart Attribute\nName = \"Status\"\nID = 1\nType = String(6)\n"
              "Value = \"FAILED\"\nEnd Attribute\nStart Attribute\nName = \"Description\"\nID = 2\n"
              "Type = String(28)\nValue = \"The file 'a' is missing here\"\nEnd Attribute\nEnd Group\nEnd Component\n");
    EXPECT_EQ(Str(QuietStatusPath("C:\\WINDOWS\\", "")), "C:\\WINDOWS\\setup.mif");
    EXPECT_EQ(Str(QuietStatusPath("C:\\WINDOWS\\", "VDVIEW")), "C:\\WINDOWS\\VDVIEW.MIF");
}

TEST(QuietStatus, FileIsReplacedWholeOrNotAtAll) {
    ScratchDir dir;
    const CString path = dir.Path("APP.MIF");
    for (int kind : {ZRK_WIN95, ZRK_WINNT}) {
        SCOPED_TRACE(kind);
        CPlatformScope platform(kind);
        ASSERT_TRUE(WriteAll(path, "old"));
        EXPECT_EQ(QuietWriteWhole(path, "new\n"), 0);
        EXPECT_EQ(ReadAll(path), "new\r\n");
        {
            CRecordingScope reports;
            zrkos::CFaultScope full(zrkos::FaultOp::Write, 1, zrkos::FaultError::DiskFull);
            EXPECT_EQ(QuietWriteWhole(path, "newer\n"), ZRK_FAIL);
            EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 1);
        }
        EXPECT_EQ(ReadAll(path), "new\r\n");
        // Nothing but the status file is left.
        EXPECT_EQ(CFileList(dir.Dir(), "*").Count(), 1);
    }
}

TEST(QuietRelaunch, CopyNameAndPathComparison) {
    EXPECT_EQ(Str(QuietCopyName("C:\\App\\setup.exe", "C:\\TEMP\\")), "C:\\TEMP\\tetup.exe");
    EXPECT_EQ(Str(QuietCopyName("C:\\App\\quietinst.exe", "C:\\TEMP\\")), "C:\\TEMP\\ruietinst.exe");
    ScratchDir dir;
    ASSERT_EQ(CFile::MakeDir(dir.Path("Long Directory Name")), 0);
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(dir.Path("Long Directory Name\\"), shortPath, sizeof shortPath), 0u);
    EXPECT_TRUE(QuietSamePath(shortPath, dir.Path("long directory name")));
    EXPECT_TRUE(QuietSamePath(dir.Path("Long Directory Name\\..\\Long Directory Name\\"), shortPath));
    EXPECT_FALSE(QuietSamePath(dir.Path("Long Directory Name\\"), dir.Dir()));
}

}  // namespace
