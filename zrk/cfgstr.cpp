// String files: entries with continuation lines become "IDS_" symbols.
#include "zrk/cfgstr.h"

#include "zrk/report.h"
#include "zrk/result.h"

CCfgStringFile::CCfgStringFile(CCfgFile* reader) : CCfgFile(reader) {
    SetSeparator(',');
    SetMacroExpansion(false);
    SetOptions(0);
    CString language;
    if (reader && reader->IsDefined("LANG", &language)) m_language = language;
}

int CCfgStringFile::OpenRelative(const char* name) {
    CString file = name ? name : "";
    // Texts of other languages live in a subdirectory named after the
    // language; French ones in the file itself.
    if (!m_language.IsEmpty() && m_language.CompareNoCase("fra") != 0) {
        file = CFile::ConvertSlashes(file);
        const int slash = file.ReverseFind('\\');
        const CString dir(file.c_str(), slash + 1);
        const CString part(file.c_str() + slash + 1);
        file = dir + m_language + "\\" + part;
    }
    return CCfgFile::OpenRelative(file);
}

int CCfgStringFile::ReadStrings() {
    for (;;) {
        int type = CFG_EOF;
        CString value, key;
        if (m_hasPending) {
            type = m_pendingType;
            value = m_pendingValue;
            key = m_pendingKey;
            m_hasPending = false;
        } else {
            ZRK_TRY(NextItem(&type, &value, &key));
        }
        if (type == CFG_EOF) return 0;
        const CCfgFile* at = Innermost();
        if (type == CFG_BLOCK_START || type == CFG_BLOCK_END)
            return SyntaxError(MSG_CFG_STRING_BLOCK, at->FileName().c_str(), at->LineNumber());
        if (type != CFG_ENTRY) continue;
        // A bare item here has no entry before it to continue.
        if (key.IsEmpty()) return SyntaxError(MSG_CFG_SYNTAX, at->FileName().c_str(), at->LineNumber());

        CString name = key;
        name.MakeUpper();
        CString text = value;
        for (;;) {
            ZRK_TRY(NextItem(&m_pendingType, &m_pendingValue, &m_pendingKey));
            if (m_pendingType == CFG_ENTRY && m_pendingKey.IsEmpty()) {
                text += m_pendingValue;
                continue;
            }
            m_hasPending = true;
            break;
        }
        Define(CString("IDS_") + name, text);
    }
}

int CCfgStringFile::Include(CCfgFile* reader, const CString& argument, const CString& line) {
    CString name;
    bool search = false;
    ZRK_TRY(reader->ParseFileArgument(line, argument, &name, &search));
    ZRK_TRY(reader->CheckIncludeDepth());
    CCfgStringFile strings(reader);
    int r = search ? strings.OpenSearch(name) : strings.OpenRelative(name);
    if (r == 0) r = reader->CheckNotIncluding(strings);
    if (r == 0) r = strings.ReadStrings();
    ZRK_KEEP(r, strings.Close());
    return r;
}
