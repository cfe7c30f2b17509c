// The configuration language: a line-oriented pull reader with a C-like
// preprocessor, and the writer of the same language.
//
// A reader hands its caller one item at a time (NextItem). While doing so it
// recognises comments, substitutes macro references "$(NAME)", follows
// conditional sections (#if, #ifdef, #ifndef, #else, #endif), defines and
// undefines symbols, includes files (#include, #include_str) and reports
// #error and #message directives. There is no tree: consumers build their
// own structures from the items and report what they do not accept with
// ReportUnexpected.
//
//   { Files Main            block start   (type 0, key "Files", value "Main")
//   Dest = "C:\\App"        entry         (type 1, key "Dest", value "C:\App")
//   readme.txt              bare item     (type 1, empty key)
//   }                       block end     (type 2)
//
// An included file gets a child reader whose items are returned as if they
// stood at the directive. All readers of one tree share the symbol table of
// the root reader.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "zrk/cfgexpr.h"
#include "zrk/cfile.h"
#include "zrk/cstring.h"
#include "zrk/report.h"

// Item types.
enum CfgItem : int {
    CFG_BLOCK_START = 0,
    CFG_ENTRY = 1,
    CFG_BLOCK_END = 2,
    CFG_EOF = 3,
    CFG_COMMENT = 4,    // comment or unknown directive (option CFG_OPT_ALL_ITEMS)
    CFG_EMPTY = 5,      // empty line (option CFG_OPT_ALL_ITEMS)
    CFG_DIRECTIVE = 6,  // raw directive (option CFG_OPT_RAW)
};

// Option bits.
enum CfgOption : int {
    CFG_OPT_ALL_ITEMS = 1,   // return comments, unknown directives and empty lines
    CFG_OPT_RAW = 2,         // no preprocessing: "#" lines are returned as directives
    CFG_OPT_STRICT = 4,      // every entry needs the separator (no bare items)
    CFG_OPT_ENV_SYMBOLS = 8, // environment variables count as defined symbols
    CFG_OPT_NO_QUOTES = 16,  // writer: values escaped but never enclosed in quotes
};

// Files included inside each other nest at most this deep (message 474).
constexpr int kCfgMaxIncludeDepth = 64;
// A line after macro substitution may grow to this many bytes, and one line
// may resolve this many nested references (message 458 beyond either).
constexpr size_t kCfgMaxExpandedLine = 1u << 20;
constexpr int kCfgMaxNestedReferences = 256;

// Files served from memory instead of the file system, by normalised path
// (the fuzz target reads through them so that no input can reach a device).
using CCfgMemoryFiles = std::map<std::string, std::string>;

class CCfgFile : public CCfgSymbols {
public:
    CCfgFile();
    ~CCfgFile() override;
    CCfgFile(const CCfgFile&) = delete;
    CCfgFile& operator=(const CCfgFile&) = delete;

    // ---- configuration ---------------------------------------------------------
    void SetOptions(int options) { m_options = options; }
    int Options() const { return m_options; }
    void SetSeparator(char separator) { m_separator = separator; }
    char Separator() const { return m_separator; }
    void SetMacroExpansion(bool on) { m_macros = on; }
    bool MacroExpansion() const { return m_macros; }
    // Reads every file of this reader's tree from FILES (nullptr: the file
    // system). The map must outlive the reading.
    void SetMemoryFiles(const CCfgMemoryFiles* files) { m_memoryFiles = files; }

    // ---- reading ---------------------------------------------------------------
    // Opens NAME relative to the including file's directory (the current
    // directory for a root reader). Defines the predefined symbols.
    virtual int OpenRelative(const char* name);
    // Opens NAME found by the settings-file search (current directory, home
    // directory, ZRKCFGDIR, program directory and its parent); message 435
    // and -52 when it is nowhere.
    int OpenSearch(const char* name);
    // Closes this reader's file and any included one.
    int Close(bool report = true);
    bool IsOpen() const;

    // The next item: TYPE one of CfgItem, KEY and VALUE as the item type
    // defines them (both empty for block ends, end of file and empty lines).
    // 0, or the result of a reported error; -52 for unbalanced #if or blocks
    // at the end of a file.
    int NextItem(int* type, CString* value, CString* key);

    // Reports an item the caller does not accept (messages 454, 455, 456,
    // 460, 470, 472, naming the innermost file being read) and returns -52.
    int ReportUnexpected(int type, const char* value, const char* key);

