// Program Manager commands and the group state they change.
#include "progman.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void SkipBlanks(const char*& p) {
    while (IsBlank(*p)) ++p;
}

// One argument, from P to the ',' or ')' after it.
bool ParseArgument(const char*& p, CString* out) {
    SkipBlanks(p);
    CString arg;
    if (*p == '"') {
        ++p;
        for (;;) {
            if (*p == '\0') return false;
            if (*p == '"') {
                if (p[1] != '"') break;
                ++p;  // "" is one quote
            }
            arg.Append(*p++);
        }
        ++p;
        SkipBlanks(p);
    } else {
        while (*p && *p != ',' && *p != ')') arg.Append(*p++);
        arg.TrimRight();
    }
    if (*p != ',' && *p != ')') return false;
    *out = arg;
    return true;
}

bool ParseNumber(const CString& text, long* value) {
    if (text.IsEmpty()) {
        *value = 0;
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    *value = n;
    return true;
}

const CString& Arg(const CProgmanCommand& c, size_t i) {
    static const CString empty;
    return i < c.args.size() ? c.args[i] : empty;
}

// A text field of an answer line; ALWAYS quotes it, otherwise only when it
// holds a comma or a quote.
void AppendField(CString& line, const CString& text, bool always) {
    if (!line.IsEmpty() && line[line.Length() - 1] != '\n') line.Append(',');
    const bool quote = always || text.Find(',') >= 0 || text.Find('"') >= 0;
    if (!quote) {
        line.Append(text);
        return;
    }
    line.Append('"');
    for (int i = 0; i < text.Length(); ++i) {
        if (text[i] == '"') line.Append('"');
        line.Append(text[i]);
    }
    line.Append('"');
}

void AppendNumberField(CString& line, long n) {
    line.Append(',');
    line.AppendNumber(n);
}

}  // namespace

bool ParseProgmanCommands(const char* text, std::vector<CProgmanCommand>* out) {
    out->clear();
    const char* p = text ? text : "";
    SkipBlanks(p);
    if (*p == '\0') return false;
    while (*p) {
        if (*p != '[') return false;
        ++p;
        SkipBlanks(p);
        CProgmanCommand command;
        while (*p && *p != '(' && *p != ']' && !IsBlank(*p)) command.name.Append(*p++);
        if (command.name.IsEmpty()) return false;
        SkipBlanks(p);
        if (*p == '(') {
            ++p;
            SkipBlanks(p);
            if (*p == ')') {
                ++p;  // "()" has no arguments
            } else {
                for (;;) {
                    CString arg;
                    if (!ParseArgument(p, &arg)) return false;
                    command.args.push_back(arg);
                    if (*p++ == ')') break;
                }
            }
            SkipBlanks(p);
        }
        if (*p != ']') return false;
        ++p;
        SkipBlanks(p);
        out->push_back(command);
    }
    return true;
}

int CProgmanState::FindGroup(const char* name) const {
    for (size_t i = 0; i < m_groups.size(); ++i)
        if (m_groups[i].name.CompareNoCase(name) == 0) return static_cast<int>(i);
    return -1;
}

CProgmanGroup* CProgmanState::Current() {
    const int i = m_current.IsEmpty() ? -1 : FindGroup(m_current);
    return i < 0 ? nullptr : &m_groups[static_cast<size_t>(i)];
}

bool CProgmanState::Execute(const char* text) {
    std::vector<CProgmanCommand> commands;
    if (!ParseProgmanCommands(text, &commands)) return false;
    for (const CProgmanCommand& c : commands)
        if (!Run(c)) return false;
    return true;
}

