// Environment variables against the real registry and "c:\autoexec.bat" of
// the test prefix (under Wine), on the platform kinds that treat them
// differently. Values are read back with the plain system calls; every test
// restores the registry values and the autoexec files it touched.
#include "src/winspec/environment.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "src/infstruc/records.h"
#include "src/winspec/raw_registry.h"
#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/faults.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

const char kSystemSub[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

// The text of an expandable string as the registry stores it.
RawValue ExpandString(const std::string& text) { return {true, REG_EXPAND_SZ, text + '\0'}; }

// Keeps a value and puts it back as it was when the test ends.
class SavedValue {
public:
    SavedValue(HKEY root, const char* sub, const char* name)
        : m_root(root), m_sub(sub), m_name(name), m_saved(ReadRaw(root, sub, name)) {}
    ~SavedValue() { WriteRaw(m_root, m_sub.c_str(), m_name.c_str(), m_saved); }

private:
    HKEY m_root;
    std::string m_sub, m_name;
    RawValue m_saved;
};

// The autoexec files of the test prefix: whatever the test leaves is removed.
class AutoexecTest : public ::testing::Test {
protected:
    void SetUp() override { Files(true); }
    void TearDown() override { Files(true); }
    // The autoexec files and temporary files in "c:\" ("name name "); REMOVE
    // deletes them.
    static std::string Files(bool remove = false) {
        std::string names;
        for (const char* pattern : {"autoexec.*", "aex*.tmp"}) {
            CFileList files("c:\\", pattern);
            for (int i = 0; i < files.Count(); ++i) {
                names += Str(CFile::FilePart(files[i])) + " ";
                if (remove) CFile::RemoveFile(files[i]);
            }
        }
        return names;
    }
};

TEST(ExpandPercentVariables, ReferencesExpandedAndListCleaned) {
    CPlatformScope nt(ZRK_WINNT);
    SavedValue a(HKEY_CURRENT_USER, "Environment", "ZRKT_A");
    WriteRaw(HKEY_CURRENT_USER, "Environment", "ZRKT_A", ExpandString("p;;q;p"));
    const struct {
        const char* text;
        int result;
        const char* expanded;
    } cases[] = {
        {"a;b;;a;c", 0, "a;b;c"},
        {"%ZRKT_A%;x;q", 0, "p;q;x"},
        {"x;% ZRKT_A %", 0, "x;p;q"},
        {";%ZRKT_NONE%;y;", 0, "y"},
        {"50%;a", ZRK_BADARG, "50%;a"},
    };
    for (const auto& c : cases) {
        CRecordingScope reports;
        CString text = c.text;
        EXPECT_EQ(ExpandPercentVariables(text, false), c.result) << c.text;
        EXPECT_EQ(Str(text), c.expanded) << c.text;
        ASSERT_EQ(reports.Count(), c.result != 0 ? 1 : 0) << c.text;
        if (c.result != 0) {
            EXPECT_EQ(reports.entries[0].msgId, MSG_ENV_UNCLOSED_REFERENCE.id);
        }
    }
    // Elsewhere the process environment answers.
    CPlatformScope win95(ZRK_WIN95);
    SetEnvironmentVariableA("ZRKT_A", "env");
    CString text = "%ZRKT_A%;z";
    EXPECT_EQ(ExpandPercentVariables(text, true), 0);
    SetEnvironmentVariableA("ZRKT_A", nullptr);
    EXPECT_EQ(Str(text), "env;z");
}

// The destination C:\APP exists while a test runs (its short name is itself).
class AppDir {
public:
    AppDir() { CreateDirectoryA("C:\\APP", nullptr); }
    ~AppDir() { RemoveDirectoryA("C:\\APP"); }
};

// A set whose destination is C:\APP, with the given environment entries.
CSetRecord EnvSet(const std::vector<const char*>& system, const std::vector<const char*>& user) {
    CSetRecord set;
    set.SetDestDir("C:\\APP\\");
    for (const char* e : system) EXPECT_EQ(set.SetKey("SETSYSENV", e), 0);
    for (const char* e : user) EXPECT_EQ(set.SetKey("SETUSERENV", e), 0);
    return set;
}

TEST(Environment, NtPathExtendedOnceAndRestored) {
    CPlatformScope nt(ZRK_WINNT);
    SavedValue path(HKEY_LOCAL_MACHINE, kSystemSub, "PATH");
    SavedValue user(HKEY_CURRENT_USER, "Environment", "ZRKT_USER");
    // Another product's directory that begins like ours.
    const std::string before = "C:\\windows\\system32;C:\\windows;C:\\APP\\bin\\tools";
    WriteRaw(HKEY_LOCAL_MACHINE, kSystemSub, "PATH", ExpandString(before));
    AppDir app;
    CSetRecord set = EnvSet({"PATH, %PATH%;$User$\\bin, ;$User$\\bin"}, {"ZRKT_USER, $User$, $User$"});
    CAutoexecRun run;
    CRecordingScope reports;
    ASSERT_EQ(ApplyEnvironment(set, true, run), 0) << reports.LastText();
    ASSERT_EQ(ApplyEnvironment(set, true, run), 0);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kSystemSub, "PATH"), ExpandString(before + ";C:\\APP\\bin"));
    EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, "Environment", "ZRKT_USER"), ExpandString("C:\\APP"));
    ASSERT_EQ(ApplyEnvironment(set, false, run), 0);
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kSystemSub, "PATH"), ExpandString(before));
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, "Environment", "ZRKT_USER").exists);
    EXPECT_EQ(reports.Count(), 0);
    // Windows NT has no autoexec file to change and needs no restart.
    EXPECT_FALSE(run.changed);
    EXPECT_EQ(Str(set.Reboot()), "");
}

