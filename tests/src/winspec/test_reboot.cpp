// Renames at the next restart, read back where Windows keeps them: the
// "rename" section of "wininit.ini" (Windows 95 family) and the value
// PendingFileRenameOperations (Windows NT), under Wine in the test prefix.
// Every test restores what it found, so that no restart of the prefix acts
// on the scratch files.
#include "src/winspec/reboot.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

// The raw pending-rename value ("" when absent).
std::string PendingValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != 0) return "";
    std::string data(65536, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegQueryValueExA(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != 0) size = 0;
    RegCloseKey(key);
    data.resize(size);
    return data;
}

void RestorePending(const std::string& before) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key), 0);
    if (before.empty())
        RegDeleteValueA(key, kPending);
    else
        RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(before.data()),
                       static_cast<DWORD>(before.size()));
    RegCloseKey(key);
}

// The "rename" section of wininit.ini as "key=value;" pairs.
std::string WininitRenames() {
    char buf[4096] = {};
    const CString file = zrkos::WindowsDir() + "wininit.ini";
    const DWORD n = GetPrivateProfileSectionA("rename", buf, sizeof buf, file);
    std::string out;
    for (DWORD i = 0; i < n; ++i) out += buf[i] == '\0' ? ';' : buf[i];
    return out;
}

// Windows NT names the files of a pending rename in the object namespace.
std::string NtName(const CString& path) { return "\\??\\" + Str(path); }

TEST(RenameAtReboot, WindowsNtQueuesRenamesAndDeletionsWithTheSystem) {
    ScratchDir dir;
    const CString source = dir.Path("new.dll"), target = dir.Path("old.dll"), gone = dir.Path("gone.tmp");
    for (const CString& f : {source, target, gone}) ASSERT_TRUE(WriteAll(f, "x"));
    const std::string before = PendingValue();
    CPlatformScope nt(ZRK_WINNT);
    CRecordingScope reports;
    EXPECT_EQ(RenameAtReboot(source, target), 0);
    EXPECT_EQ(RenameAtReboot(gone, ""), 0);
    EXPECT_EQ(RenameAtReboot(gone, nullptr), 0);
    const std::string after = PendingValue();
    RestorePending(before);
    EXPECT_EQ(reports.Count(), 0);
    // Each request is a pair: the source, then "!" and the target when it is
    // replaced (nothing when the source is deleted).
    const std::string deletion = NtName(gone) + std::string(2, '\0');
    const std::string expected = NtName(source) + '\0' + "!" + NtName(target) + '\0' + deletion + deletion;
    EXPECT_EQ(after.size(), before.size() + expected.size() + (before.empty() ? 1 : 0));
    EXPECT_NE(after.find(expected), std::string::npos) << ::testing::PrintToString(after);
}

TEST(RenameAtReboot, Windows95WritesWininitAndNothingHappensOnWin32s) {
    ScratchDir dir;
    const CString file = zrkos::WindowsDir() + "wininit.ini";
    WritePrivateProfileStringA("rename", nullptr, nullptr, file);
    {
        CPlatformScope win95(ZRK_WIN95);
        CRecordingScope reports;
        EXPECT_EQ(RenameAtReboot("C:\\NEW.DLL", "C:\\OLD.DLL"), 0);
        EXPECT_EQ(RenameAtReboot("C:\\A.TMP", nullptr), 0);
        // A later deletion replaces the earlier one: a key is written once.
        EXPECT_EQ(RenameAtReboot("C:\\B.TMP", ""), 0);
        EXPECT_EQ(reports.Count(), 0);
    }
    EXPECT_EQ(WininitRenames(), "C:\\OLD.DLL=C:\\NEW.DLL;NUL=C:\\B.TMP;");
    WritePrivateProfileStringA("rename", nullptr, nullptr, file);
    const std::string before = PendingValue();
    {
        CPlatformScope win32s(ZRK_WIN32S);
        EXPECT_EQ(RenameAtReboot(dir.Path("x"), nullptr), 0);
    }
    EXPECT_EQ(WininitRenames(), "");
    EXPECT_EQ(PendingValue(), before);
}

TEST(RenameAtReboot, RefusalIsReportedWithTheTarget) {
    ScratchDir dir;
    CPlatformScope nt(ZRK_WINNT);
    CRecordingScope reports;
    // An empty source name is refused by the system.
    const std::string before = PendingValue();
    EXPECT_EQ(RenameAtReboot("", dir.Path("t")), ZRK_WINERR);
    RestorePending(before);
    ASSERT_EQ(reports.Count(ZRK_KIND_ERROR), 1);
    EXPECT_EQ(reports.entries[0].msgId, MSG_REBOOT_RENAME.id);
    EXPECT_NE(reports.entries[0].text.find(Str(dir.Path("t"))), std::string::npos) << reports.entries[0].text;
}

TEST(RestartWindows, ShutdownPrivilegeIsEnabledInTheToken) {
    CRecordingScope reports;
    ASSERT_EQ(EnableShutdownPrivilege(), 0);
    EXPECT_EQ(reports.Count(), 0);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    LUID shutdown = {};
    ASSERT_TRUE(LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &shutdown));
    PRIVILEGE_SET check = {};
    check.PrivilegeCount = 1;
    check.Control = PRIVILEGE_SET_ALL_NECESSARY;
    check.Privilege[0].Luid = shutdown;
    BOOL enabled = FALSE;
    ASSERT_TRUE(PrivilegeCheck(token, &check, &enabled));
    CloseHandle(token);
    EXPECT_TRUE(enabled);
}

}  // namespace
