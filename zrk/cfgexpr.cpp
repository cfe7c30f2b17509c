// The condition evaluator: a single left-to-right pass with a value stack,
// an operator stack and a stack of open groups. Nothing recurses, so the
// depth of an expression costs heap, not stack; groups are bounded anyway so
// that a hostile expression is refused with a message.
#include "zrk/cfgexpr.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// Characters that end an operand's text.
constexpr const char* kStops = "|&)<>=!";

bool IsBlank(char c) { return ZrkIsSpace(static_cast<unsigned char>(c)); }

std::string Trimmed(const std::string& s, size_t from, size_t to) {
    while (from < to && IsBlank(s[from])) ++from;
    while (to > from && IsBlank(s[to - 1])) --to;
    return s.substr(from, to - from);
}

// A complete floating-point number: strtod consumes every character and
// reports no range error.
bool ToNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return errno == 0 && end == text.c_str() + text.size();
}

// The byte difference at the first position where the texts differ.
int TextDifference(const std::string& a, const std::string& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        if (d != 0) return d;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -static_cast<unsigned char>(b[n]) : static_cast<unsigned char>(a[n]);
}

enum Function { FN_DEFINED, FN_FILEEXISTS, FN_FINDALONGPATH };

class CEvaluator {
public:
    CEvaluator(const char* expression, const CCfgSymbols& symbols, const char* file, int line)
        : m_expression(expression), m_symbols(symbols), m_file(file), m_line(line) {}

    int Run(bool* result);

private:
    // Reports a message whose arguments are (text, file, line).
    int Error(ZrkMsg<'s', 's', 'd'> msgId, const char* text) {
        return ZrkErrorId(ZRK_INTERNAL_ERROR(), msgId, text, m_file, m_line);
    }
    // Message 467: the text LEFT is followed by OP, which is no comparison
    // operator, at AT. The message names what stands there; the ")" that
    // closes the whole text is the end of the expression, which the user
    // never wrote.
    int NoComparison(const std::string& left, std::string op, size_t at) {
        if (at + op.size() >= m_text.size()) op.pop_back();
        const CString found = op.empty() ? ZrkMessageText(MSG_EXPR_END) : CString::Printf("\"%s\"", op.c_str());
        return ZrkErrorId(ZRK_INTERNAL_ERROR(), MSG_EXPR_BAD_COMPARISON, left.c_str(), found.c_str(), m_file, m_line);
    }
    // Message 461: a missing closing character.
    int Missing(char c) {
        return ZrkErrorId(ZRK_INTERNAL_ERROR(), MSG_CFG_MISSING_CHAR, static_cast<int>(c), m_expression, m_file, m_line);
    }
    void SkipBlanks() {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) ++m_pos;
    }
    size_t StopFrom(size_t from) const {
        const size_t at = m_text.find_first_of(kStops, from);
        return at == std::string::npos ? m_text.size() : at;
    }
    // Length of a function word at the current position, 0 when none.
    size_t FunctionWord(Function* fn) const;
    void Push(long value) {
        if (m_negate) value = value == 0 ? 1 : 0;
        m_values.push_back(value);
        m_negate = false;
        m_expectOperand = false;
    }
    int OpenGroup();
    int CloseGroup();
    int FunctionOperand(Function fn, size_t wordLength);
    int Comparison();

    const char* m_expression;
    const CCfgSymbols& m_symbols;
    const char* m_file;
    int m_line;

    std::string m_text;
    size_t m_pos = 0;
    std::vector<long> m_values;
    std::vector<char> m_operators;
    std::vector<size_t> m_groups;  // value-stack height at each open "("
    int m_negatedGroups = 0;
    bool m_negate = false;
    bool m_expectOperand = true;
};

size_t CEvaluator::FunctionWord(Function* fn) const {
    static const struct {
        const char* word;
        Function fn;
    } kWords[] = {{"defined", FN_DEFINED}, {"FileExists", FN_FILEEXISTS}, {"FindAlongPath", FN_FINDALONGPATH}};
    for (const auto& w : kWords) {
        const size_t n = std::strlen(w.word);
        if (m_text.size() - m_pos < n) continue;
        bool same = true;
        for (size_t i = 0; i < n && same; ++i)
            same = std::tolower(static_cast<unsigned char>(m_text[m_pos + i])) ==
                   std::tolower(static_cast<unsigned char>(w.word[i]));
        if (!same) continue;
        // A longer word ("definedness") is not the function.
        if (m_pos + n < m_text.size()) {
            const unsigned char next = static_cast<unsigned char>(m_text[m_pos + n]);
            if (std::isalnum(next) || next == '_') continue;
        }
        *fn = w.fn;
        return n;
    }
    return 0;
}

int CEvaluator::OpenGroup() {
    if (m_groups.size() >= static_cast<size_t>(kCfgMaxExpressionNesting)) return Error(MSG_EXPR_DEPTH, m_expression);
    m_groups.push_back(m_values.size());
    if (m_negate) {
        ++m_negatedGroups;
        m_negate = false;
    }
    ++m_pos;
    return 0;
}

