// Conditions of the install description and the platform filters.
//
// A condition text is empty (true), an expression of the configuration
// language introduced by the word "if" in any case ("IF defined(CLIENT)",
// "if(defined(A) | defined(B))"), or, for a record's "TEST" only, a path that
// must exist after variable expansion. Every text whose first two letters
// are "if" is an expression: "ifdefined(X)" is "defined(X)", and "iffy.dat"
// is the expression "fy.dat", a syntax error. The condition after "#" of an
// entry is only ever an expression; other text there counts as true.
#pragma once

#include "zrk/cstring.h"

class CInfRecord;
class CSetRecord;
class CStringList;
struct CInfVarContext;

// True when TEXT (leading blanks skipped) is an "if" expression; EXPRESSION
// then receives the part after "if", trimmed.
bool InfIsExpression(const char* text, CString* expression = nullptr);

// The reading-time check: an "if" condition's expression is evaluated
// without symbols so that its syntax errors are reported with FILE and LINE
// (the status of the evaluator is returned); any other text is accepted.
int InfCheckConditionSyntax(const char* condition, const char* file, int line);

// The record-independent core of the decisions below. SYMBOLS (may be
// nullptr) are defined without value for "defined"; CONTEXT (may be nullptr:
// no expansion) expands the text's variables first, short names off. With
// PATHFORM a text that is not an expression is a path that must exist;
// without it such a text is true. FILE and LINE go into the evaluator's
// messages. *RESULT is 1 or 0; the first status is returned.
int InfEvaluateCondition(const char* text, const CStringList* symbols,
                         const CInfVarContext* context, bool pathForm, const char* file, int line,
                         int* result);

// A record's "TEST" (SET may be nullptr: syntax check only, no expansion).
int EvaluateTest(const CInfRecord& record, const CSetRecord* set, int* result);
// The condition after "#" of an entry.
int EvaluateEntryCondition(const CSetRecord* set, const char* text, int* result);
// The set's own "TEST" and its "ARCHI" against the platform kind.
int IsSetApplicable(const CSetRecord& set, int* result);

// "ARCHI": only "WIN32" (any case) restricts a set, to platform kinds other
// than 1.
bool InfArchiAllows(const char* archi);

// The platform word after a shared library's file name: empty keeps the file
// everywhere, "WIN95" and "!WINNT" on platform kind 2, "WINNT" and "!WIN95"
// on kind 3, any other word nowhere.
bool KeepPlatformFile(const char* word);

// An entry's value split at its last "#": DATA receives the value before it
// (one trailing "," removed, trimmed), CONDITION the text after it (trimmed,
// one leading "," removed, trimmed again); without "#" DATA is the whole
// value and CONDITION is empty.
void InfSplitEntryCondition(const char* value, CString* data, CString* condition);

// The checks of one "INI" or "REG" entry before it is applied, after the
// caller split off its "#" CONDITION and its TESTPATH modifier: the test
// path (when non-empty) is expanded and must exist, then the condition must
// hold. *APPLY is 1 when the entry is to be applied; only then does the
// caller expand key, name and data and apply it.
int InfCheckEntry(const CSetRecord* set, const char* testPath, const char* condition, int* apply);
