// The records of the install description.
//
// "setup.inf" is a configuration file (zrk/cfgfile.h) whose blocks become
// records: a "PACKAGE" block a CPackage (with one CPackageFile per "FILE"
// block inside it), a "SET" block a CSetRecord, and each block inside a set
// one record of the kind its block word names:
//
//   INI <file>     CIniRecord      profile entries
//   REG <keypath>  CRegRecord      registry values
//   SERVICE        CServiceRecord  a service
//   RENAME         CRenameRecord   a rename at the next restart
//   DLL            CDllRecord      shared libraries
//   RUN            CRunRecord      a program started after installing
//   FONT           CFontRecord     a font
//   PGM            CPgmRecord      a program-group item
//
// Block words and keys are compared without regard to case. Records are
// passive: reading fills their fields and checks the syntax of their
// conditions, nothing else; variables are expanded when a record is applied
// (the one exception is a set's "APPDEFAULTPATH", expanded when read).
//
// Each kind reads its keys through one table (CInfKeyTable, below): the key,
// the field it fills, how the value is stored, the field's initial value and
// the kind's own rule where storing is more than that. Tools that show
// records read the same tables.
//
// Every operation returns 0 or the status of a failure that was reported
// where it arose (ZRK_INTERNAL after an unexpected entry, which the
// configuration reader reports with file and line).
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/result.h"

class CCfgFile;

// The kinds of records, for those who look at a record through its base.
enum InfRecordKind : int {
    INF_SET = 0,
    INF_INI,
    INF_REG,
    INF_SERVICE,
    INF_RENAME,
    INF_DLL,
    INF_RUN,
    INF_FONT,
    INF_PGM,
};

// Where an entry was read: the innermost file of the reader and its line.
struct CInfPlace {
    CString file;
    int line = 0;
};
// The place READER is at (empty for nullptr).
CInfPlace InfPlaceOf(const CCfgFile* reader);

// A list that owns its records: Add takes ownership, RemoveAt and Clear
// delete, copying copies every record.
template <class T>
class CInfList {
public:
    CInfList() = default;
    CInfList(CInfList&&) noexcept = default;
    CInfList& operator=(CInfList&&) noexcept = default;
    CInfList(const CInfList& other) { CopyFrom(other); }
    CInfList& operator=(const CInfList& other) {
        if (this != &other) {
            Clear();
            CopyFrom(other);
        }
        return *this;
    }

    int Count() const { return static_cast<int>(m_items.size()); }
    T& operator[](int i) { return *m_items[static_cast<size_t>(i)]; }
    const T& operator[](int i) const { return *m_items[static_cast<size_t>(i)]; }
    // Takes ownership of RECORD (nullptr: -51, as an allocation that failed).
    int Add(std::unique_ptr<T> record) {
        if (!record) return ZRK_NOMEM;
        m_items.push_back(std::move(record));
        return 0;
    }
    // Deletes the record at INDEX; an index outside the list is an internal
    // error.
    int RemoveAt(int index) {
        if (index < 0 || index >= Count()) return ZRK_INTERNAL_ERROR();
        m_items.erase(m_items.begin() + index);
        return 0;
    }
    void Clear() { m_items.clear(); }

private:
    void CopyFrom(const CInfList& other) {
        m_items.reserve(other.m_items.size());
        for (const auto& item : other.m_items) m_items.push_back(std::make_unique<T>(*item));
    }
    std::vector<std::unique_ptr<T>> m_items;
};

// ---------------------------------------------------------------------------
// Key tables

// How a key's value is stored in its field.
enum InfKeyType : int {
    INF_KEY_TEXT,     // the value as read; the last occurrence wins
    INF_KEY_LIST,     // each occurrence appends its value
    INF_KEY_FLAG,     // true when its decimal conversion (InfDecimal) is not 0
    INF_KEY_YES,      // true only for the value "Y" or "y"
    INF_KEY_NUMBER,   // decimal, within the range of the field's type: a value
                      // outside is kept at the nearest bound (warning 170)
    INF_KEY_NUMBERS,  // each occurrence appends such a number (32-bit)
    INF_KEY_OTHER,    // the row's rule alone stores it
};

// One key of record kind R.
template <class R>
struct CInfKey {
    using Field = std::variant<std::monostate, CString R::*, CStringList R::*, bool R::*, uint16_t R::*,
                               uint32_t R::*, std::vector<int> R::*>;
    // The key word; nullptr in a last row that takes every other key.
    const char* key;
    InfKeyType type;
    Field field;
    // What the field holds before the key is read, written as a value of the
    // key (nullptr: empty, 0, false).
    const char* initial;
    // Stores the value where storing it by TYPE is not all (nullptr: by
    // TYPE). READER is the reader at the entry (nullptr outside reading).
    int (*rule)(R& record, CCfgFile* reader, const CString& key, const CString& value);
    // The installer expands the value's variables when it applies the record.
    bool expanded;
};

