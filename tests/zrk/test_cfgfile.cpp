// The configuration reader on real files: item kinds, options, directives,
// conditional sections, macro substitution, includes, every diagnostic, and
// the writer's output and round trips.
#include "zrk/cfgfile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

std::string ItemText(int type, const CString& key, const CString& value) {
    return std::to_string(type) + "|" + Str(key) + "|" + Str(value);
}

struct Items {
    int result = 0;
    std::vector<std::string> items;  // "type|key|value", end of file included
};

Items ReadItems(CCfgFile& cfg) {
    Items out;
    for (int guard = 0; guard < 10000; ++guard) {
        int type = -1;
        CString value, key;
        out.result = cfg.NextItem(&type, &value, &key);
        if (out.result != 0) break;
        out.items.push_back(ItemText(type, key, value));
        if (type == CFG_EOF) break;
    }
    return out;
}

using Defines = std::vector<std::pair<const char*, const char*>>;

class CfgFileTest : public ::testing::Test {
protected:
    CString Write(const char* name, const std::string& content) {
        const CString path = scratch.Path(name);
        EXPECT_TRUE(WriteAll(path, content)) << name;
        return path;
    }
    void MakeDir(const char* name) { ASSERT_EQ(zrkos::MakeDir(scratch.Path(name)), 0) << name; }

    // Reads CONTENT as the file "main.cfg".
    Items Read(const std::string& content, int options = 0, bool macros = false, const Defines& defines = {},
               char separator = '=') {
        CCfgFile cfg;
        cfg.SetOptions(options);
        cfg.SetMacroExpansion(macros);
        cfg.SetSeparator(separator);
        for (const auto& d : defines) cfg.Define(d.first, d.second);
        const CString path = Write("main.cfg", content);
        Items out;
        out.result = cfg.OpenRelative(path);
        if (out.result == 0) out = ReadItems(cfg);
        cfg.Close();
        return out;
    }

    // The values of the entries of CONTENT (the item kinds are checked
    // elsewhere), or "error N".
    std::vector<std::string> Values(const std::string& content, const Defines& defines = {}, bool macros = true) {
        const Items items = Read(content, 0, macros, defines);
        std::vector<std::string> out;
        for (const std::string& item : items.items)
            if (item.rfind("1|", 0) == 0) out.push_back(item.substr(item.find('|', 2) + 1));
        if (items.result != 0) out.push_back("error " + std::to_string(items.result));
        return out;
    }

    ScratchDir scratch;
};

// ---- lines and items -----------------------------------------------------------

TEST_F(CfgFileTest, EveryKindOfLineGivesItsItem) {
    struct Case {
        const char* name;
        std::string content;
        int options;
        std::vector<std::string> items;
    } const cases[] = {
        {"block, entry, bare item, end",
         "{ Files Main\nDest = \"C:\\\\Program Files\"\nreadme.txt\n}\n", 0,
         {"0|Files|Main", "1|Dest|C:\\Program Files", "1||readme.txt", "2||", "3||"}},
        {"empty value", "key=\n", 0, {"1|key|", "3||"}},
        {"quoted line is a bare item", "\"a=b\"\n", 0, {"1||a=b", "3||"}},
        {"text after the closing quote is dropped", "k = \"x\" more\n", 0, {"1|k|x", "3||"}},
        {"split at the first separator", "a = b = c\n", 0, {"1|a|b = c", "3||"}},
        {"escapes in quoted values", "k=\"t\\tq\\\"b\\\\\\x41\"\n", 0, {"1|k|t\tq\"b\\A", "3||"}},
        {"a brace alone is a bare item", "{\n", 0, {"1||{", "3||"}},
        {"block without a name", "{ Files\n}\n", 0, {"0|Files|", "2||", "3||"}},
        {"BEGIN and END in any case", "begin Set \"Main Set\"\nEnd\n", 0, {"0|Set|Main Set", "2||", "3||"}},
        {"anything may follow a closing brace", "{ A\n{ B x\n} of B\nend\n", 0,
         {"0|A|", "0|B|x", "2||", "2||", "3||"}},
        {"comments and unknown directives are skipped", "// c\n; c\n\n#pragma x\n#elif y\nk=v\n", 0,
         {"1|k|v", "3||"}},
        {"option 1 returns them", "// c \n;c\n\n#pragma  x\n#elif y\nk=v\n", CFG_OPT_ALL_ITEMS,
         {"4|//|c", "4|;|c", "5||", "4|#|pragma  x", "4|#|elif y", "1|k|v", "3||"}},
        {"option 2 returns directives raw", "#define X 1\n# if 0\nk=v\n", CFG_OPT_RAW,
         {"6|#|define X 1", "6|#|if 0", "1|k|v", "3||"}},
        {"CR LF lines, last line without LF", "a=1\r\nb=2\r\n\r\nc=3", CFG_OPT_ALL_ITEMS,
         {"1|a|1", "1|b|2", "5||", "1|c|3", "3||"}},
        {"white space trimmed, bytes above 127 kept", " \t\v\fa = \xA0v\xA0 \t\n", 0, {"1|a|\xA0v\xA0", "3||"}},
    };
    for (const Case& c : cases) {
        const Items got = Read(c.content, c.options);
        EXPECT_EQ(got.result, 0) << c.name;
        EXPECT_EQ(got.items, c.items) << c.name;
    }
}

