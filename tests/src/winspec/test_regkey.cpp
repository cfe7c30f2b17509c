// Tests of the registry key object against the real registry (under Wine in
// the test prefix); the text forms alone are tested natively
// (tests/zrk/test_regtext.cpp). Every test works below a scratch key of its
// own, created and removed here with the plain system calls, which also
// check what the key object really wrote.
#include "src/winspec/regkey.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <functional>
#include <string>

#include "testutil.h"
#include "zrk/report.h"

namespace {

// Removes NAME below PARENT with everything in it; false when it stays.
bool RawDeleteTree(HKEY parent, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        char sub[512];
        for (DWORD n = sizeof sub; RegEnumKeyExA(key, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) == 0;
             n = sizeof sub) {
            if (!RawDeleteTree(key, sub)) break;
        }
        RegCloseKey(key);
    }
    return RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

// A scratch key "<root>\Software\ZrkRegTest-<test>" and its path text.
class RegKeyTest : public ::testing::Test {
protected:
    void Make(HKEY root, const char* rootName) {
        m_root = root;
        m_sub = CString("Software\\ZrkRegTest-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        RawDeleteTree(m_root, m_sub);
        ASSERT_EQ(RegCreateKeyExA(m_root, m_sub, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_raw, nullptr), 0);
        m_path = CString(rootName) + "\\" + m_sub;
    }
    void SetUp() override { Make(HKEY_CURRENT_USER, "HKEY_CURRENT_USER"); }
    void TearDown() override {
        if (m_raw != nullptr) RegCloseKey(m_raw);
        RawDeleteTree(m_root, m_sub);
    }
    CString P(const char* rel) const { return m_path + "\\" + rel; }
    HKEY RawOpen(const char* rel, REGSAM access) {
        HKEY k = nullptr;
        return RegOpenKeyExA(m_raw, rel, 0, access, &k) == ERROR_SUCCESS ? k : nullptr;
    }
    bool RawExists(const char* rel) {
        HKEY k = RawOpen(rel, KEY_READ);
        if (k != nullptr) RegCloseKey(k);
        return k != nullptr;
    }
    void RawMake(const char* rel) {
        HKEY k = nullptr;
        ASSERT_EQ(RegCreateKeyExA(m_raw, rel, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), 0) << rel;
        RegCloseKey(k);
    }
    void RawSet(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(m_raw, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  0);
    }
    std::string RawGet(const char* name, DWORD& type) {
        char buf[256];
        DWORD n = sizeof buf;
        if (RegQueryValueExA(m_raw, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &n) != 0) return "<none>";
        return std::string(buf, n);
    }

    HKEY m_root = nullptr;
    HKEY m_raw = nullptr;
    CString m_sub, m_path;
};

TEST_F(RegKeyTest, OpensByRootNameExactly) {
    struct Case { const char* path; int result; DWORD error; };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE", 0, 0}, {"HKEY_CURRENT_USER", 0, 0}, {"HKEY_CLASSES_ROOT", 0, 0}, {"HKEY_USERS", 0, 0},
        {"HKEY_CURRENT_CONFIG", 0, 0}, {"HKEY_LOCAL_MACHINE\\Software", 0, 0},
        {"hkey_local_machine\\Software", ZRK_WINERR, ERROR_INVALID_HANDLE},
        {"HKLM\\Software", ZRK_WINERR, ERROR_INVALID_HANDLE},
        {"HKEY_LOCAL_MACHINE\\Software\\ZrkNoSuchKey", ZRK_WINERR, ERROR_FILE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        CRegistryKey key;
        CRecordingScope rec;
        EXPECT_EQ(key.Open(c.path, false), c.result) << c.path;
        EXPECT_EQ(key.Exists(c.path), c.result == 0) << c.path;
        EXPECT_EQ(rec.entries.size(), 0u) << c.path;
        EXPECT_EQ(key.Open(c.path), c.result) << c.path;
        EXPECT_EQ(key.IsOpen(), c.result == 0) << c.path;
        if (c.result == 0) continue;
        ASSERT_EQ(rec.entries.size(), 1u) << c.path;
        CString expected;
        expected.FormatId(MSG_REG_OPEN, c.path, static_cast<int>(c.error));
        EXPECT_EQ(rec.entries[0].msgId, MSG_REG_OPEN);
        EXPECT_EQ(rec.entries[0].code, ZRK_WINERR);
        EXPECT_EQ(rec.entries[0].text, Str(expected));
    }
    // The bare root is the root key itself.
    CRegistryKey root;
    CStringList names;
    ASSERT_EQ(root.Open("HKEY_LOCAL_MACHINE"), 0);
    ASSERT_EQ(root.ListSubkeys(names), 0);
    EXPECT_GE(names.Find("Software", false), 0);
    // An empty path is the caller's mistake: message 23 only when reporting.
    CRecordingScope rec;
    EXPECT_EQ(root.Open("", false), ZRK_INTERNAL);
    EXPECT_EQ(rec.entries.size(), 0u);
    EXPECT_EQ(root.Open(""), ZRK_INTERNAL);
    ASSERT_EQ(rec.entries.size(), 1u);
    EXPECT_EQ(rec.entries[0].msgId, MSG_REG_OPEN);
}

TEST_F(RegKeyTest, ValuesRoundTripInTheirTextForms) {
    CRegistryKey key;
    ASSERT_EQ(key.Open(m_path), 0);
    struct Case { const char* name; std::function<int()> write; DWORD type; std::string raw; const char* text; };
    const Case cases[] = {
        {"", [&] { return key.WriteString("", "dflt"); }, REG_SZ, std::string("dflt\0", 5), "dflt"},
        {"x", [&] { return key.WriteString("x", "%SystemRoot%\\a", 1); }, REG_EXPAND_SZ,
         std::string("%SystemRoot%\\a\0", 15), "%SystemRoot%\\a"},
        {"m", [&] { return key.WriteString("m", "a|b|c", 2); }, REG_MULTI_SZ, std::string("a\0b\0c\0\0", 7), "a|b|c"},
        {"hi", [&] { return key.WriteString("hi", "K\xE4se"); }, REG_SZ, std::string("K\xE4se\0", 5), "K\xE4se"},
        {"n", [&] { return key.WriteNumber("n", 4294967293u); }, REG_DWORD, std::string("\xFD\xFF\xFF\xFF", 4),
         "4294967293"},
        {"b", [&] { return key.WriteHex("b", "0a0B"); }, REG_BINARY, std::string("\x0A\x0B", 2), "0A0B"},
        {"e", [&] { return key.WriteBinary("e", nullptr, 0); }, REG_BINARY, "", ""},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(c.write(), 0) << c.name;
        DWORD type = 0;
        EXPECT_EQ(RawGet(c.name, type), c.raw) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
        CString text = "stale";
        EXPECT_EQ(key.ReadString(c.name, text), 0) << c.name;
        EXPECT_EQ(Str(text), c.text) << c.name;
    }
    uint32_t n = 0;
    CMemBuf b;
    EXPECT_EQ(key.ReadNumber("n", n, 7), 0);
    EXPECT_EQ(n, 4294967293u);
    EXPECT_EQ(key.ReadBinary("b", b), 0);
    EXPECT_EQ(Str(b), "\x0A\x0B");
}

// Missing values and values of another kind, as other programs leave them.
TEST_F(RegKeyTest, AbsentOrForeignValuesReadWithoutError) {
    RawSet("sz", REG_SZ, "abc");  // no zero byte
    RawSet("short", REG_DWORD, std::string("\1\2", 2));
    RawSet("num", REG_DWORD, std::string("\5\0\0\0", 4));
    RawSet("bin", REG_BINARY, "\x01");
    struct Case { const char* name; const char* text; uint32_t number; const char* binary; };
    const Case cases[] = {
        {"missing", "", 4294967293u, ""}, {"sz", "abc", 4294967293u, ""}, {"short", "0102", 4294967293u, ""},
        {"num", "5", 5, ""}, {"bin", "01", 4294967293u, "\x01"},
    };
    CRegistryKey key;
    ASSERT_EQ(key.Open(m_path), 0);
    CRecordingScope rec;
    for (const Case& c : cases) {
        CString text = "stale";
        uint32_t number = 1;
        CMemBuf binary;
        binary.AppendText("stale");
        EXPECT_EQ(key.ReadString(c.name, text), 0);
        EXPECT_EQ(key.ReadNumber(c.name, number, 4294967293u), 0);
        EXPECT_EQ(key.ReadBinary(c.name, binary), 0);
        EXPECT_EQ(Str(text), c.text) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
        EXPECT_EQ(Str(binary), c.binary) << c.name;
    }
    EXPECT_EQ(rec.entries.size(), 0u);
}

TEST_F(RegKeyTest, CreatesListsAndDeletes) {
    CRegistryKey key, app;
    ASSERT_EQ(key.Open(m_path), 0);
    ASSERT_EQ(key.CreateKey("Co\\App", &app), 0);
    ASSERT_EQ(app.WriteString("v", "1"), 0);
    char keyClass[32];
    DWORD n = sizeof keyClass;
    HKEY raw = RawOpen("Co\\App", KEY_READ);
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(RegQueryInfoKeyA(raw, keyClass, &n, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr), 0);
    RegCloseKey(raw);
    EXPECT_STREQ(keyClass, "REG_SZ");

    // Names longer than 255 characters are listed too.
    const std::string longName(300, 'L');
    ASSERT_EQ(key.WriteString(longName.c_str(), "x"), 0);
    ASSERT_EQ(key.WriteString("", "default"), 0);
    RawMake("Other");
    CStringList values, subkeys;
    values.Add("kept");
    ASSERT_EQ(key.ListValueNames(values), 0);
    ASSERT_EQ(key.ListSubkeys(subkeys), 0);
    values.Sort();
    subkeys.Sort();
    EXPECT_EQ(Str(values.Join(",")), "," + longName + ",kept");
    EXPECT_EQ(Str(subkeys.Join(",")), "Co,Other");

    CRecordingScope rec;
    EXPECT_EQ(key.DeleteValue(""), 0);  // the default value stays
    EXPECT_EQ(key.DeleteValue(longName.c_str()), 0);
    EXPECT_EQ(key.DeleteValue("missing"), 0);
    EXPECT_EQ(key.DeleteKey(""), 0);
    EXPECT_EQ(key.DeleteKey("Other"), 0);
    EXPECT_EQ(key.DeleteKey("Missing"), 0);
    EXPECT_EQ(rec.entries.size(), 0u);
    values.Clear();
    ASSERT_EQ(key.ListValueNames(values), 0);
    EXPECT_EQ(Str(values.Join(",")), "");
    EXPECT_FALSE(RawExists("Other"));

    // Without a target the created key replaces the held one.
    ASSERT_EQ(key.CreateKey("Co"), 0);
    CString text;
    ASSERT_EQ(key.CreateKey("App"), 0);
    EXPECT_EQ(key.ReadString("v", text), 0);
    EXPECT_EQ(Str(text), "1");
}

class RegKeyPruneTest : public RegKeyTest {
    // The walk goes up to the machine's own Software key.
    void SetUp() override { Make(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"); }
};

TEST_F(RegKeyPruneTest, DeleteKeyIfEmptyWalksUpToAKeyInUse) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        const char* path;
        bool appLeft, coLeft;
    };
    const Case cases[] = {
        {"empty chain", [] {}, "Software\\Co\\App", false, false},
        {"sibling of App", [&] { RawMake("Software\\Co\\Other"); }, "Software\\Co\\App", false, true},
        {"value in App",
         [&] {
             CRegistryKey k;
             ASSERT_EQ(k.Open(P("Software\\Co\\App")), 0);
             ASSERT_EQ(k.WriteNumber("n", 1), 0);
         },
         "Software\\Co\\App", true, true},
        {"missing key", [] {}, "Software\\Co\\App\\Nothing", true, true},
    };
    RawSet("marker", REG_SZ, "keeps the scratch key");
    for (const Case& c : cases) {
        RawDeleteTree(m_raw, "Software");
        RawMake("Software\\Co\\App");
        {
            // The last value of App is removed first, as an uninstallation does.
            CRegistryKey app;
            ASSERT_EQ(app.Open(P("Software\\Co\\App")), 0);
            ASSERT_EQ(app.WriteString("last", "x"), 0);
            ASSERT_EQ(app.DeleteValue("last"), 0);
        }
        c.arrange();
        CRegistryKey key;
        CRecordingScope rec;
        EXPECT_EQ(key.DeleteKeyIfEmpty(P(c.path)), 0) << c.name;
        EXPECT_EQ(rec.entries.size(), 0u) << c.name;
        EXPECT_FALSE(key.IsOpen()) << c.name;
        EXPECT_EQ(RawExists("Software\\Co\\App"), c.appLeft) << c.name;
        EXPECT_EQ(RawExists("Software\\Co"), c.coLeft) << c.name;
        EXPECT_EQ(RawExists("Software"), c.coLeft) << c.name;
        EXPECT_TRUE(RawExists("")) << c.name;
    }
}

TEST_F(RegKeyTest, SystemFailuresAreReportedOnce) {
    // A key whose DACL refuses reading cannot be opened with full access.
    RawMake("Locked");
    HKEY locked = RawOpen("Locked", WRITE_DAC);
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;KR;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                                     &sd, nullptr));
    ASSERT_EQ(RegSetKeySecurity(locked, DACL_SECURITY_INFORMATION, sd), 0);
    LocalFree(sd);
    RegCloseKey(locked);
    RawMake("Parent\\Child");
    RawMake("Gone");