template <class R>
struct CInfKeyTable {
    const char* block;  // the block word of the kind
    std::vector<CInfKey<R>> keys;
};

// ---------------------------------------------------------------------------
// The base of the records inside a description (all but CPackage and
// CPackageFile): a "TEST" condition with the place where it was read.

class CInfRecord {
public:
    CInfRecord() = default;
    virtual ~CInfRecord() = default;

    virtual int Kind() const = 0;

    // Stores one key through the kind's key table (KEY and VALUE both
    // non-empty; "TEST" never comes here). Unknown keys are ignored.
    virtual int SetKey(const CString& key, const CString& value) = 0;
    // Handles the nested block WORD (its block line's value VALUE), reading
    // the whole block from READER. Records without nested blocks report it
    // as an unknown block.
    virtual int ReadBlock(CCfgFile& reader, const CString& word, const CString& value);

    // The reader filling the record: set only while it is read.
    CCfgFile* Reader() const { return m_reader; }
    void SetReader(CCfgFile* reader) { m_reader = reader; }

    // "TEST": empty means always true.
    const CString& TestText() const { return m_testText; }
    // The file and line where "TEST" was read (empty and 0 when it was not).
    const CString& SourceFile() const { return m_sourceFile; }
    int SourceLine() const { return m_sourceLine; }
    // Stores the condition and its place as they are, without a check.
    void SetTestText(const char* text, const char* file = "", int line = 0) {
        m_testText = text;
        m_sourceFile = file;
        m_sourceLine = line;
    }

    // The place of the entry currently being read (empty outside reading).
    CInfPlace CurrentPlace() const;
    // Checks the syntax of the "# condition" that entry VALUE may end in,
    // naming the current place in messages.
    int CheckEntryCondition(const CString& value) const;
    // Where the record's block began (empty for records made by the engine).
    const CInfPlace& BlockPlace() const { return m_blockPlace; }
    void SetBlockPlace(const CInfPlace& place) { m_blockPlace = place; }

protected:
    CInfRecord(const CInfRecord& other)
        : m_testText(other.m_testText),
          m_sourceFile(other.m_sourceFile),
          m_sourceLine(other.m_sourceLine),
          m_blockPlace(other.m_blockPlace) {}
    // A copy is not being read: the reader stays with the original.
    CInfRecord& operator=(const CInfRecord& other) {
        m_testText = other.m_testText;
        m_sourceFile = other.m_sourceFile;
        m_sourceLine = other.m_sourceLine;
        m_blockPlace = other.m_blockPlace;
        return *this;
    }

private:
    CCfgFile* m_reader = nullptr;  // not owned
    CString m_testText;
    CString m_sourceFile;
    int m_sourceLine = 0;
    CInfPlace m_blockPlace;
};

// Reads one block from READER into RECORD, up to the block end that closes
// it. RECORD remembers the reader meanwhile. Entries with an empty value and
// other unexpected items are reported by the reader (with file and line) and
// end the reading with ZRK_INTERNAL.
int ReadRecord(CInfRecord& record, CCfgFile& reader);
// Stores TEXT as RECORD's "TEST" with the reader's current file and line and
// checks its syntax (the evaluator reports an error there). The status of the
// check.
int SetTest(CInfRecord& record, const char* text);

// ---------------------------------------------------------------------------
// Records inside a set.

