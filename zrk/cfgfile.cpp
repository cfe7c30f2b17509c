// The configuration reader, its preprocessor and the writer.
#include "zrk/cfgfile.h"

#include <cctype>
#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>

#include "zrk/cfgstr.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/profile.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Str(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }
CString Text(const std::string& s) { return CString(s.data(), static_cast<int>(s.size())); }

std::string Trimmed(const std::string& s, size_t from = 0) {
    size_t b = from, e = s.size();
    while (b < e && ZrkIsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && ZrkIsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool StartsNoCase(const std::string& s, const char* prefix) {
    const size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// A keyword followed by a blank, compared without regard to case ("{ ",
// "BEGIN "). Returns the keyword's length, 0 when the line does not start so.
size_t KeywordAndBlank(const std::string& s, const char* keyword) {
    const size_t n = std::strlen(keyword);
    return s.size() > n && StartsNoCase(s, keyword) && IsBlank(s[n]) ? n : 0;
}

// Splits TEXT at its first blank: the part before, and the rest (trimmed).
void SplitAtBlank(const std::string& text, std::string* first, std::string* rest) {
    size_t at = 0;
    while (at < text.size() && !IsBlank(text[at])) ++at;
    *first = Trimmed(text.substr(0, at));
    *rest = at < text.size() ? Trimmed(text, at) : std::string();
}

std::string StripQuotes(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

// Paths compare without regard to case where the file system does so.
bool SamePath(const CString& a, const CString& b) {
    return zrkos::IsWindows() ? a.CompareNoCase(b) == 0 : a.Compare(b) == 0;
}

// Whether a bare item written as TEXT would read back as another item: an
// empty line, a comment, a directive, a block line, or an entry with a key.
bool MisreadAsBare(const std::string& text, char separator) {
    if (text.empty() || text.find(separator) != std::string::npos) return true;
    if (text[0] == '}' || text[0] == '#' || text[0] == ';' || StartsWith(text, "//")) return true;
    if (KeywordAndBlank(text, "{") || KeywordAndBlank(text, "BEGIN")) return true;
    return text.size() == 3 && StartsNoCase(text, "END");
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and the symbol table

CCfgFile::CCfgFile() = default;

CCfgFile::CCfgFile(CCfgFile* parent) : m_parent(parent) {
    if (parent) m_memoryFiles = parent->m_memoryFiles;
}

CCfgFile::~CCfgFile() {
    m_child.reset();
    m_file.Close(false);
}

CCfgFile* CCfgFile::Root() {
    CCfgFile* r = this;
    while (r->m_parent) r = r->m_parent;
    return r;
}

const CCfgFile* CCfgFile::Root() const {
    const CCfgFile* r = this;
    while (r->m_parent) r = r->m_parent;
    return r;
}

const CStringList& CCfgFile::SymbolNames() const { return Root()->m_names; }
const CStringList& CCfgFile::SymbolValues() const { return Root()->m_values; }

void CCfgFile::Define(const char* name, const char* value) {
    CCfgFile* root = Root();
    // A new definition of a name moves it to the end of the table.
    const int at = root->m_names.Find(name ? name : "");
    if (at >= 0) {
        root->m_names.RemoveAt(at);
        root->m_values.RemoveAt(at);
    }
    root->m_names.Add(name ? name : "");
    root->m_values.Add(value ? value : "");
}

void CCfgFile::DefineAll(const CStringList& names, const CStringList* values) {
    for (int i = 0; i < names.Count(); ++i)
        Define(names[i], values && i < values->Count() ? (*values)[i].c_str() : "");
}

void CCfgFile::Undefine(const char* name) {
    CCfgFile* root = Root();
    const int at = root->m_names.Find(name ? name : "");
    if (at >= 0) {
        root->m_names.RemoveAt(at);
        root->m_values.RemoveAt(at);
    }
}

bool CCfgFile::IsDefined(const char* name, CString* value) const {
    if (!name) name = "";
    // Each leading "!" inverts; counted, not recursed, so that any number of
    // them is harmless.
    bool invert = false;
    while (*name == '!') {
        invert = !invert;
        ++name;
    }
    CString found;
    bool defined = false;
    const CCfgFile* root = Root();
    const int at = root->m_names.Find(name);
    if (at >= 0) {
        found = root->m_values[at];
        defined = true;
    } else if ((m_options & CFG_OPT_ENV_SYMBOLS) && *name) {
        defined = zrkos::GetEnv(name, &found);
    }
    if (invert) {
        if (value) value->Empty();
        return !defined;
    }
    if (defined && value) *value = found;
    return defined;
}

void CCfgFile::DefinePredefined() {
    const int platform = ZrkPlatformKind();
    const int shell = ZrkShellGeneration();
    const char* env = "";
    switch (platform) {
        case ZRK_WIN32S: env = "WIN31"; break;
        case ZRK_WIN95: env = "WIN95"; break;
        case ZRK_WINNT: env = "WINNT"; break;
        case ZRK_XWINDOW: env = "XWINDOW"; break;
        default: break;
    }
    const char* look = env;
    if (platform == ZRK_XWINDOW)
        look = "XWINDOWS";
    else if (shell == 31)
        look = "WIN31";
    else if (shell == 95)
        look = "WIN95";
    Define("__WIN32__", "");
    Define("ENV", env);
    Define("LOOK", look);
}

// ---------------------------------------------------------------------------
// Opening and closing

int CCfgFile::OpenPath(const CString& path) {
    m_child.reset();
    m_memory = nullptr;
    if (m_memoryFiles) {
        const auto it = m_memoryFiles->find(Str(path));
        if (it == m_memoryFiles->end())
            return ZrkErrorId(ZRK_NOTFOUND, MSG_OPEN_READ, path.c_str(), 2, zrkos::ErrnoText(2).c_str());
        m_memory = &it->second;
        m_memoryPos = 0;
        m_memoryLines = 0;
        m_memoryPath = path;
        return 0;
    }
    return m_file.Open(path, "r", true);
}

int CCfgFile::OpenRelative(const char* name) {
    DefinePredefined();
    m_blockDepth = 0;
    m_condDepth = 0;
    if (!name) name = "";
    const CString path = m_parent ? CFile::Join(CFile::DirPart(m_parent->FileName()), name) : CString(name);
    return OpenPath(CFile::Normalise(path));
}

int CCfgFile::OpenSearch(const char* name) {
    DefinePredefined();
    m_blockDepth = 0;
    m_condDepth = 0;
    if (!name) name = "";
    CString found;
    if (m_memoryFiles) {
        found = CFile::Normalise(name);
        if (!*name || m_memoryFiles->find(Str(found)) == m_memoryFiles->end())
            return ZrkErrorId(ZRK_FAIL, MSG_NOT_IN_SETTINGS_PATH, name);
    } else if (ZrkSearchSettingsFile(name, &found) != 0) {
        return ZrkErrorId(ZRK_FAIL, MSG_NOT_IN_SETTINGS_PATH, name);
    }
    return OpenPath(found);
}

int CCfgFile::Close(bool report) {
    int r = 0;
    if (m_child) {
        r = m_child->Close(report);
        m_child.reset();
    }
    m_memory = nullptr;
    ZRK_KEEP(r, m_file.Close(report));
    return r;
}

bool CCfgFile::IsOpen() const { return m_memory != nullptr || m_file.IsOpen(); }

int CCfgFile::LineNumber() const { return m_memoryFiles ? m_memoryLines : m_file.LineNumber(); }

const CString& CCfgFile::FileName() const { return m_memoryFiles ? m_memoryPath : m_file.Path(); }

const CCfgFile* CCfgFile::Innermost() const {
    const CCfgFile* r = this;
    while (r->m_child) r = r->m_child.get();
    return r;
}

int CCfgFile::SyntaxCode() { return ZRK_INTERNAL_ERROR(); }

// ---------------------------------------------------------------------------
// Reading lines and items

int CCfgFile::ReadLine(CString& line) {
    if (m_memoryFiles) {
        if (!m_memory || m_memoryPos >= m_memory->size()) return ZRK_EOF;
        const size_t lf = m_memory->find('\n', m_memoryPos);
        size_t end = lf == std::string::npos ? m_memory->size() : lf;
        const size_t start = m_memoryPos;
        m_memoryPos = lf == std::string::npos ? end : lf + 1;
        if (lf != std::string::npos && end > start && (*m_memory)[end - 1] == '\r') --end;
        ++m_memoryLines;
        line.Assign(m_memory->data() + start, static_cast<int>(end - start));
    } else {
        ZRK_TRY(m_file.ReadLine(line, false));
    }
    // Text stops at a zero byte: everything after it would be invisible to
    // the text operations anyway.
    if (static_cast<int>(std::strlen(line.c_str())) != line.Length()) line = CString(line.c_str());
    return 0;
}

int CCfgFile::NextItem(int* type, CString* value, CString* key) {
    *type = CFG_EOF;
    value->Empty();
    key->Empty();
    for (;;) {
        if (m_child) {
            ZRK_TRY(m_child->NextItem(type, value, key));
            if (*type != CFG_EOF) return 0;
            const int closed = m_child->Close();
            m_child.reset();
            ZRK_TRY(closed);
            continue;
        }
        if (!IsOpen()) return ZRK_INTERNAL_ERROR();
        CString line;
        const int r = ReadLine(line);
        if (r == ZRK_EOF) {
            // Conditional sections and blocks end in the file that opened them.
            if (m_condDepth != 0) return ZrkErrorId(ZRK_FAIL, MSG_CFG_MISSING_ENDIF, FileName().c_str());
            if (m_blockDepth != 0) return ZrkErrorId(ZRK_FAIL, MSG_CFG_UNBALANCED_BLOCKS, FileName().c_str());
            *type = CFG_EOF;
            return 0;
        }
        ZRK_TRY(r);
        bool produced = false;
        ZRK_TRY(ProcessLine(line, type, value, key, &produced));
        if (produced) return 0;
    }
}

int CCfgFile::ProcessLine(CString line, int* type, CString* value, CString* key, bool* produced) {
    line.Trim();
    // Comments and "##" lines are never substituted, directive lines are.
    if (m_macros && !line.StartsWith("//") && !line.StartsWith(";") && !line.StartsWith("##"))
        ZRK_TRY(ExpandMacros(line));
    const std::string s = Str(line);

    size_t prefix = KeywordAndBlank(s, "{");
    if (!prefix) prefix = KeywordAndBlank(s, "BEGIN");
    if (prefix) {
        std::string keyword, name;
        SplitAtBlank(Trimmed(s, prefix), &keyword, &name);
        CString unquoted = Text(name);
        if (unquoted.Unquote() != 0) return SyntaxError(MSG_CFG_SYNTAX, FileName().c_str(), LineNumber());
        ++m_blockDepth;
        m_blockKeyword = Text(keyword);
        *type = CFG_BLOCK_START;
        *key = m_blockKeyword;
        *value = unquoted;
        *produced = true;
        return 0;
    }
    if ((!s.empty() && s[0] == '}') || line.CompareNoCase("END") == 0) {
        --m_blockDepth;
        *type = CFG_BLOCK_END;
        *produced = true;
        return 0;
    }
    if (s.empty()) {
        if (m_options & CFG_OPT_ALL_ITEMS) {
            *type = CFG_EMPTY;
            *produced = true;
        }
        return 0;
    }
    if (StartsWith(s, "//") || s[0] == ';') {
        if (m_options & CFG_OPT_ALL_ITEMS) {
            const size_t n = s[0] == ';' ? 1 : 2;
            *type = CFG_COMMENT;
            *key = Text(s.substr(0, n));
            *value = Text(Trimmed(s, n));
            *produced = true;
        }
        return 0;
    }
    if (s[0] == '#') {
        if (m_options & CFG_OPT_RAW) {
            *type = CFG_DIRECTIVE;
            *key = "#";
            *value = Text(Trimmed(s, 1));
            *produced = true;
            return 0;
        }
        return Directive(line, type, value, key, produced);
    }
    ZRK_TRY(Entry(line, value, key));
    *type = CFG_ENTRY;
    *produced = true;
    return 0;
}

int CCfgFile::Entry(const CString& line, CString* value, CString* key) {
    const std::string s = Str(line);
    const size_t sep = s.find(m_separator);
    CString v;
    if (!(m_options & CFG_OPT_STRICT) && (s[0] == '"' || sep == std::string::npos)) {
        // A bare item: the whole line is the value.
        v = line;
    } else {
        if (sep == std::string::npos) return SyntaxError(MSG_CFG_SYNTAX, FileName().c_str(), LineNumber());
        const std::string k = Trimmed(s.substr(0, sep));
        if (k.empty()) return SyntaxError(MSG_CFG_SYNTAX, FileName().c_str(), LineNumber());
        *key = Text(k);
        v = Text(Trimmed(s, sep + 1));
    }
    if (v.Unquote() != 0) {
        key->Empty();
        return SyntaxError(MSG_CFG_SYNTAX, FileName().c_str(), LineNumber());
    }
    *value = v;
    return 0;
}

// ---------------------------------------------------------------------------
// Directives

int CCfgFile::Directive(const CString& line, int* type, CString* value, CString* key, bool* produced) {
    enum Kind { D_INCLUDE_STR, D_INCLUDE, D_DEFINE, D_ERROR, D_MESSAGE, D_UNDEF, D_ELSE, D_ENDIF, D_IF };
    // Matched as prefixes in this order: the first that fits wins.
    static const struct {
        const char* word;
        Kind kind;
    } kDirectives[] = {
        {"include_str", D_INCLUDE_STR}, {"include", D_INCLUDE}, {"define", D_DEFINE}, {"error", D_ERROR},  {"message", D_MESSAGE},
        {"undef", D_UNDEF},             {"else", D_ELSE},       {"endif", D_ENDIF},   {"if", D_IF},
    };
    const std::string after = Trimmed(Str(line), 1);
    // "ifdef" and "ifndef" are short for "if defined" and "if !defined":
    // as a directive's keyword in any case, like every keyword, and in
    // lower case wherever else they stand in the line.
    std::string keyword = after;
    if (StartsNoCase(keyword, "ifndef")) {
        keyword.replace(0, 6, "if !defined");
    } else if (StartsNoCase(keyword, "ifdef")) {
        keyword.replace(0, 5, "if defined");
    }
    CString text = Text(keyword);
    text.Replace("ifdef", "if defined");
    text.Replace("ifndef", "if !defined");
    const std::string t = Str(text);

    for (const auto& d : kDirectives) {
        if (!StartsNoCase(t, d.word)) continue;
        const std::string arg = Trimmed(t, std::strlen(d.word));
        const CString argument = Text(arg);
        switch (d.kind) {
            case D_INCLUDE_STR: return ZrkCfgReadStringFile(this, argument, line);
            case D_INCLUDE: return Include(line, argument);
            case D_DEFINE: {
                std::string name, val;
                SplitAtBlank(arg, &name, &val);
                Define(name.c_str(), val.c_str());
                return 0;
            }
            case D_ERROR:
                return SyntaxError(MSG_CFG_ERROR_DIRECTIVE, FileName().c_str(), LineNumber(), StripQuotes(arg).c_str());
            case D_MESSAGE:
                ZrkWarningId(MSG_CFG_MESSAGE_DIRECTIVE, FileName().c_str(), LineNumber(), StripQuotes(arg).c_str());
                return 0;
            case D_UNDEF: Undefine(arg.c_str()); return 0;
            case D_ELSE:
                // Met while reading: the "#if" part was taken, skip the rest.
                if (m_condDepth == 0) return SyntaxError(MSG_CFG_UNEXPECTED_ELSE, FileName().c_str(), LineNumber());
                return Skip(true);
            case D_ENDIF:
                if (m_condDepth == 0) return SyntaxError(MSG_CFG_ENDIF_WITHOUT_IF, FileName().c_str(), LineNumber());
                --m_condDepth;
                return 0;
            case D_IF: {
                bool result = false;
                ZRK_TRY(Evaluate(argument, &result));
                if (result) {
                    ++m_condDepth;
                    return 0;
                }
                return Skip(false);
            }
        }
    }
    // Not a directive of the language (for example "#elif" or "##...").
    if (m_options & CFG_OPT_ALL_ITEMS) {
        *type = CFG_COMMENT;
        *key = "#";
        *value = Text(after);
        *produced = true;
    }
    return 0;
}

int CCfgFile::Skip(bool elsePart) {
    int nesting = 1;
    for (;;) {
        CString line;
        const int r = ReadLine(line);
        if (r == ZRK_EOF) return ZrkErrorId(ZRK_FAIL, MSG_CFG_MISSING_ENDIF, FileName().c_str());
        ZRK_TRY(r);
        line.Trim();
        // Only "#if", "#else" and "#endif" directly after the "#" count here.
        const std::string s = Str(line);
        if (StartsNoCase(s, "#endif")) {
            if (--nesting == 0) break;
        } else if (StartsNoCase(s, "#if")) {
            ++nesting;
        } else if (nesting == 1 && StartsNoCase(s, "#else")) {
            if (elsePart) return SyntaxError(MSG_CFG_UNEXPECTED_ELSE, FileName().c_str(), LineNumber());
            ++m_condDepth;
            return 0;
        }
    }
    if (elsePart) --m_condDepth;
    return 0;
}

int CCfgFile::ParseFileArgument(const CString& line, const CString& argument, CString* name, bool* search) {
    const std::string a = Str(argument);
    const char open = a.empty() ? '\0' : a[0];
    if (open != '"' && open != '<') return SyntaxError(MSG_CFG_BAD_DIRECTIVE, line.c_str(), FileName().c_str(), LineNumber());
    const char close = open == '"' ? '"' : '>';
    const size_t end = a.find(close, 1);
    if (end == std::string::npos)
        return SyntaxError(MSG_CFG_MISSING_CHAR, static_cast<int>(open), line.c_str(), FileName().c_str(), LineNumber());
    *name = Text(a.substr(1, end - 1));
    *search = open == '<';
    return 0;
}

int CCfgFile::CheckIncludeDepth() const {
    int depth = 0;
    for (const CCfgFile* r = this; r->m_parent; r = r->m_parent) ++depth;
    if (depth + 1 >= kCfgMaxIncludeDepth) return SyntaxError(MSG_CFG_INCLUDE_DEPTH, FileName().c_str(), LineNumber());
    return 0;
}

int CCfgFile::CheckNotIncluding(const CCfgFile& child) const {
    for (const CCfgFile* r = this; r; r = r->m_parent) {
        if (SamePath(r->FileName(), child.FileName()))
            return SyntaxError(MSG_CFG_SELF_INCLUDE, child.FileName().c_str(), FileName().c_str(), LineNumber());
    }
    return 0;
}

int CCfgFile::Include(const CString& line, const CString& argument) {
    CString name;
    bool search = false;
    ZRK_TRY(ParseFileArgument(line, argument, &name, &search));
    ZRK_TRY(CheckIncludeDepth());
    std::unique_ptr<CCfgFile> child(new CCfgFile(this));
    child->m_options = m_options;
    child->m_separator = m_separator;
    child->m_macros = m_macros;
    // On any failure the child is discarded here.
    ZRK_TRY(search ? child->OpenSearch(name) : child->OpenRelative(name));
    ZRK_TRY(CheckNotIncluding(*child));
    m_child = std::move(child);
    return 0;
}

// ---------------------------------------------------------------------------
// Macro substitution and conditions

int CCfgFile::ExpandMacros(CString& text, const char* file, int line) {
    const CString original = text;
    const CString where = file && *file ? CString(file) : FileName();
    if (line == 0) line = LineNumber();
    std::string t = Str(text);
    std::string out;
    int nested = 0;
    auto tooLong = [&](size_t size) {
        return size > kCfgMaxExpandedLine
                   ? SyntaxError(MSG_CFG_MACRO_DEPTH, original.c_str(), where.c_str(), line)
                   : 0;
    };
    size_t pos = 0;
    for (;;) {
        const size_t dollar = t.find('$', pos);
        if (dollar == std::string::npos) {
            out.append(t, pos, std::string::npos);
            break;
        }
        out.append(t, pos, dollar - pos);
        pos = dollar + 1;
        if (pos >= t.size() || t[pos] != '(') {
            out += '$';  // not a reference
            continue;
        }
        ++pos;  // the reference's name starts here
        for (;;) {
            const size_t close = t.find(')', pos);
            if (close == std::string::npos)
                return SyntaxError(MSG_CFG_MISSING_CHAR, static_cast<int>('('), original.c_str(), where.c_str(), line);
            const size_t inner = t.find('$', pos);
            if (inner == std::string::npos || close < inner) {
                const std::string name = t.substr(pos, close - pos);
                CString v;
                if (!IsDefined(name.c_str(), &v))
                    return SyntaxError(MSG_CFG_UNDEFINED_SYMBOL, name.c_str(), original.c_str(), where.c_str(), line);
                out.append(v.c_str(), static_cast<size_t>(v.Length()));
                ZRK_TRY(tooLong(out.size()));
                pos = close + 1;
                break;
            }
            // A reference inside the name: resolve the innermost one before
            // the first ")" and scan the outer reference again.
            size_t at = inner;
            bool literal = false;
            for (;;) {
                if (at + 1 >= t.size() || t[at + 1] != '(') {
                    literal = true;
                    break;
                }
                const size_t next = t.find('$', at + 2);
                if (next == std::string::npos || next > close) break;
                at = next;
            }
            if (literal) {
                // A "$" without "(" inside a reference: the text before it is
                // dropped and scanning goes on at that "$".
                pos = at;
                break;
            }
            const std::string name = t.substr(at + 2, close - at - 2);
            CString v;
            if (!IsDefined(name.c_str(), &v))
                return SyntaxError(MSG_CFG_UNDEFINED_SYMBOL, name.c_str(), original.c_str(), where.c_str(), line);
            if (++nested > kCfgMaxNestedReferences)
                return SyntaxError(MSG_CFG_MACRO_DEPTH, original.c_str(), where.c_str(), line);
            ZRK_TRY(tooLong(t.size() - (close + 1 - at) + static_cast<size_t>(v.Length())));
            t.replace(at, close + 1 - at, v.c_str(), static_cast<size_t>(v.Length()));
        }
    }
    ZRK_TRY(tooLong(out.size()));
    text = Text(out);
    return 0;
}

int CCfgFile::Evaluate(const char* expression, bool* result, const char* file, int line) {
    const CString where = file && *file ? CString(file) : FileName();
    return ZrkCfgEvaluate(expression, *this, where, line ? line : LineNumber(), result);
}

// ---------------------------------------------------------------------------
// The consumer's diagnostic

int CCfgFile::ReportUnexpected(int type, const char* value, const char* key) {
    (void)value;
    const CCfgFile* at = Innermost();
    const char* file = at->FileName().c_str();
    const int line = at->LineNumber();
    if (!key) key = "";
    switch (type) {
        case CFG_BLOCK_START: return ZrkErrorId(ZRK_FAIL, MSG_CFG_UNEXPECTED_ITEM, key, file, line);
        case CFG_ENTRY:
            if (*key) return ZrkErrorId(ZRK_FAIL, MSG_CFG_UNKNOWN_KEY, key, file, line);
            return ZrkErrorId(ZRK_FAIL, MSG_CFG_SYNTAX, file, line);
        case CFG_COMMENT:
        case CFG_EMPTY: return ZrkErrorId(ZRK_FAIL, MSG_CFG_UNEXPECTED_EMPTY, file, line);
        // The message names the place as well as the key.
        case CFG_DIRECTIVE: return ZrkErrorId(ZRK_FAIL, MSG_CFG_BAD_DIRECTIVE, key, file, line);
        default: return ZrkErrorId(ZRK_FAIL, MSG_CFG_UNEXPECTED, file, line);
    }
}

// ---------------------------------------------------------------------------
// The consumer pattern

int CCfgConsumer::Consume(CCfgFile& cfg, bool topLevel) {
    for (;;) {
        int type = CFG_EOF;
        CString value, key;
        ZRK_TRY(cfg.NextItem(&type, &value, &key));
        if (type == CFG_ENTRY && !key.IsEmpty() && !value.IsEmpty()) {
            ZRK_TRY(SetKey(cfg, key, value));
        } else if (type == CFG_BLOCK_START) {
            ZRK_TRY(ChildBlock(cfg, key, value));
        } else if ((type == CFG_BLOCK_END && !topLevel) || (type == CFG_EOF && topLevel)) {
            return 0;
        } else {
            ZRK_TRY(OtherItem(cfg, type, value, key));
            // A handler that accepts the end of the file ends the loop too.
            if (type == CFG_EOF) return 0;
        }
    }
}

int CCfgConsumer::ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name) {
    return cfg.ReportUnexpected(CFG_BLOCK_START, name, keyword);
}

int CCfgConsumer::OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key) {
    return cfg.ReportUnexpected(type, value, key);
}

// ---------------------------------------------------------------------------
// Writing

int CCfgFile::OpenWrite(const char* name, bool append) {
    m_child.reset();
    m_memory = nullptr;
    m_memoryFiles = nullptr;
    m_blockDepth = 0;
    const CString path = CFile::Normalise(name ? name : "");
    ZRK_TRY(CFile::MakeAllDirs(path));
    return m_file.Open(path, append ? "a" : "w", true);
}

namespace {

// A value in the writer's quoting style. NOQUOTES: escaped, never enclosed.
// Otherwise quoted only when needed; a value that would not read back as
// itself (MUSTENCLOSE, or a macro reference the reader would substitute) is
// enclosed, with the "$" of "$(" written as an escape.
std::string QuoteValue(const char* value, bool noQuotes, bool mustEnclose) {
    if (noQuotes) return Str(CString::Quote(value, false, false));
    const bool macro = std::strstr(value, "$(") != nullptr;
    std::string q = Str(CString::Quote(value, !(mustEnclose || macro), true));
    if (macro) {
        for (size_t at = q.find("$("); at != std::string::npos; at = q.find("$(", at + 4)) q.replace(at, 1, "\\x24");
    }
    return q;
}

}  // namespace

int CCfgFile::WriteItem(int type, const char* value, const char* key, bool report, bool forceQuotes) {
    if (!value) value = "";
    if (!key) key = "";
    if (!m_file.IsOpen()) return ZRK_INTERNAL_ERROR();
    const bool noQuotes = (m_options & CFG_OPT_NO_QUOTES) != 0;
    std::string out;
    switch (type) {
        case CFG_BLOCK_START:
            out.assign(static_cast<size_t>(m_blockDepth), ' ');
            out += "{ ";
            out += key;
            if (*value) {
                out += ' ';
                out += QuoteValue(value, noQuotes, false);
            }
            m_blockDepth += 2;
            break;
        case CFG_ENTRY: {
            std::string v = QuoteValue(value, noQuotes, !*key && !noQuotes && MisreadAsBare(value, m_separator));
            if (forceQuotes && !v.empty() && !(v.size() >= 2 && v.front() == '"' && v.back() == '"'))
                v = '"' + v + '"';
            out.assign(static_cast<size_t>(m_blockDepth), ' ');
            if (*key) {
                out += key;
                out += m_separator;
            }
            out += v;
            break;
        }
        case CFG_BLOCK_END:
            if (m_blockDepth >= 2) m_blockDepth -= 2;
            out.assign(static_cast<size_t>(m_blockDepth), ' ');
            out += '}';
            break;
        case CFG_COMMENT:
        case CFG_DIRECTIVE:
            out.assign(static_cast<size_t>(m_blockDepth), ' ');
            out += key;
            out += value;
            break;
        case CFG_EMPTY: break;
        default:
            if (report) return SyntaxError(MSG_CFG_UNEXPECTED_ITEM, key, FileName().c_str(), LineNumber());
            return ZRK_INTERNAL_ERROR();
    }
    out += '\n';
    return m_file.WriteText(out.c_str());
}