    CRegistryKey readOnly, setOnly, full, gone;
    ASSERT_EQ(readOnly.Attach(RawOpen("", KEY_READ)), 0);
    ASSERT_EQ(setOnly.Attach(RawOpen("", KEY_SET_VALUE)), 0);
    ASSERT_EQ(full.Open(m_path), 0);
    ASSERT_EQ(gone.Open(P("Gone")), 0);
    ASSERT_EQ(full.DeleteKey("Gone"), 0);
    const CString lockedPath = P("Locked");
    struct Case { const char* what; std::function<int()> run; int msgId; const char* name; DWORD error; };
    const Case cases[] = {
        {"open locked", [&] { CRegistryKey k; return k.Open(lockedPath); }, 23, lockedPath, ERROR_ACCESS_DENIED},
        {"close bad handle", [&] { CRegistryKey k; k.Attach(reinterpret_cast<HKEY>(0x1230)); return k.Close(); }, 24,
         nullptr, ERROR_INVALID_HANDLE},
        {"read set-only", [&] { CString t; return setOnly.ReadString("v", t); }, 25, "v", ERROR_ACCESS_DENIED},
        {"delete value read-only", [&] { return readOnly.DeleteValue("v"); }, 26, "v", ERROR_ACCESS_DENIED},
        {"delete key with children", [&] { return full.DeleteKey("Parent"); }, 27, "Parent", ERROR_ACCESS_DENIED},
        {"list set-only", [&] { CStringList l; return setOnly.ListSubkeys(l); }, 28, nullptr, ERROR_ACCESS_DENIED},
        {"create below deleted", [&] { return gone.CreateKey("Sub"); }, 29, "Sub", ERROR_KEY_DELETED},
        {"create without key", [&] { CRegistryKey k; return k.CreateKey("Sub"); }, 29, "Sub", ERROR_INVALID_HANDLE},
        {"write string read-only", [&] { return readOnly.WriteString("v", "x"); }, 30, "v", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(c.run(), ZRK_WINERR) << c.what;
        ASSERT_EQ(rec.entries.size(), 1u) << c.what;
        CString expected;
        if (c.name != nullptr) {
            expected.FormatIdRaw(c.msgId, c.name, static_cast<int>(c.error));
        } else {
            expected.FormatIdRaw(c.msgId, static_cast<int>(c.error));
        }
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.what;
        EXPECT_EQ(rec.entries[0].code, ZRK_WINERR) << c.what;
        EXPECT_EQ(rec.entries[0].text, Str(expected)) << c.what;
    }
    // Destroying the object closes its key; a failure is reported too.
    CRecordingScope rec;
    { CRegistryKey k; k.Attach(reinterpret_cast<HKEY>(0x1230)); }
    ASSERT_EQ(rec.entries.size(), 1u);
    EXPECT_EQ(rec.entries[0].msgId, MSG_REG_CLOSE);
}

}  // namespace
