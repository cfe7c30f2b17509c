// The condition evaluator of the configuration language: the expressions of
// "#if" directives and the conditions of the install description.
//
//   expression := operand { ("&" | "|") operand }      ("&&", "||" accepted)
//   operand    := ["!"] ( "(" expression ")"
//                       | ("defined" | "FileExists" | "FindAlongPath") argument
//                       | text comparison-operator text )
//
// "&" and "|" have equal precedence and a group is combined from the right:
// a & b | c means a & (b | c). A comparison is numeric when both texts are
// complete floating-point numbers, otherwise a case-sensitive byte
// comparison. A bare name is not an operand; symbols reach an expression only
// through "defined" or through macro references substituted beforehand.
#pragma once

#include "zrk/cstring.h"

// The symbol lookup an expression's "defined" asks for.
class CCfgSymbols {
public:
    virtual ~CCfgSymbols() = default;
    // True when NAME is defined (a leading "!" inverts); VALUE receives the
    // value when given.
    virtual bool IsDefined(const char* name, CString* value = nullptr) const = 0;
};

// Groups may nest this deep; deeper expressions are refused (message 475).
constexpr int kCfgMaxExpressionNesting = 256;

// Evaluates EXPRESSION. FILE and LINE only go into messages. Returns 0 with
// *RESULT, or the internal-error result after reporting message 461, 466,
// 467, 471 or 475.
int ZrkCfgEvaluate(const char* expression, const CCfgSymbols& symbols, const char* file, int line,
                   bool* result);