TEST_F(CfgFileTest, EndOfFileIsRepeatedAndTheLineCounterCountsEveryLine) {
    CCfgFile cfg;
    ASSERT_EQ(cfg.OpenRelative(Write("main.cfg", "#if defined NOPE\nx\ny\n#endif\n\n// c\nk=v\n")), 0);
    int type = -1;
    CString value, key;
    ASSERT_EQ(cfg.NextItem(&type, &value, &key), 0);
    EXPECT_EQ(ItemText(type, key, value), "1|k|v");
    EXPECT_EQ(cfg.LineNumber(), 7);
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(cfg.NextItem(&type, &value, &key), 0);
        EXPECT_EQ(type, CFG_EOF);
    }
}

// ---- conditional sections, symbols and macros ---------------------------------------

TEST_F(CfgFileTest, ConditionalSections) {
    const Defines withX = {{"X", "1"}};
    struct Case {
        const char* content;
        Defines defines;
        std::vector<std::string> values;
    } const cases[] = {
        {"#ifdef X\nyes\n#else\nno\n#endif\n", withX, {"yes"}},
        {"#ifdef X\nyes\n#else\nno\n#endif\n", {}, {"no"}},
        {"#if defined(X)\nyes\n#endif\n", withX, {"yes"}},
        {"#ifndef X\nyes\n#else\nno\n#endif\n", withX, {"no"}},
        {"#IF defined X\nyes\n#ELSE\nno\n#ENDIF\n", withX, {"yes"}},
        {"#IFDEF X\nyes\n#endif\n#IfNDef X\nno\n#endif\n", withX, {"yes"}},  // every keyword in any case
        {"#IFNDEF X\nyes\n#Else\nno\n#endif\n", {}, {"yes"}},
        {"# define Y 1\n#  if $(Y) == 1\nyes\n#  endif\n", {}, {"yes"}},
        // Inside a skipped section only "#if", "#else", "#endif" directly
        // after the "#" count.
        {"#if defined NOPE\n# endif\nhidden\n#endif\nafter\n", {}, {"after"}},
        {"#if defined NOPE\n#elif 1 == 1\nhidden\n#else\nshown\n#endif\n", {}, {"shown"}},
        {"#if defined NOPE\n#ifdef X\n#else\nhidden\n#endif\nhidden2\n#else\nshown\n#endif\n", withX, {"shown"}},
        {"#if 1 == 1\na\n#if 0 == 1\nb\n#else\nc\n#endif\n#else\nd\n#if 1 == 1\ne\n#endif\n#endif\nf\n", {},
         {"a", "c", "f"}},
        {"#if defined NOPE\n#define HIDDEN 1\n$(NOPE)\n#error no\n#endif\n#ifdef HIDDEN\nbad\n#endif\nok\n", {}, {"ok"}},
        // With X = 0 and Y = Z = 1: X == 1 & (Y == 1 | Z == 1).
        {"#if $(X) == 1 & $(Y) == 1 | $(Z) == 1\nyes\n#else\nno\n#endif\n", {{"X", "0"}, {"Y", "1"}, {"Z", "1"}}, {"no"}},
        {"## $(NOPE) is not substituted\nk\n", {}, {"k"}},
        {"#undef X\n#ifdef X\nyes\n#else\nno\n#endif\n", withX, {"no"}},
        {"#define N   spaced value  \nv=$(N)\n", {}, {"spaced value"}},
        {"p=a$b$ $x(\n", {}, {"a$b$ $x("}},
        {"#define ifdefined 1\n#ifdef ifdefined\nyes\n#endif\n", {}, {}},  // "ifdef" is replaced everywhere
    };
    for (const Case& c : cases) EXPECT_EQ(Values(c.content, c.defines), c.values) << c.content;
}

