// The application object: report dispatch, the log writer, screen
// reporters, settings, internal errors, final error report, tasks, modules,
// processes.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>

#include "testutil.h"
#include "zrk/app.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/resfile.h"
#include "zrk/timer.h"

namespace {

class TestConsoleApp : public CConsoleApp {
public:
    std::string printed;
    int RunApp() override { return 0; }

protected:
    void PrintLine(const char* text) override { printed += text; }
};

class TestWizardApp : public CWizardApp {
public:
    int RunApp() override { return 0; }
};

// Every test leaves the process as it found it: no application, wizard
// numbering.
class AppTest : public ::testing::Test {
protected:
    void TearDown() override {
        ZrkSetConsoleNumbering(false);
        ASSERT_EQ(ZrkApp(), nullptr) << "a test left its application object alive";
    }
    ScratchDir scratch;
};

// The lines of a log: (kind, message) of each.
std::vector<std::pair<std::string, std::string>> LogLines(const std::string& text) {
    std::regex line(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3}\t0\t(\d+)\t([^\r\n]*)\r?\n)");
    std::vector<std::pair<std::string, std::string>> seen;
    for (std::sregex_iterator it(text.begin(), text.end(), line), end; it != end; ++it)
        seen.emplace_back((*it)[1], (*it)[2]);
    return seen;
}

TEST_F(AppTest, LogLinesHaveTheTimeSourceKindAndMessage) {
    TestConsoleApp app;
    CString log = scratch.Path("app.log");
    app.SetLogFileName(log);
    app.SetLogFileMask(ZRK_KIND_ERROR | ZRK_KIND_INFO);

    EXPECT_EQ(ZrkErrorId(ZRK_FAIL, MSG_CODE_FAILED), ZRK_FAIL);
    ZrkInfo("copied %d files", 3);
    ZrkWarningId(MSG_CODE_FAILED);  // warnings are not in the mask
    ZrkTrace("not logged");

    std::string text = ReadAll(log);
    auto seen = LogLines(text);
    ASSERT_EQ(seen.size(), 2u) << text;
    EXPECT_EQ(seen[0], std::make_pair(std::string("1"), std::string("operation failed")));
    EXPECT_EQ(seen[1], std::make_pair(std::string("4"), std::string("copied 3 files")));
}

// One report is one line of the log and of the wizard's trace file,
// whatever line breaks its text holds; the log cuts long messages.
TEST_F(AppTest, OneReportIsOneLogLine) {
    TestWizardApp app;
    app.SetAppName(CString::Printf("zrktrace%d", static_cast<int>(zrkos::TickCount() % 100000)));
    app.SetLogging(true);
    const CString log = scratch.Path("cut.log"), trace = app.TraceFileName();
    app.SetLogFileName(log);
    app.SetLogFileMask(ZRK_KIND_TRACE);
    struct Case {
        std::string message;
        std::string logged;  // in both files unless cut
    } cases[] = {
        {"first\r\nsecond", "first\\nsecond"},
        {"usage:\n  -a\n  -b\n", "usage:\\n  -a\\n  -b\\n"},  // the program's own texts use LF
        {"lone\rCR", "lone\\nCR"}, {"\n\r\r\n", "\\n\\n\\n"},
        {std::string(2049, 'b'), std::string(2048, 'b') + "..."}, {std::string(2048, 'c'), std::string(2048, 'c')},
    };
    for (const Case& c : cases) {
        zrkos::Remove(log);
        zrkos::Remove(trace);
        ZrkTrace("%s", c.message.c_str());
        auto seen = LogLines(ReadAll(log));
        ASSERT_EQ(seen.size(), 1u) << c.message.substr(0, 20);
        EXPECT_EQ(seen[0].second, c.logged);
        if (c.message.size() >= 2048) continue;
        std::string traced = ReadAll(trace);
        EXPECT_EQ(traced.substr(traced.find('\t') + 1), c.logged + "\r\n");
    }
    zrkos::Remove(trace);
}

TEST_F(AppTest, ConsoleReporterPrintsByKind) {
    TestConsoleApp app;
    ZrkErrorId(ZRK_FAIL, MSG_CODE_FAILED);
    ZrkWarningId(MSG_CODE_FAILED);
    ZrkInfo("info %s", "line");
    ZrkTrace("hidden trace");
    ZrkReport(ZRK_KIND_PROGRESS, 0, nullptr, "progress");
    ZrkReport(ZRK_KIND_TRACE, 0, "Configure", "3");
    ZrkReport(ZRK_KIND_TRACE, 0, "Install", "hidden file progress");
    ZrkReport(64, 0, nullptr, "log only");
    EXPECT_EQ(app.printed,
              "operation failed\nWarning: operation failed\ninfo line\nprogress\nConfigure: step 3 of 7 done\n");
    EXPECT_TRUE(app.ErrorsShown());

    app.printed.clear();
    app.SetVerbose(true);
    app.SetProgressPending(true);
    ZrkTrace("shown trace");
    EXPECT_EQ(app.printed, "\nshown trace\n");
}

