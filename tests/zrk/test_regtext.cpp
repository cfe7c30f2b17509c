// The text forms of registry paths and values, without the registry: what a
// text becomes as value data, what value data of each type reads as, and
// how a key path splits.
#include "zrk/regtext.h"

#include <gtest/gtest.h>

#include <string>

#include "testutil.h"
#include "zrk/report.h"

namespace {

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(RegistryText, ValueDataReadsAsText) {
    struct Case { uint32_t type; std::string data; const char* text; };
    const Case cases[] = {
        {ZRK_REG_SZ, std::string("ab", 2), "ab"},                 // written without its zero byte
        {ZRK_REG_EXPAND_SZ, std::string("ab\0cd", 5), "ab"}, {ZRK_REG_MULTI_SZ, std::string("a\0b\0\0", 5), "a|b"},
        {ZRK_REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), "a||b"},  // what "a||b" writes reads back
        {ZRK_REG_MULTI_SZ, std::string("\0", 1), ""},
        {ZRK_REG_DWORD, std::string("\xFD\xFF\xFF\xFF", 4), "4294967293"},
        {ZRK_REG_DWORD_BIG_ENDIAN, std::string("\0\0\1\0", 4), "256"},
        {ZRK_REG_QWORD, std::string("\0\0\0\0\1\0\0\0", 8), "4294967296"},
        {ZRK_REG_DWORD, std::string("\1\2\3", 3), "010203"},       // wrong size: the bytes
        {ZRK_REG_QWORD, std::string("\1\0\0\0", 4), "01000000"}, {ZRK_REG_BINARY, std::string("\x0a\xfb", 2), "0AFB"},
        {ZRK_REG_NONE, "", ""},
    };
    for (const Case& c : cases) {
        CString text = "stale";
        EXPECT_EQ(ZrkRegDataText(c.type, Bytes(c.data), static_cast<int>(c.data.size()), text), 0);
        EXPECT_EQ(Str(text), c.text) << "type " << c.type;
        uint32_t number = 7;
        const bool isNumber = c.data.size() == 4 && (c.type == ZRK_REG_DWORD || c.type == ZRK_REG_DWORD_BIG_ENDIAN);
        EXPECT_EQ(ZrkRegDataNumber(c.type, Bytes(c.data), static_cast<int>(c.data.size()), number), isNumber);
        if (isNumber) {
            EXPECT_EQ(std::to_string(number), c.text);
        }
    }
    CRecordingScope rec;
    CString text;
    EXPECT_EQ(ZrkRegDataText(ZRK_REG_BINARY, nullptr, 2, text), ZRK_INTERNAL);
    EXPECT_EQ(ZrkRegDataText(ZRK_REG_BINARY, Bytes("x"), -1, text), ZRK_INTERNAL);
    EXPECT_EQ(rec.entries.size(), 0u);  // silent unless "Verbose"
}

TEST(RegistryText, TextsBecomeValueData) {
    struct Case { const char* text; int kind; uint32_t type; std::string data; };
    const Case cases[] = {
        {"C:\\Win", ZRK_REGSTR_PLAIN, ZRK_REG_SZ, std::string("C:\\Win\0", 7)},
        {"", ZRK_REGSTR_PLAIN, ZRK_REG_SZ, std::string("\0", 1)},
        {"%SystemRoot%|a", ZRK_REGSTR_EXPAND, ZRK_REG_EXPAND_SZ, std::string("%SystemRoot%|a\0", 15)},
        {"a|b|c", ZRK_REGSTR_MULTI, ZRK_REG_MULTI_SZ, std::string("a\0b\0c\0\0", 7)},
        {"a||b|", ZRK_REGSTR_MULTI, ZRK_REG_MULTI_SZ, std::string("a\0\0b\0\0\0", 7)},
        {"", ZRK_REGSTR_MULTI, ZRK_REG_MULTI_SZ, std::string("\0\0", 2)},
    };
    for (const Case& c : cases) {
        CMemBuf data;
        data.AppendText("stale");
        uint32_t type = 0;
        EXPECT_EQ(ZrkRegStringData(c.text, c.kind, data, type), 0) << c.text;
        EXPECT_EQ(type, c.type) << c.text;
        EXPECT_EQ(Str(data), c.data) << c.text;
    }
    CMemBuf data;
    uint32_t type = 0;
    EXPECT_EQ(ZrkRegStringData("x", 3, data, type), ZRK_INTERNAL);
}

TEST(RegistryText, PathsSplitAtTheirBackslashes) {
    struct Case { const char* path; const char* root; const char* subkey; bool hasParent; const char* parent;
                  const char* name; const char* trimmed; };
    const Case cases[] = {
        {"HKEY_LOCAL_MACHINE\\Software\\Co\\App", "HKEY_LOCAL_MACHINE", "Software\\Co\\App", true,
         "HKEY_LOCAL_MACHINE\\Software\\Co", "App", "HKEY_LOCAL_MACHINE\\Software\\Co\\App"},
        {"HKEY_USERS", "HKEY_USERS", "", false, "", "HKEY_USERS", "HKEY_USERS"},
        {"A\\B\\\\", "A", "B\\\\", true, "A\\B\\", "", "A\\B"}, {"\\x", "", "x", true, "", "x", "\\x"},
        {"", "", "", false, "", "", ""},
    };
    for (const Case& c : cases) {
        CString root = "stale", subkey = "stale", parent = "stale", name = "stale";
        ZrkRegSplitRoot(c.path, root, subkey);
        EXPECT_EQ(Str(root), c.root) << c.path;
        EXPECT_EQ(Str(subkey), c.subkey) << c.path;
        EXPECT_EQ(ZrkRegSplitLast(c.path, parent, name), c.hasParent) << c.path;
        EXPECT_EQ(Str(parent), c.parent) << c.path;
        EXPECT_EQ(Str(name), c.name) << c.path;
        EXPECT_EQ(Str(ZrkRegTrimPath(c.path)), c.trimmed) << c.path;
    }
}

}  // namespace