    // ---- symbols (always the root reader's table) -----------------------------
    void Define(const char* name, const char* value);
    // Defines NAMES[i] as VALUES[i] (empty values when VALUES is nullptr).
    void DefineAll(const CStringList& names, const CStringList* values);
    void Undefine(const char* name);
    // "!NAME" is defined when NAME is not. With CFG_OPT_ENV_SYMBOLS an
    // environment variable counts when the table lacks the name.
    bool IsDefined(const char* name, CString* value = nullptr) const override;
    // "__WIN32__", "ENV" and "LOOK" from the platform; done by every open.
    void DefinePredefined();
    const CStringList& SymbolNames() const;
    const CStringList& SymbolValues() const;

    // Substitutes the macro references of TEXT (messages 461, 462, 458).
    // FILE and LINE name the place in messages as for Evaluate.
    int ExpandMacros(CString& text, const char* file = "", int line = 0);
    // Evaluates a condition. FILE and LINE name the place in messages: empty
    // and 0 take this reader's current file and line.
    int Evaluate(const char* expression, bool* result, const char* file = "", int line = 0);

    // ---- position ----------------------------------------------------------------
    int LineNumber() const;
    const CString& FileName() const;
    // The reader of the innermost file being included (this one when none).
    const CCfgFile* Innermost() const;
    int BlockDepth() const { return m_blockDepth; }
    const CString& BlockKeyword() const { return m_blockKeyword; }
    CCfgFile* Parent() const { return m_parent; }

    // ---- writing -------------------------------------------------------------------
    // Creates the missing directories of NAME (message 428) and opens it with
    // mode "a" (APPEND) or "w".
    int OpenWrite(const char* name, bool append = false);
    // Writes one item at the current indentation. An unknown TYPE writes
    // nothing and gives the internal-error result (message 454 when REPORT).
    // FORCEQUOTES encloses an entry's value in quotes even when the quoting
    // style would not.
    int WriteItem(int type, const char* value, const char* key, bool report = true, bool forceQuotes = false);

protected:
    friend class CCfgStringFile;

    // A reader whose symbols and relative names belong to PARENT's tree.
    explicit CCfgFile(CCfgFile* parent);

    // Parses the argument of an include directive: a name in double quotes
    // (SEARCH false) or between "<" and ">" (SEARCH true). Messages 460, 461.
    int ParseFileArgument(const CString& line, const CString& argument, CString* name, bool* search);
    // Refuses a file that is already being read by this reader or one of its
    // includers (message 457), and includes nested too deeply (message 474).
    int CheckIncludeDepth() const;
    int CheckNotIncluding(const CCfgFile& child) const;
    // Opens PATH (already normalised) for reading.
    int OpenPath(const CString& path);
    // A syntax error: the internal-error result with MSG and its arguments.
    template <char... K, class... A>
    static int SyntaxError(ZrkMsg<K...> msg, const A&... args) {
        return ZrkErrorId(SyntaxCode(), msg, args...);
    }
    static int SyntaxCode();

private:
    CCfgFile* Root();
    const CCfgFile* Root() const;
    int ReadLine(CString& line);
    // Processes one line; *PRODUCED tells whether it yields an item.
    int ProcessLine(CString line, int* type, CString* value, CString* key, bool* produced);
    int Directive(const CString& line, int* type, CString* value, CString* key, bool* produced);
    int Include(const CString& line, const CString& argument);
    // Skips a conditional section; ELSEPART when an "#else" was met while
    // reading (a further "#else" is then an error).
    int Skip(bool elsePart);
    int Entry(const CString& line, CString* value, CString* key);

    // Reading state.
    std::unique_ptr<CCfgFile> m_child;
    CCfgFile* m_parent = nullptr;
    CStringList m_names, m_values;
    CString m_blockKeyword;
    int m_blockDepth = 0;
    int m_options = 0;
    int m_condDepth = 0;
    char m_separator = '=';
    bool m_macros = false;
    CTextFile m_file;
    // Reading from memory instead of m_file.
    const CCfgMemoryFiles* m_memoryFiles = nullptr;
    const std::string* m_memory = nullptr;
    size_t m_memoryPos = 0;
    int m_memoryLines = 0;
    CString m_memoryPath;
};

// The common pattern of every consumer of the item stream: entries with a
// key and a value go to SetKey, block starts to ChildBlock (which consumes
// the whole child block, usually with another consumer's Consume), and
// anything else to OtherItem, which by default reports it as unexpected.
class CCfgConsumer {
public:
    virtual ~CCfgConsumer() = default;

    // Reads items until the block end that closes this consumer's block, or
    // the end of the file when TOPLEVEL. The first non-zero result of a
    // handler ends the loop and is returned.
    int Consume(CCfgFile& cfg, bool topLevel);

protected:
    virtual int SetKey(CCfgFile& cfg, const CString& key, const CString& value) = 0;
    virtual int ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name);
    virtual int OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key);
};
