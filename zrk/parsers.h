// The command-line parser.
//
// A program declares its options (named, with or without a typed value) and
// its positional parameters, each with a help text; CParser splits the
// command line into words (CTokenizer), binds each word to an option or a
// parameter, converts the values to their declared types (CParserValue),
// checks repetitions and mandatory items, and prints a usage text built
// from the declarations on request or after an error.
//
// Syntax:
//   -name  /name            an option; the name is compared without regard
//                           to case unless declared case-sensitive
//   -name:value             an option with a value; the value ends at the
//                           next ":" outside apostrophes, so a value that
//                           holds ":" is written in apostrophes:
//                           -u:'C:\Program Files\App'
//   word                    a positional value
// The apostrophe quotes (blanks and tabs inside do not split words) and
// escapes: two apostrophes in a row stand for one ('it''s' is it's).
//
// Every parser declares the options "verbose" (switches on the
// application's logging switch), "?|h|H" (help) and the hidden "??|hh|HH"
// (help with the hidden options).
#pragma once

#include <cstdint>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/ctimeex.h"

// Value types of options and parameters. An option of type NONE takes no
// value.
enum ZrkValueType : int {
    ZRK_VT_NONE = 0,
    ZRK_VT_TEXT = 1,      // any text
    ZRK_VT_LONG = 2,      // whole number, decimal, 64 bits
    ZRK_VT_DOUBLE = 3,    // floating-point number
    ZRK_VT_PERCENT = 4,   // number with optional "%": 50% is 0.5
    ZRK_VT_BOOL = 5,      // the true or the false word (default: messages 448/449)
    ZRK_VT_SIZE = 6,      // byte count with optional unit B, K(B), M(B), G(B) (1024s)
    ZRK_VT_HEX = 7,       // hexadecimal number, optional "0x", up to 64 bits
    ZRK_VT_DATE = 8,      // date (and time) in the interchange form 1998/05/06 12:30:00
    ZRK_VT_TIME = 9,      // time of day 12:30:00
    ZRK_VT_DURATION = 10, // duration as the "TimeSpan" format reads it ("2d 3h")
    ZRK_VT_FILE = 11,     // file name: not empty, no characters a Windows name cannot hold
    ZRK_VT_CHOICE = 12,   // one of the declared words; the value is its index
    ZRK_VT_LIST = 13,     // comma-separated words, each trimmed and not empty
    ZRK_VT_COUNT = 14,
};

// Option flags.
enum : int {
    ZRK_OPT_MANDATORY = 1,
    ZRK_OPT_CASE = 2,     // the name is compared case-sensitively
    ZRK_OPT_SEEN = 4,     // set by the parser
    ZRK_OPT_REPEAT = 8,   // may be given more than once
    ZRK_OPT_HIDDEN = 16,  // listed only in the extended help
};

// Positional parameter flags.
enum : int {
    ZRK_PARAM_REST = 1,      // takes all remaining words
    ZRK_PARAM_OPTIONAL = 2,
};

// A value converted to its type. The text as written is kept beside the
// converted forms.
class CParserValue {
public:
    // Converts TEXT (quotes already removed) to TYPE. WORDS are the "|"-
    // separated words of a boolean (true word, false word) or of a choice.
    // 0, or -2010 when the text does not fit the type; nothing is reported
    // and the value is unchanged on failure.
    int Convert(int type, const char* text, const char* words = nullptr);

    int Type() const { return m_type; }
    // The text as it was given.
    const CString& Text() const { return m_text; }
    // Whole number, size, hexadecimal number (its bits), choice index,
    // boolean (1 or 0), number of list items.
    int64_t Number() const { return m_number; }
    // Floating-point number, percentage (divided by 100), or Number().
    double Real() const { return m_real; }
    bool Bool() const { return m_number != 0; }
    // Date, time of day or duration.
    const CTimeEx& Time() const { return m_time; }
    const CStringList& List() const { return m_list; }
    // The value written back in its type's form: a percentage as "50 %",
    // a boolean or a choice as its declared word, a hexadecimal number as
    // 0x1F, a date in the interchange form.
    const CString& Display() const { return m_display; }

    // The name of a type (message 477 + TYPE, 491 outside the range) with
    // its first letter in upper case.
    static CString TypeName(int type);

private:
    int m_type = ZRK_VT_NONE;
    CString m_text;
    CString m_display;
    int64_t m_number = 0;
    double m_real = 0;
    CTimeEx m_time;
    CStringList m_list;
};

// Splits a command line into words at blanks and tabs outside apostrophes.
// The quotes stay in the words.
class CTokenizer {
public:
    explicit CTokenizer(const char* text);

    // The next word; false at the end.
    bool Next(CString& word);
    // Offset of the last word returned (-1 before the first).
    int WordStart() const { return m_wordStart; }
    // The text after the last word returned, leading blanks skipped.
    CString Rest() const;
    const CString& Text() const { return m_text; }