TEST_F(CfgFileTest, MacroSubstitution) {
    CCfgFile cfg;
    cfg.SetMacroExpansion(true);
    const Defines defines = {{"A", "hello"}, {"L", "EN"},    {"A_EN", "nested"}, {"B", "$(A)"},
                             {"E", ""},      {"SELF", "$(SELF)"}, {"OPEN", "$(A"}};
    for (const auto& d : defines) cfg.Define(d.first, d.second);
    struct Case {
        const char* text;
        const char* expected;  // nullptr: an error with MSGID
        int msgId;
    } const cases[] = {
        {"x$(A)y", "xhelloy", 0},
        {"[$(A_$(L))$(A)]", "[nestedhello]", 0},
        {"$(B)", "$(A)", 0},  // substituted values are not scanned again
        {"$(OPEN)x)", "$(Ax)", 0},
        {"$$(A)", "$hello", 0},
        {"cost $5 $", "cost $5 $", 0},
        {"$(E)$(!NOPE)", "", 0},
        {"$(A_$(NOPE))", nullptr, 462},
        {"$(A_$(L)", nullptr, 461},
        {"$(X$(SELF))", nullptr, 458},  // would never end
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CString text = c.text;
        const int r = cfg.ExpandMacros(text);
        if (c.expected) {
            EXPECT_EQ(r, 0) << c.text;
            EXPECT_EQ(Str(text), c.expected) << c.text;
            continue;
        }
        EXPECT_EQ(r, ZRK_INTERNAL) << c.text;
        EXPECT_EQ(Str(text), c.text) << "a failed substitution leaves the text alone";
        ASSERT_EQ(rec.Count(), 1) << c.text << ": " << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
    }
}

TEST_F(CfgFileTest, DoublingDefinitionsStopAtTheLineLimit) {
    std::string content = "#define D0 " + std::string(1000, 'x') + "\n";
    for (int i = 1; i <= 16; ++i)
        content += "#define D" + std::to_string(i) + " $(D" + std::to_string(i - 1) + ")$(D" +
                   std::to_string(i - 1) + ")\n";
    content += "v=$(D16)\n";
    CRecordingScope rec;
    EXPECT_EQ(Read(content, 0, true).result, ZRK_INTERNAL);
    ASSERT_EQ(rec.Count(), 1);
    EXPECT_EQ(rec.entries[0].msgId, MSG_CFG_MACRO_DEPTH);
    EXPECT_NE(rec.LastText().find("line 12"), std::string::npos) << "2^10 * 1000 bytes fit, twice as many do not";
}

TEST_F(CfgFileTest, SymbolTable) {
    CCfgFile cfg;
    cfg.Define("A", "1");
    cfg.Define("B", "2");
    cfg.Define("A", "3");  // moves to the end
    EXPECT_EQ(cfg.SymbolNames().Join(","), "B,A");
    EXPECT_EQ(cfg.SymbolValues().Join(","), "2,3");
    EXPECT_FALSE(cfg.IsDefined("a")) << "names are case-sensitive";
    // Any number of "!" is counted, not recursed into.
    EXPECT_TRUE(cfg.IsDefined("!C"));
    EXPECT_FALSE(cfg.IsDefined((std::string(100001, '!') + "A").c_str()));
    EXPECT_TRUE(cfg.IsDefined((std::string(100000, '!') + "A").c_str()));
    cfg.Undefine("A");
    EXPECT_FALSE(cfg.IsDefined("A"));
}