// "INI <file>": entries of one profile file. Every key but "SECTION" and
// "TEST" is an entry, kept in file order.
class CIniRecord : public CInfRecord {
public:
    explicit CIniRecord(const char* file = "") : m_file(file) {}
    int Kind() const override { return INF_INI; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CIniRecord> kKeys;

    const CString& File() const { return m_file; }
    void SetFile(const char* file) { m_file = file; }
    const CString& Section() const { return m_section; }
    // Profile keys and their entry values (with modifiers and condition).
    const CStringList& Keys() const { return m_keys; }
    const CStringList& Values() const { return m_values; }
    // Where each entry was read (parallel to Keys).
    const std::vector<CInfPlace>& Places() const { return m_places; }

private:
    CString m_file;
    CString m_section;
    CStringList m_keys, m_values;
    std::vector<CInfPlace> m_places;
};

// "REG <keypath>": values of one registry key. Every key but "TEST" is a
// value name; exactly "(Default)" is stored as the empty name (the key's
// unnamed value).
class CRegRecord : public CInfRecord {
public:
    explicit CRegRecord(const char* path = "") : m_path(path) {}
    // A record made by the engine: names and values as given, no places.
    CRegRecord(const char* path, const CStringList& names, const CStringList& values);
    int Kind() const override { return INF_REG; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CRegRecord> kKeys;

    const CString& Path() const { return m_path; }
    void SetPath(const char* path) { m_path = path; }
    const CStringList& Names() const { return m_names; }
    const CStringList& Values() const { return m_values; }
    // Where each value was read (parallel to Names; empty places for
    // values made by the engine).
    const std::vector<CInfPlace>& Places() const { return m_places; }

private:
    CString m_path;
    CStringList m_names, m_values;
    std::vector<CInfPlace> m_places;
};

// "SERVICE": NAME, DISPLAYNAME, FULLBINNAME, AUTOSTART (flag).
class CServiceRecord : public CInfRecord {
public:
    int Kind() const override { return INF_SERVICE; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CServiceRecord> kKeys;

    const CString& Name() const { return m_name; }
    const CString& DisplayName() const { return m_displayName; }
    const CString& BinaryPath() const { return m_binaryPath; }
    bool AutoStart() const { return m_autoStart; }

private:
    CString m_name, m_displayName, m_binaryPath;
    bool m_autoStart = false;
};

// "RENAME": OLD and NEW.
class CRenameRecord : public CInfRecord {
public:
    int Kind() const override { return INF_RENAME; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CRenameRecord> kKeys;

    const CString& OldPath() const { return m_old; }
    const CString& NewPath() const { return m_new; }

private:
    CString m_old, m_new;
};

// "DLL": shared libraries copied into TO. A "FILE" value may end in "," and
// a platform word; the file is kept only when the word fits the platform
// kind (decided while reading).
class CDllRecord : public CInfRecord {
public:
    int Kind() const override { return INF_DLL; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CDllRecord> kKeys;

    const CString& To() const { return m_to; }
    const CString& BelongTo() const { return m_belongTo; }
    bool TestFirstOnly() const { return m_testFirstOnly; }
    const CStringList& Files() const { return m_files; }
    // FILE values dropped for their platform word (kept for tools).
    int DroppedFiles() const { return m_dropped; }

private:
    CString m_to, m_belongTo;
    bool m_testFirstOnly = false;
    CStringList m_files;
    int m_dropped = 0;
};

// "RUN": a program the session starts after installing.
class CRunRecord : public CInfRecord {
public:
    CRunRecord();
    int Kind() const override { return INF_RUN; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CRunRecord> kKeys;

    const CString& Comment() const { return m_comment; }
    const CString& Name() const { return m_name; }
    const CString& Command() const { return m_cmd; }
    // Ask before running: true unless "ASK" is given with a value other than
    // "Y" or "y".
    bool Ask() const { return m_ask; }

private:
    CString m_comment, m_name, m_cmd;
    bool m_ask = false;
};

// "FONT": FILENAME and FONTNAME.
class CFontRecord : public CInfRecord {
public:
    int Kind() const override { return INF_FONT; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CFontRecord> kKeys;

    const CString& FileName() const { return m_fileName; }
    const CString& FontName() const { return m_fontName; }

private:
    CString m_fileName, m_fontName;
};

// "PGM": one item of a program group.
class CPgmRecord : public CInfRecord {
public:
    int Kind() const override { return INF_PGM; }
    int SetKey(const CString& key, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CPgmRecord> kKeys;

    const CString& Group() const { return m_group; }
    const CString& FileName() const { return m_fileName; }
    const CString& IconName() const { return m_iconName; }
    const CString& Title() const { return m_desc; }
    const CString& Command() const { return m_cmd; }
    const CString& WorkDir() const { return m_wdir; }
    const CString& ShortcutKey() const { return m_skey; }

private:
    CString m_group, m_fileName, m_iconName, m_desc, m_cmd, m_wdir, m_skey;
};

// Index of the first item whose title equals TITLE exactly, a stored title
// in double quotes compared without its first and last character; -1 when
// none.
int FindPgmItem(const CInfList<CPgmRecord>& items, const char* title);

// ---------------------------------------------------------------------------
// A set: one installable product with everything it does to the system.

class CSetRecord : public CInfRecord {
public:
    CSetRecord() = default;
    CSetRecord(const CSetRecord& other) = default;
    CSetRecord& operator=(const CSetRecord& other) = default;
    int Kind() const override { return INF_SET; }
    int SetKey(const CString& key, const CString& value) override;
    int ReadBlock(CCfgFile& reader, const CString& word, const CString& value) override;
    // The kind's keys.
    static const CInfKeyTable<CSetRecord> kKeys;

