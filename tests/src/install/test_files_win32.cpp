// File installation under Windows: read-only and in-use destinations of
// members with their decisions per member, and shared files with real
// version resources, use counts in the registry and replacement at the next
// restart.
#include <windows.h>

#include <algorithm>
#include <memory>

#include "install_fixture.h"
#include "src/infstruc/pe_image.h"
#include "src/winspec/regkey.h"
#include "zrk/ctimeex.h"

namespace {

// Holds PATH open as another program would, until destroyed.
struct HeldOpen {
    HANDLE h;
    explicit HeldOpen(const char* path)
        : h(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldOpen() { CloseHandle(h); }
};

// A new member starts without the last one's decisions; a member continued
// on the next volume keeps its own.
TEST_F(DistributionTest, ReadOnlyAndInUseMembers) {
    const std::vector<Member> files = {{"big.bin", Noise(5000, 9)}, {"b.txt", "new b"}};
    struct Case { bool inUse; const char* answers; std::pair<int, int> first; const char *big, *b; } cases[] = {
        {false, "", {-1, 0}, "old", "old"},                                  // read-only kept
        {false, "OverwriteReadOnlyFile=yes\n", {-1, 0}, nullptr, "new b"},  // overwritten
        {false, "", {0, 1}, nullptr, "old"},  // overwrite for the first member only
        {true, "OverwriteReadOnlyFile=yes\n", {-1, 0}, "old", "new b"},      // in use kept
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, files, 4096), 2);
        RecordingSession s;
        s.firstAnswer = c.first;
        ASSERT_EQ(Plan(s, Package("BASE", {1, 2}, files) + Product({"BASE"}), c.answers), 0);
        CFile::MakeAllDirs(scratch.Path("dest\\x"));
        for (const char* name : {"big.bin", "b.txt"}) {
            WriteAll(scratch.Path("dest\\") + name, "old");
            CFile::SetReadOnly(scratch.Path("dest\\") + name, !c.inUse);
        }
        {
            std::unique_ptr<HeldOpen> held(c.inUse ? new HeldOpen(scratch.Path("dest\\big.bin")) : nullptr);
            EXPECT_EQ(s.RunEngineTask(), 0) << reports.LastText();
        }
        EXPECT_EQ(Dest("big.bin"), c.big ? c.big : files[0].second);
        EXPECT_EQ(Dest("b.txt"), c.b);
        CString first;
        first.FormatId(c.inUse ? MSG_FILE_IN_USE : MSG_OVERWRITE_READ_ONLY, scratch.Path("dest\\big.bin").c_str());
        EXPECT_EQ(s.Asked().find("overwrite:" + Str(first) + " "), 0u) << s.Asked();
        EXPECT_EQ(s.Asked(false), c.inUse ? "overwrite " : "overwrite overwrite ");
        EXPECT_EQ(Errors(), std::vector<int>{}) << reports.LastText();
        for (const char* name : {"big.bin", "b.txt"}) CFile::SetReadOnly(scratch.Path("dest\\") + name, false);
    }
}

std::string Library(const char* version, uint16_t language = 0x409, size_t pad = 0) {
    const char* table = language == 0x407 ? "040704B0" : "040904B0";
    return PeImage(VersionInfo({{table, version}}, language, 0x4B0), false) + std::string(pad, 'p');
}

// The use count of PATH; FORGET deletes it.
uint32_t UseCount(const CString& path, bool forget = false) {
    CRegistryKey key;
    uint32_t count = 0;
    if (key.Open("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls", false) != 0) return 0;
    key.ReadNumber(path, count, 0);
    if (forget) key.DeleteValue(path);
    return count;
}

class SharedFilesTest : public DistributionTest {
protected:
    CString shared = scratch.Path("shared\\");
    // Installs the product whose DLL record takes NAMES from "dest" to "shared".
    int Install(RecordingSession& s, const std::vector<const char*>& names, const std::string& answers = "") {
        std::string set = " { DLL\n  TO = " + Str(shared) + "\n";
        for (const char* name : names) set += "  FILE = " + Str(scratch.Path("dest\\") + name) + "\n";
        const int r = Plan(s, Product({}, set + " }\n"), answers);
        return r != 0 ? r : s.RunEngineTask();
    }
    void Put(const CString& path, const std::string& bytes, int hoursOld = 0) {
        CFile::MakeAllDirs(path);
        WriteAll(path, bytes);
        CTimeEx now;
        CFile::LastWriteTime(path, &now);
        CFile::SetLastWriteTime(path, CTimeEx(now.Value() - int64_t{hoursOld} * 3600 * CTimeEx::kUsPerSecond));
    }
};

