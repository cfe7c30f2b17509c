// Conditions of the install description: the "if" word, expressions with
// the set's symbols, path tests, entry conditions, the order of an entry's
// checks, platform words and "ARCHI".
#include "src/infstruc/conditions.h"

#include <gtest/gtest.h>

#include <string>

#include "src/infstruc/records.h"
#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

CStringList Client() {
    CStringList list;
    list.Add("CLIENT");
    return list;
}

TEST(Conditions, IfIsAWordOfItsOwnInAnyCase) {
    struct Case {
        const char* text;
        const char* expression;  // nullptr: not an expression
    } const cases[] = {
        {"if defined(CLIENT)", "defined(CLIENT)"}, {"IF defined(A) ", "defined(A)"},
        {"If(defined(A))", "(defined(A))"},        {"\tiF!defined(A)", "!defined(A)"},
        {"if", ""},                                {"iffy.dat", nullptr},
        {"IF.INI", nullptr},                       {"ifdefined(A)", nullptr},
        {"i", nullptr},                            {"", nullptr},
        {"CLIENT", nullptr},
    };
    for (const Case& c : cases) {
        CString rest;
        EXPECT_EQ(InfIsExpression(c.text, &rest), c.expression != nullptr) << c.text;
        if (c.expression) {
            EXPECT_STREQ(rest, c.expression) << c.text;
        }
    }
}

TEST(Conditions, ReadingTimeCheckReportsSyntaxErrorsWithFileAndLine) {
    struct Case {
        const char* condition;
        bool error;
    } const cases[] = {
        {"", false},           {"if defined(CLIENT)", false},  // undefined is no error
        {"iffy.dat", false},   {"C:\\app\\(", false},  // paths are not evaluated
        {"if abc == abd", false},
        {"if defined(CLIENT", true},  {"if defined(A) &", true},
        {"if", true},          {"if fy.dat", true},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(InfCheckConditionSyntax(c.condition, "product.inf", 42) != 0, c.error) << c.condition;
        ASSERT_EQ(rec.Count(ZRK_KIND_ERROR), c.error ? 1 : 0) << c.condition;
        if (c.error) {
            EXPECT_NE(rec.entries[0].text.find("\"product.inf\", line 42"), std::string::npos) << rec.LastText();
        }
    }
}

// Runs with the current directory in DIR.
class InDirectory {
public:
    explicit InDirectory(const char* dir) : m_saved(zrkos::CurrentDir()) { zrkos::ChangeDir(dir); }
    ~InDirectory() { zrkos::ChangeDir(m_saved); }

private:
    CString m_saved;
};

TEST(Conditions, TestDecidesExpressionsWithTheSetsSymbolsAndPathsByExistence) {
    ScratchDir scratch;
    ASSERT_EQ(zrkos::MakeDir(scratch.Path("bin")), 0);
    ASSERT_TRUE(WriteAll(scratch.Path("iffy.dat"), "x"));
    CString slashed = scratch.Path("bin");  // "c:/app/bin"
    slashed.Replace("\\", "/");
    InDirectory cwd(scratch.Dir());
    CSetRecord set;
    set.SetDestDir(scratch.Dir());
    set.SetTcpPort(8080);
    set.SetConditionSymbols(Client());
    struct Case {
        CString test;
        int expected;
    } const cases[] = {
        {"", 1},
        {"IF defined(CLIENT)", 1},
        {"if defined(SERVER)", 0},
        {"if !defined(SERVER) & defined(CLIENT)", 1},
        {"if defined(client)", 0},   // symbols are case-sensitive
        {"if $TCPPort$ > 1024", 1},  // variables are expanded first
        {"iffy.dat", 1},             // a relative path in the current directory
        {"iffy.txt", 0},
        {slashed, 1},
        {slashed + "/none", 0},
        {"$User$\\bin", 1},
        {"$Windows$", 1},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CIniRecord record("x.ini");
        record.SetTestText(c.test, "setup.inf", 3);
        int result = -1;
        EXPECT_EQ(EvaluateTest(record, &set, &result), 0) << c.test;
        EXPECT_EQ(result, c.expected) << c.test;
        EXPECT_EQ(rec.Count(), 0) << c.test << ": " << rec.LastText();
    }
    // Without a set no symbol is defined.
    CIniRecord record("x.ini");
    record.SetTestText("if defined(CLIENT)", "setup.inf", 3);
    int result = -1;
    EXPECT_EQ(EvaluateTest(record, nullptr, &result), 0);
    EXPECT_EQ(result, 0);
}