int CEvaluator::CloseGroup() {
    if (m_groups.empty()) return Error(MSG_EXPR_UNBALANCED, m_expression);
    const size_t base = m_groups.back();
    // A group without a value ("()") has nothing to combine or invert.
    if (m_values.size() <= base) return Error(MSG_EXPR_UNBALANCED, m_expression);
    // Combine pairwise from the top: a & b | c is a & (b | c).
    while (m_values.size() > base + 1) {
        if (m_operators.empty()) return Error(MSG_EXPR_UNBALANCED, m_expression);
        const long b = m_values.back();
        m_values.pop_back();
        const long a = m_values.back();
        const char op = m_operators.back();
        m_operators.pop_back();
        m_values.back() = op == '&' ? (a != 0 && b != 0) : (a != 0 || b != 0);
    }
    m_groups.pop_back();
    // A pending negation applies to the first group that closes after it.
    if (m_negatedGroups > 0) {
        --m_negatedGroups;
        m_values.back() = m_values.back() == 0 ? 1 : 0;
    }
    ++m_pos;
    return 0;
}

int CEvaluator::FunctionOperand(Function fn, size_t wordLength) {
    if (!m_expectOperand) return Error(MSG_EXPR_SYNTAX, m_expression);
    m_pos += wordLength;
    const size_t stop = StopFrom(m_pos);
    std::string arg = Trimmed(m_text, m_pos, stop);
    m_pos = stop;
    if (!arg.empty() && arg[0] == '(') {
        arg = Trimmed(arg, 1, arg.size());
        if (m_pos >= m_text.size() || m_text[m_pos] != ')') return Missing('(');
        ++m_pos;
    }
    long value = 0;
    if (fn == FN_DEFINED) {
        value = m_symbols.IsDefined(arg.c_str()) ? 1 : 0;
    } else {
        if (!arg.empty() && arg[0] == '"') {
            if (arg.size() < 2 || arg.back() != '"') return Missing('"');
            arg = arg.substr(1, arg.size() - 2);
        }
        if (!arg.empty()) {
            if (fn == FN_FILEEXISTS) {
                value = CFile::Exists(CFile::Normalise(arg.c_str())) ? 1 : 0;
            } else {
                CString found;
                value = CFile::SearchOnPath(arg.c_str(), &found, false) == 0 ? 1 : 0;
            }
        }
    }
    Push(value);
    return 0;
}

int CEvaluator::Comparison() {
    const size_t leftEnd = StopFrom(m_pos);
    const std::string left = Trimmed(m_text, m_pos, leftEnd);
    std::string op;
    size_t pos = leftEnd;
    if (pos < m_text.size()) op.push_back(m_text[pos++]);
    // A second operator character follows directly: "==", "!=", "<=", ">=".
    if (pos < m_text.size() && StopFrom(pos) == pos) op.push_back(m_text[pos++]);
    const size_t rightEnd = StopFrom(pos);
    const std::string right = Trimmed(m_text, pos, rightEnd);
    m_pos = rightEnd;

    enum { EQ, NE, LT, GT, LE, GE } kind;
    if (op == "==" || op == "=")
        kind = EQ;
    else if (op == "!=")
        kind = NE;
    else if (op == "<")
        kind = LT;
    else if (op == ">")
        kind = GT;
    else if (op == "<=")
        kind = LE;
    else if (op == ">=")
        kind = GE;
    else
        return NoComparison(left, op, leftEnd);

    double a = 0, b = 0;
    long value = 0;
    if (ToNumber(left, &a) && ToNumber(right, &b)) {
        switch (kind) {
            case EQ: value = a == b; break;
            case NE: value = a != b; break;
            case LT: value = a < b; break;
            case GT: value = a > b; break;
            case LE: value = a <= b; break;
            case GE: value = a >= b; break;
        }
    } else {
        const int d = TextDifference(left, right);
        switch (kind) {
            case EQ: value = d == 0; break;
            case NE: value = d; break;  // the difference itself counts as true
            case LT: value = d < 0; break;
            case GT: value = d > 0; break;
            case LE: value = d <= 0; break;
            case GE: value = d >= 0; break;
        }
    }
    Push(value);
    return 0;
}

int CEvaluator::Run(bool* result) {
    // "||" and "&&" are the same operators as "|" and "&"; the whole text is
    // one group.
    const std::string source = m_expression;
    m_text.reserve(source.size() + 2);
    m_text.push_back('(');
    for (size_t i = 0; i < source.size(); ++i) {
        m_text.push_back(source[i]);
        if ((source[i] == '|' || source[i] == '&') && i + 1 < source.size() && source[i + 1] == source[i]) ++i;
    }
    m_text.push_back(')');

    for (;;) {
        SkipBlanks();
        if (m_pos >= m_text.size()) break;
        if (m_text[m_pos] == '!') {
            // The negated token follows directly, without a blank.
            m_negate = true;
            if (++m_pos >= m_text.size()) break;
        }
        const char c = m_text[m_pos];
        Function fn = FN_DEFINED;
        size_t word = 0;
        if (c == '&' || c == '|') {
            m_operators.push_back(c);
            m_expectOperand = true;
            ++m_pos;
        } else if (c == '(') {
            ZRK_TRY(OpenGroup());
        } else if (c == ')') {
            ZRK_TRY(CloseGroup());
        } else if ((word = FunctionWord(&fn)) != 0) {
            ZRK_TRY(FunctionOperand(fn, word));
        } else if (m_expectOperand) {
            ZRK_TRY(Comparison());
        } else {
            return Error(MSG_EXPR_SYNTAX, m_expression);
        }
    }
    if (!m_operators.empty() || m_values.size() != 1 || !m_groups.empty()) return Error(MSG_EXPR_UNBALANCED, m_expression);
    *result = m_values.back() != 0;
    return 0;
}

}  // namespace

int ZrkCfgEvaluate(const char* expression, const CCfgSymbols& symbols, const char* file, int line,
                   bool* result) {
    *result = false;
    CEvaluator evaluator(expression ? expression : "", symbols, file ? file : "", line);
    return evaluator.Run(result);
}
