// String files read by "#include_str": entries with continuation lines,
// language subdirectories, the search form and the errors.
#include "zrk/cfgstr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

class CfgStringTest : public ::testing::Test {
protected:
    void Write(const char* name, const std::string& content) { ASSERT_TRUE(WriteAll(scratch.Path(name), content)) << name; }
    void MakeDir(const char* name) { ASSERT_EQ(zrkos::MakeDir(scratch.Path(name)), 0) << name; }

    // Reads CONTENT as "main.cfg" with macro expansion; the entries' values
    // in order, then "error N" when reading failed.
    std::vector<std::string> Values(const std::string& content, CCfgFile* keep = nullptr) {
        Write("main.cfg", content);
        CCfgFile own;
        CCfgFile& cfg = keep ? *keep : own;
        cfg.SetMacroExpansion(true);
        std::vector<std::string> out;
        int r = cfg.OpenRelative(scratch.Path("main.cfg"));
        for (int guard = 0; r == 0 && guard < 1000; ++guard) {
            int type = -1;
            CString value, key;
            r = cfg.NextItem(&type, &value, &key);
            if (r != 0 || type == CFG_EOF) break;
            out.push_back(Str(value));
        }
        if (r != 0) out.push_back("error " + std::to_string(r));
        return out;
    }

    ScratchDir scratch;
};

TEST_F(CfgStringTest, EntriesWithContinuationLinesBecomeIdsSymbols) {
    MakeDir("msg");
    Write("msg\\setup.str",
          "// the texts\n"
          "Welcome, \"Hello \"\n"
          "   \"to the \"\n"
          "\"product.\"\n"
          "\n"
          "bye, \"See you\"\n"
          "plain continuation\n"
          "#ifdef X\n"
          "cond, with X\n"
          "#else\n"
          "cond, without X\n"
          "#endif\n"
          "Empty,\n");
    EXPECT_EQ(Values("#include_str \"msg\\setup.str\"\n"
                     "w=$(IDS_WELCOME)\nb=$(IDS_BYE)\nc=$(IDS_COND)\ne=[$(IDS_EMPTY)]\n"),
              (std::vector<std::string>{"Hello to the product.", "See youplain continuation", "without X", "[]"}));
}

TEST_F(CfgStringTest, OtherLanguagesLiveInASubdirectory) {
    MakeDir("msg");
    MakeDir("msg\\ENG");
    MakeDir("ENG");
    Write("msg\\setup.str", "which, msg\n");
    Write("msg\\ENG\\setup.str", "which, msg ENG\n");
    Write("setup.str", "which, top\n");
    Write("ENG\\setup.str", "which, top ENG\n");
    struct Case {
        const char* lang;  // nullptr: LANG undefined
        const char* name;
        const char* expected;
    } const cases[] = {
        {"ENG", "msg\\setup.str", "msg ENG"}, {"ENG", "msg/setup.str", "msg ENG"}, {"fra", "msg\\setup.str", "msg"},
        {"FRA", "msg\\setup.str", "msg"},     {nullptr, "msg\\setup.str", "msg"},  {"ENG", "setup.str", "top ENG"},
        {"", "setup.str", "top"},
    };
    for (const Case& c : cases) {
        std::string content;
        if (c.lang) content += std::string("#define LANG ") + c.lang + "\n";
        content += std::string("#include_str \"") + c.name + "\"\nv=$(IDS_WHICH)\n";
        EXPECT_EQ(Values(content), std::vector<std::string>{c.expected}) << (c.lang ? c.lang : "-") << " " << c.name;
    }
}

TEST_F(CfgStringTest, TheSearchFormIgnoresTheLanguage) {
    MakeDir("cfg");
    MakeDir("cfg\\ENG");
    Write("cfg\\zrk-strings-4711.str", "which, searched\n");
    Write("cfg\\ENG\\zrk-strings-4711.str", "which, searched ENG\n");
    CString saved;
    const bool had = zrkos::GetEnv("ZRKCFGDIR", &saved);
    ASSERT_EQ(zrkos::SetEnv("ZRKCFGDIR", scratch.Path("cfg")), 0);
    const auto values = Values("#define LANG ENG\n#include_str <zrk-strings-4711.str>\nv=$(IDS_WHICH)\n");
    zrkos::SetEnv("ZRKCFGDIR", had ? saved.c_str() : nullptr);
    EXPECT_EQ(values, std::vector<std::string>{"searched"});
}

// A string file's errors, and those of the directive's argument (as
// "include" has them); the strings read before an error stay defined.
TEST_F(CfgStringTest, Errors) {
    Write("cont.str", "// first\n\"a continuation\"\n");
    Write("block.str", "A, one\n{ Block\n}\n");
    Write("end.str", "A, one\n}\n");
    Write("self.str", "A, one\n#include_str \"self.str\"\n");
    Write("bad.str", "A, \"open\n");
    struct Case {
        const char* argument;
        int result;
        int msgId;
        std::string where;  // a part of the message
        bool definesA;
    } const cases[] = {
        {"\"cont.str\"", ZRK_INTERNAL, 456, Str(scratch.Path("cont.str")) + "\", line 2", false},
        {"\"block.str\"", ZRK_INTERNAL, 463, Str(scratch.Path("block.str")) + "\", line 2", true},
        {"\"end.str\"", ZRK_INTERNAL, 463, Str(scratch.Path("end.str")) + "\", line 2", true},
        {"\"self.str\"", ZRK_INTERNAL, 457, Str(scratch.Path("self.str")) + "\", line 2", false},
        {"\"bad.str\"", ZRK_INTERNAL, 456, Str(scratch.Path("bad.str")) + "\", line 1", false},
        {"\"absent.str\"", ZRK_NOTFOUND, 417, Str(scratch.Path("absent.str")), false},
        {"msg.str", ZRK_INTERNAL, 460, "main.cfg\", line 1", false},
        {"\"msg.str", ZRK_INTERNAL, 461, "main.cfg\", line 1", false},
        {"<msg.str", ZRK_INTERNAL, 461, "main.cfg\", line 1", false},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CCfgFile cfg;
        const auto values = Values(std::string("#include_str ") + c.argument + "\n", &cfg);
        EXPECT_EQ(values, std::vector<std::string>{"error " + std::to_string(c.result)}) << c.argument;
        ASSERT_EQ(rec.Count(), 1) << c.argument << ": " << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.argument;
        EXPECT_NE(rec.entries[0].text.find(c.where), std::string::npos) << rec.entries[0].text;
        EXPECT_EQ(cfg.IsDefined("IDS_A"), c.definesA) << c.argument;
    }
}

}  // namespace
