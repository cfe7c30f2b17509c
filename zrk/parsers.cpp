// The command-line parser: words, values, declarations, binding and the
// usage text.
#include "zrk/parsers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

constexpr int kBadValue = ZRK_BADTIME;  // the result of a value that does not fit its type
constexpr int kUsageColumns = 80;
constexpr int kOptionIndent = 7;     // continuation lines of the usage line
constexpr int kParameterIndent = 6;  // the parameter syntax brings its own blank

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Trimmed(const char* text) {
    std::string s = text ? text : "";
    size_t b = 0, e = s.size();
    while (b < e && ZrkIsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && ZrkIsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The "|"-separated words of TEXT, trimmed.
std::vector<std::string> SplitWords(const char* text) {
    std::vector<std::string> words;
    std::string s = text ? text : "";
    size_t start = 0;
    for (;;) {
        size_t bar = s.find('|', start);
        words.push_back(Trimmed(s.substr(start, bar == std::string::npos ? std::string::npos : bar - start).c_str()));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    return words;
}

// Decimal digits from *P into *VALUE; false on overflow or when there are
// none.
bool ReadDigits(const std::string& s, size_t* p, uint64_t* value) {
    uint64_t v = 0;
    size_t i = *p;
    for (; i < s.size() && IsDigit(s[i]); ++i) {
        unsigned d = static_cast<unsigned>(s[i] - '0');
        if (v > (UINT64_MAX - d) / 10) return false;
        v = v * 10 + d;
    }
    if (i == *p) return false;
    *p = i;
    *value = v;
    return true;
}

bool ParseWhole(const std::string& s, int64_t* out) {
    size_t p = 0;
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    uint64_t v;
    if (!ReadDigits(s, &p, &v) || p != s.size()) return false;
    const uint64_t limit = static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0);
    if (v > limit) return false;
    *out = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

bool ParseReal(const std::string& s, double* out) {
    if (s.empty()) return false;
    // strtod would also take a hexadecimal float, "inf" and "nan": only a
    // plain decimal number is a value here.
    for (char c : s)
        if (!IsDigit(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E') return false;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool ParseSize(const std::string& s, int64_t* out) {
    size_t p = 0;
    uint64_t v;
    if (!ReadDigits(s, &p, &v)) return false;
    while (p < s.size() && IsBlank(s[p])) ++p;
    std::string unit = s.substr(p);
    uint64_t factor = 1;
    if (unit.empty() || EqualNoCase(unit, "b"))
        factor = 1;
    else if (EqualNoCase(unit, "k") || EqualNoCase(unit, "kb"))
        factor = uint64_t{1} << 10;
    else if (EqualNoCase(unit, "m") || EqualNoCase(unit, "mb"))
        factor = uint64_t{1} << 20;
    else if (EqualNoCase(unit, "g") || EqualNoCase(unit, "gb"))
        factor = uint64_t{1} << 30;
    else
        return false;
    if (v > static_cast<uint64_t>(INT64_MAX) / factor) return false;
    *out = static_cast<int64_t>(v * factor);
    return true;
}

bool ParseHex(const std::string& s, uint64_t* out) {
    size_t p = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) p = 2;
    if (p == s.size() || s.size() - p > 16) return false;
    uint64_t v = 0;
    for (; p < s.size(); ++p) {
        const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[p])));
        int d;
        if (IsDigit(c))
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
        v = v * 16 + static_cast<unsigned>(d);
    }
    *out = v;
    return true;
}

CString HexText(uint64_t v) {
    char digits[17];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[v & 15];
        v >>= 4;
    } while (v != 0);
    CString text("0x");
    while (n > 0) text.Append(digits[--n]);
    return text;
}

// A file name a Windows file system can hold: not empty, no control
// characters, none of < > " | ? *, a ":" only after a drive letter, and
// shorter than MAX_PATH.
bool IsFileName(const char* text) {
    const size_t n = std::strlen(text);
    if (n == 0 || n >= 260) return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 32 || std::strchr("<>\"|?*", c)) return false;
        if (c == ':' && !(i == 1 && std::isalpha(static_cast<unsigned char>(text[0])))) return false;
    }
    return true;
}

}  // namespace

// ---- values ------------------------------------------------------------------------------