    const CString& AppName() const { return m_appName; }
    const CString& InternalName() const { return m_internalName; }
    const CString& ShortName() const { return m_shortName; }
    const CString& Archi() const { return m_archi; }
    const CString& Comment() const { return m_comment; }
    // The destination directory: "APPDEFAULTPATH" as expanded when read,
    // later the directory the user chose; "$User$" expands to it.
    const CString& DestDir() const { return m_destDir; }
    void SetDestDir(const char* dir) { m_destDir = dir; }
    const CString& Reboot() const { return m_reboot; }
    void SetReboot(const char* text) { m_reboot = text; }
    // "MAINGROUP" as declared, and the group in use (the user may choose
    // another).
    const CString& MainGroup() const { return m_mainGroup; }
    const CString& GroupInUse() const { return m_groupInUse; }
    void SetGroupInUse(const char* group) { m_groupInUse = group; }
    uint16_t TcpPort() const { return m_tcpPort; }
    void SetTcpPort(uint16_t port) { m_tcpPort = port; }

    const CStringList& UserEnv() const { return m_userEnv; }
    const CStringList& SystemEnv() const { return m_systemEnv; }
    // "MAXIMAL": package names and, at the same index, their detection
    // rules ("" without one).
    const CStringList& Maximal() const { return m_maximal; }
    const CStringList& DetectionRules() const { return m_rules; }
    const CStringList& Minimal() const { return m_minimal; }
    const CStringList& RegSvr32() const { return m_regsvr32; }

    // Filled by the session: the selections that remain after detection,
    // and the condition symbols (names of the selected packages).
    CStringList& SelectedMaximal() { return m_selMaximal; }
    const CStringList& SelectedMaximal() const { return m_selMaximal; }
    CStringList& SelectedMinimal() { return m_selMinimal; }
    const CStringList& SelectedMinimal() const { return m_selMinimal; }
    const CStringList& ConditionSymbols() const { return m_symbols; }
    void SetConditionSymbols(const CStringList& names) { m_symbols = names; }

    // The records of the set, each list in file order.
    CInfList<CRenameRecord>& Renames() { return m_renames; }
    const CInfList<CRenameRecord>& Renames() const { return m_renames; }
    CInfList<CIniRecord>& IniRecords() { return m_ini; }
    const CInfList<CIniRecord>& IniRecords() const { return m_ini; }
    CInfList<CRegRecord>& RegRecords() { return m_reg; }
    const CInfList<CRegRecord>& RegRecords() const { return m_reg; }
    CInfList<CDllRecord>& DllRecords() { return m_dll; }
    const CInfList<CDllRecord>& DllRecords() const { return m_dll; }
    CInfList<CFontRecord>& Fonts() { return m_fonts; }
    const CInfList<CFontRecord>& Fonts() const { return m_fonts; }
    CInfList<CServiceRecord>& Services() { return m_services; }
    const CInfList<CServiceRecord>& Services() const { return m_services; }
    CInfList<CPgmRecord>& PgmItems() { return m_pgm; }
    const CInfList<CPgmRecord>& PgmItems() const { return m_pgm; }
    CInfList<CRunRecord>& Programs() { return m_run; }
    const CInfList<CRunRecord>& Programs() const { return m_run; }

private:
    CString m_appName, m_internalName, m_shortName, m_archi, m_comment;
    CString m_destDir, m_reboot, m_mainGroup, m_groupInUse;
    uint16_t m_tcpPort = 0;
    CStringList m_userEnv, m_systemEnv, m_maximal, m_rules, m_minimal, m_regsvr32;
    CStringList m_selMaximal, m_selMinimal, m_symbols;
    CInfList<CRenameRecord> m_renames;
    CInfList<CIniRecord> m_ini;
    CInfList<CRegRecord> m_reg;
    CInfList<CDllRecord> m_dll;
    CInfList<CFontRecord> m_fonts;
    CInfList<CServiceRecord> m_services;
    CInfList<CPgmRecord> m_pgm;
    CInfList<CRunRecord> m_run;
};

// Appends a registry record made from PATH and the parallel lists NAMES and
// VALUES to SET. 0, or -51.
int AddRegRecord(CSetRecord& set, const char* path, const CStringList& names, const CStringList& values);

// The detection rule of maximal entry INDEX of SET: "keypath, valuename,
// minversion, file, file, ...". *OK is 1 when the rule holds: the registry
// value exists and names an existing file whose version is not below
// minversion, and every file part is found (as given or on PATH). An empty
// rule gives *OK 0. An index outside the list is an internal error.
int CheckDetection(const CSetRecord& set, int index, int* ok);

// ---------------------------------------------------------------------------
// Packages.

// "FILE" inside a package: FILENAME, UNCOMPSIZE, COMPSIZE. Other keys are
// unexpected entries.
class CPackageFile {
public:
    const CString& FileName() const { return m_fileName; }
    uint32_t UncompSize() const { return m_uncompSize; }
    uint32_t CompSize() const { return m_compSize; }