TEST_F(AutoexecTest, Windows95InsertsBeforeWinKeepsOneBackupAndRemovesAgain) {
    CPlatformScope win95(ZRK_WIN95);
    // The machine key exists under Wine: it is written on this kind too.
    SavedValue path(HKEY_LOCAL_MACHINE, kSystemSub, "PATH");
    SavedValue home(HKEY_LOCAL_MACHINE, kSystemSub, "ZRKT_HOME");
    const std::string original =
        "@ECHO OFF\r\nrem boot\r\nPROMPT $p$g\r\nC:\\WINDOWS\\WIN.COM /b\r\nremote.exe /x\r\n";
    ASSERT_TRUE(WriteAll(kAutoexecPath, original));
    // The user entry is a system entry here.
    AppDir app;
    CSetRecord set = EnvSet({"PATH, %PATH%;$User$\\bin, ;$User$\\bin"}, {"ZRKT_HOME, $User$, $User$"});
    CAutoexecRun run;
    CRecordingScope reports;
    ASSERT_EQ(ApplyEnvironment(set, true, run), 0);
    EXPECT_EQ(ReadAll(kAutoexecPath),
              "@ECHO OFF\r\nrem boot\r\nPROMPT $p$g\r\nSET PATH=%PATH%;C:\\APP\\bin\r\nSET ZRKT_HOME=C:\\APP\r\n"
              "C:\\WINDOWS\\WIN.COM /b\r\nremote.exe /x\r\n");
    EXPECT_EQ(ReadAll("c:\\autoexec.000"), original);
    EXPECT_EQ(Files(), "autoexec.000 autoexec.bat ");
    EXPECT_EQ(Str(run.backupName), "c:\\autoexec.000");
    EXPECT_EQ(Str(set.Reboot()), Str(ZrkMessageText(MSG_REBOOT_NEEDED.id)));
    EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kSystemSub, "ZRKT_HOME"), ExpandString("C:\\APP"));
    // Applied again in the same run: no second line, no second backup.
    ASSERT_EQ(ApplyEnvironment(set, true, run), 0);
    EXPECT_EQ(Files(), "autoexec.000 autoexec.bat ");
    CAutoexecRun removal;
    ASSERT_EQ(ApplyEnvironment(set, false, removal), 0);
    EXPECT_EQ(ReadAll(kAutoexecPath), original);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSystemSub, "ZRKT_HOME").exists);
    EXPECT_EQ(reports.Count(), 0);
}

TEST_F(AutoexecTest, MissingFileIsAnEmptyOneAndLinesAreMatchedTrimmed) {
    CPlatformScope win95(ZRK_WIN95);
    CAutoexecRun run;
    CRecordingScope reports;
    EXPECT_EQ(RemoveAutoexecLine("SET A=1", run), 0);
    EXPECT_EQ(Files(), "");
    EXPECT_FALSE(run.changed);
    EXPECT_EQ(InsertAutoexecLine("SET A=1", run), 0);
    EXPECT_EQ(ReadAll(kAutoexecPath), "SET A=1\r\n");
    EXPECT_EQ(Files(), "autoexec.bat ");
    EXPECT_TRUE(run.changed);
    // No command line at all: appended. Then a trimmed, case-blind removal.
    ASSERT_TRUE(WriteAll(kAutoexecPath, "REM only\n\n"));
    EXPECT_EQ(InsertAutoexecLine("SET B=2", run), 0);
    EXPECT_EQ(ReadAll(kAutoexecPath), "REM only\r\n\r\nSET B=2\r\n");
    ASSERT_TRUE(WriteAll(kAutoexecPath, "  set path=x  \n\tPROMPT $p  \n"));
    EXPECT_EQ(RemoveAutoexecLine("SET PATH=x", run), 0);
    EXPECT_EQ(ReadAll(kAutoexecPath), "PROMPT $p\r\n");
    // The backup is the file as the run first found it.
    EXPECT_EQ(ReadAll("c:\\autoexec.000"), "REM only\n\n");
    EXPECT_EQ(Files(), "autoexec.000 autoexec.bat ");
    EXPECT_EQ(reports.Count(), 0);
}

