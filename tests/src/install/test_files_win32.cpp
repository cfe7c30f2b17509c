// File installation under Windows: read-only and in-use destinations of
// archive members with their decisions per member, and the shared-file step
// with real version resources, use counts in the registry and replacement at
// the next restart.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "install_fixture.h"
#include "src/infstruc/pe_image.h"
#include "src/winspec/regkey.h"
#include "zrk/ctimeex.h"

namespace {

const char kSharedDlls[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

// Holds PATH open as another program would, until destroyed.
class HeldOpen {
public:
    explicit HeldOpen(const char* path)
        : m_handle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() {
        if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;
    bool Ok() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

std::string Questions(const RecordingSession& s) {
    std::string all;
    for (const auto& q : s.asked) all += q.substr(0, q.find(':')) + " ";
    return all;
}

// Members over destinations that are read-only or in use: each member is
// asked about once (a member continued on the next volume keeps its answer),
// and a new member starts without the last one's decisions.
TEST_F(DistributionTest, ReadOnlyAndInUseMembers) {
    const std::vector<Member> files = {{"big.bin", Noise(5000, 9)}, {"b.txt", "new b"}};
    struct Case {
        const char* name;
        bool readOnly, inUse;
        const char* answers;
        std::vector<std::pair<int, int>> overwriteAnswers;
        bool bigReplaced, bReplaced;
        const char* questions;
    } cases[] = {
        {"read-only kept", true, false, "", {}, false, false, "overwrite overwrite "},
        {"read-only overwritten", true, false, "OverwriteReadOnlyFile=yes\n", {}, true, true, "overwrite overwrite "},
        // Overwrite for the first member only: the second is asked again.
        {"decision per member", true, false, "", {{0, 1}}, true, false, "overwrite overwrite "},
        {"in use kept", false, true, "OverwriteReadOnlyFile=yes\n", {}, false, true, "overwrite "},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, files, 4096), 2);
        RecordingSession s;
        s.overwriteAnswers = c.overwriteAnswers;
        ASSERT_EQ(Plan(s, Package("BASE", {1, 2}, files) + Product({"BASE"}), c.answers), 0);
        CFile::MakeAllDirs(scratch.Path("dest\\x"));
        for (const char* name : {"big.bin", "b.txt"}) {
            WriteAll(scratch.Path("dest\\") + name, "old");
            if (c.readOnly) CFile::SetReadOnly(scratch.Path("dest\\") + name, true);
        }
        {
            std::unique_ptr<HeldOpen> held;
            if (c.inUse) held = std::make_unique<HeldOpen>(scratch.Path("dest\\big.bin"));
            ASSERT_TRUE(!held || held->Ok());
            EXPECT_EQ(s.RunEngineTask(), 0) << c.name << reports.LastText();
        }
        EXPECT_EQ(Dest("big.bin"), c.bigReplaced ? files[0].second : "old") << c.name;
        EXPECT_EQ(Dest("b.txt"), c.bReplaced ? "new b" : "old") << c.name;
        EXPECT_EQ(Questions(s), c.questions) << c.name;
        CString first;
        first.FormatId(c.inUse ? MSG_FILE_IN_USE : MSG_OVERWRITE_READ_ONLY, scratch.Path("dest\\big.bin").c_str());
        ASSERT_FALSE(s.asked.empty());
        EXPECT_EQ(s.asked[0], "overwrite:" + Str(first)) << c.name;
        EXPECT_EQ(Errors(), 0) << c.name << reports.LastText();
        for (const char* name : {"big.bin", "b.txt"}) CFile::SetReadOnly(scratch.Path("dest\\") + name, false);
    }
}

std::string Library(const char* version, uint16_t language, size_t pad = 0) {
    return PeImage(VersionInfo({{language == 0x407 ? "040704B0" : "040904B0", version}}, language, 0x4B0), false) +
           std::string(pad, 'p');
}

uint32_t UseCount(const CString& path) {
    CRegistryKey key;
    uint32_t count = 0;
    if (key.Open(kSharedDlls, false) == 0) key.ReadNumber(path, count, 0);
    return count;
}

void ForgetCount(const CString& path) {
    CRegistryKey key;
    if (key.Open(kSharedDlls, false) == 0) key.DeleteValue(path);
}

void SetHoursAgo(const CString& path, int hours) {
    CTimeEx now;
    CFile::LastWriteTime(path, &now);
    CFile::SetLastWriteTime(path, CTimeEx(now.Value() - int64_t{hours} * 3600 * CTimeEx::kUsPerSecond));
}

// The staged copies the step left beside the shared files.
std::vector<std::string> StagedCopies(const CString& dir) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((dir + "zrk*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return found;
    do found.push_back(ReadAll(dir + data.cFileName));
    while (FindNextFileA(h, &data));
    FindClose(h);
    return found;
}

TEST_F(DistributionTest, SharedFiles) {
    const std::string v471 = Library("4, 71, 0, 0", 0x409), v48 = Library("4, 8, 0, 0", 0x409);
    const std::string v1381 = Library("4.00.1381", 0x409), v950 = Library("4.00.950", 0x409);
    const std::string v1 = Library("1.0", 0x409), v1long = Library("1.0", 0x409, 16), v1de = Library("1.0", 0x407);
    struct Case {
        const char* name;
        std::string source;
        std::string dest;  // empty: not there
        int destHoursOlder;
        const char* answers;
        bool replaced;
        const char* asked;
    } cases[] = {
        {"new", v471, "", 0, "", true, ""},
        {"newer numerically", v471, v48, 0, "", true, ""},
        {"older kept", v950, v1381, 0, "", false, ""},
        {"equal kept", v1, v1, 0, "", false, ""},
        {"other size asked", v1, v1long, 0, "ReplaceDll=yes\n", true, "replace:1.0/1.0 "},
        {"other language asked", v1, v1de, 0, "", false, "replace:1.0/1.0 "},
        {"no versions, 25 hours", "new", "old", 25, "", true, ""},
        {"no versions, 23 hours", "new", "old", 23, "", false, "replace:/ "},
    };
    const CString shared = scratch.Path("shared\\");
    const CString dll = shared + "x.dll";
    for (const Case& c : cases) {
        Fresh();
        ForgetCount(dll);
        CFile::MakeAllDirs(scratch.Path("dest\\x"));
        CFile::MakeAllDirs(shared + "x");
        const CString staged = scratch.Path("dest\\x.dll");
        WriteAll(staged, c.source);
        if (!c.dest.empty()) {
            WriteAll(dll, c.dest);
            SetHoursAgo(dll, c.destHoursOlder);
        }
        RecordingSession s;
        const std::string set = " { DLL\n  TO = " + Str(shared) + "\n  FILE = " + Str(staged) + "\n }\n";
        ASSERT_EQ(Plan(s, Product({}, set), c.answers), 0) << c.name;
        EXPECT_EQ(s.RunEngineTask(), 0) << c.name << reports.LastText();
        std::string asked;
        for (const auto& q : s.asked) asked += q + " ";
        EXPECT_EQ(asked, c.asked) << c.name;
        EXPECT_EQ(ReadAll(dll), c.replaced ? c.source : c.dest) << c.name;
        // Our use is counted whether our copy went there or the one there
        // serves; a file there before without a count has had a user.
        EXPECT_EQ(UseCount(dll), c.dest.empty() ? 1u : 2u) << c.name;
        EXPECT_EQ(s.SharedFiles().Count(), 1) << c.name;
        // The staging copy goes once it has been placed.
        EXPECT_EQ(CFile::Exists(staged), !c.replaced) << c.name;
        EXPECT_EQ(Str(s.Product()->Reboot()), "") << c.name;
        EXPECT_EQ(Errors(), 0) << c.name << reports.LastText();
    }
    ForgetCount(dll);
}

// A second product counts its use too; two libraries in use that differ only
// in their extension are staged apart and replaced at the next restart.
TEST_F(DistributionTest, SharedFilesCountedAndReplacedAtRestart) {
    const CString shared = scratch.Path("shared\\");
    const CString dll = shared + "x.dll", ocx = shared + "x.ocx";
    ForgetCount(dll);
    ForgetCount(ocx);
    CFile::MakeAllDirs(shared + "x");
    const std::string set = " { DLL\n  TO = " + Str(shared) + "\n  FILE = " + Str(scratch.Path("dest\\x.dll")) +
                            "\n  FILE = " + Str(scratch.Path("dest\\x.ocx")) + "\n }\n";
    for (int run = 1; run <= 2; ++run) {
        CFile::MakeAllDirs(scratch.Path("dest\\x"));
        WriteAll(scratch.Path("dest\\x.dll"), Library("2.0", 0x409));
        WriteAll(scratch.Path("dest\\x.ocx"), Library("2.0", 0x409, 8));
        RecordingSession s;
        ASSERT_EQ(Plan(s, Product({}, set)), 0);
        ASSERT_EQ(s.RunEngineTask(), 0) << reports.LastText();
        EXPECT_EQ(UseCount(dll), static_cast<uint32_t>(run));
        EXPECT_EQ(UseCount(ocx), static_cast<uint32_t>(run));
    }
    WriteAll(scratch.Path("dest\\x.dll"), Library("3.0", 0x409));
    WriteAll(scratch.Path("dest\\x.ocx"), Library("3.0", 0x409, 8));
    RecordingSession s;
    ASSERT_EQ(Plan(s, Product({}, set)), 0);
    {
        HeldOpen a(dll), b(ocx);
        ASSERT_TRUE(a.Ok() && b.Ok());
        ASSERT_EQ(s.RunEngineTask(), 0) << reports.LastText();
    }
    EXPECT_EQ(Questions(s), "overwrite overwrite ");
    EXPECT_EQ(ReadAll(dll), Library("2.0", 0x409));
    std::vector<std::string> staged = StagedCopies(shared);
    std::sort(staged.begin(), staged.end());
    std::vector<std::string> expected = {Library("3.0", 0x409), Library("3.0", 0x409, 8)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(staged, expected);
    CString reboot;
    reboot.FormatId(MSG_REBOOT_SHARED_FILES);
    EXPECT_EQ(Str(s.Product()->Reboot()), Str(reboot));
    EXPECT_EQ(UseCount(dll), 3u);
    EXPECT_EQ(Errors(), 0) << reports.LastText();
    ForgetCount(dll);
    ForgetCount(ocx);
}

}  // namespace