int CParserValue::Convert(int type, const char* text, const char* words) {
    if (!text) text = "";
    CParserValue v;
    v.m_type = type;
    v.m_text = text;
    v.m_display = text;
    const std::string t = Trimmed(text);
    switch (type) {
    case ZRK_VT_NONE:
    case ZRK_VT_TEXT:
        break;
    case ZRK_VT_LONG:
        if (!ParseWhole(t, &v.m_number)) return kBadValue;
        v.m_real = static_cast<double>(v.m_number);
        v.m_display = std::to_string(v.m_number).c_str();
        break;
    case ZRK_VT_DOUBLE:
        if (!ParseReal(t, &v.m_real)) return kBadValue;
        v.m_display = CString::Printf("%g", v.m_real);
        break;
    case ZRK_VT_PERCENT: {
        // A trailing "%" and blanks are allowed: "50", "50%" and "50 %" are 0.5.
        std::string number = t;
        if (!number.empty() && number.back() == '%') number = Trimmed(number.substr(0, number.size() - 1).c_str());
        double percent;
        if (!ParseReal(number, &percent)) return kBadValue;
        v.m_real = percent / 100;
        v.m_display = CString::Printf("%g %%", percent);
        break;
    }
    case ZRK_VT_BOOL: {
        std::vector<std::string> w;
        if (words && std::strchr(words, '|')) w = SplitWords(words);
        if (w.size() < 2) w = {Trimmed(ZrkMessageText(MSG_TRUE_WORD)), Trimmed(ZrkMessageText(MSG_FALSE_WORD))};
        if (!t.empty() && EqualNoCase(t, w[0])) {
            v.m_number = 1;
            v.m_display = w[0].c_str();
        } else if (!t.empty() && EqualNoCase(t, w[1])) {
            v.m_number = 0;
            v.m_display = w[1].c_str();
        } else {
            return kBadValue;
        }
        v.m_real = static_cast<double>(v.m_number);
        break;
    }
    case ZRK_VT_SIZE:
        if (!ParseSize(t, &v.m_number)) return kBadValue;
        v.m_real = static_cast<double>(v.m_number);
        v.m_display = std::to_string(v.m_number).c_str();
        break;
    case ZRK_VT_HEX: {
        uint64_t bits;
        if (!ParseHex(t, &bits)) return kBadValue;
        v.m_number = static_cast<int64_t>(bits);
        v.m_real = static_cast<double>(bits);
        v.m_display = HexText(bits);
        break;
    }
    case ZRK_VT_DATE:
    case ZRK_VT_TIME: {
        CTimeError err;  // kept, not reported: the parser names the value instead
        const char* format = type == ZRK_VT_DATE ? "DateTimeInter" : "TimeInter";
        if (v.m_time.Parse(t.c_str(), format, &err) != 0) return kBadValue;
        if (type == ZRK_VT_DATE && v.m_time.TimeOfDay() == 0) format = "DateInter";
        v.m_display = v.m_time.Format(format);
        break;
    }
    case ZRK_VT_DURATION: {
        CTimeError err;
        if (v.m_time.ParseSpan(t.c_str(), nullptr, &err) != 0) return kBadValue;
        v.m_display = v.m_time.FormatSpan();
        break;
    }
    case ZRK_VT_FILE:
        if (!IsFileName(text)) return kBadValue;
        break;
    case ZRK_VT_CHOICE: {
        const std::vector<std::string> w = SplitWords(words);
        size_t i = 0;
        while (i < w.size() && (w[i].empty() || !EqualNoCase(t, w[i]))) ++i;
        if (i == w.size()) return kBadValue;
        v.m_number = static_cast<int64_t>(i);
        v.m_real = static_cast<double>(i);
        v.m_display = w[i].c_str();
        break;
    }
    case ZRK_VT_LIST: {
        v.m_list.AddSplit(text, ',', true);
        if (v.m_list.Count() == 0) return kBadValue;
        for (int i = 0; i < v.m_list.Count(); ++i)
            if (v.m_list[i].IsEmpty()) return kBadValue;
        v.m_number = v.m_list.Count();
        v.m_real = static_cast<double>(v.m_number);
        v.m_display = v.m_list.Join(",");
        break;
    }
    default:
        return kBadValue;
    }
    *this = v;
    return 0;
}

CString CParserValue::TypeName(int type) {
    CString name = ZrkMessageText(type >= 0 && type < ZRK_VT_COUNT ? MSG_TYPE_NONE + type : MSG_TYPE_UNKNOWN);
    if (!name.IsEmpty()) name.SetAt(0, static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))));
    return name;
}