    // True for a word that begins with "-" or "/".
    static bool IsOption(const char* word);
    // Removes the quotes and reduces doubled apostrophes.
    static CString Unquote(const char* text, int length = -1);
    // TEXT in apostrophes with its own apostrophes doubled, so that it
    // reads back unchanged as one word or option value, whatever blanks,
    // ":" or apostrophes it holds. A text of apostrophes alone comes back
    // doubled without quotes; an empty text stays empty (there is no empty
    // word, but "-u:" is an empty value).
    static CString Quote(const char* text);
    // Splits the text of an option word after its "-" or "/": the name up
    // to the first ":", the value after it (further ":" at its start
    // skipped) up to the next ":" outside apostrophes, unquoted. No ":"
    // gives an empty value.
    static void SplitOption(const char* text, CString* name, CString* value);

private:
    CString m_text;
    int m_pos = 0;
    int m_wordStart = -1;
};

class CParser {
public:
    // The command line to parse; nullptr takes the application's.
    explicit CParser(const char* commandLine = nullptr);
    CParser(const CParser&) = delete;
    CParser& operator=(const CParser&) = delete;

    // An option without value. NAME holds one or more spellings separated
    // by "|"; the first is the one messages name. A name that is empty,
    // holds ":" or a blank, or is already declared is an internal error.
    int DeclareOption(const char* name, const char* help, int flags = 0);
    // An option with a value of TYPE, shown as -name:<ARGNAME> in the usage.
    // For a boolean or a choice ARGNAME lists the words ("yes|no"). DEF is
    // the value when the option is not given; it must fit the type.
    int DeclareOption(const char* name, const char* argName, const char* help, int type, int flags = 0,
                      const char* def = nullptr);
    // A positional parameter (ZRK_PARAM_ flags). For a boolean or a choice
    // NAME lists the words. Nothing may follow a parameter that takes all
    // words.
    int DeclarePositional(const char* name, const char* help, int type = ZRK_VT_TEXT, int flags = 0);
    // When on, a first word -f:file replaces itself by the words of that
    // file, read as trimmed lines joined by blanks.
    void SetResponseFile(bool on = true) { m_responseFile = on; }

    // Banner and usage.
    void SetVersion(int major, int minor);
    // Replaces the "%d.%02d" version text ("1.0").
    void SetVersionText(const char* text) { m_version = text; }
    const CString& VersionText() const { return m_version; }
    // The program named in the usage; by default the application's name.
    void SetProgramName(const char* name) { m_program = name; }

    // 0 on success; 2 when help was asked for (after the usage); after an
    // error and the usage, the first error's result: -2010 for a value that
    // does not fit its type, 16384 for any other fault of the command line,
    // or the failure to read a response file.
    int Parse();

    // The seen flag of an option (any of its spellings); false for an
    // undeclared name.
    bool WasGiven(const char* name) const;
    int ValueCount(const char* name) const;
    // The INDEX-th value given; the default when INDEX is negative or not
    // below the number of values; an empty value for an undeclared name.
    const CParserValue& Value(const char* name, int index = 0) const;
    // Shorthand for Value(name, index).Text().
    const CString& Text(const char* name, int index = 0) const { return Value(name, index).Text(); }
    // The positional values in order of appearance, with their parameters.
    int PositionalCount() const { return static_cast<int>(m_given.size()); }
    const CParserValue& Positional(int index) const;
    const CString& PositionalName(int index) const;

    // Reports the banner (information) and the usage text (an error with
    // result 2); returns 2.
    int Usage(bool extended);
    // The banner line: "%s\n(c) %s %d, " with title, company and build
    // year, then message 526 with the version and the build date.
    CString BannerLine() const;
    CString UsageText(bool extended) const;

    const CString& CommandLine() const { return m_commandLine; }

    // The year of a compiler build date ("May  6 1998"), read in lower case
    // with "%Bi %D %Y"; 94 when it cannot be read.
    static int BuildYear(const char* buildDate);
    // Response files larger than this are refused.
    static constexpr long kMaxResponseFile = 1 << 20;

private:
    struct Option {
        CString name;  // with all spellings
        std::vector<CString> spellings;  // NAME split at "|"
        CString argName;
        CString help;
        int type = ZRK_VT_NONE;
        int flags = 0;
        CParserValue def;
        std::vector<CParserValue> values;
        CString First() const;
        bool Matches(const char* spelling) const;
    };
    struct Param {
        CString name;
        CString help;
        int type = ZRK_VT_TEXT;
        int flags = 0;
    };
    struct Given {
        int param;
        CParserValue value;
    };
    enum { OPT_VERBOSE = 0, OPT_HELP = 1, OPT_EXTENDED = 2 };

    int AddOption(const char* name, const char* argName, const char* help, int type, int flags,
                  const char* def);
    const Option* Find(const char* name) const;
    Option* Find(const char* name) {
        return const_cast<Option*>(static_cast<const CParser*>(this)->Find(name));
    }
    // Reads a response file into TEXT.
    static int ReadResponseFile(const char* path, CString* text);
    // Binds one option word; *STOP ends the parse, *HELP asks for help.
    int BindOption(const CString& word, bool* stop, int* help);
    int BindPositional(const CString& word, size_t* param, bool* restTaken);

    CString m_commandLine;
    CString m_version;
    CString m_program;
    bool m_responseFile = false;
    std::vector<Option> m_options;
    std::vector<Param> m_params;
    std::vector<Given> m_given;
};