// "ENV" and "LOOK" on every platform kind and shell generation.
TEST_F(CfgFileTest, PredefinedSymbolsFollowThePlatform) {
    struct Case {
        int kind, shell;
        const char *env, *look;
    } const cases[] = {
        {1, 31, "WIN31", "WIN31"}, {2, 95, "WIN95", "WIN95"}, {3, 31, "WINNT", "WIN31"},
        {3, 95, "WINNT", "WIN95"}, {4, 95, "XWINDOW", "XWINDOWS"}, {0, 0, "", ""},
    };
    const CString path = Write("main.cfg", "v=[$(__WIN32__)]|$(ENV)|$(LOOK)\n");
    for (const Case& c : cases) {
        ZrkPlatformFacts facts;
        facts.kind = c.kind;
        facts.shell = c.shell;
        CPlatformScope platform(facts);
        CCfgFile cfg;
        cfg.SetMacroExpansion(true);
        ASSERT_EQ(cfg.OpenRelative(path), 0);
        EXPECT_EQ(ReadItems(cfg).items[0], std::string("1|v|[]|") + c.env + "|" + c.look) << c.kind << c.shell;
    }
}

TEST_F(CfgFileTest, EnvironmentVariablesAreSymbolsWithOption8) {
    ASSERT_EQ(zrkos::SetEnv("ZRK_CFG_TEST_VAR", "from env"), 0);
    const std::string content = "#ifdef ZRK_CFG_TEST_VAR\nv=$(ZRK_CFG_TEST_VAR)\n#endif\n";
    EXPECT_EQ(Read(content, CFG_OPT_ENV_SYMBOLS, true).items, (std::vector<std::string>{"1|v|from env", "3||"}));
    EXPECT_EQ(Read(content, 0, true).items, std::vector<std::string>{"3||"});
    // The table wins over the environment.
    EXPECT_EQ(Read(content, CFG_OPT_ENV_SYMBOLS, true, {{"ZRK_CFG_TEST_VAR", "defined"}}).items,
              (std::vector<std::string>{"1|v|defined", "3||"}));
    zrkos::SetEnv("ZRK_CFG_TEST_VAR", nullptr);
}

// ---- includes ------------------------------------------------------------------------

// An included file is named relative to its includer, reads with the
// includer's options, separator and symbols, and its items stand in place.
TEST_F(CfgFileTest, IncludesAreRelativeToTheIncludingFile) {
    MakeDir("sub");
    Write("sub\\one.cfg", "b, 2\n#include \"two.cfg\"\nc, 3\n");
    Write("sub\\two.cfg", "// note\n{ T\nd, $(V)\n}\n#define FROM_TWO yes\n");
    const std::vector<std::string> expected = {"1|a|1", "1|b|2", "4|//|note", "0|T|", "1|d|value", "2||",
                                               "1|c|3", "1|seen|yes", "3||"};
    for (const char* name : {"sub\\one.cfg", "sub/one.cfg"}) {
        const Items got = Read(std::string("a, 1\n#include \"") + name + "\"\n#ifdef FROM_TWO\nseen, $(FROM_TWO)\n#endif\n",
                               CFG_OPT_ALL_ITEMS, true, {{"V", "value"}}, ',');
        EXPECT_EQ(got.result, 0) << name;
        EXPECT_EQ(got.items, expected) << name;
    }
}

TEST_F(CfgFileTest, IncludeBySearchAndItsDepth) {
    MakeDir("cfgdir");
    Write("cfgdir\\zrk-searched-4711.cfg", "found=yes\n");
    CString saved;
    const bool had = zrkos::GetEnv("ZRKCFGDIR", &saved);
    ASSERT_EQ(zrkos::SetEnv("ZRKCFGDIR", scratch.Path("cfgdir")), 0);
    EXPECT_EQ(Read("#include <zrk-searched-4711.cfg>\n").items, (std::vector<std::string>{"1|found|yes", "3||"}));
    zrkos::SetEnv("ZRKCFGDIR", had ? saved.c_str() : nullptr);

    for (int i = 0; i < kCfgMaxIncludeDepth + 5; ++i)
        Write(("chain" + std::to_string(i) + ".cfg").c_str(), "#include \"chain" + std::to_string(i + 1) + ".cfg\"\n");
    CRecordingScope rec;
    CCfgFile cfg;
    ASSERT_EQ(cfg.OpenRelative(scratch.Path("chain0.cfg")), 0);
    EXPECT_EQ(ReadItems(cfg).result, ZRK_INTERNAL);
    ASSERT_EQ(rec.Count(), 1);
    EXPECT_EQ(rec.entries[0].msgId, MSG_CFG_INCLUDE_DEPTH);
    EXPECT_NE(rec.LastText().find("chain" + std::to_string(kCfgMaxIncludeDepth - 1) + ".cfg"), std::string::npos);
}