// ---- words ---------------------------------------------------------------------------------

CTokenizer::CTokenizer(const char* text) : m_text(text ? text : "") {}

bool CTokenizer::Next(CString& word) {
    const char* s = m_text.c_str();
    const int n = m_text.Length();
    int i = m_pos;
    while (i < n && IsBlank(s[i])) ++i;
    if (i >= n) {
        m_pos = n;
        return false;
    }
    const int start = i;
    bool quoted = false;
    while (i < n) {
        if (s[i] == '\'') {
            // Two apostrophes are one literal apostrophe, never an empty
            // quoted text: the quoting state stays as it is.
            if (i + 1 < n && s[i + 1] == '\'') {
                i += 2;
                continue;
            }
            quoted = !quoted;
        } else if (!quoted && IsBlank(s[i])) {
            break;
        }
        ++i;
    }
    word.Assign(s + start, i - start);
    m_wordStart = start;
    m_pos = i;
    return true;
}

CString CTokenizer::Rest() const {
    const char* s = m_text.c_str();
    int i = m_pos;
    while (i < m_text.Length() && IsBlank(s[i])) ++i;
    return CString(s + i);
}

bool CTokenizer::IsOption(const char* word) { return word && (word[0] == '-' || word[0] == '/'); }

CString CTokenizer::Unquote(const char* text, int length) {
    if (!text) return CString();
    const size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        if (text[i] != '\'') {
            out += text[i];
        } else if (i + 1 < n && text[i + 1] == '\'') {
            out += '\'';
            ++i;
        }
        // A single apostrophe opens or closes a quote and is dropped.
    }
    return CString(out.c_str(), static_cast<int>(out.size()));
}

CString CTokenizer::Quote(const char* text) {
    if (!text) text = "";
    // A text of apostrophes alone cannot go in quotes: the opening quote
    // and the first apostrophe would pair up as a literal one. Doubled
    // apostrophes without quotes say it (nothing at all for an empty text).
    const bool onlyApostrophes = text[std::strspn(text, "'")] == 0;
    std::string out(onlyApostrophes ? "" : "'");
    for (const char* p = text; *p; ++p) {
        if (*p == '\'') out += '\'';
        out += *p;
    }
    if (!onlyApostrophes) out += '\'';
    return CString(out.c_str(), static_cast<int>(out.size()));
}

void CTokenizer::SplitOption(const char* text, CString* name, CString* value) {
    if (!text) text = "";
    const char* colon = std::strchr(text, ':');
    if (!colon) {
        *name = text;
        value->Empty();
        return;
    }
    name->Assign(text, static_cast<int>(colon - text));
    const char* start = colon + 1;
    while (*start == ':') ++start;
    const char* end = start;
    bool quoted = false;
    while (*end) {
        if (*end == '\'') {
            if (end[1] == '\'') {
                end += 2;
                continue;
            }
            quoted = !quoted;
        } else if (*end == ':' && !quoted) {
            break;  // what follows is ignored
        }
        ++end;
    }
    *value = Unquote(start, static_cast<int>(end - start));
}

// ---- declarations --------------------------------------------------------------------------

CString CParser::Option::First() const { return spellings.empty() ? name : spellings.front(); }

bool CParser::Option::Matches(const char* spelling) const {
    if (!spelling || !*spelling) return false;
    const bool exact = (flags & ZRK_OPT_CASE) != 0;
    if (exact ? name.Compare(spelling) == 0 : name.CompareNoCase(spelling) == 0) return true;
    for (const CString& w : spellings)
        if (exact ? w.Compare(spelling) == 0 : w.CompareNoCase(spelling) == 0) return true;
    return false;
}

CParser::CParser(const char* commandLine) {
    if (commandLine)
        m_commandLine = commandLine;
    else if (CApp* app = ZrkApp())
        m_commandLine = app->CommandLine();
    SetVersion(1, 0);
    AddOption("verbose", nullptr, ZrkMessageText(MSG_HELP_VERBOSE), ZRK_VT_NONE, 0, nullptr);
    AddOption("?|h|H", nullptr, ZrkMessageText(MSG_HELP_HELP), ZRK_VT_NONE, 0, nullptr);
    AddOption("??|hh|HH", nullptr, ZrkMessageText(MSG_HELP_EXTENDED), ZRK_VT_NONE, ZRK_OPT_HIDDEN, nullptr);
}

