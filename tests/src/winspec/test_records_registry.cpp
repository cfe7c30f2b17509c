// Registry and profile records against the real registry and profile files
// of the test prefix (under Wine). Every value is read back with the plain
// system calls (tests/e2e/config.sh reads them with "reg query"); the
// scratch keys and files go again.
#include "src/winspec/regrecords.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "src/infstruc/records.h"
#include "src/winspec/raw_registry.h"
#include "testutil.h"
#include "zrk/report.h"

namespace {

const char kSub[] = "Software\\ZrkRecordsTest";
const char kPath[] = "HKEY_CURRENT_USER\\Software\\ZrkRecordsTest";

using Raw = RawValue;

Raw Absent() { return Raw(); }
Raw Sz(const std::string& s) { return {true, REG_SZ, s + '\0'}; }
Raw ExpandSz(const std::string& s) { return {true, REG_EXPAND_SZ, s + '\0'}; }
Raw Multi(const std::string& zeroSeparated) { return {true, REG_MULTI_SZ, zeroSeparated + '\0' + '\0'}; }
Raw Dword(uint32_t v) { return {true, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), 4)}; }
Raw Binary(const std::string& b) { return {true, REG_BINARY, b}; }

std::string Show(const Raw& r) {
    if (!r.exists) return "(absent)";
    return "type " + std::to_string(r.type) + ": " + ::testing::PrintToString(r.bytes);
}

Raw ReadRaw(const char* sub, const char* name) { return ReadRaw(HKEY_CURRENT_USER, sub, name); }
void WriteRaw(const char* sub, const char* name, const Raw& v) { ASSERT_TRUE(WriteRaw(HKEY_CURRENT_USER, sub, name, v)); }

bool KeyExists(const char* sub) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, sub, 0, KEY_READ, &key) != 0) return false;
    RegCloseKey(key);
    return true;
}

// A set with one "REG" record on PATH holding NAME = VALUE.
CSetRecord RegSet(const char* path, const char* name, const char* value) {
    CSetRecord set;
    set.SetDestDir("C:\\APP\\");
    CStringList names, values;
    names.Add(name);
    values.Add(value);
    EXPECT_EQ(AddRegRecord(set, path, names, values), 0);
    return set;
}

class RegRecordsTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSub); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSub); }
};

TEST_F(RegRecordsTest, EveryTypeAndModeWithItsUndo) {
    const struct {
        const char* name;    // value name ("" the default value)
        const char* entry;   // the entry value
        Raw before;          // what was there before the installation
        Raw installed;       // after InstallRegRecords
        Raw changed;         // set between installation and undo (absent: left)
        Raw undone;          // after RemoveRegRecords
        int warning;         // the one warning of the installation, 0 none
    } cases[] = {
        {"S", "hello, S", Absent(), Sz("hello"), Absent(), Sz("hello"), 0},
        {"X", "%SystemRoot%\\x, X", Absent(), ExpandSz("%SystemRoot%\\x"), Absent(), ExpandSz("%SystemRoot%\\x"), 0},
        {"M", "a|b|c, M", Absent(), Multi(std::string("a\0b\0c", 5)), Absent(), Multi(std::string("a\0b\0c", 5)), 0},
        {"U", "7, U", Absent(), Dword(7), Absent(), Dword(7), 0},
        {"B", "0A0B, B", Absent(), Binary("\x0A\x0B"), Absent(), Binary("\x0A\x0B"), 0},
        // Appended strings: only the appended item goes again.
        {"Path", "C:\\App, S, A", Sz("C:\\Win;"), Sz("C:\\Win;C:\\App"), Absent(), Sz("C:\\Win;"), 0},
        {"Path2", ";C:\\App, X, A", Sz("C:\\Win;C:\\Application\\bin"),
         ExpandSz("C:\\Win;C:\\Application\\bin;C:\\App"), Absent(), ExpandSz("C:\\Win;C:\\Application\\bin"), 0},
        {"Path3", "C:\\App, S, A", Absent(), Sz("C:\\App"), Sz("C:\\Win;C:\\Application"),
         Sz("C:\\Win;C:\\Application"), 0},
        {"Multi", "|c, M, A", Multi(std::string("a\0b", 3)), Multi(std::string("a\0b\0c", 5)), Absent(),
         Multi(std::string("a\0b", 3)), 0},
        // Counts: added and subtracted, never below 0, nothing on a missing value.
        {"Count", "1, U, A", Absent(), Dword(1), Absent(), Dword(0), 0},
        {"Count2", "1, U, A", Dword(5), Dword(6), Absent(), Dword(5), 0},
        {"Count3", "2, U, A", Dword(5), Dword(7), Dword(1), Dword(0), 0},
        {"Count4", "1, U, A", Dword(5), Dword(6), Raw{false, 0, "deleted"}, Absent(), 0},
        {"Bytes", "0A0B, B, A", Binary("\x01"), Binary("\x01\x0A\x0B"), Absent(), Binary("\x01\x0A\x0B"), 0},
        // Only when absent: a value of any type counts; the undo deletes
        // only what the entry wrote.
        {"Flag", "7, U, T", Absent(), Dword(7), Absent(), Absent(), 0},
        {"Flag2", "7, U, T", Sz("keep"), Sz("keep"), Absent(), Sz("keep"), 0},
        {"Flag3", "7, U, T", Dword(7), Dword(7), Absent(), Absent(), 0},
        {"Text", "new, S, T", Sz("old"), Sz("old"), Absent(), Sz("old"), 0},
        {"Text2", "new, S, T", Absent(), Sz("new"), Sz("edited"), Sz("edited"), 0},
        {"Bin", "0A, B, T", Binary(""), Binary(""), Absent(), Binary(""), 0},
        {"", "x, S, T", Absent(), Sz("x"), Absent(), Sz("x"), 0},
        // Another type is neither added to nor replaced silently.
        {"Mixed", "1, U, A", Sz("text"), Sz("text"), Absent(), Sz("text"), MSG_REG_TYPE_KEPT.id},
        {"Mixed2", "1, U", Sz("text"), Dword(1), Absent(), Dword(1), MSG_REG_TYPE_REPLACED.id},
        {"Unknown", "x, Q", Absent(), Absent(), Absent(), Absent(), 0},
    };
    for (const auto& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSub);
        WriteRaw(kSub, "Other", Sz("stays"));
        WriteRaw(kSub, c.name, c.before);
        const CSetRecord set = RegSet(kPath, c.name, c.entry);
        CRecordingScope reports;
        EXPECT_EQ(InstallRegRecords(set), 0) << c.entry;
        EXPECT_EQ(Show(ReadRaw(kSub, c.name)), Show(c.installed)) << c.entry;
        ASSERT_EQ(reports.Count(), c.warning != 0 ? 1 : 0) << c.entry;
        if (c.warning != 0) {
            EXPECT_EQ(reports.entries[0].msgId, c.warning) << c.entry;
        }
        if (c.changed.exists || !c.changed.bytes.empty()) WriteRaw(kSub, c.name, c.changed);
        EXPECT_EQ(RemoveRegRecords(set), 0) << c.entry;
        EXPECT_EQ(Show(ReadRaw(kSub, c.name)), Show(c.undone)) << c.entry;
        EXPECT_EQ(Show(ReadRaw(kSub, "Other")), Show(Sz("stays"))) << c.entry;
        EXPECT_EQ(reports.Count(), c.warning != 0 ? 1 : 0) << c.entry;
    }
}