TEST_F(SharedFilesTest, VersionRuleAndUseCounts) {
    const std::string v1 = Library("1.0");
    struct Case { const char* name; std::string source, dest; int hoursOld; const char* answers; bool replaced; const char* asked; } cases[] = {
        {"new", v1, "", 0, "", true, ""},
        {"numerically newer", Library("4, 71, 0, 0"), Library("4, 8, 0, 0"), 0, "", true, ""},
        {"older kept", Library("4.00.950"), Library("4.00.1381"), 0, "", false, ""},
        {"equal kept", v1, v1, 0, "", false, ""},
        {"other size asked", v1, Library("1.0", 0x409, 16), 0, "ReplaceDll=yes\n", true, "replace:1.0/1.0 "},
        {"other language asked", v1, Library("1.0", 0x407), 0, "", false, "replace:1.0/1.0 "},
        {"no versions, 25 hours", "new", "old", 25, "", true, ""},
        {"no versions, 23 hours", "new", "old", 23, "", false, "replace:/ "},
    };
    for (const Case& c : cases) {
        Fresh();
        UseCount(shared + "x.dll", true);
        Put(scratch.Path("dest\\x.dll"), c.source);
        if (!c.dest.empty()) Put(shared + "x.dll", c.dest, c.hoursOld);
        RecordingSession s;
        EXPECT_EQ(Install(s, {"x.dll"}, c.answers), 0) << c.name << reports.LastText();
        EXPECT_EQ(s.Asked(), c.asked) << c.name;
        EXPECT_EQ(ReadAll(shared + "x.dll"), c.replaced ? c.source : c.dest) << c.name;
        // Counted whether our copy went there or the one there serves; one
        // that was there without a count has had a user already.
        EXPECT_EQ(UseCount(shared + "x.dll", true), c.dest.empty() ? 1u : 2u) << c.name;
        EXPECT_EQ(s.SharedFiles().Count(), 1) << c.name;
        // The staging copy goes once it has been placed.
        EXPECT_EQ(CFile::Exists(scratch.Path("dest\\x.dll")), !c.replaced) << c.name;
        EXPECT_EQ(Errors(), std::vector<int>{}) << c.name << reports.LastText();
    }
}

// A second product counts its use too; two libraries in use that differ only
// in their extension are staged apart and replaced at the next restart.
TEST_F(SharedFilesTest, InUseReplacedAtRestart) {
    for (int run = 1; run <= 3; ++run) {
        const char* version = run < 3 ? "2.0" : "3.0";
        Put(scratch.Path("dest\\x.dll"), Library(version));
        Put(scratch.Path("dest\\x.ocx"), Library(version, 0x409, 8));
        RecordingSession s;
        HeldOpen a(shared + "x.dll"), b(shared + "x.ocx");
        ASSERT_EQ(Install(s, {"x.dll", "x.ocx"}), 0) << reports.LastText();
        EXPECT_EQ(UseCount(shared + "x.dll", run == 3), static_cast<uint32_t>(run));
        EXPECT_EQ(UseCount(shared + "x.ocx", run == 3), static_cast<uint32_t>(run));
        EXPECT_EQ(s.Asked(false), run < 3 ? "" : "overwrite overwrite ");
        CString reboot;
        if (run == 3) reboot.FormatId(MSG_REBOOT_NEEDED);
        EXPECT_EQ(Str(s.Product()->Reboot()), Str(reboot));
    }
    EXPECT_EQ(ReadAll(shared + "x.dll"), Library("2.0"));
    std::vector<std::string> staged, expected = {Library("3.0"), Library("3.0", 0x409, 8)};
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((shared + "zrk*").c_str(), &found);
    for (BOOL more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileA(h, &found))
        staged.push_back(ReadAll(shared + found.cFileName));
    FindClose(h);
    std::sort(staged.begin(), staged.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(staged, expected);
    EXPECT_EQ(Errors(), std::vector<int>{}) << reports.LastText();
}

}  // namespace