void CParser::SetVersion(int major, int minor) { m_version.Format("%d.%02d", major, minor); }

int CParser::DeclareOption(const char* name, const char* help, int flags) {
    return AddOption(name, nullptr, help, ZRK_VT_NONE, flags, nullptr);
}

int CParser::DeclareOption(const char* name, const char* argName, const char* help, int type, int flags,
                           const char* def) {
    return AddOption(name, argName, help, type, flags, def);
}

int CParser::AddOption(const char* name, const char* argName, const char* help, int type, int flags,
                       const char* def) {
    // Declarations are the program's own: a bad one is a fault of the
    // program, not of the user.
    if (!name || !*name || type < 0 || type >= ZRK_VT_COUNT) return ZRK_INTERNAL_ERROR();
    Option o;
    o.name = name;
    o.argName = argName ? argName : "";
    o.help = help ? help : "";
    o.type = type;
    o.flags = flags & ~ZRK_OPT_SEEN;
    for (const std::string& w : SplitWords(name)) {
        if (w.empty() || w.find_first_of(": \t'") != std::string::npos) return ZRK_INTERNAL_ERROR();
        o.spellings.emplace_back(w.c_str());
    }
    for (const Option& other : m_options) {
        for (const CString& w : o.spellings)
            if (other.Matches(w)) return ZRK_INTERNAL_ERROR();
        for (const CString& w : other.spellings)
            if (o.Matches(w)) return ZRK_INTERNAL_ERROR();
    }
    if (def && o.def.Convert(type, def, o.argName) != 0) return ZRK_INTERNAL_ERROR();
    m_options.push_back(o);
    return 0;
}

int CParser::DeclarePositional(const char* name, const char* help, int type, int flags) {
    if (!name || !*name || type <= ZRK_VT_NONE || type >= ZRK_VT_COUNT) return ZRK_INTERNAL_ERROR();
    if (!m_params.empty() && (m_params.back().flags & ZRK_PARAM_REST)) return ZRK_INTERNAL_ERROR();
    m_params.push_back(Param{name, help ? help : "", type, flags});
    return 0;
}

// ---- parsing -------------------------------------------------------------------------------

const CParser::Option* CParser::Find(const char* name) const {
    for (const Option& o : m_options)
        if (o.Matches(name)) return &o;
    return nullptr;
}

int CParser::ReadResponseFile(const char* path, CString* text) {
    // Read in blocks rather than by lines: a file without line breaks, or
    // a device that never ends, must not grow without bound.
    CFile file;
    ZRK_TRY(file.Open(path, "r"));
    std::string data;
    char block[4096];
    for (;;) {
        long got = 0;
        ZRK_TRY(file.Read(block, sizeof block, &got));
        if (got <= 0) break;
        data.append(block, static_cast<size_t>(got));
        if (data.size() > static_cast<size_t>(kMaxResponseFile)) return ZRK_INTERNAL_ERROR();
    }
    file.Close();
    text->Empty();
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        CString line(data.c_str() + start, static_cast<int>(end - start));
        line.Trim();
        text->Append(' ');
        text->Append(line);
        start = end + 1;
    }
    return 0;
}

int CParser::BindOption(const CString& word, bool* stop, int* help) {
    CString name, value;
    CTokenizer::SplitOption(word.c_str() + 1, &name, &value);
    Option* o = Find(name);
    if (!o) {
        *stop = true;
        return ZrkErrorId(ZRK_INTERNAL, MSG_UNKNOWN_OPTION, name.c_str(), value.c_str());
    }
    const int index = static_cast<int>(o - m_options.data());
    if (index == OPT_HELP || index == OPT_EXTENDED) {
        o->flags |= ZRK_OPT_SEEN;
        *help = index == OPT_HELP ? 1 : 2;
        *stop = true;
        return 0;
    }
    if ((o->flags & ZRK_OPT_SEEN) && !(o->flags & ZRK_OPT_REPEAT))
        return ZrkErrorId(ZRK_INTERNAL, MSG_OPTION_REPEATED, o->First().c_str());
    o->flags |= ZRK_OPT_SEEN;
    if (o->type != ZRK_VT_NONE) {
        CParserValue v;
        const int r = v.Convert(o->type, value, o->argName);
        if (r != 0)
            return ZrkErrorId(r, MSG_BAD_VALUE, o->First().c_str(), CParserValue::TypeName(o->type).c_str());
        o->values.push_back(v);
        return 0;
    }
    if (!value.IsEmpty()) return ZrkErrorId(ZRK_INTERNAL, MSG_OPTION_NO_VALUE, o->First().c_str());
    o->values.push_back(o->def);
    if (index == OPT_VERBOSE) {
        if (CApp* app = ZrkApp()) app->SetLogging(true);
    }
    return 0;
}