// ---- diagnostics ------------------------------------------------------------------------

// Each diagnostic once, with its message, result and the place it names:
// for unbalanced sections and blocks the file that opened them.
TEST_F(CfgFileTest, EveryDiagnosticHasItsMessageAndPlace) {
    const char* include = "#include \"inc.cfg\"\n";
    struct Case {
        const char* content;
        const char* inc;  // the content of "inc.cfg"
        int result;
        int msgId;
        const char* place;  // as the message names it
        int options = 0;
    } const cases[] = {
        {"a=1\n#if 1 == 1\n", "", ZRK_FAIL, 459, "main.cfg\""},
        {"#if 0 == 1\nx\n", "", ZRK_FAIL, 459, "main.cfg\""},
        {"#if 1 == 1\n#else\nx\n", "", ZRK_FAIL, 459, "main.cfg\""},
        {"#if 0 == 1\n#include \"inc.cfg\"\n", "k=v\n", ZRK_FAIL, 459, "main.cfg\""},
        {include, "#if 1 == 1\n", ZRK_FAIL, 459, "inc.cfg\""},
        {"{ A\n", "", ZRK_FAIL, 473, "main.cfg\""},
        {include, "}\n", ZRK_FAIL, 473, "inc.cfg\""},
        {"{ Outer\n#include \"inc.cfg\"\n}\n", "}\n", ZRK_FAIL, 473, "inc.cfg\""},
        {"#if 1 == 1\n#include \"inc.cfg\"\n#endif\n", "#endif\n", ZRK_INTERNAL, 465, "inc.cfg\", line 1"},
        {"=value\n", "", ZRK_INTERNAL, 456, "line 1"},
        {"\n k = \"open\n", "", ZRK_INTERNAL, 456, "line 2"},
        {"k = \"bad \\q escape\"\n", "", ZRK_INTERNAL, 456, "line 1"},
        {"{ Set \"open\n}\n", "", ZRK_INTERNAL, 456, "line 1"},
        {"a=b\nbare\n", "", ZRK_INTERNAL, 456, "line 2", CFG_OPT_STRICT},
        {"#include foo.cfg\n", "", ZRK_INTERNAL, 460, "line 1"},
        {"#include \"foo.cfg\n", "", ZRK_INTERNAL, 461, "line 1"},
        {"#include <foo.cfg\n", "", ZRK_INTERNAL, 461, "line 1"},
        {"#include \"absent.cfg\"\n", "", ZRK_NOTFOUND, 417, "absent.cfg"},
        {"#include <zrk-not-anywhere-4711.cfg>\n", "", ZRK_FAIL, 435, "zrk-not-anywhere-4711.cfg"},
        {"a=1\n#include \"main.cfg\"\n", "", ZRK_INTERNAL, 457, "main.cfg\", line 2"},
        {include, "\n#include \"main.cfg\"\n", ZRK_INTERNAL, 457, "inc.cfg\", line 2"},
        {"\nv=$(NOPE)\n", "", ZRK_INTERNAL, 462, "line 2"},
        {"v=$(NOPE\n", "", ZRK_INTERNAL, 461, "line 1"},
        {"x\n#else\n", "", ZRK_INTERNAL, 464, "line 2"},
        {"#if 1 == 1\n#else\n#else\n#endif\n", "", ZRK_INTERNAL, 464, "line 3"},
        {"#endif\n", "", ZRK_INTERNAL, 465, "line 1"},
        {"#if (1 == 1\n#endif\n", "", ZRK_INTERNAL, 466, "line 1"},
        {"\n#if X\n#endif\n", "", ZRK_INTERNAL, 467, "line 2"},
        {"#if defined(A) defined(B)\n#endif\n", "", ZRK_INTERNAL, 471, "line 1"},
        {"a=1\n#error \"stop here\"\nb=2\n", "", ZRK_INTERNAL, 468, "line 2"},
        {"a=1\n#message \"half way\"\nb=2\n", "", 0, 469, "line 2"},  // a warning: reading goes on
    };
    for (const Case& c : cases) {
        Write("inc.cfg", c.inc);
        CRecordingScope rec;
        const Items got = Read(c.content, c.options, true);
        EXPECT_EQ(got.result, c.result) << c.content;
        ASSERT_EQ(rec.Count(), 1) << c.content << ": " << rec.LastText();
        const auto& e = rec.entries[0];
        EXPECT_EQ(e.msgId, c.msgId) << c.content << e.text;
        EXPECT_EQ(e.kind, c.result ? ZRK_KIND_ERROR : ZRK_KIND_WARNING) << c.content;
        EXPECT_NE(e.text.find(c.place), std::string::npos) << e.text;
    }
}