bool CProgmanState::Run(const CProgmanCommand& c) {
    const size_t n = c.args.size();
    const CString& name = c.name;
    if (name.CompareNoCase("CreateGroup") == 0) {
        if (n < 1 || n > 2 || Arg(c, 0).IsEmpty()) return false;
        if (FindGroup(Arg(c, 0)) < 0) {
            CProgmanGroup group;
            group.name = Arg(c, 0);
            group.file = n > 1 && !Arg(c, 1).IsEmpty() ? Arg(c, 1) : Arg(c, 0) + ".grp";
            m_groups.push_back(group);
        }
        m_current = Arg(c, 0);
        m_replaceAt = -1;
        return true;
    }
    if (name.CompareNoCase("ShowGroup") == 0) {
        if (n < 1 || n > 2) return false;
        const int i = FindGroup(Arg(c, 0));
        long show = 1;
        if (i < 0 || (n > 1 && !ParseNumber(Arg(c, 1), &show))) return false;
        if (n > 1) m_groups[static_cast<size_t>(i)].showCommand = show;
        m_current = Arg(c, 0);
        m_replaceAt = -1;
        return true;
    }
    if (name.CompareNoCase("DeleteGroup") == 0) {
        if (n != 1) return false;
        const int i = FindGroup(Arg(c, 0));
        if (i < 0) return false;
        if (m_current.CompareNoCase(Arg(c, 0)) == 0) m_current.Empty();
        m_groups.erase(m_groups.begin() + i);
        return true;
    }
    if (name.CompareNoCase("AddItem") == 0) {
        CProgmanGroup* group = Current();
        if (!group || n < 1 || n > 9 || Arg(c, 0).IsEmpty()) return false;
        CProgmanItem item;
        item.command = Arg(c, 0);
        item.title = n > 1 && !Arg(c, 1).IsEmpty() ? Arg(c, 1) : Arg(c, 0);
        item.iconPath = Arg(c, 2);
        item.directory = Arg(c, 6);
        long minimize = 0;
        if (!ParseNumber(Arg(c, 3), &item.iconIndex) || !ParseNumber(Arg(c, 4), &item.x) ||
            !ParseNumber(Arg(c, 5), &item.y) || !ParseNumber(Arg(c, 7), &item.hotKey) ||
            !ParseNumber(Arg(c, 8), &minimize))
            return false;
        item.minimize = minimize != 0;
        const size_t at = m_replaceAt >= 0 && static_cast<size_t>(m_replaceAt) <= group->items.size()
                              ? static_cast<size_t>(m_replaceAt)
                              : group->items.size();
        group->items.insert(group->items.begin() + static_cast<std::ptrdiff_t>(at), item);
        m_replaceAt = -1;
        return true;
    }
    if (name.CompareNoCase("DeleteItem") == 0 || name.CompareNoCase("ReplaceItem") == 0) {
        CProgmanGroup* group = Current();
        if (!group || n != 1) return false;
        for (size_t i = 0; i < group->items.size(); ++i) {
            if (group->items[i].title.CompareNoCase(Arg(c, 0)) == 0) {
                group->items.erase(group->items.begin() + static_cast<std::ptrdiff_t>(i));
                m_replaceAt = name.CompareNoCase("ReplaceItem") == 0 ? static_cast<int>(i) : -1;
                return true;
            }
        }
        return false;
    }
    if (name.CompareNoCase("Reload") == 0) return n <= 1 && (n == 0 || FindGroup(Arg(c, 0)) >= 0);
    if (name.CompareNoCase("ExitProgman") == 0) {
        if (n > 1) return false;
        m_exit = true;
        return true;
    }
    return false;
}

bool CProgmanState::Request(const char* item, CString* out) const {
    out->Empty();
    CString name(item);
    if (name.CompareNoCase("Groups") == 0) {
        for (const CProgmanGroup& g : m_groups) {
            out->Append(g.name);
            out->Append("\r\n");
        }
        return true;
    }
    const int i = FindGroup(name);
    if (i < 0) return false;
    const CProgmanGroup& g = m_groups[static_cast<size_t>(i)];
    CString text;
    AppendField(text, g.name, true);
    AppendField(text, g.file, false);
    AppendNumberField(text, static_cast<long>(g.items.size()));
    AppendNumberField(text, g.showCommand);
    text.Append("\r\n");
    for (const CProgmanItem& it : g.items) {
        AppendField(text, it.title, true);
        AppendField(text, it.command, true);
        AppendField(text, it.directory, false);
        AppendField(text, it.iconPath, false);
        AppendNumberField(text, it.x);
        AppendNumberField(text, it.y);
        AppendNumberField(text, it.iconIndex);
        AppendNumberField(text, it.hotKey);
        AppendNumberField(text, it.minimize ? 1 : 0);
        text.Append("\r\n");
    }
    *out = text;
    return true;
}
