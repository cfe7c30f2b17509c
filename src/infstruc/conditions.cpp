// Conditions and platform filters of the install description; see
// conditions.h.
#include "src/infstruc/conditions.h"

#include "src/infstruc/reader.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "zrk/cfgfile.h"
#include "zrk/cfile.h"
#include "zrk/platform.h"

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Evaluates the expression of an "if" condition in a fresh reader prepared
// as the one that reads descriptions, with SYMBOLS defined without values.
int EvaluateExpression(const CString& expression, const CStringList* symbols, const char* file, int line,
                       int* result) {
    CCfgFile reader;
    InfPrepareReader(reader);
    reader.DefinePredefined();
    if (symbols) reader.DefineAll(*symbols, nullptr);
    bool value = false;
    const int status = reader.Evaluate(expression, &value, file ? file : "", line);
    // A condition that cannot be evaluated does not hold.
    *result = status == 0 && value ? 1 : 0;
    return status;
}

bool PathExists(CString path) {
    path.Replace("/", "\\");
    return !path.IsEmpty() && CFile::Exists(path);
}

}  // namespace

bool InfIsExpression(const char* text, CString* expression) {
    const char* p = text ? text : "";
    while (ZrkIsSpace(static_cast<unsigned char>(*p))) ++p;
    // Any text that begins with the two letters is an expression, whatever
    // follows them: "ifdefined(X)" tests X, and "iffy.dat" is the expression
    // "fy.dat" (which the syntax check refuses), never a path.
    if (Lower(p[0]) != 'i' || Lower(p[1]) != 'f') return false;
    if (expression) {
        *expression = p + 2;
        expression->Trim();
    }
    return true;
}

int InfCheckConditionSyntax(const char* condition, const char* file, int line) {
    CString expression;
    if (!InfIsExpression(condition, &expression)) return 0;
    int result = 0;
    return EvaluateExpression(expression, nullptr, file, line, &result);
}

int InfEvaluateCondition(const char* text, const CStringList* symbols, const CInfVarContext* context,
                         bool pathForm, const char* file, int line, int* result) {
    *result = 1;
    if (!text || !*text) return 0;
    CString condition(text);
    // A text that could not be expanded is not decided: the failure is the
    // caller's, who does not apply the record or entry.
    if (context) ZRK_TRY(ExpandVariables(*context, condition, false));
    CString expression;
    if (InfIsExpression(condition, &expression))
        return EvaluateExpression(expression, symbols, file, line, result);
    if (pathForm) *result = PathExists(condition) ? 1 : 0;
    return 0;
}

int EvaluateTest(const CInfRecord& record, const CSetRecord* set, int* result) {
    if (!set) {
        *result = 1;
        if (record.TestText().IsEmpty()) return 0;
        // Without a set there is nothing to expand and no symbol is defined:
        // the syntax of an expression is checked, a path is tested as it is.
        return InfEvaluateCondition(record.TestText(), nullptr, nullptr, true, record.SourceFile(),
                                    record.SourceLine(), result);
    }
    const CInfVarContext context = InfVarContextOf(set);
    return InfEvaluateCondition(record.TestText(), &set->ConditionSymbols(), &context, true,
                                record.SourceFile(), record.SourceLine(), result);
}

int EvaluateEntryCondition(const CSetRecord* set, const char* text, int* result) {
    const CInfVarContext context = InfVarContextOf(set);
    return InfEvaluateCondition(text, set ? &set->ConditionSymbols() : nullptr, &context, false, "", 0,
                                result);
}

bool InfArchiAllows(const char* archi) {
    CString word(archi ? archi : "");
    word.Trim();
    return !(word.CompareNoCase("WIN32") == 0 && ZrkPlatformKind() == ZRK_WIN32S);
}

int IsSetApplicable(const CSetRecord& set, int* result) {
    *result = 0;
    int holds = 0;
    ZRK_TRY(EvaluateTest(set, &set, &holds));
    if (!holds) return 0;
    if (!InfArchiAllows(set.Archi())) return 0;
    *result = 1;
    return 0;
}

bool KeepPlatformFile(const char* word) {
    CString w(word ? word : "");
    w.Trim();
    if (w.IsEmpty()) return true;
    const int kind = ZrkPlatformKind();
    if (w.CompareNoCase("WIN95") == 0 || w.CompareNoCase("!WINNT") == 0) return kind == ZRK_WIN95;
    if (w.CompareNoCase("WINNT") == 0 || w.CompareNoCase("!WIN95") == 0) return kind == ZRK_WINNT;
    return false;
}

void InfSplitEntryCondition(const char* value, CString* data, CString* condition) {
    const CString text(value ? value : "");
    const int hash = text.ReverseFind('#');
    if (hash < 0) {
        *data = text;
        condition->Empty();
        return;
    }
    *condition = text.c_str() + hash + 1;
    condition->Trim();
    if (condition->StartsWith(",")) {
        *condition = condition->c_str() + 1;
        condition->Trim();
    }
    *data = CString(text.c_str(), hash);
    data->Trim();
    if (data->EndsWith(",")) {
        *data = CString(data->c_str(), data->Length() - 1);
        data->Trim();
    }
}

int InfCheckEntry(const CSetRecord* set, const char* testPath, const char* condition, int* apply) {
    *apply = 0;
    if (testPath && *testPath) {
        CString path(testPath);
        ZRK_TRY(ExpandVariables(set, path, false));
        if (!PathExists(path)) return 0;
    }
    int holds = 0;
    ZRK_TRY(EvaluateEntryCondition(set, condition, &holds));
    *apply = holds;
    return 0;
}
