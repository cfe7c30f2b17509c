// String files: tables of message texts read by the "#include_str"
// directive. Each entry "NAME, text" defines the symbol "IDS_NAME" (NAME in
// upper case) in the including reader's symbol table; a following line that
// is a bare item (a quoted text, or one without a comma) continues the text:
//
//   WELCOME, "Welcome to the installation of "
//            "the product."
//
// With the symbol "LANG" defined (and not "fra"), a quoted file name
// "msg\setup.str" is read from the language's subdirectory, msg\ENG\setup.str.
#pragma once

#include "zrk/cfgfile.h"

class CCfgStringFile : public CCfgFile {
public:
    // A reader of a string file included by READER: separator ",", no macro
    // expansion, options 0; its language is READER's value of "LANG".
    explicit CCfgStringFile(CCfgFile* reader);

    // Opens NAME relative to the including file, from the language's
    // subdirectory when there is a language other than "fra".
    int OpenRelative(const char* name) override;
    const CString& Language() const { return m_language; }

    // Reads every entry and defines its "IDS_" symbol. Messages 456 (a
    // continuation before the first entry) and 463 (a block in a string
    // file), with the internal-error result.
    int ReadStrings();

    // The "#include_str" directive of READER with its ARGUMENT ("name" or
    // <name>); LINE is the directive's line, for messages.
    static int Include(CCfgFile* reader, const CString& argument, const CString& line);

private:
    CString m_language;
    // The item read ahead while looking for continuation lines.
    bool m_hasPending = false;
    int m_pendingType = CFG_EOF;
    CString m_pendingKey, m_pendingValue;
};

// The "#include_str" directive (see CCfgStringFile::Include).
inline int ZrkCfgReadStringFile(CCfgFile* reader, const CString& argument, const CString& line) {
    return CCfgStringFile::Include(reader, argument, line);
}