TEST_F(AutoexecTest, FailuresLeaveTheOldContent) {
    CPlatformScope win95(ZRK_WIN95);
    const std::string original = "C:\\WINDOWS\\WIN.COM\r\n";
    using zrkos::FaultOp;
    const struct {
        FaultOp op;
        int nth, count;
        bool laterRewrite;  // the run has made its backup already
        int msgId;
        const char* files;  // what "c:\" holds afterwards
        const char* backup; // content of c:\autoexec.000 ("-": none)
    } cases[] = {
        {FaultOp::Open, 1, 1, false, MSG_OPEN_READ.id, "autoexec.bat ", "-"},
        {FaultOp::Read, 1, 1, false, MSG_READ_FAILED.id, "autoexec.bat ", "-"},
        {FaultOp::Close, 1, 1, false, MSG_CLOSE_FAILED.id, "autoexec.bat ", "-"},
        {FaultOp::Open, 2, 1, false, MSG_OPEN_WRITE.id, "autoexec.bat ", "-"},
        {FaultOp::Write, 1, 1, false, MSG_WRITE_FAILED.id, "autoexec.bat ", "-"},
        {FaultOp::Close, 2, 1, false, MSG_CLOSE_FAILED.id, "autoexec.bat ", "-"},
        // The backup cannot be made, the new file cannot be put in place.
        {FaultOp::Rename, 1, 1, false, MSG_RENAME_FAILED.id, "autoexec.bat ", "-"},
        {FaultOp::Rename, 2, 1, false, MSG_RENAME_FAILED.id, "autoexec.bat ", "-"},
        // Nor can the old file be put back: it stays as the backup.
        {FaultOp::Rename, 2, zrkos::CFaultScope::kEvery, false, MSG_RENAME_FAILED.id, "autoexec.000 ", "old"},
        {FaultOp::Rename, 1, 1, true, MSG_RENAME_FAILED.id, "autoexec.000 autoexec.bat ", "first"},
        {FaultOp::Rename, 2, 1, true, MSG_RENAME_FAILED.id, "autoexec.000 autoexec.bat ", "first"},
    };
    for (const auto& c : cases) {
        Files(true);
        CAutoexecRun run;
        if (c.laterRewrite) {
            ASSERT_TRUE(WriteAll("c:\\autoexec.000", "first"));
            run.backupName = "c:\\autoexec.000";
        }
        ASSERT_TRUE(WriteAll(kAutoexecPath, original));
        CRecordingScope reports;
        int r = 0;
        {
            zrkos::CFaultScope fault(c.op, c.nth, zrkos::FaultError::DiskFull, c.count);
            r = InsertAutoexecLine("SET A=1", run);
        }
        const std::string what = "fault " + std::to_string(static_cast<int>(c.op)) + " #" + std::to_string(c.nth);
        EXPECT_EQ(r, ZRK_FAIL) << what;
        ASSERT_EQ(reports.Count(), 1) << what;
        EXPECT_EQ(reports.entries[0].msgId, c.msgId) << what << ": " << reports.entries[0].text;
        EXPECT_EQ(Files(), c.files) << what;
        bool found = false;
        const std::string now = ReadAll(kAutoexecPath, &found);
        if (found) {
            EXPECT_EQ(now, original) << what;
        }
        const std::string backup = ReadAll("c:\\autoexec.000", &found);
        EXPECT_EQ(found ? backup : "-", std::string(c.backup) == "old" ? original : c.backup) << what;
        EXPECT_FALSE(run.changed) << what;
        EXPECT_EQ(Str(run.backupName), c.laterRewrite || std::string(c.backup) == "old" ? "c:\\autoexec.000" : "")
            << what;
    }
}

}  // namespace