TEST_F(AppTest, ReportScopesTakeOverAndNest) {
    TestConsoleApp app;
    {
        CRecordingScope outer;
        {
            CReportScope silent;  // drops, but the code still comes back
            EXPECT_EQ(ZrkErrorId(ZRK_FAIL, MSG_CODE_FAILED), ZRK_FAIL);
        }
        EXPECT_EQ(ZrkErrorId(-57, MSG_CODE_ERROR_NUMBER, 12), -57);
        ASSERT_EQ(outer.entries.size(), 1u);
        EXPECT_EQ(outer.entries[0].kind, ZRK_KIND_ERROR);
        EXPECT_EQ(outer.entries[0].code, -57);
        EXPECT_EQ(outer.entries[0].msgId, MSG_CODE_ERROR_NUMBER);
        EXPECT_EQ(outer.entries[0].text, "error 12");
    }
    EXPECT_EQ(app.printed, "");
}

TEST_F(AppTest, FinalErrorReport) {
    struct Case { int code; bool alreadyShown; std::string printed; } cases[] = {
        {0, false, ""}, {ZRK_CANCEL, false, ""}, {ZRK_ABANDON, false, ""}, {ZRK_FAIL, false, "Operation failed\n"},
        {ZRK_INTERNAL, false, "Internal error\n"}, {-77, false, "Error -77\n"}, {ZRK_FAIL, true, ""},
    };
    for (const Case& c : cases) {
        TestConsoleApp app;
        app.SetErrorsShown(c.alreadyShown);
        app.ExitApp(c.code);
        EXPECT_EQ(app.printed, c.printed) << c.code;
        EXPECT_FALSE(app.ErrorsShown());
    }
    EXPECT_EQ(ZrkCodeText(ZRK_FAIL, false), "operation failed");
    EXPECT_EQ(ZrkCodeText(0, true), "");
}

TEST_F(AppTest, PlatformFromVersion) {
    struct Case { uint32_t version; bool windows; int platform; int shell; } cases[] = {
        {0x80000A03u, true, 1, 31},  // Windows 3.1 with the Win32 layer
        {0xC0000004u, true, 2, 95},  // Windows 95
        {0x0565000Au, true, 3, 95},  // hypothetical NT 10
        {0x05650004u, true, 3, 95},  // NT 4
        {0x0A280105u, true, 3, 95},  // XP: not a 3.x shell
        {0x04210003u, true, 3, 31},  // NT 3.51
        {0u, false, 4, 95},          // POSIX
    };
    for (const Case& c : cases) {
        int platform = 0, shell = 0;
        ZrkPlatformFromVersion(c.version, c.windows, &platform, &shell);
        EXPECT_EQ(platform, c.platform) << std::hex << c.version;
        EXPECT_EQ(shell, c.shell) << std::hex << c.version;
    }
}

TEST_F(AppTest, HomeDirectoryFromEnvironmentIsBounded) {
    EXPECT_EQ(ZrkHomeFromEnvironment("C:", "\\Users\\me"), "C:\\Users\\me");
    EXPECT_EQ(ZrkHomeFromEnvironment("D:\\ignored", "\\x"), "D:\\x");
    EXPECT_EQ(ZrkHomeFromEnvironment(nullptr, nullptr), "");
    std::string longPath(5000, 'p');
    CString home = ZrkHomeFromEnvironment(std::string(3000, 'd').c_str(), longPath.c_str());
    EXPECT_EQ(home.Length(), 2 + 5000);
}