int CParser::BindPositional(const CString& word, size_t* param, bool* restTaken) {
    const CString value = CTokenizer::Unquote(word);
    if (*param >= m_params.size()) return ZrkErrorId(ZRK_INTERNAL, MSG_EXTRA_PARAMETER, value.c_str());
    const Param& p = m_params[*param];
    Given given{static_cast<int>(*param), CParserValue()};
    const int r = given.value.Convert(p.type, value, p.name);
    if (p.flags & ZRK_PARAM_REST)
        *restTaken = true;
    else
        ++*param;
    if (r != 0) return ZrkErrorId(r, MSG_BAD_VALUE, p.name.c_str(), CParserValue::TypeName(p.type).c_str());
    m_given.push_back(given);
    return 0;
}

int CParser::Parse() {
    for (Option& o : m_options) {
        o.flags &= ~ZRK_OPT_SEEN;
        o.values.clear();
    }
    m_given.clear();

    int r = 0;
    int help = 0;  // 1 help, 2 extended help
    CString line = m_commandLine;
    if (m_responseFile) {
        // A first word -f:file stands for the words of the file; the words
        // after it follow them. A response file is read once: "-f" inside
        // it is an ordinary option word.
        CTokenizer first(line);
        CString word, name, value;
        if (first.Next(word) && CTokenizer::IsOption(word)) {
            CTokenizer::SplitOption(word.c_str() + 1, &name, &value);
            if (name.CompareNoCase("f") == 0) {
                CString text;
                r = ReadResponseFile(value, &text);
                if (r == 0) {
                    text.Append(' ');
                    text.Append(first.Rest());
                    line = text;
                }
            }
        }
    }

    if (r == 0) {
        CTokenizer words(line);
        CString word;
        size_t param = 0;
        bool restTaken = false;
        bool stop = false;
        while (!stop && words.Next(word)) {
            if (CTokenizer::IsOption(word))
                ZRK_KEEP(r, BindOption(word, &stop, &help));
            else
                ZRK_KEEP(r, BindPositional(word, &param, &restTaken));
        }
        // Missing items are reported once every word was read; not when
        // parsing stopped early (help, or a word it could not place).
        if (!stop) {
            for (const Option& o : m_options)
                if ((o.flags & ZRK_OPT_MANDATORY) && !(o.flags & ZRK_OPT_SEEN))
                    ZRK_KEEP(r, ZrkErrorId(ZRK_INTERNAL, MSG_MISSING_ARGUMENT, o.First().c_str()));
            if (!restTaken)
                for (size_t i = param; i < m_params.size(); ++i)
                    if (!(m_params[i].flags & ZRK_PARAM_OPTIONAL))
                        ZRK_KEEP(r, ZrkErrorId(ZRK_INTERNAL, MSG_MISSING_ARGUMENT, m_params[i].name.c_str()));
        }
    }

    if (r != 0 || help != 0) Usage(help == 2);
    if (r != 0) return r;
    return help != 0 ? ZRK_CANCEL : 0;
}

// ---- results -------------------------------------------------------------------------------

bool CParser::WasGiven(const char* name) const {
    const Option* o = Find(name);
    return o && (o->flags & ZRK_OPT_SEEN);
}

int CParser::ValueCount(const char* name) const {
    const Option* o = Find(name);
    return o ? static_cast<int>(o->values.size()) : 0;
}

const CParserValue& CParser::Value(const char* name, int index) const {
    static const CParserValue empty;
    const Option* o = Find(name);
    if (!o) return empty;
    if (index < 0 || static_cast<size_t>(index) >= o->values.size()) return o->def;
    return o->values[static_cast<size_t>(index)];
}

const CParserValue& CParser::Positional(int index) const {
    static const CParserValue empty;
    if (index < 0 || static_cast<size_t>(index) >= m_given.size()) return empty;
    return m_given[static_cast<size_t>(index)].value;
}

