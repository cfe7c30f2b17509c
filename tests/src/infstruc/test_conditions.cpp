// Conditions of the install description: which texts are expressions, how
// a record's "TEST" and an entry's condition are decided, the order of an
// entry's checks, and "ARCHI" on each platform kind.
#include "src/infstruc/conditions.h"

#include <gtest/gtest.h>

#include <string>

#include "src/infstruc/records.h"
#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

CStringList Client() {
    CStringList list;
    list.Add("CLIENT");
    return list;
}

// Runs with the current directory in DIR.
class InDirectory {
public:
    explicit InDirectory(const char* dir) : m_saved(zrkos::CurrentDir()) { zrkos::ChangeDir(dir); }
    ~InDirectory() { zrkos::ChangeDir(m_saved); }

private:
    CString m_saved;
};

// A record's "TEST" and the same text as an entry's condition, decided with
// CLIENT selected; a syntax error is reported once, for the record with its
// file and line.
TEST(Conditions, EveryTextBeginningWithIfIsAnExpression) {
    ScratchDir scratch;
    ASSERT_EQ(zrkos::MakeDir(scratch.Path("bin")), 0);
    ASSERT_TRUE(WriteAll(scratch.Path("iffy.dat"), "x"));
    ASSERT_TRUE(WriteAll(scratch.Path("client"), "x"));
    CString slashed = scratch.Path("bin");  // "c:/app/bin"
    slashed.Replace("\\", "/");
    InDirectory cwd(scratch.Dir());
    CSetRecord set;
    set.SetDestDir(scratch.Dir());
    set.SetTcpPort(8080);
    set.SetConditionSymbols(Client());
    struct Case {
        CString text;
        int test, entry;  // the decisions
        int msgId;        // of a syntax error (both then fail)
    } const cases[] = {
        {"", 1, 1, 0},
        {"IF defined(CLIENT)", 1, 1, 0},
        {"if defined(SERVER)", 0, 0, 0},
        {"ifdefined(CLIENT)", 1, 1, 0},  // the letters need no blank after them
        {"iF!defined(CLIENT)", 0, 0, 0},
        {"If(defined(SERVER) | defined(CLIENT))", 1, 1, 0},
        {"if defined(client)", 0, 0, 0},  // symbols are case-sensitive
        {"if $TCPPort$ > 1024", 1, 1, 0},  // variables are expanded first
        {"iffy.dat", 0, 0, MSG_EXPR_BAD_COMPARISON},  // the expression "fy.dat", not the file
        {"if defined(CLIENT", 0, 0, MSG_EXPR_UNBALANCED},
        {"client", 1, 1, 0},  // a path for TEST, always true after "#"
        {"none.dat", 0, 1, 0},
        {slashed, 1, 1, 0},
        {slashed + "/none", 0, 1, 0},
        {"$User$\\bin", 1, 1, 0},
        {"$Windows$", 1, 1, 0},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CIniRecord record("x.ini");
        record.SetTestText(c.text, "setup.inf", 3);
        int test = -1, entry = -1;
        const int status = EvaluateTest(record, &set, &test);
        const int entryStatus = EvaluateEntryCondition(&set, c.text, &entry);
        EXPECT_EQ(test, c.test) << c.text;
        EXPECT_EQ(entry, c.entry) << c.text;
        EXPECT_EQ(status, c.msgId ? ZRK_INTERNAL : 0) << c.text;
        EXPECT_EQ(entryStatus, c.msgId ? ZRK_INTERNAL : 0) << c.text;
        ASSERT_EQ(rec.Count(), c.msgId ? 2 : 0) << c.text << ": " << rec.LastText();
        if (c.msgId) {
            EXPECT_EQ(rec.entries[0].msgId, c.msgId) << rec.entries[0].text;
            EXPECT_NE(rec.entries[0].text.find("\"setup.inf\", line 3"), std::string::npos) << rec.entries[0].text;
        }
    }
    // Without a set no symbol is defined and nothing is expanded.
    CIniRecord record("x.ini");
    record.SetTestText("if defined(CLIENT)", "setup.inf", 3);
    int result = -1;
    EXPECT_EQ(EvaluateTest(record, nullptr, &result), 0);
    EXPECT_EQ(result, 0);
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
        int status, apply;
    } const cases[] = {
        {"", "", 0, 1},
        {"$User$/here.txt", "if defined(CLIENT)", 0, 1},
        {"$User$\\here.txt", "if defined(SERVER)", 0, 0},
        // A missing test path skips the entry before its condition is read:
        // the syntax error is not even seen.
        {"$User$\\gone.txt", "if defined(CLIENT", 0, 0},
        {"$User$\\here.txt", "if defined(CLIENT", ZRK_INTERNAL, 0},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        int apply = -1;
        EXPECT_EQ(InfCheckEntry(&set, c.testPath, c.condition, &apply), c.status) << c.testPath << c.condition;
        EXPECT_EQ(rec.Count(ZRK_KIND_ERROR), c.status ? 1 : 0) << c.testPath << c.condition;
        EXPECT_EQ(apply, c.apply) << c.testPath << c.condition;
    }
}

TEST(Conditions, ArchiAndTheSetsTestOnEachPlatformKind) {
    struct Case {
        const char *archi, *test;
        bool applicable[4];
    } const cases[] = {
        {"", "", {true, true, true, true}},
        {"win32", "", {false, true, true, true}},
        {"WIN16", "", {true, true, true, true}},
        {"WIN32", "if defined(CLIENT)", {false, true, true, true}},
        {"", "if defined(SERVER)", {false, false, false, false}},
    };
    for (int kind = 1; kind <= 4; ++kind) {
        CPlatformScope platform(kind);
        for (const Case& c : cases) {
            CSetRecord set;
            if (*c.archi) {
                ASSERT_EQ(set.SetKey("ARCHI", c.archi), 0);
            }
            set.SetTestText(c.test, "setup.inf", 1);
            set.SetConditionSymbols(Client());
            int result = -1;
            EXPECT_EQ(IsSetApplicable(set, &result), 0);
            EXPECT_EQ(result, c.applicable[kind - 1] ? 1 : 0) << c.archi << " / " << c.test << " on " << kind;
        }
    }
    // A set whose condition cannot be evaluated is not applicable.
    CSetRecord set;
    set.SetTestText("if (", "setup.inf", 9);
    CRecordingScope rec;
    int result = -1;
    EXPECT_EQ(IsSetApplicable(set, &result), ZRK_INTERNAL);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rec.Count(ZRK_KIND_ERROR), 1);
}

}  // namespace