// Settings read through Init, with and without a settings file.
TEST_F(AppTest, SettingsAndTheirDefaults) {
    zrkos::SetEnv("ZRKCFGDIR", scratch.Dir());
    ASSERT_TRUE(WriteAll(scratch.Path("zrkset.ini"),
                         "[Debug]\r\nLogFileMask=3\r\nLogScreenMask=12abc\r\nQvtLog=1\r\nLogFileName=x.log\r\n"
                         "[Option]\r\nService=5\r\n"));
    struct Case { const char* ini; unsigned fileMask, screenMask; int service; } cases[] = {
        {"zrk-no-such-settings.ini", 0, 7, 0},
        {"zrkset.ini", 3u | 0x1E0u, 12, 5},  // "12abc" reads as 12
    };
    for (const Case& c : cases) {
        TestConsoleApp app;
        app.PresetIniName(c.ini);
        EXPECT_EQ(app.Init("a b"), 0);
        EXPECT_EQ(app.LogFileMask(), c.fileMask) << c.ini;
        EXPECT_EQ(app.LogScreenMask(), c.screenMask) << c.ini;
        EXPECT_EQ(app.ServiceFlag(), c.service) << c.ini;
        EXPECT_EQ(app.CommandLine(), "a b");
        // Found or not, the settings file is named after ZRKCFGDIR.
        EXPECT_EQ(app.Settings().File(), scratch.Path(c.ini));
        ZrkStopModules(false);
    }
    zrkos::SetEnv("ZRKCFGDIR", nullptr);
}

TEST_F(AppTest, ProfileReadWriteAndIntegers) {
    CProfile profile(scratch.Path("p.ini"), "Sec");
    EXPECT_EQ(profile.WriteText("Name", "value"), 0);
    EXPECT_EQ(profile.WriteInt("Count", -42), 0);
    EXPECT_EQ(profile.WriteText("Bad", "abc"), 0);
    EXPECT_EQ(profile.GetText("name"), "value");  // keys ignore case
    EXPECT_EQ(profile.GetInt("Count", 0), -42);
    int result = 0;
    EXPECT_EQ(profile.GetInt("Bad", 7, &result), 7);
    EXPECT_EQ(result, ZRK_INTERNAL);
    EXPECT_EQ(profile.GetInt("Missing", 9), 9);

    CStringList keys;
    EXPECT_EQ(profile.ReadKeys(keys), 0);
    EXPECT_EQ(Str(keys.Join(",")), "Name,Count,Bad");

    EXPECT_EQ(profile.DeleteKey("Name"), 0);
    EXPECT_EQ(profile.GetText("Name", "gone"), "gone");
    EXPECT_EQ(profile.DeleteSection(), 0);
    EXPECT_EQ(profile.GetInt("Count", 1), 1);
}

TEST_F(AppTest, SettingsSearchFindsEachPlaceInOrder) {
    // The current directory, the home directory, ZRKCFGDIR, the program's
    // directory and its parent, each winning over the later ones: the file
    // is put in each place from the last to the first.
    ScratchDir cwd, home, cfg;
    const char* name = "zrk-search-test.ini";
    CString savedCwd = zrkos::CurrentDir();
    ASSERT_EQ(zrkos::ChangeDir(cwd.Dir()), 0);
    ZrkPlatformFacts facts = ZrkPlatform();
    facts.home = home.Dir();
    CPlatformScope platform(facts);
    zrkos::SetEnv("ZRKCFGDIR", cfg.Dir());

    CString found;
    EXPECT_NE(ZrkSearchSettingsFile(name, &found), 0);
    const CString places[] = {zrkos::FullPath(ZrkModuleDir() + "..\\" + name), ZrkModuleDir() + name,
                              cfg.Path(name), home.Path(name), cwd.Path(name)};
    for (const CString& place : places) {
        ASSERT_TRUE(WriteAll(place, "")) << place.c_str();
        EXPECT_EQ(ZrkSearchSettingsFile(name, &found), 0);
        EXPECT_EQ(found.CompareNoCase(place), 0) << found.c_str() << " for " << place.c_str();
    }
    for (const CString& place : places) zrkos::Remove(place);

    zrkos::ChangeDir(savedCwd);
    zrkos::SetEnv("ZRKCFGDIR", nullptr);
}