TEST(Conditions, EntryConditionsAreOnlyExpressions) {
    CSetRecord client, none;
    client.SetConditionSymbols(Client());
    client.SetTcpPort(8080);
    struct Case {
        const char* text;
        int withClient, without;
    } const cases[] = {
        {"", 1, 1},         {"CLIENT", 1, 1},  // no "if": always applied
        {"missing\\path", 1, 1},
        {"if defined(CLIENT)", 1, 0},
        {"IF !defined(CLIENT)", 0, 1},
        {"if $TCPPort$ == 8080", 1, 0},
    };
    for (const Case& c : cases) {
        int result = -1;
        EXPECT_EQ(EvaluateEntryCondition(&client, c.text, &result), 0) << c.text;
        EXPECT_EQ(result, c.withClient) << c.text;
        EXPECT_EQ(EvaluateEntryCondition(&none, c.text, &result), 0) << c.text;
        EXPECT_EQ(result, c.without) << c.text;
    }
}

TEST(Conditions, EntryValueSplitsAtTheLastHash) {
    struct Case {
        const char *value, *data, *condition;
    } const cases[] = {
        {"C:\\x, S, A # if defined(P)", "C:\\x, S, A", "if defined(P)"},
        {"abc,", "abc,", ""},  // without "#" the value stays whole
        {"v, # , if defined(X)", "v", "if defined(X)"},
        {"a#b # CLIENT", "a#b", "CLIENT"},
    };
    for (const Case& c : cases) {
        CString data, condition;
        InfSplitEntryCondition(c.value, &data, &condition);
        EXPECT_STREQ(data, c.data) << c.value;
        EXPECT_STREQ(condition, c.condition) << c.value;
    }
}

TEST(Conditions, EntryChecksTheTestPathBeforeTheCondition) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteAll(scratch.Path("here.txt"), "x"));
    CSetRecord set;
    set.SetDestDir(scratch.Dir());
    set.SetConditionSymbols(Client());
    struct Case {
        const char *testPath, *condition;
        bool error;
        int apply;
    } const cases[] = {
        {"", "", false, 1},
        {"$User$/here.txt", "if defined(CLIENT)", false, 1},
        {"$User$\\here.txt", "if defined(SERVER)", false, 0},
        // A missing test path skips the entry before its condition is read:
        // the syntax error is not even seen.
        {"$User$\\gone.txt", "if defined(CLIENT", false, 0},
        {"$User$\\here.txt", "if defined(CLIENT", true, 0},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        int apply = -1;
        EXPECT_EQ(InfCheckEntry(&set, c.testPath, c.condition, &apply) != 0, c.error) << c.testPath << c.condition;
        EXPECT_EQ(rec.Count(ZRK_KIND_ERROR), c.error ? 1 : 0) << c.testPath << c.condition;
        EXPECT_EQ(apply, c.apply) << c.testPath << c.condition;
    }
}

TEST(Conditions, PlatformWordsAndArchiOnKindsOneToThree) {
    struct Word {
        const char* word;
        bool kept[3];
    } const words[] = {
        {"", {true, true, true}},       {"win95", {false, true, false}},
        {"!WINNT", {false, true, false}},  // not kind 1 either
        {" WinNT ", {false, false, true}}, {"!WIN95", {false, false, true}},
        {"OS2", {false, false, false}},  {"WIN32S", {false, false, false}},
    };
    struct Set {
        const char *archi, *test;
        bool applicable[3];
    } const sets[] = {
        {"", "", {true, true, true}},
        {"win32", "", {false, true, true}},
        {"WIN16", "", {true, true, true}},
        {"WIN32", "if defined(CLIENT)", {false, true, true}},
        {"", "if defined(SERVER)", {false, false, false}},
    };
    for (int kind = 1; kind <= 3; ++kind) {
        for (const Word& w : words) EXPECT_EQ(KeepPlatformFile(w.word, kind), w.kept[kind - 1]) << w.word << kind;
        for (const Set& s : sets) {
            CSetRecord set(kind);
            if (*s.archi) {
                ASSERT_EQ(set.SetKey("ARCHI", s.archi), 0);
            }
            set.SetTestText(s.test, "setup.inf", 1);
            set.SetConditionSymbols(Client());
            int result = -1;
            EXPECT_EQ(IsSetApplicable(set, &result), 0);
            EXPECT_EQ(result, s.applicable[kind - 1] ? 1 : 0) << s.archi << " / " << s.test << " on " << kind;
        }
    }
    // A set whose condition cannot be evaluated is not applicable.
    CSetRecord set(2);
    set.SetTestText("if (", "setup.inf", 9);
    CRecordingScope rec;
    int result = -1;
    EXPECT_NE(IsSetApplicable(set, &result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rec.Count(ZRK_KIND_ERROR), 1);
}

}  // namespace
