// Self-registration with Wine's regsvr32 and the test library built beside
// the tests, whose registration writes a registry value and whose
// unregistration removes it; renames of a set's files.
#include "src/winspec/selfreg.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "src/infstruc/records.h"
#include "src/winspec/renames.h"
#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

// The value the test library writes when it is registered ("" when absent).
std::string Registered() {
    char value[MAX_PATH] = "";
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, "Software\\ZrkSelfRegTest", "Registered", RRF_RT_REG_SZ, nullptr, value,
                     &size) != 0)
        return "";
    return value;
}

CSetRecord LibrarySet(const std::vector<CString>& libraries, const CString& dest) {
    CSetRecord set;
    set.SetDestDir(dest);
    for (const CString& library : libraries) EXPECT_EQ(set.SetKey("REGSVR32", library), 0);
    return set;
}

TEST(RegisterLibraries, RegistersAndUnregistersTheTestLibrary) {
    ScratchDir dir;
    ASSERT_EQ(CFile::MakeDir(dir.Path("lib dir")), 0);
    const CString library = dir.Path("lib dir\\self registering.dll");
    ASSERT_EQ(CFile::Copy(CFile::DirPart(zrkos::ModulePath()) + "zrk_selfreg_test.dll", library), 0);
    // The missing library and the one that expands empty are skipped.
    const CSetRecord set = LibrarySet({"$User$\\lib dir\\self registering.dll", "$User$\\missing.dll", "$$"}, dir.Dir());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZrkSelfRegTest");
    CRecordingScope reports;
    EXPECT_EQ(RegisterLibraries(set, false), 0);
    // The library ran from its short path.
    EXPECT_EQ(Registered(), Str(zrkos::ShortPath(library)));
    EXPECT_EQ(RegisterLibraries(set, true), 0);
    EXPECT_EQ(Registered(), "");
    EXPECT_EQ(reports.Count(), 0) << reports.LastText();
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZrkSelfRegTest");
}

TEST(RegisterLibraries, RefusedRegistrationIsReportedAndStops) {
    ScratchDir dir;
    ASSERT_TRUE(WriteAll(dir.Path("notalib.dll"), "text\r\n"));
    const CString library = Str(zrkos::ShortPath(dir.Path("notalib.dll"))).c_str();
    for (bool unregister : {false, true}) {
        CRecordingScope reports;
        EXPECT_EQ(RegisterLibraries(LibrarySet({"$User$\\notalib.dll", "$User$\\notalib.dll"}, dir.Dir()), unregister),
                  ZRK_FAIL);
        ASSERT_EQ(reports.Count(), 1);
        EXPECT_EQ(reports.entries[0].msgId, MSG_SELFREG_EXIT_CODE.id);
        EXPECT_NE(reports.entries[0].text.find(Str(library)), std::string::npos) << reports.entries[0].text;
    }
}

// ---- renames ---------------------------------------------------------------

// The name of PATH as its directory lists it ("" when missing).
std::string ListedName(const CString& path) {
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA(path, &data);
    if (h == INVALID_HANDLE_VALUE) return "";
    FindClose(h);
    return data.cFileName;
}

TEST(ApplyRenames, MovesReplacesSkipsAndRenamesInPlace) {
    struct Case {
        const char *oldName, *newName;  // "dir\\" is a directory
        const char* existing;           // content of a file at NEWNAME before, "R:" read-only
        const char* test;
        const char* after;  // where "content" is then
        bool listed;
    };
    const Case cases[] = {
        {"a.txt", "b.txt", "", "", "b.txt", true},
        {"a.txt", "b.txt", "old", "", "b.txt", true},
        {"a.txt", "b.txt", "R:old", "", "a.txt", false},
        {"a.txt", "dir\\", "", "", "dir\\a.txt", false},
        {"none.txt", "b.txt", "", "", "", false},
        {"a.txt", "b.txt", "", "C:\\zrk-no-such-file", "a.txt", false},
        // Only the case differs: renamed in place, not deleted as "existing".
        {"Readme.txt", "README.TXT", "", "", "README.TXT", true},
        {"a.txt", "a.txt", "", "", "a.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.oldName) + " " + c.newName + " " + c.existing);
        ScratchDir dir;
        ASSERT_EQ(CFile::MakeDir(dir.Path("dir")), 0);
        if (std::string(c.oldName) != "none.txt") {
            ASSERT_TRUE(WriteAll(dir.Path(c.oldName), "content"));
        }
        const bool readOnly = *c.existing == 'R';
        if (*c.existing) {
            ASSERT_TRUE(WriteAll(dir.Path(c.newName), c.existing));
        }
        if (readOnly) {
            ASSERT_EQ(CFile::SetReadOnly(dir.Path(c.newName), true), 0);
        }
        CSetRecord set;
        set.SetDestDir(dir.Dir());
        auto record = std::make_unique<CRenameRecord>();
        record->SetKey("OLD", CString("$User$\\") + c.oldName);
        record->SetKey("NEW", CString("$User$\\") + c.newName);
        record->SetTestText(c.test);
        ASSERT_EQ(set.Renames().Add(std::move(record)), 0);
        CStringList created;
        CRecordingScope reports;
        EXPECT_EQ(ApplyRenames(set, &created), 0);
        EXPECT_EQ(reports.Count(), 0) << reports.LastText();
        if (*c.after) {
            EXPECT_EQ(ReadAll(dir.Path(c.after)), "content");
        }
        if (*c.after) {
            EXPECT_EQ(ListedName(dir.Path(c.after)), Str(CFile::FilePart(dir.Path(c.after))));
        }
        // One copy of the content: the old name is gone unless it is where the content is.
        EXPECT_EQ(ListedName(dir.Path(c.oldName)) == c.oldName, std::string(c.oldName) == c.after);
        if (*c.existing && readOnly) {
            EXPECT_EQ(ReadAll(dir.Path(c.newName)), c.existing);
        }
        if (readOnly) CFile::SetReadOnly(dir.Path(c.newName), false);
        EXPECT_EQ(Str(created.Join("|")), c.listed ? Str(dir.Path(c.newName)) : "");
    }
}

}  // namespace