TEST_F(AppTest, InternalErrorsAreSilentUnlessVerbose) {
    {
        // Without an application "Verbose" reads as 0.
        ZrkForgetVerboseSetting();
        CRecordingScope rec;
        EXPECT_EQ(ZRK_INTERNAL_ERROR(), ZRK_INTERNAL);
        EXPECT_EQ(rec.Count(), 0);
    }
    TestConsoleApp app;
    app.Settings().SetFilePath(scratch.Path("verbose.ini"));
    app.Settings().SetSection("Option");
    CProfile debug(scratch.Path("verbose.ini"), "Debug");
    ASSERT_EQ(debug.WriteText("Verbose", "1"), 0);
    ZrkForgetVerboseSetting();
    const std::string where = std::string("Internal error in ") + __FILE__ + ", line ";
    {
        CRecordingScope rec;
        const int line = __LINE__ + 1;
        EXPECT_EQ(ZRK_INTERNAL_ERROR(), ZRK_INTERNAL);
        ASSERT_EQ(rec.entries.size(), 1u);
        EXPECT_EQ(rec.entries[0].msgId, MSG_INTERNAL_ERROR);
        EXPECT_EQ(rec.entries[0].code, ZRK_INTERNAL);
        EXPECT_EQ(rec.entries[0].text, where + std::to_string(line));
    }
    // The value is kept: changing the file does not matter any more.
    ASSERT_EQ(debug.WriteText("Verbose", "0"), 0);
    {
        CRecordingScope rec;
        ZRK_INTERNAL_ERROR();
        EXPECT_EQ(rec.Count(), 1);
    }
    EXPECT_EQ(app.Settings().Section(), "Option");  // the application's section is left alone

    // Loaded texts without the internal error's own (an empty resource
    // file): the report still comes, once, in its usual words; a text
    // missing from them is one such report.
    ZrkResourceImage().Assign("", 0);
    {
        CRecordingScope rec;
        const int line = __LINE__ + 1;
        EXPECT_EQ(ZRK_INTERNAL_ERROR(), ZRK_INTERNAL);
        EXPECT_EQ(ZrkMessageText(MSG_CODE_FAILED), "");
        ZrkReleaseProgramResources();
        ASSERT_EQ(rec.entries.size(), 2u);
        EXPECT_EQ(rec.entries[0].msgId, MSG_INTERNAL_ERROR);
        EXPECT_EQ(rec.entries[0].code, ZRK_INTERNAL);
        EXPECT_EQ(rec.entries[0].text, where + std::to_string(line));
        EXPECT_EQ(rec.entries[1].msgId, MSG_INTERNAL_ERROR);
        EXPECT_NE(rec.entries[1].text.find("resfile.cpp"), std::string::npos) << rec.entries[1].text;
    }
    ZrkForgetVerboseSetting();
}

