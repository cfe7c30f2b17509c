// Tests of the command-line parser: words, value rules, binding and its
// diagnostics, response files, value types and the usage text.
#include "zrk/parsers.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/app.h"
#include "zrk/report.h"
#include "zrk/resfile.h"

namespace {

std::vector<std::string> Words(const char* line) {
    CTokenizer t(line);
    std::vector<std::string> words;
    CString w;
    while (t.Next(w)) words.emplace_back(w.c_str());
    return words;
}

// The errors a parse reported before its usage text: message id, code, text.
struct Reported {
    int msgId;
    int code;
    std::string text;
    bool operator==(const Reported&) const = default;
};
void PrintTo(const Reported& r, std::ostream* os) { *os << r.msgId << "/" << r.code << " " << r.text; }
std::vector<Reported> Errors(const CRecordingReporter& rec) {
    std::vector<Reported> out;
    for (const auto& e : rec.entries)
        if (e.kind == ZRK_KIND_ERROR && e.msgId != 0) out.push_back({e.msgId, e.code, e.text});
    return out;
}
// The usage text reported (an error with result 2), or "" when none.
std::string UsageReported(const CRecordingReporter& rec) {
    for (const auto& e : rec.entries)
        if (e.kind == ZRK_KIND_ERROR && e.code == ZRK_CANCEL && e.msgId == 0) return e.text;
    return "";
}

TEST(TokenizerTest, SplitsAtBlanksAndTabsOutsideApostrophes) {
    using V = std::vector<std::string>;
    const struct { const char* line; V words; } cases[] = {
        {"", {}}, {" \t ", {}}, {"a b", {"a", "b"}}, {"'a b' c", {"'a b'", "c"}},
        {"-u:'C:\\Program Files\\App' x", {"-u:'C:\\Program Files\\App'", "x"}},
        {"it''s a", {"it''s", "a"}},       // doubled: a literal, no quoting
        {"'' x", {"''", "x"}},              // not an empty quoted text
        {"'a ''b'' c' d", {"'a ''b'' c'", "d"}},
        {"'''a b' c", {"'''a b'", "c"}},   // literal, then a quote
        {"'never closed x", {"'never closed x"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Words(c.line), c.words) << c.line;
}

TEST(TokenizerTest, OptionValueRules) {
    const struct {
        const char* text;  // after the "-"
        const char* name;
        const char* value;
    } cases[] = {
        {"u:'C:\\Program Files\\App'", "u", "C:\\Program Files\\App"},
        {"u:C:\\App", "u", "C"},  // the value ends at the next ":"
        {"u:'it''s'", "u", "it's"}, {"u:it''s", "u", "it's"}, {"u:", "u", ""},
        {"u::x", "u", "x"},  // further ":" at the start are skipped
        {"u:'a:b':c", "u", "a:b"}, {"u:x'y''z'", "u", "xy'z"}, {"u:'open:", "u", "open:"}, {":v", "", "v"},
    };
    for (const auto& c : cases) {
        CString name, value;
        CTokenizer::SplitOption(c.text, &name, &value);
        EXPECT_STREQ(name, c.name) << c.text;
        EXPECT_STREQ(value, c.value) << c.text;
    }
    EXPECT_STREQ(CTokenizer::Unquote("''''"), "''");
    // Quoting gives back any text as one word and as one value.
    for (const char* text : {"", "Bob's C:\\x", "'", "''", "'a", "a'", "a:b ''c'' \t d"}) {
        const CString quoted = CTokenizer::Quote(text);
        if (*text) {
            EXPECT_EQ(Words(quoted), std::vector<std::string>{quoted.c_str()}) << text;
        }
        CString name, value;
        CTokenizer::SplitOption(CString("u:") + quoted, &name, &value);
        EXPECT_STREQ(value, text);
    }

    CParser p("-u:'C:\\Program Files\\App' 'a b'");
    p.DeclareOption("u", "setup.log", "record", ZRK_VT_TEXT);
    p.DeclarePositional("file", "file");
    ASSERT_EQ(p.Parse(), 0);
    EXPECT_STREQ(p.Text("u"), "C:\\Program Files\\App");
    EXPECT_STREQ(p.Positional(0).Text(), "a b");
}

TEST(ParserTest, HelpOptionsEndWithTwoAndTheUsage) {
    const struct { const char* line; bool extended; } cases[] = {
        {"-H", false}, {"-h -zz", false}, {"/HH", true}, {"x -hh", true},
    };
    for (const auto& c : cases) {
        CRecordingScope rec;
        CParser p(c.line);
        p.SetProgramName("demo");
        p.DeclareOption("must", "mandatory", ZRK_OPT_MANDATORY);
        p.DeclareOption("secret", "not shown", ZRK_OPT_HIDDEN);
        p.DeclarePositional("x", "a word", ZRK_VT_TEXT, ZRK_PARAM_OPTIONAL);
        EXPECT_EQ(p.Parse(), ZRK_CANCEL) << c.line;
        // Help is not a failure: no missing "must", nothing after the help word.
        EXPECT_TRUE(Errors(rec).empty()) << c.line << ": " << rec.entries[0].text;
        const std::string usage = UsageReported(rec);
        EXPECT_EQ(usage.rfind("Usage: demo [-verbose] [-?|h|H] ", 0), 0u) << usage;
        EXPECT_EQ(usage.find("-secret") != std::string::npos, c.extended) << c.line;
        EXPECT_EQ(usage.find("??|hh|HH") != std::string::npos, c.extended) << c.line;
        ASSERT_GE(rec.entries.size(), 2u);
        EXPECT_EQ(rec.entries[rec.entries.size() - 2].kind, ZRK_KIND_INFO);  // the banner
    }
}

TEST(ParserTest, VerboseSwitchesOnLogging) {
    class App : public CConsoleApp {
        int RunApp() override { return 0; }
    };
    for (const char* line : {"-VERBOSE", "/verbose x", "-verbose:1"}) {
        const bool refused = std::string(line).find(':') != std::string::npos;  // the switch takes no value
        App app;
        ZrkSetConsoleNumbering(false);
        CRecordingScope rec;
        CParser p(line);
        p.DeclarePositional("x", "", ZRK_VT_TEXT, ZRK_PARAM_OPTIONAL);
        EXPECT_EQ(p.Parse(), refused ? ZRK_INTERNAL : 0) << line;
        EXPECT_EQ(app.Logging(), !refused) << line;
    }
}

TEST(ParserTest, Diagnostics) {
    const int I = ZRK_INTERNAL, B = ZRK_BADTIME;
    const struct { const char* line; int result; std::vector<Reported> errors; } cases[] = {
        {"-zz:1", I, {{519, I, "Unknown option \"zz\" (value \"1\")"}}},
        // An unknown option ends parsing: no missing items after it.
        {"7 -zz b", I, {{519, I, "Unknown option \"zz\" (value \"\")"}}},
        {"-m -s 7 -s", I, {{522, I, "The option \"s\" may be given only once"}}},
        {"-m 7 -s:1", I, {{520, I, "The option \"s\" takes no value"}}},
        {"-m -n:abc 7", B, {{521, B, "Bad value for \"n\": Whole number expected"}}},
        {"-m x", B, {{521, B, "Bad value for \"num\": Whole number expected"}}},
        {"-m 7 -p:'a*b'", B, {{521, B, "Bad value for \"p\": File name expected"}}},
        {"-m 1 b c", I, {{524, I, "Unexpected parameter \"b\""}, {524, I, "Unexpected parameter \"c\""}}},
        // Missing items come after every word was read, in declaration order.
        {"-s:1", I, {{520, I, "The option \"s\" takes no value"},
                     {523, I, "\"m\" is missing"}, {523, I, "\"num\" is missing"}}},
        {"-m", I, {{523, I, "\"num\" is missing"}}}, {"-m 7 -r:1 -r:2", 0, {}}, {"-M -S 7", 0, {}},
    };
    for (const auto& c : cases) {
        CRecordingScope rec;
        CParser p(c.line);
        p.DeclareOption("m|must", "mandatory", ZRK_OPT_MANDATORY);
        p.DeclareOption("s", "switch");
        p.DeclareOption("n", "count", "a number", ZRK_VT_LONG);
        p.DeclareOption("r", "v", "repeatable", ZRK_VT_TEXT, ZRK_OPT_REPEAT);
        p.DeclareOption("p", "file", "a path", ZRK_VT_FILE);
        p.DeclarePositional("num", "a number", ZRK_VT_LONG);
        EXPECT_EQ(p.Parse(), c.result) << c.line;
        EXPECT_EQ(Errors(rec), c.errors) << c.line;
        EXPECT_EQ(UsageReported(rec).empty(), c.result == 0) << c.line;
    }
}

TEST(ParserTest, ValuesDefaultsAndNames) {
    CRecordingScope rec;
    CParser p("-r:a /R:b -q -s");
    p.DeclareOption("r", "v", "repeatable", ZRK_VT_TEXT, ZRK_OPT_REPEAT, "none");
    p.DeclareOption("Q", "case-sensitive switch", ZRK_OPT_CASE);
    p.DeclareOption("q", "its lower-case twin", ZRK_OPT_CASE);
    p.DeclareOption("s|switch", "no value", 0);
    p.DeclareOption("n", "n", "number", ZRK_VT_LONG, 0, "12");
    ASSERT_EQ(p.Parse(), 0) << rec.LastText();
    EXPECT_EQ(p.ValueCount("r"), 2);
    EXPECT_STREQ(p.Text("r", 1), "b");
    EXPECT_STREQ(p.Text("r", 2), "none");   // past the values: the default
    EXPECT_TRUE(p.WasGiven("q"));
    EXPECT_FALSE(p.WasGiven("Q"));
    EXPECT_TRUE(p.WasGiven("switch"));      // any spelling
    EXPECT_FALSE(p.WasGiven("n"));
    EXPECT_EQ(p.Value("n").Number(), 12);
    EXPECT_EQ(p.ValueCount("undeclared"), 0);

    // A second parse starts afresh.
    CParser again("-r:x");
    again.DeclareOption("r", "v", "", ZRK_VT_TEXT, ZRK_OPT_REPEAT);
    ASSERT_EQ(again.Parse(), 0);
    ASSERT_EQ(again.Parse(), 0);
    EXPECT_EQ(again.ValueCount("r"), 1);
}

TEST(ParserTest, DeclarationFaultsAreInternalErrors) {
    CRecordingScope rec;
    CParser p("");
    EXPECT_EQ(p.DeclareOption("x", "ok"), 0);
    EXPECT_EQ(p.DeclareOption("X", "same name, other case"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("y|H", "clashes with help"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("a:b", "colon"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("a||b", "empty spelling"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("", "empty"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("n", "n", "bad default", ZRK_VT_LONG, 0, "ten"), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclareOption("t", "t", "bad type", 14), ZRK_INTERNAL);
    EXPECT_EQ(p.DeclarePositional("all", "", ZRK_VT_TEXT, ZRK_PARAM_REST), 0);
    EXPECT_EQ(p.DeclarePositional("after", ""), ZRK_INTERNAL);
}

TEST(ParserTest, ResponseFile) {
    ScratchDir dir;
    const CString rsp = dir.Path("args.rsp");
    ASSERT_TRUE(WriteAll(rsp, "  -n:5  \r\n\n 'a b'\t\n"));
    const CString nested = dir.Path("nested.rsp");
    ASSERT_TRUE(WriteAll(nested, "-f:'" + std::string(rsp.c_str()) + "'\n"));
    const std::string quoted = "'" + std::string(rsp.c_str()) + "'";

    const struct {
        std::string line;
        bool on;
        int result;
        int n;                            // value of -n
        std::vector<std::string> words;   // positionals
        int msgId;                        // first error
    } cases[] = {
        {"-f:" + quoted + " tail", true, 0, 5, {"a b", "tail"}, 0}, {"-F:" + quoted, true, 0, 5, {"a b"}, 0},
        {"x -f:" + quoted, true, ZRK_INTERNAL, 0, {"x"}, 519},   // only as the first word
        {"-f:" + quoted, false, ZRK_INTERNAL, 0, {}, 519},       // switch off
        {"-f:'" + std::string(nested.c_str()) + "'", true, ZRK_INTERNAL, 0, {}, 519},  // read once
        {"-f:'" + std::string(dir.Path("missing.rsp").c_str()) + "'", true, ZRK_NOTFOUND, 0, {}, 417},
    };
    for (const auto& c : cases) {
        CRecordingScope rec;
        CParser p(c.line.c_str());
        p.SetResponseFile(c.on);
        p.DeclareOption("n", "n", "number", ZRK_VT_LONG);
        p.DeclarePositional("word", "", ZRK_VT_TEXT, ZRK_PARAM_REST | ZRK_PARAM_OPTIONAL);
        EXPECT_EQ(p.Parse(), c.result) << c.line;
        EXPECT_EQ(p.Value("n").Number(), c.n) << c.line;
        std::vector<std::string> words;
        for (int i = 0; i < p.PositionalCount(); ++i) words.emplace_back(p.Positional(i).Text().c_str());
        EXPECT_EQ(words, c.words) << c.line;
        const auto errors = Errors(rec);
        EXPECT_EQ(errors.empty() ? 0 : errors[0].msgId, c.msgId) << c.line;
    }

    // A file beyond the limit is refused instead of read without bound.
    const CString big = dir.Path("big.rsp");
    ASSERT_TRUE(WriteAll(big, std::string(CParser::kMaxResponseFile + 1, 'x')));
    CRecordingScope rec;
    CParser p(("-f:'" + std::string(big.c_str()) + "'").c_str());
    p.SetResponseFile();
    EXPECT_EQ(p.Parse(), ZRK_INTERNAL);
}

TEST(ParserValueTest, Conversions) {
    const int64_t kMax = INT64_MAX;
    const struct {
        int type;
        const char* words;
        const char* text;
        bool ok;
        const char* display = nullptr;
        int64_t number = 0;
        double real = 0;
    } cases[] = {
        {ZRK_VT_TEXT, nullptr, " a b ", true, " a b ", 0, 0}, {ZRK_VT_LONG, nullptr, " -7 ", true, "-7", -7, -7},
        {ZRK_VT_LONG, nullptr, "9223372036854775807", true, "9223372036854775807", kMax, 9223372036854775807.0},
        {ZRK_VT_LONG, nullptr, "-9223372036854775808", true, "-9223372036854775808", INT64_MIN, -9223372036854775808.0},
        {ZRK_VT_LONG, nullptr, "9223372036854775808", false}, {ZRK_VT_LONG, nullptr, "12abc", false},
        {ZRK_VT_DOUBLE, nullptr, "2.5", true, "2.5", 0, 2.5},
        {ZRK_VT_DOUBLE, nullptr, "-1e3", true, "-1000", 0, -1000}, {ZRK_VT_DOUBLE, nullptr, "nan", false},
        {ZRK_VT_DOUBLE, nullptr, "1e999", false}, 
        {ZRK_VT_PERCENT, nullptr, "50%", true, "50 %", 0, 0.5},
        {ZRK_VT_PERCENT, nullptr, " 12.5 % ", true, "12.5 %", 0, 0.125}, {ZRK_VT_PERCENT, nullptr, "5%%", false},
        {ZRK_VT_BOOL, nullptr, "YES", true, "yes", 1, 1}, 
        {ZRK_VT_BOOL, nullptr, "maybe", false}, {ZRK_VT_BOOL, "on|off", "OFF", true, "off", 0, 0},
        {ZRK_VT_BOOL, "|off", "", false}, {ZRK_VT_SIZE, nullptr, "1440K", true, "1474560", 1474560, 1474560},
        {ZRK_VT_SIZE, nullptr, "1T", false}, {ZRK_VT_SIZE, nullptr, "9007199254740992K", false},
        {ZRK_VT_HEX, nullptr, "0x1f", true, "0x1F", 31, 31},
        {ZRK_VT_HEX, nullptr, "FFFFFFFFFFFFFFFF", true, "0xFFFFFFFFFFFFFFFF", -1, 18446744073709551615.0},
        {ZRK_VT_HEX, nullptr, "10000000000000000", false}, {ZRK_VT_DATE, nullptr, "1998/05/06", true, "1998/05/06"},
        {ZRK_VT_DATE, nullptr, "1998/05/06 12:30", true, "1998/05/06 12:30:00"},
        {ZRK_VT_DATE, nullptr, "1998/13/01", false}, {ZRK_VT_TIME, nullptr, "14:30", true, "14:30:00"},
        {ZRK_VT_DURATION, nullptr, "2d 3h", true, "2d 3h"}, {ZRK_VT_DURATION, nullptr, "soon", false},
        {ZRK_VT_FILE, nullptr, "C:\\App\\x.txt", true, "C:\\App\\x.txt"}, {ZRK_VT_FILE, nullptr, "a*b", false},
        {ZRK_VT_FILE, nullptr, "ab:c", false},  // ":" only after a drive letter
        {ZRK_VT_CHOICE, "items|eval|list", "EVAL", true, "eval", 1, 1},
        {ZRK_VT_CHOICE, "items|eval|list", "x", false}, {ZRK_VT_LIST, nullptr, "a, b ,c", true, "a,b,c", 3, 3},
        {ZRK_VT_LIST, nullptr, "a,,b", false}, {99, nullptr, "1", false},
    };
    for (const auto& c : cases) {
        CParserValue v;
        ASSERT_EQ(v.Convert(ZRK_VT_TEXT, "before"), 0);
        const int r = v.Convert(c.type, c.text, c.words);
        SCOPED_TRACE(testing::Message() << "type " << c.type << " \"" << c.text << "\"");
        if (!c.ok) {
            EXPECT_EQ(r, ZRK_BADTIME);
            EXPECT_STREQ(v.Text(), "before");  // unchanged
            continue;
        }
        ASSERT_EQ(r, 0);
        EXPECT_EQ(v.Type(), c.type);
        EXPECT_STREQ(v.Text(), c.text);
        EXPECT_STREQ(v.Display(), c.display);
        if (c.type != ZRK_VT_TEXT && c.type < ZRK_VT_DATE) {
            EXPECT_EQ(v.Number(), c.number);
            EXPECT_DOUBLE_EQ(v.Real(), c.real);
        }
    }

    CParserValue span;
    ASSERT_EQ(span.Convert(ZRK_VT_DURATION, "2d 3h"), 0);
    EXPECT_EQ(span.Time().Value(), int64_t{51} * 3600 * 1000000);
    CParserValue list;
    ASSERT_EQ(list.Convert(ZRK_VT_LIST, "x, y"), 0);
    ASSERT_EQ(list.List().Count(), 2);
    EXPECT_STREQ(list.List()[1], "y");
}

TEST(ParserTest, BannerAndBuildYear) {
    EXPECT_EQ(CParser::BuildYear("May  6 1998"), 1998);
    EXPECT_EQ(CParser::BuildYear("Foo 31 2024"), 94);
    EXPECT_EQ(CParser::BuildYear(nullptr), 94);

    CParser p("");
    EXPECT_STREQ(p.VersionText(), "1.00");
    p.SetVersion(2, 5);
    const std::string expected = "ZRK Application\n(c) Vendrix " + std::to_string(CParser::BuildYear(__DATE__)) +
                                 ", version 2.05, built " + __DATE__;
    EXPECT_EQ(std::string(p.BannerLine().c_str()), expected);
}

TEST(ParserTest, UsageTextWrapsAtEightyColumns) {
    // The first set fills the usage line to exactly 80 columns; the second
    // breaks it before an option (seven blanks) and before a parameter (six
    // blanks and the parameter's own one).
    CParser fits("");
    fits.SetProgramName("demo");
    fits.DeclareOption("i", "setup.inf", "Description file", ZRK_VT_TEXT);
    fits.DeclareOption("count|c", "n", "How many\ncopies", ZRK_VT_LONG, ZRK_OPT_MANDATORY | ZRK_OPT_REPEAT);
    fits.DeclarePositional("file", "Input file");
    fits.DeclarePositional("rest", "Other words", ZRK_VT_TEXT, ZRK_PARAM_REST | ZRK_PARAM_OPTIONAL);
    EXPECT_STREQ(fits.UsageText(false),
                 "Usage: demo [-verbose] [-?|h|H] [-i:<setup.inf>] -count|c:<n>*  <file> <rest...>\n"
                 "-verbose  : Log what the program does\n"
                 "-?        : Show this help\n"
                 "-i        : Description file\n"
                 "-count    : How many\n"
                 "              copies\n"
                 "<file>    : Input file\n"
                 "<rest>    : Other words");

    CParser wraps("");
    wraps.SetProgramName("demo");
    wraps.DeclareOption("long", "a-rather-long-argument-name", "Long one", ZRK_VT_TEXT);
    wraps.DeclareOption("count|c", "n", "How many", ZRK_VT_LONG, ZRK_OPT_MANDATORY | ZRK_OPT_REPEAT);
    wraps.DeclarePositional("description-file", "The description");
    wraps.DeclarePositional("second-parameter-name-abcdefg", "Second");
    EXPECT_STREQ(wraps.UsageText(true),
                 "Usage: demo [-verbose] [-?|h|H] [-??|hh|HH]\n"
                 "       [-long:<a-rather-long-argument-name>] -count|c:<n>*  <description-file>\n"
                 "       <second-parameter-name-abcdefg>\n"
                 "-verbose                      : Log what the program does\n"
                 "-?                            : Show this help\n"
                 "-??                           : Show the help with all options\n"
                 "-long                         : Long one\n"
                 "-count                        : How many\n"
                 "<description-file>            : The description\n"
                 "<second-parameter-name-abcdefg>: Second");
}

}  // namespace