const CString& CParser::PositionalName(int index) const {
    static const CString empty;
    if (index < 0 || static_cast<size_t>(index) >= m_given.size()) return empty;
    return m_params[static_cast<size_t>(m_given[static_cast<size_t>(index)].param)].name;
}

// ---- banner and usage ----------------------------------------------------------------------

int CParser::BuildYear(const char* buildDate) {
    CString text(buildDate ? buildDate : "");
    text.MakeLower();
    CTimeEx date;
    CTimeError err;  // a date that cannot be read falls back quietly
    if (text.IsEmpty() || date.Parse(text, "%Bi %D %Y", &err) != 0 || date.IsEmpty()) return 94;
    return date.Parts().year;
}

CString CParser::BannerLine() const {
    CString title("ZRK Application"), company("Vendrix");
    if (const CApp* app = ZrkApp()) {
        title = app->Title();
        company = app->Company();
    }
    CString line, version;
    line.Format("%s\n(c) %s %d, ", title.c_str(), company.c_str(), BuildYear(__DATE__));
    version.FormatId(MSG_VERSION, m_version.c_str(), __DATE__);
    return line + version;
}

namespace {

// Help text whose own line breaks continue at column INDENT.
std::string IndentedHelp(const char* help, size_t indent) {
    std::string out;
    for (const char* p = help; *p; ++p) {
        if (*p == '\r' && p[1] == '\n') continue;
        out += *p;
        if (*p == '\n') out.append(indent, ' ');
    }
    return out;
}

void TrimLineEnd(std::string* text) {
    while (!text->empty() && text->back() == ' ') text->pop_back();
}

// The usage line as it grows, broken before an item that would pass the
// last column.
struct UsageLine {
    std::string text;
    size_t column = 0;

    void Place(const std::string& item, size_t indent) {
        if (column > indent && column + item.size() > static_cast<size_t>(kUsageColumns)) {
            TrimLineEnd(&text);
            text += '\n';
            text.append(indent, ' ');
            column = indent;
        }
        text += item;
        column += item.size();
    }
};

}  // namespace

CString CParser::UsageText(bool extended) const {
    CString program = m_program;
    if (program.IsEmpty()) {
        if (const CApp* app = ZrkApp())
            program = app->AppName();
        else
            program = CFile::BaseName(zrkos::ModulePath());
    }

    size_t width = 0;
    for (const Option& o : m_options) width = std::max(width, static_cast<size_t>(o.name.Length()) + 1);
    for (const Param& p : m_params) width = std::max(width, static_cast<size_t>(p.name.Length()));
    width += 1;

    UsageLine usage;
    usage.text = std::string("Usage: ") + program.c_str() + " ";
    usage.column = usage.text.size();
    std::string descriptions;
    auto describe = [&](std::string head, const CString& help) {
        if (head.size() < width) head.append(width - head.size(), ' ');
        descriptions += '\n';
        descriptions += head + ": " + IndentedHelp(help, 4 + width);
    };

    for (const Option& o : m_options) {
        if ((o.flags & ZRK_OPT_HIDDEN) && !extended) continue;
        const bool mandatory = (o.flags & ZRK_OPT_MANDATORY) != 0;
        std::string syntax = mandatory ? "-" : "[-";
        syntax += o.name.c_str();
        if (o.type != ZRK_VT_NONE) syntax += std::string(":<") + o.argName.c_str() + ">";
        if (!mandatory) syntax += "]";
        if (o.flags & ZRK_OPT_REPEAT) syntax += "*";
        usage.Place(syntax + " ", kOptionIndent);
        describe(std::string("-") + o.First().c_str(), o.help);
    }
    for (const Param& p : m_params) {
        const bool rest = (p.flags & ZRK_PARAM_REST) != 0;
        usage.Place(std::string(" <") + p.name.c_str() + (rest ? "...>" : ">"), kParameterIndent);
        describe(std::string("<") + p.name.c_str() + ">", p.help);
    }
    TrimLineEnd(&usage.text);
    const std::string text = usage.text + descriptions;
    return CString(text.c_str(), static_cast<int>(text.size()));
}

int CParser::Usage(bool extended) {
    ZrkReportText(ZRK_KIND_INFO, 0, nullptr, BannerLine());
    // Reported as an error with the result 2: the program then ends without
    // a further final message.
    ZrkReportText(ZRK_KIND_ERROR, ZRK_CANCEL, nullptr, UsageText(extended));
    return ZRK_CANCEL;
}