// A consumer's report of an item it does not accept: by the item's kind,
// naming the innermost file being read. (The records of the install
// description test the consumer loop itself.)
TEST_F(CfgFileTest, ReportUnexpectedNamesTheInnermostFile) {
    Write("inc.cfg", "\n\nk=v\n");
    CCfgFile cfg;
    ASSERT_EQ(cfg.OpenRelative(Write("main.cfg", "#include \"inc.cfg\"\n")), 0);
    int type = -1;
    CString value, key;
    ASSERT_EQ(cfg.NextItem(&type, &value, &key), 0);
    const std::string where = Str(scratch.Path("inc.cfg")) + "\", line 3";
    struct Case {
        int type;
        const char* key;
        int msgId;
    } const cases[] = {
        {CFG_BLOCK_START, "Files", 454}, {CFG_ENTRY, "Dest", 455}, {CFG_ENTRY, "", 456}, {CFG_COMMENT, "//", 472},
        {CFG_EMPTY, "", 472},            {CFG_DIRECTIVE, "#", 460}, {CFG_BLOCK_END, "", 470}, {CFG_EOF, "", 470},
        {99, "", 470},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(cfg.ReportUnexpected(c.type, "value", c.key), ZRK_FAIL);
        ASSERT_EQ(rec.Count(), 1);
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.type;
        EXPECT_NE(rec.entries[0].text.find(where), std::string::npos) << rec.entries[0].text;
    }
}

// ---- the writer ------------------------------------------------------------------------

struct WriteStep {
    int type;
    const char* key;
    const char* value;
    bool forceQuotes = false;
};

TEST_F(CfgFileTest, WriterOutput) {
    struct Case {
        const char* name;
        int options;
        std::vector<WriteStep> steps;
        const char* expected;
    } const cases[] = {
        {"block, quoted entry, end", 0,
         {{0, "Files", "Main"}, {1, "Dest", "C:\\Program Files"}, {2, "", ""}},
         "{ Files Main\r\n  Dest=\"C:\\\\Program Files\"\r\n}\r\n"},
        {"empty block name, nesting, bare item", 0,
         {{0, "Files", ""}, {0, "Set", "a b"}, {1, "", "readme.txt"}, {2, "", ""}, {2, "", ""}},
         "{ Files\r\n  { Set \"a b\"\r\n    readme.txt\r\n  }\r\n}\r\n"},
        {"end at indentation 0 stays at 0", 0, {{2, "", ""}, {1, "k", "v"}}, "}\r\nk=v\r\n"},
        {"comments, directives, empty lines", 0,
         {{0, "B", ""}, {4, "//", " note"}, {6, "#", "define X 1"}, {5, "", ""}, {2, "", ""}},
         "{ B\r\n  // note\r\n  #define X 1\r\n\r\n}\r\n"},
        {"option 16 escapes without quotes", CFG_OPT_NO_QUOTES,
         {{1, "k", "a b"}, {1, "t", "x\ty"}, {1, "q", "\"q\""}},
         "k=a b\r\nt=x\\ty\r\nq=\\\"q\\\"\r\n"},
        {"bytes above 127 and control bytes", 0, {{1, "k", "\xE9t\xE9"}, {1, "c", "a\x01z\n"}},
         "k=\xE9t\xE9\r\nc=\"a\\x01z\\n\"\r\n"},
        {"forced quotes", 0, {{1, "k", "plain", true}, {1, "e", "", true}}, "k=\"plain\"\r\ne=\r\n"},
        {"forced quotes with option 16", CFG_OPT_NO_QUOTES, {{1, "k", "a b", true}, {1, "q", "\"", true}},
         "k=\"a b\"\r\nq=\"\\\"\"\r\n"},
    };
    for (const Case& c : cases) {
        const CString path = scratch.Path("out.cfg");
        CCfgFile out;
        out.SetOptions(c.options);
        ASSERT_EQ(out.OpenWrite(path), 0);
        for (const WriteStep& s : c.steps) EXPECT_EQ(out.WriteItem(s.type, s.value, s.key, true, s.forceQuotes), 0);
        ASSERT_EQ(out.Close(), 0);
        EXPECT_EQ(ReadAll(path), c.expected) << c.name;
    }
}

