// The condition evaluator: grouping of "&" and "|", negation, comparisons,
// the functions and every syntax error with its message.
#include "zrk/cfgexpr.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

class CMapSymbols : public CCfgSymbols {
public:
    std::map<std::string, std::string> table;
    bool IsDefined(const char* name, CString* value) const override {
        bool invert = false;
        while (*name == '!') {
            invert = !invert;
            ++name;
        }
        const auto it = table.find(name);
        const bool found = it != table.end();
        if (found && value && !invert) *value = it->second.c_str();
        return found != invert;
    }
};

// Evaluates with A and B defined; -1 when the evaluation failed.
int Eval(const std::string& expression) {
    CMapSymbols symbols;
    symbols.table = {{"A", "1"}, {"B", ""}};
    bool result = false;
    const int r = ZrkCfgEvaluate(expression.c_str(), symbols, "cond.inf", 7, &result);
    if (r != 0) return -1;
    return result ? 1 : 0;
}

// Operators, groups, negation and comparisons (with A and B defined).
TEST(CfgExpr, Evaluates) {
    struct Case {
        const char* expression;
        int expected;
    } const cases[] = {
        // "&" and "|" have equal precedence and group from the right:
        // a & b | c is a & (b | c); a | b & c is a | (b & c).
        {"0 == 1 & 1 == 1 | 1 == 1", 0},
        {"1 == 1 | 1 == 1 & 0 == 1", 1},
        {"(0 == 1 & 1 == 1) | 1 == 1", 1},
        {"0 == 1 | 0 == 1 | 1 == 1", 1},
        {"0 == 1 && 1 == 1 || 1 == 1", 0},  // doubled operators are the same
        {"(1 == 1) & ((0 == 1) | (2 > 1))", 1},
        // "!" inverts the operand or group it stands before, nothing more.
        {"!defined A", 0},
        {"!(defined A | defined C)", 0},
        {"!(defined C | defined D)", 1},
        {"!(defined C) & defined A", 1},
        {"!defined C & !defined D", 1},
        {"!1 == 2", 1},
        {"!abc != abd", 0},
        // Numbers when both sides are complete numbers, otherwise texts,
        // byte by byte and case-sensitive.
        {"1.0 == 1", 1},     {"1.0 = 1", 1},     {"1e3 == 1000", 1},  {"abc == ABC", 0},  {"10 < 9", 0},
        {"10a < 9", 1},      {"2 >= 2", 1},      {"2 <= 1", 0},       {"3 > 2.5", 1},     {"-1 < 0", 1},
        {"abc != abd", 1},   {"abc != abc", 0},  {"b > a", 1},        {"a >= b", 0},      {"x == ", 0},
        {" == ", 1},         {"1.5 != 1.50", 0}, {"\xE9 > z", 1},     {"a b == a b", 1},  {"1e999 < 5", 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
}

TEST(CfgExpr, FunctionsTakeTheirArgumentInAnyForm) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteAll(scratch.Path("here.txt"), "x"));
    const std::string file = scratch.Path("here.txt").c_str();
    const std::string missing = scratch.Path("absent.txt").c_str();
    const char* onPath = zrkos::IsWindows() ? "cmd.exe" : "sh";
    struct Case {
        std::string expression;
        int expected;
    } const cases[] = {
        {"defined A", 1},
        {"defined(A)", 1},
        {"defined( A )", 1},
        {"DEFINED A", 1},
        {"Defined(C)", 0},
        {"defined B", 1},  // an empty value is still defined
        {"FileExists " + file, 1},
        {"FileExists \"" + file + "\"", 1},
        {"fileexists(" + file + ")", 1},
        {"FileExists " + missing, 0},
        {"FileExists " + std::string(scratch.Dir().c_str()), 1},  // a directory counts
        {"FindAlongPath " + std::string(onPath), 1},
        {"FindAlongPath zrk-no-such-program-4711.exe", 0},
        {"FindAlongPath " + file, 1},
        {"defined A & FileExists " + file, 1},
    };
    CRecordingScope rec;
    for (const Case& c : cases) EXPECT_EQ(Eval(c.expression), c.expected) << c.expression;
    EXPECT_EQ(rec.Count(), 0) << rec.LastText();
}

TEST(CfgExpr, SyntaxErrorsNameTheExpressionFileAndLine) {
    struct Case {
        std::string expression;
        int msgId;
        std::string argument;  // the first argument as it appears in the text
    } const cases[] = {
        // Bare values and names are not operands; the message names what
        // stands where the operator should.
        {"0 & 1", 467, "after \"0\" but found \"&\""},
        {"abc", 467, "after \"abc\" but found the end of the expression"},
        {"(abc) | 1 == 1", 467, "after \"abc\" but found \")\""},
        {"1 == 1 & x", 467, "after \"x\" but found the end of the expression"},
        {"a =! b", 467, "found \"=!\""},
        {"(defined A", 466, "\"(defined A\""},
        {"defined A)", 466, "\"defined A)\""},
        {"()", 466, "\"()\""},
        {"1 == 1 &", 466, "\"1 == 1 &\""},
        {"& 1 == 1", 466, "\"& 1 == 1\""},
        {"defined(A) defined(B)", 471, "\"defined(A) defined(B)\""},
        {"(1 == 1) defined A", 471, "\"(1 == 1) defined A\""},
        {"(1 == 1) 2 == 2", 471, "\"(1 == 1) 2 == 2\""},
        {"defined(A & defined B)", 461, "'('"},
        {"FileExists \"abc", 461, "'\"'"},
        {std::string(300, '(') + "1 == 1" + std::string(300, ')'), 475, "1 == 1"},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(Eval(c.expression), -1) << c.expression;
        ASSERT_GE(rec.entries.size(), 1u) << c.expression;
        const auto& e = rec.entries.back();
        EXPECT_EQ(e.msgId, c.msgId) << c.expression << ": " << e.text;
        EXPECT_EQ(e.kind, ZRK_KIND_ERROR);
        EXPECT_EQ(e.code, ZRK_INTERNAL);
        EXPECT_NE(e.text.find(c.argument), std::string::npos) << e.text;
        EXPECT_NE(e.text.find("cond.inf"), std::string::npos) << e.text;
        EXPECT_NE(e.text.find("line 7"), std::string::npos) << e.text;
    }
}

TEST(CfgExpr, DeepButBoundedNestingIsAccepted) {
    const int depth = kCfgMaxExpressionNesting - 1;  // one level is the whole text
    const std::string deep = std::string(depth, '(') + "1 == 1" + std::string(depth, ')');
    EXPECT_EQ(Eval(deep), 1);
    EXPECT_EQ(Eval("!" + deep), 0);
}

}  // namespace