    // Stores one key; an unknown key is reported through READER (with file
    // and line) and gives ZRK_INTERNAL.
    int SetKey(CCfgFile& reader, const CString& key, const CString& value);
    // The kind's keys.
    static const CInfKeyTable<CPackageFile> kKeys;

private:
    CString m_fileName;
    uint32_t m_uncompSize = 0, m_compSize = 0;
};

// "PACKAGE": a part of the product stored in one archive, or an external
// package described by a description file of its own.
class CPackage {
public:
    const CString& Name() const { return m_name; }
    const CString& ArchiveName() const { return m_archive; }
    const CString& Comment() const { return m_comment; }
    const CString& Version() const { return m_version; }
    // Non-empty: the description file (name without ".inf") read when the
    // package is installed.
    const CString& External() const { return m_external; }
    const CString& Language() const { return m_language; }
    uint32_t ExternalSize() const { return m_externalSize; }
    const CStringList& UsePackages() const { return m_usePackages; }
    uint32_t CompSize() const { return m_compSize; }
    const CString& DestDir() const { return m_destDir; }
    const std::vector<int>& Disks() const { return m_disks; }
    const CInfList<CPackageFile>& Files() const { return m_files; }
    // Where the package's block began.
    const CInfPlace& BlockPlace() const { return m_blockPlace; }
    void SetBlockPlace(const CInfPlace& place) { m_blockPlace = place; }

    // Stores one key; "FILE" blocks come to ReadBlock. Unknown keys and
    // blocks are reported through READER and give ZRK_INTERNAL.
    int SetKey(CCfgFile& reader, const CString& key, const CString& value);
    int ReadBlock(CCfgFile& reader, const CString& word, const CString& value);
    // The kind's keys.
    static const CInfKeyTable<CPackage> kKeys;

private:
    CString m_name, m_archive, m_comment, m_version, m_external, m_language;
    uint32_t m_externalSize = 0;
    CStringList m_usePackages;
    uint32_t m_compSize = 0;
    CString m_destDir;
    std::vector<int> m_disks;
    CInfList<CPackageFile> m_files;
    CInfPlace m_blockPlace;
};

// Reads one "PACKAGE" block (or one "FILE" block) from READER.
int ReadPackage(CPackage& package, CCfgFile& reader);
int ReadPackageFile(CPackageFile& file, CCfgFile& reader);

// "EXTERNALSIZE" for an external package, otherwise the sum of its files'
// "UNCOMPSIZE" (saturating at the largest 32-bit value).
uint32_t GetPackageSize(const CPackage& package);
// Half of "EXTERNALSIZE" for an external package, otherwise "COMPSIZE".
uint32_t GetPackageCompressedSize(const CPackage& package);

// ---------------------------------------------------------------------------
// Entry values of "INI" and "REG" records.

// The parts of an entry value (condition already split off): data, type,
// mode and test path, split at the first three commas and trimmed. Type and
// mode are one upper-case letter, "S" and "O" by default.
struct CInfEntryParts {
    CString data;
    char type = 'S';
    char mode = 'O';
    CString testPath;
};

// Splits VALUE (an entry value without its "# condition") into PARTS. A type
// or mode longer than one letter is used by its first letter; with REPORT a
// warning says so (message 145 for the type, 146 for the mode, each with the
// part and the whole value).
void InfSplitModifiers(const char* value, CInfEntryParts* parts, bool report = true);

// The parts of a detection rule: key path, value name, minimum version and
// the files, each trimmed.
struct CInfDetectionRule {
    CString keyPath;
    CString valueName;
    CString minVersion;
    CStringList files;
};
void InfSplitDetectionRule(const char* rule, CInfDetectionRule* parts);

// Decimal conversion of a key's value: leading blanks, an optional sign,
// digits; no digits give 0. The result is kept within [LOW, HIGH].
int64_t InfDecimal(const char* text, int64_t low, int64_t high);
