#include "cmdwords.h"

#include <cstring>
#include <vector>

#include "zrk/parsers.h"

namespace {

// A word that begins with "/" and holds another separator: a POSIX path,
// not an option.
bool IsPathWord(const CString& word) {
    return word.Length() > 1 && word[0] == '/' && std::strpbrk(word.c_str() + 1, "/\\") != nullptr;
}

bool IsOptionWord(const CString& word) { return CTokenizer::IsOption(word) && !IsPathWord(word); }

// The name of an option word without its "-", "--" or "/"; empty when the
// word already carries a value.
CString BareOptionName(const CString& word) {
    if (!IsOptionWord(word) || word.Find(':') >= 0) return CString();
    const char* p = word.c_str() + 1;
    if (*p == '-') ++p;
    return CString(p);
}

}  // namespace

CString SetupkitJoinOptionWords(const char* args, std::initializer_list<const char*> valueOptions) {
    CTokenizer tokens(args ? args : "");
    std::vector<CString> words;
    CString word;
    while (tokens.Next(word)) words.push_back(word);
    CString line;
    for (size_t i = 0; i < words.size(); ++i) {
        if (!line.IsEmpty()) line.Append(' ');
        const CString name = BareOptionName(words[i]);
        bool takesValue = false;
        for (const char* option : valueOptions)
            if (!name.IsEmpty() && name.CompareNoCase(option) == 0) takesValue = true;
        if (takesValue && i + 1 < words.size() && !IsOptionWord(words[i + 1])) {
            line.Append(words[i]);
            line.Append(':');
            line.Append(CTokenizer::Quote(CTokenizer::Unquote(words[++i])));
        } else if (IsPathWord(words[i])) {
            line.Append(CTokenizer::Quote(CTokenizer::Unquote(words[i])));
        } else {
            line.Append(words[i]);
        }
    }
    return line;
}