TEST_F(CfgFileTest, WrittenItemsReadBackIdentical) {
    const std::vector<WriteStep> steps = {
        {0, "Files", "Main Set"},
        {1, "Dest", "C:\\Program Files\\App"},
        {1, "Blanks", "  leading and trailing  "},
        {1, "Quotes", "say \"hi\""},
        {1, "Tabs", "a\tb\r\nc"},
        {1, "High", "caf\xE9 \xA0\xFF"},
        {1, "Empty", ""},
        {1, "Macro", "$(NOT_A_SYMBOL) and $x"},
        {1, "Sep", "a=b"},
        {1, "", "bare item"},
        {1, "", ""},
        {1, "", "x=y"},
        {1, "", "// not a comment"},
        {1, "", "#include \"x\""},
        {1, "", "END"},
        {1, "", "} brace"},
        {1, "", "{ brace"},
        {0, "Inner", ""},
        {1, "", "\"quoted\""},
        {2, "", ""},
        {2, "", ""},
        {4, "//", "a comment"},
        {5, "", ""},
    };
    std::vector<std::string> expected;
    for (const WriteStep& s : steps) expected.push_back(ItemText(s.type, s.key, s.value));
    expected.push_back("3||");

    for (bool macros : {false, true}) {
        const CString path = scratch.Path("sub\\dir\\round.cfg");  // directories are created
        CCfgFile out;
        ASSERT_EQ(out.OpenWrite(path), 0);
        for (const WriteStep& s : steps) ASSERT_EQ(out.WriteItem(s.type, s.value, s.key), 0) << s.key << s.value;
        ASSERT_EQ(out.Close(), 0);

        CCfgFile in;
        in.SetOptions(CFG_OPT_ALL_ITEMS);
        in.SetMacroExpansion(macros);
        ASSERT_EQ(in.OpenRelative(path), 0);
        const Items got = ReadItems(in);
        EXPECT_EQ(got.result, 0);
        EXPECT_EQ(got.items, expected) << ReadAll(path);
    }
}

TEST_F(CfgFileTest, WriterFailures) {
    CCfgFile out;
    ASSERT_EQ(out.OpenWrite(scratch.Path("w.cfg"), true), 0);
    for (bool report : {true, false}) {
        CRecordingScope rec;
        EXPECT_EQ(out.WriteItem(3, "v", "Key", report), ZRK_INTERNAL);
        ASSERT_EQ(rec.Count(), report ? 1 : 0);
        if (report) {
            EXPECT_EQ(rec.entries[0].msgId, MSG_CFG_UNEXPECTED_ITEM);
        }
    }
    ASSERT_EQ(out.WriteItem(CFG_ENTRY, "1", "a"), 0);
    ASSERT_EQ(out.Close(), 0);
    // Appending keeps what is there.
    ASSERT_EQ(out.OpenWrite(scratch.Path("w.cfg"), true), 0);
    ASSERT_EQ(out.WriteItem(CFG_ENTRY, "2", "b"), 0);
    ASSERT_EQ(out.Close(), 0);
    EXPECT_EQ(ReadAll(scratch.Path("w.cfg")), "a=1\r\nb=2\r\n");

    // A file where a directory should be.
    Write("blocker", "x");
    CRecordingScope rec;
    EXPECT_EQ(out.OpenWrite(scratch.Path("blocker\\inner\\w.cfg")), ZRK_FAIL);
    ASSERT_EQ(rec.Count(), 1) << rec.LastText();
    EXPECT_EQ(rec.entries[0].msgId, MSG_DIR_CREATE);
}

}  // namespace