TEST_F(RegRecordsTest, ChecksRunBeforeExpansionAndEmptyKeysGo) {
    const std::string sub = std::string(kSub) + "\\Co\\App";
    CSetRecord set;
    CStringList names, values;
    for (const char* n : {"Missing", "NotHere", "Kept"}) names.Add(n);
    // A failing expansion is never reached when the test path or the
    // condition excludes the entry.
    values.Add("$Self$, S, O, C:\\zrk-no-such-file");
    values.Add("$Self$ # if defined(ZRK_NO_SUCH_PACKAGE)");
    values.Add("1, U, T");
    ASSERT_EQ(AddRegRecord(set, (std::string(kPath) + "\\Co\\App").c_str(), names, values), 0);
    SetEnvironmentVariableA("Self", "$Self$");
    WriteRaw(kSub, "Other", Sz("stays"));
    CRecordingScope reports;
    EXPECT_EQ(InstallRegRecords(set), 0) << reports.LastText();
    EXPECT_EQ(Show(ReadRaw(sub.c_str(), "Kept")), Show(Dword(1)));
    EXPECT_FALSE(ReadRaw(sub.c_str(), "Missing").exists);
    // The undo deletes the value, then "App" and "Co", now empty.
    EXPECT_EQ(RemoveRegRecords(set), 0);
    SetEnvironmentVariableA("Self", nullptr);
    EXPECT_FALSE(KeyExists((std::string(kSub) + "\\Co").c_str()));
    EXPECT_TRUE(KeyExists(kSub));
    EXPECT_EQ(reports.Count(), 0);
}

// Profile entries, read back with GetPrivateProfileString.
TEST(IniRecords, ModesConditionsAndTestPaths) {
    ScratchDir dir;
    const CString file = dir.Path("app.ini");
    ASSERT_TRUE(WriteAll(file, "[Main]\r\nList=a;\r\nCount=5\r\nKeep=old\r\n"));
    CSetRecord set;
    set.SetDestDir(dir.Dir());
    auto record = std::make_unique<CIniRecord>("$User$\\app.ini");
    const char* entries[][2] = {
        {"SECTION", "Main"},
        {"Plain", "text, S"},  {"List", "b, S, A"},     {"Count", "2, U, A"},
        {"Keep", "new, S, T"},      {"Fresh", "new, S, T"},  {"Skipped", "x # if defined(ZRK_NONE)"},
        {"NoFile", "x, S, O, $User$\\missing.txt"},          {"HasFile", "y, S, O, $User$\\app.ini"},
    };
    for (const auto& e : entries) ASSERT_EQ(record->SetKey(e[0], e[1]), 0);
    ASSERT_EQ(set.IniRecords().Add(std::move(record)), 0);
    CRecordingScope reports;
    ASSERT_EQ(InstallIniRecords(set), 0);
    EXPECT_EQ(reports.Count(), 0);
    const struct {
        const char* key;
        std::string value;
    } expected[] = {
        {"Plain", "text"},
        {"List", "a;b"},
        {"Count", "7"},
        {"Keep", "old"},
        {"Fresh", "new"},
        {"Skipped", "-"},
        {"NoFile", "-"},
        {"HasFile", "y"},
    };
    for (const auto& e : expected) {
        char buf[512];
        GetPrivateProfileStringA("Main", e.key, "-", buf, sizeof buf, file);
        EXPECT_EQ(std::string(buf), e.value) << e.key;
    }
}

}  // namespace