TEST_F(AppTest, TimersFireThroughTheTimerWindow) {
    struct Counting : CTimer {
        explicit Counting(long ms) : CTimer(ms) {}
        void OnElapsed() override { ++fired; }
        int fired = 0;
    };
    Counting fast(20), slow(100000);
    EXPECT_EQ(fast.Start(), 0);
    EXPECT_EQ(slow.Start(), 0);
    EXPECT_EQ(CTimer::Count(), 2);
    int64_t until = CTimer::NowMs() + 5000;
    while (fast.fired < 3 && CTimer::NowMs() < until) {
        zrkos::PumpMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(fast.fired, 3);
    EXPECT_EQ(slow.fired, 0);
    fast.Stop();
    slow.Stop();
    EXPECT_EQ(CTimer::Count(), 0);
    zrkos::TimerShutdown();
}

// Task states: run, nested run, finish, abort and the state-change veto.
class RecordingTask : public CTask {
public:
    std::string calls;
    int bodyResult = 0, veto = -1;

protected:
    int RequestState(int s) override {
        calls += "R" + std::to_string(s);
        return s == veto ? ZRK_FAIL : 0;
    }
    int OnStart() override {
        calls += "S";
        return 0;
    }
    int OnFinish(int r) override {
        calls += "F";
        return r;
    }
    int Body() override {
        calls += "B";
        if (bodyResult == 1) return Run();  // nested run
        return bodyResult;
    }
    int OnAbort() override {
        calls += "A";
        return ZRK_ABANDON;
    }
};

TEST(Task, StatesAndHooks) {
    struct Case { int bodyResult, veto; bool abort; int result; const char* calls; int state; } cases[] = {
        {0, -1, false, 0, "R1SB", CTask::RUNNING},               // runs until finished
        {-52, -1, false, -52, "R1SBFR0", CTask::IDLE},           // a failing body finishes it
        {0, 1, false, ZRK_FAIL, "R1", CTask::IDLE},              // the state change refused
        {0, -1, true, ZRK_ABANDON, "R1SBR3AFR0", CTask::IDLE},  // aborted
    };
    for (const Case& c : cases) {
        RecordingTask task;
        task.bodyResult = c.bodyResult;
        task.veto = c.veto;
        int r = task.Run();
        if (c.abort) r = task.Abort();
        EXPECT_EQ(r, c.result) << c.calls;
        EXPECT_EQ(task.calls, c.calls);
        EXPECT_EQ(task.State(), c.state) << c.calls;
    }
    RecordingTask nested;
    nested.bodyResult = 1;  // the body runs the task again: returns 0 at once
    EXPECT_EQ(nested.Run(), 0);
    EXPECT_EQ(nested.Nesting(), 2);
    EXPECT_EQ(nested.Finish(0), 0);  // only unwinds one level
    EXPECT_EQ(nested.State(), CTask::RUNNING);
    EXPECT_EQ(nested.Finish(0), 0);
    EXPECT_EQ(nested.calls, "R1SBFR0");
    EXPECT_EQ(nested.State(), CTask::IDLE);

    // Poll says "cancel" while a task is aborting.
    class Stuck : public CTask {
    protected:
        int OnAbort() override { return 0; }
    } stuck;
    EXPECT_EQ(stuck.Poll(), 0);
    stuck.Run();
    stuck.Abort();
    EXPECT_EQ(stuck.Poll(), ZRK_CANCEL);
}

// Modules: created in registration order, two stop passes.
std::string g_moduleLog;
bool g_failSecond = false;

class LogModule : public CModule {
public:
    explicit LogModule(const char* n) : name(n) {}
    ~LogModule() override { g_moduleLog += std::string("~") + name; }
    int Initialise() override {
        g_moduleLog += std::string("+") + name;
        return g_failSecond && std::string(name) == "second" ? -5 : 0;
    }
    int Terminate() override {
        g_moduleLog += std::string("-") + name;
        return 0;
    }
    const char* name;
};

CModuleRegistration g_first("TestFirst", [] { return static_cast<CModule*>(new LogModule("first")); });
CModuleRegistration g_second("TestSecond", [] { return static_cast<CModule*>(new LogModule("second")); },
                             ZRK_MODULE_STOP_EARLY);

TEST(Modules, StartInOrderAndStopInTwoPasses) {
    ZrkStopModules(false);
    g_moduleLog.clear();
    g_failSecond = true;
    EXPECT_EQ(ZrkStartModules(), -5);  // the first failure of any module
    g_failSecond = false;
    EXPECT_NE(g_moduleLog.find("+first+second"), std::string::npos) << g_moduleLog;
    EXPECT_NE(ZrkFindModule("TestFirst"), nullptr);
    EXPECT_EQ(ZrkStartModules(), 0);  // nothing left to create
    g_moduleLog.clear();
    EXPECT_EQ(ZrkStopModules(true), 0);
    EXPECT_EQ(g_moduleLog.find("-first"), std::string::npos) << g_moduleLog;
    EXPECT_NE(g_moduleLog.find("-second~second"), std::string::npos) << g_moduleLog;
    EXPECT_EQ(ZrkFindModule("TestSecond"), nullptr);
    EXPECT_NE(ZrkFindModule("TestFirst"), nullptr);
    g_moduleLog.clear();
    EXPECT_EQ(ZrkStopModules(false), 0);
    EXPECT_NE(g_moduleLog.find("-first~first"), std::string::npos) << g_moduleLog;
    EXPECT_EQ(ZrkFindModule("TestFirst"), nullptr);
}

TEST_F(AppTest, StartProcessReportsFailuresAndWaitsForExitCodes) {
    TestConsoleApp app;
    {
        CRecordingScope rec;
        EXPECT_EQ(app.StartProcess("zrk-no-such-program.exe /x", nullptr, true, true), ZRK_FAIL);
        ASSERT_EQ(rec.entries.size(), 1u);
        EXPECT_EQ(rec.entries[0].msgId, MSG_START_FAILED);
        EXPECT_NE(rec.entries[0].text.find("zrk-no-such-program.exe /x"), std::string::npos);
        EXPECT_EQ(app.StartProcess("zrk-no-such-program.exe", nullptr, true, false), ZRK_FAIL);
        EXPECT_EQ(rec.entries.size(), 1u);  // no report without the switch
    }
    unsigned long exitCode = 0;
    const char* command = zrkos::IsWindows() ? "cmd.exe /c exit 3" : "sh -c 'exit 3'";
    EXPECT_EQ(app.StartProcess(command, scratch.Dir(), true, true, &exitCode), 0);
    EXPECT_EQ(exitCode, 3u);
}

TEST_F(AppTest, WizardCollectsErrorsAndShowsStatus) {
    TestWizardApp app;
    ZrkErrorId(ZRK_FAIL, MSG_CODE_FAILED);
    ZrkInfo("Copying");
    ASSERT_EQ(app.Errors().size(), 1u);
    EXPECT_EQ(app.Errors()[0].message, "operation failed");
    EXPECT_EQ(app.StatusText(), "Copying...");
    app.ClearErrors();
}

}  // namespace
