// The records of the install description: their keys, the reading loop and
// the operations on packages, sets and entry values.
#include "src/infstruc/records.h"

#include <cctype>
#include <string>

#include "src/infstruc/conditions.h"
#include "src/infstruc/filever.h"
#include "src/infstruc/infreg.h"
#include "src/infstruc/variables.h"
#include "zrk/cfgfile.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/version.h"

namespace {

bool Is(const CString& key, const char* word) { return key.CompareNoCase(word) == 0; }

// A value with its blanks around removed.
CString Trimmed(const char* text) {
    CString s(text);
    s.Trim();
    return s;
}

// An item the record does not accept: the reader reports it with file and
// line, then the internal-error facility ends the reading.
int Unexpected(CCfgFile& reader, int type, const CString& value, const CString& key) {
    reader.ReportUnexpected(type, value, key);
    return ZRK_INTERNAL_ERROR();
}

// A number key's value within [LOW, HIGH]. A value outside the range is kept
// at the nearest bound and a warning names it with its place (message 170).
int64_t NumberValue(const CCfgFile* reader, const CString& key, const CString& value, int64_t low,
                    int64_t high) {
    const int64_t wide = InfDecimal(value, INT64_MIN, INT64_MAX);
    if (wide >= low && wide <= high) return wide;
    const CInfPlace place = InfPlaceOf(reader);
    const std::string range = std::to_string(low) + " to " + std::to_string(high);
    ZrkWarningId(MSG_VALUE_OUT_OF_RANGE, value.c_str(), key.c_str(), range.c_str(), place.file.c_str(), place.line);
    return wide < low ? low : high;
}

// The row of TABLE for KEY: its own row, else the row for every other key
// (nullptr when the kind has none).
template <class R>
const CInfKey<R>* FindKey(const CInfKeyTable<R>& table, const CString& key) {
    for (const CInfKey<R>& row : table.keys)
        if (!row.key || Is(key, row.key)) return &row;
    return nullptr;
}

// Stores VALUE in ROW's field as ROW's type says.
template <class R>
int StoreByType(const CInfKey<R>& row, R& record, const CCfgFile* reader, const CString& key,
                const CString& value) {
    const auto& f = row.field;
    const auto text = std::get_if<CString R::*>(&f);
    const auto list = std::get_if<CStringList R::*>(&f);
    const auto flag = std::get_if<bool R::*>(&f);
    const auto n16 = std::get_if<uint16_t R::*>(&f);
    const auto n32 = std::get_if<uint32_t R::*>(&f);
    const auto numbers = std::get_if<std::vector<int> R::*>(&f);
    if (row.type == INF_KEY_TEXT && text) {
        record.**text = value;
    } else if (row.type == INF_KEY_LIST && list) {
        (record.**list).Add(value);
    } else if (row.type == INF_KEY_FLAG && flag) {
        record.**flag = InfDecimal(value, INT64_MIN, INT64_MAX) != 0;
    } else if (row.type == INF_KEY_YES && flag) {
        record.**flag = value == "Y" || value == "y";
    } else if (row.type == INF_KEY_NUMBER && n16) {
        record.**n16 = static_cast<uint16_t>(NumberValue(reader, key, value, 0, UINT16_MAX));
    } else if (row.type == INF_KEY_NUMBER && n32) {
        record.**n32 = static_cast<uint32_t>(NumberValue(reader, key, value, 0, UINT32_MAX));
    } else if (row.type == INF_KEY_NUMBERS && numbers) {
        (record.**numbers).push_back(static_cast<int>(NumberValue(reader, key, value, INT32_MIN, INT32_MAX)));
    } else {
        // A row whose field does not fit its type is a mistake in the table.
        return ZRK_INTERNAL_ERROR();
    }
    return 0;
}

// Stores one key of RECORD through its kind's table; a key the table does
// not know is ignored.
template <class R>
int StoreKey(R& record, CCfgFile* reader, const CString& key, const CString& value) {
    const CInfKey<R>* row = FindKey(R::kKeys, key);
    if (!row) return 0;
    if (row->rule) return row->rule(record, reader, key, value);
    return StoreByType(*row, record, reader, key, value);
}

// Gives RECORD's fields the initial values of its kind's table.
template <class R>
void SetInitialValues(R& record) {
    for (const CInfKey<R>& row : R::kKeys.keys)
        if (row.initial) StoreByType(row, record, nullptr, CString(row.key), CString(row.initial));
}

// The rule of the keys that a kind does not accept.
template <class R>
int RejectKey(R&, CCfgFile* reader, const CString& key, const CString& value) {
    if (!reader) return ZRK_INTERNAL_ERROR();
    return Unexpected(*reader, CFG_ENTRY, value, key);
}

// An entry that may end in "# condition": kept in LIST, its condition
// checked where it stands.
template <class R, CStringList R::*List>
int ConditionalEntry(R& record, CCfgFile*, const CString&, const CString& value) {
    (record.*List).Add(value);
    return record.CheckEntryCondition(value);
}

// "name , rest": the name and the rest, both trimmed (the rest empty without
// a comma).
void SplitAtComma(const CString& value, CString* name, CString* rest) {
    *name = value;
    rest->Empty();
    const int comma = name->Find(',');
    if (comma >= 0) {
        *rest = Trimmed(name->c_str() + comma + 1);
        *name = CString(name->c_str(), comma);
    }
    name->Trim();
}

// The consumer that feeds one record: "TEST" to SetTest, other entries to
// the record's key table, nested blocks to its block handler, everything
// else reported as unexpected.
class CRecordConsumer : public CCfgConsumer {
public:
    explicit CRecordConsumer(CInfRecord& record) : m_record(record) {}

protected:
    int SetKey(CCfgFile& cfg, const CString& key, const CString& value) override {
        (void)cfg;
        if (Is(key, "TEST")) return ::SetTest(m_record, value);
        return m_record.SetKey(key, value);
    }
    int ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name) override {
        return m_record.ReadBlock(cfg, keyword, name);
    }
    int OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key) override {
        // "TEST =" clears the condition: an empty test is always true.
        if (type == CFG_ENTRY && Is(key, "TEST")) return ::SetTest(m_record, value);
        return Unexpected(cfg, type, value, key);
    }

private:
    CInfRecord& m_record;
};

// The consumers of packages and their files: the same loop, their own key
// tables, no "TEST".
class CPackageConsumer : public CCfgConsumer {
public:
    explicit CPackageConsumer(CPackage& package) : m_package(package) {}

protected:
    int SetKey(CCfgFile& cfg, const CString& key, const CString& value) override {
        return m_package.SetKey(cfg, key, value);
    }
    int ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name) override {
        return m_package.ReadBlock(cfg, keyword, name);
    }
    int OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key) override {
        return Unexpected(cfg, type, value, key);
    }

private:
    CPackage& m_package;
};

class CPackageFileConsumer : public CCfgConsumer {
public:
    explicit CPackageFileConsumer(CPackageFile& file) : m_file(file) {}

protected:
    int SetKey(CCfgFile& cfg, const CString& key, const CString& value) override {
        return m_file.SetKey(cfg, key, value);
    }
    int ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name) override {
        return Unexpected(cfg, CFG_BLOCK_START, name, keyword);
    }
    int OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key) override {
        return Unexpected(cfg, type, value, key);
    }

private:
    CPackageFile& m_file;
};

// Reads one nested record of a set into LIST.
template <class T>
int ReadInto(CInfList<T>& list, std::unique_ptr<T> record, CCfgFile& reader) {
    ZRK_TRY(ReadRecord(*record, reader));
    return list.Add(std::move(record));
}

}  // namespace

// ---------------------------------------------------------------------------
// Conversions and entry values

CInfPlace InfPlaceOf(const CCfgFile* reader) {
    CInfPlace place;
    if (reader) {
        const CCfgFile* at = reader->Innermost();
        place.file = at->FileName();
        place.line = at->LineNumber();
    }
    return place;
}

int64_t InfDecimal(const char* text, int64_t low, int64_t high) {
    const char* p = text ? text : "";
    while (ZrkIsSpace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Accumulated as a negative number so that INT64_MIN fits; saturates.
    int64_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const int digit = *p - '0';
        if (n < (INT64_MIN + digit) / 10) {
            n = INT64_MIN;
        } else {
            n = n * 10 - digit;
        }
    }
    int64_t value;
    if (negative) {
        value = n;
    } else {
        value = n == INT64_MIN ? INT64_MAX : -n;
    }
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

void InfSplitModifiers(const char* value, CInfEntryParts* parts, bool report) {
    *parts = CInfEntryParts();
    CString rest(value ? value : "");
    CString piece[3];
    int found = 0;
    for (; found < 3; ++found) {
        const int comma = rest.Find(',');
        if (comma < 0) break;
        piece[found] = CString(rest.c_str(), comma);
        rest = CString(rest.c_str() + comma + 1);
    }
    // The text after the last comma used is the next part.
    CString* last = found < 3 ? &piece[found] : &parts->testPath;
    *last = rest;
    parts->data = Trimmed(piece[0]);
    const CString type = Trimmed(piece[1]);
    const CString mode = Trimmed(piece[2]);
    parts->testPath.Trim();
    if (!type.IsEmpty()) {
        parts->type = static_cast<char>(std::toupper(static_cast<unsigned char>(type[0])));
        if (type.Length() > 1 && report) ZrkWarningId(MSG_ENTRY_TYPE_LONG, type.c_str(), value ? value : "");
    }
    if (!mode.IsEmpty()) {
        parts->mode = static_cast<char>(std::toupper(static_cast<unsigned char>(mode[0])));
        if (mode.Length() > 1 && report) ZrkWarningId(MSG_ENTRY_MODE_LONG, mode.c_str(), value ? value : "");
    }
}

void InfSplitDetectionRule(const char* rule, CInfDetectionRule* parts) {
    *parts = CInfDetectionRule();
    CStringList all;
    all.AddSplit(rule ? rule : "", ',', true);
    for (int i = 0; i < all.Count(); ++i) {
        if (i == 0) {
            parts->keyPath = all[i];
        } else if (i == 1) {
            parts->valueName = all[i];
        } else if (i == 2) {
            parts->minVersion = all[i];
        } else {
            parts->files.Add(all[i]);
        }
    }
}

// ---------------------------------------------------------------------------
// The base record and the reading loop

int CInfRecord::ReadBlock(CCfgFile& reader, const CString& word, const CString& value) {
    // A record of this kind holds no blocks. Taking the block's entries as
    // the record's own would end the record at the block's end; the block
    // is reported instead, as a set reports a block it does not know.
    return reader.ReportUnexpected(CFG_BLOCK_START, value, word);
}

CInfPlace CInfRecord::CurrentPlace() const { return InfPlaceOf(m_reader); }

int CInfRecord::CheckEntryCondition(const CString& value) const {
    CString data, condition;
    InfSplitEntryCondition(value, &data, &condition);
    if (condition.IsEmpty()) return 0;
    // Checked on its own, at the entry's place: the record's own "TEST"
    // keeps the place where it was read.
    const CInfPlace place = CurrentPlace();
    return InfCheckConditionSyntax(condition, place.file, place.line);
}

int ReadRecord(CInfRecord& record, CCfgFile& reader) {
    // The block line has just been read: the reader is still on it. A set
    // that blocks are added to (external packages) keeps its first place.
    if (record.BlockPlace().file.IsEmpty()) record.SetBlockPlace(InfPlaceOf(&reader));
    record.SetReader(&reader);
    CRecordConsumer consumer(record);
    const int result = consumer.Consume(reader, false);
    record.SetReader(nullptr);
    return result;
}

int SetTest(CInfRecord& record, const char* text) {
    const CInfPlace place = record.CurrentPlace();
    record.SetTestText(text ? text : "", place.file, place.line);
    return InfCheckConditionSyntax(record.TestText(), place.file, place.line);
}

// ---------------------------------------------------------------------------
// Records inside a set

// Every kind's SetKey stores through its table.
int CIniRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CRegRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CServiceRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CRenameRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CDllRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CRunRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CFontRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CPgmRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CSetRecord::SetKey(const CString& key, const CString& value) { return StoreKey(*this, Reader(), key, value); }
int CPackage::SetKey(CCfgFile& reader, const CString& key, const CString& value) {
    return StoreKey(*this, &reader, key, value);
}
int CPackageFile::SetKey(CCfgFile& reader, const CString& key, const CString& value) {
    return StoreKey(*this, &reader, key, value);
}

CRunRecord::CRunRecord() { SetInitialValues(*this); }

CRegRecord::CRegRecord(const char* path, const CStringList& names, const CStringList& values)
    : m_path(path), m_names(names), m_values(values), m_places(static_cast<size_t>(names.Count())) {}

// The tables: key, type, field, initial value, rule, expanded when applied.

const CInfKeyTable<CIniRecord> CIniRecord::kKeys = {
    "INI",
    {
        {"SECTION", INF_KEY_TEXT, &CIniRecord::m_section, nullptr, nullptr, false},
        // Every other key is a profile entry, kept in file order.
        {nullptr, INF_KEY_OTHER, {}, nullptr,
         [](CIniRecord& r, CCfgFile*, const CString& key, const CString& value) {
             r.m_keys.Add(key);
             r.m_values.Add(value);
             r.m_places.push_back(r.CurrentPlace());
             return r.CheckEntryCondition(value);
         },
         true},
    },
};

const CInfKeyTable<CRegRecord> CRegRecord::kKeys = {
    "REG",
    {
        // Every key is a value name; only the exact spelling "(Default)"
        // names the unnamed value.
        {nullptr, INF_KEY_OTHER, {}, nullptr,
         [](CRegRecord& r, CCfgFile*, const CString& key, const CString& value) {
             r.m_names.Add(key == "(Default)" ? CString() : key);
             r.m_values.Add(value);
             r.m_places.push_back(r.CurrentPlace());
             return r.CheckEntryCondition(value);
         },
         true},
    },
};

const CInfKeyTable<CServiceRecord> CServiceRecord::kKeys = {
    "SERVICE",
    {
        {"NAME", INF_KEY_TEXT, &CServiceRecord::m_name, nullptr, nullptr, true},
        {"DISPLAYNAME", INF_KEY_TEXT, &CServiceRecord::m_displayName, nullptr, nullptr, true},
        {"FULLBINNAME", INF_KEY_TEXT, &CServiceRecord::m_binaryPath, nullptr, nullptr, true},
        {"AUTOSTART", INF_KEY_FLAG, &CServiceRecord::m_autoStart, nullptr, nullptr, false},
    },
};

const CInfKeyTable<CRenameRecord> CRenameRecord::kKeys = {
    "RENAME",
    {
        {"OLD", INF_KEY_TEXT, &CRenameRecord::m_old, nullptr, nullptr, true},
        {"NEW", INF_KEY_TEXT, &CRenameRecord::m_new, nullptr, nullptr, true},
    },
};

const CInfKeyTable<CDllRecord> CDllRecord::kKeys = {
    "DLL",
    {
        {"TO", INF_KEY_TEXT, &CDllRecord::m_to, nullptr, nullptr, true},
        {"BELONGTO", INF_KEY_TEXT, &CDllRecord::m_belongTo, nullptr, nullptr, false},
        {"TESTFIRSTONLY", INF_KEY_FLAG, &CDllRecord::m_testFirstOnly, nullptr, nullptr, false},
        // "name[, platform word]": kept only when the word fits the platform
        // kind. A value without a file name ("FILE = , WINNT") names nothing
        // to copy; it would otherwise stand for the directory itself.
        {"FILE", INF_KEY_LIST, &CDllRecord::m_files, nullptr,
         [](CDllRecord& r, CCfgFile*, const CString&, const CString& value) {
             CString name, word;
             SplitAtComma(value, &name, &word);
             if (!name.IsEmpty() && KeepPlatformFile(word)) {
                 r.m_files.Add(name);
             } else {
                 ++r.m_dropped;
             }
             return 0;
         },
         true},
    },
};

const CInfKeyTable<CRunRecord> CRunRecord::kKeys = {
    "RUN",
    {
        {"COMMENT", INF_KEY_TEXT, &CRunRecord::m_comment, nullptr, nullptr, false},
        {"NAME", INF_KEY_TEXT, &CRunRecord::m_name, nullptr, nullptr, true},
        {"CMD", INF_KEY_TEXT, &CRunRecord::m_cmd, nullptr, nullptr, true},
        {"ASK", INF_KEY_YES, &CRunRecord::m_ask, "Y", nullptr, false},
    },
};

const CInfKeyTable<CFontRecord> CFontRecord::kKeys = {
    "FONT",
    {
        {"FILENAME", INF_KEY_TEXT, &CFontRecord::m_fileName, nullptr, nullptr, true},
        {"FONTNAME", INF_KEY_TEXT, &CFontRecord::m_fontName, nullptr, nullptr, true},
    },
};

const CInfKeyTable<CPgmRecord> CPgmRecord::kKeys = {
    "PGM",
    {
        {"GROUP", INF_KEY_TEXT, &CPgmRecord::m_group, nullptr, nullptr, true},
        {"DESC", INF_KEY_TEXT, &CPgmRecord::m_desc, nullptr, nullptr, true},
        {"FILENAME", INF_KEY_TEXT, &CPgmRecord::m_fileName, nullptr, nullptr, true},
        {"ICONAME", INF_KEY_TEXT, &CPgmRecord::m_iconName, nullptr, nullptr, true},
        {"CMD", INF_KEY_TEXT, &CPgmRecord::m_cmd, nullptr, nullptr, true},
        {"WDIR", INF_KEY_TEXT, &CPgmRecord::m_wdir, nullptr, nullptr, true},
        {"SKEY", INF_KEY_TEXT, &CPgmRecord::m_skey, nullptr, nullptr, false},
    },
};

int FindPgmItem(const CInfList<CPgmRecord>& items, const char* title) {
    const char* wanted = title ? title : "";
    for (int i = 0; i < items.Count(); ++i) {
        const CString& stored = items[i].Title();
        CString plain = stored;
        if (stored.Length() > 0 && stored[0] == '"')
            plain = stored.Length() >= 2 ? CString(stored.c_str() + 1, stored.Length() - 2) : CString();
        if (plain == wanted) return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Sets

const CInfKeyTable<CSetRecord> CSetRecord::kKeys = {
    "SET",
    {
        {"APPNAME", INF_KEY_TEXT, &CSetRecord::m_appName, nullptr, nullptr, false},
        {"INTERNALNAME", INF_KEY_TEXT, &CSetRecord::m_internalName, nullptr, nullptr, false},
        {"APPSHORTNAME", INF_KEY_TEXT, &CSetRecord::m_shortName, nullptr, nullptr, false},
        {"ARCHI", INF_KEY_TEXT, &CSetRecord::m_archi, nullptr, nullptr, false},
        {"APPCOMMENT", INF_KEY_TEXT, &CSetRecord::m_comment, nullptr, nullptr, false},
        // Expanded at once; a failed lookup was reported and leaves what
        // could be expanded. An empty value changes nothing.
        {"APPDEFAULTPATH", INF_KEY_TEXT, &CSetRecord::m_destDir, nullptr,
         [](CSetRecord& r, CCfgFile*, const CString&, const CString& value) {
             if (value.IsEmpty()) return 0;
             CString path(value);
             ExpandVariables(&r, path, false);
             r.m_destDir = path;
             return 0;
         },
         false},
        {"REBOOT", INF_KEY_TEXT, &CSetRecord::m_reboot, nullptr, nullptr, false},
        // The declared main group, and the group in use until the user
        // chooses another.
        {"MAINGROUP", INF_KEY_TEXT, &CSetRecord::m_mainGroup, nullptr,
         [](CSetRecord& r, CCfgFile*, const CString&, const CString& value) {
             r.m_mainGroup = value;
             r.m_groupInUse = value;
             return 0;
         },
         false},
        {"TCPPORT", INF_KEY_NUMBER, &CSetRecord::m_tcpPort, nullptr, nullptr, false},
        {"SETUSERENV", INF_KEY_LIST, &CSetRecord::m_userEnv, nullptr,
         ConditionalEntry<CSetRecord, &CSetRecord::m_userEnv>, true},
        {"SETSYSENV", INF_KEY_LIST, &CSetRecord::m_systemEnv, nullptr,
         ConditionalEntry<CSetRecord, &CSetRecord::m_systemEnv>, true},
        // "package[, detection rule]": the rule at the package's index.
        {"MAXIMAL", INF_KEY_LIST, &CSetRecord::m_maximal, nullptr,
         [](CSetRecord& r, CCfgFile*, const CString&, const CString& value) {
             CString name, rule;
             SplitAtComma(value, &name, &rule);
             r.m_maximal.Add(name);
             r.m_rules.Add(rule);
             return 0;
         },
         false},
        {"MINIMAL", INF_KEY_LIST, &CSetRecord::m_minimal, nullptr, nullptr, false},
        {"REGSVR32", INF_KEY_LIST, &CSetRecord::m_regsvr32, nullptr, nullptr, true},
    },
};

int CSetRecord::ReadBlock(CCfgFile& reader, const CString& word, const CString& value) {
    if (Is(word, CIniRecord::kKeys.block)) return ReadInto(m_ini, std::make_unique<CIniRecord>(value), reader);
    if (Is(word, CRegRecord::kKeys.block)) return ReadInto(m_reg, std::make_unique<CRegRecord>(value), reader);
    if (Is(word, CServiceRecord::kKeys.block)) return ReadInto(m_services, std::make_unique<CServiceRecord>(), reader);
    if (Is(word, CRenameRecord::kKeys.block)) return ReadInto(m_renames, std::make_unique<CRenameRecord>(), reader);
    if (Is(word, CDllRecord::kKeys.block)) return ReadInto(m_dll, std::make_unique<CDllRecord>(), reader);
    if (Is(word, CRunRecord::kKeys.block)) return ReadInto(m_run, std::make_unique<CRunRecord>(), reader);
    if (Is(word, CFontRecord::kKeys.block)) return ReadInto(m_fonts, std::make_unique<CFontRecord>(), reader);
    if (Is(word, CPgmRecord::kKeys.block)) return ReadInto(m_pgm, std::make_unique<CPgmRecord>(), reader);
    return reader.ReportUnexpected(CFG_BLOCK_START, value, word);
}

int AddRegRecord(CSetRecord& set, const char* path, const CStringList& names, const CStringList& values) {
    // The lists are parallel; a caller that breaks that has a bug.
    if (names.Count() != values.Count()) return ZRK_INTERNAL_ERROR();
    return set.RegRecords().Add(std::make_unique<CRegRecord>(path ? path : "", names, values));
}

int CheckDetection(const CSetRecord& set, int index, int* ok) {
    *ok = 1;
    if (index < 0 || index >= set.DetectionRules().Count()) {
        *ok = 0;
        return ZRK_INTERNAL_ERROR();
    }
    const CString& rule = set.DetectionRules()[index];
    if (rule.IsEmpty()) {
        *ok = 0;
        return 0;
    }
    CInfDetectionRule parts;
    InfSplitDetectionRule(rule, &parts);

    int result = 0;
    if (!parts.keyPath.IsEmpty() && !parts.valueName.IsEmpty()) {
        int found = 0;
        CString path;
        result = InfRegistryDetect(parts.keyPath, parts.valueName, &found, &path);
        if (!found) {
            *ok = 0;
        } else if (!CFile::Exists(path)) {
            *ok = 0;
        } else if (!parts.minVersion.IsEmpty()) {
            CString version;
            ZRK_KEEP(result, InfFileVersion(path, &version));
            // Dotted versions compare by number: 10.0 is above 9.0.
            if (ZrkCompareVersions(version, parts.minVersion) < 0) *ok = 0;
        }
    }
    for (int i = 0; i < parts.files.Count() && *ok; ++i) {
        CString found;
        if (parts.files[i].IsEmpty() || CFile::SearchOnPath(parts.files[i], &found, false) != 0) *ok = 0;
    }
    return result;
}

// ---------------------------------------------------------------------------
// Packages

const CInfKeyTable<CPackageFile> CPackageFile::kKeys = {
    "FILE",
    {
        {"FILENAME", INF_KEY_TEXT, &CPackageFile::m_fileName, nullptr, nullptr, false},
        {"UNCOMPSIZE", INF_KEY_NUMBER, &CPackageFile::m_uncompSize, nullptr, nullptr, false},
        {"COMPSIZE", INF_KEY_NUMBER, &CPackageFile::m_compSize, nullptr, nullptr, false},
        {nullptr, INF_KEY_OTHER, {}, nullptr, RejectKey<CPackageFile>, false},
    },
};

const CInfKeyTable<CPackage> CPackage::kKeys = {
    "PACKAGE",
    {
        {"PACKAGENAME", INF_KEY_TEXT, &CPackage::m_name, nullptr, nullptr, false},
        {"ARCHIVENAME", INF_KEY_TEXT, &CPackage::m_archive, nullptr, nullptr, false},
        {"COMMENT", INF_KEY_TEXT, &CPackage::m_comment, nullptr, nullptr, false},
        {"VERSION", INF_KEY_TEXT, &CPackage::m_version, nullptr, nullptr, false},
        {"EXTERNAL", INF_KEY_TEXT, &CPackage::m_external, nullptr, nullptr, false},
        {"LANGUAGE", INF_KEY_TEXT, &CPackage::m_language, nullptr, nullptr, false},
        {"EXTERNALSIZE", INF_KEY_NUMBER, &CPackage::m_externalSize, nullptr, nullptr, false},
        {"USEPACKAGE", INF_KEY_LIST, &CPackage::m_usePackages, nullptr, nullptr, false},
        {"COMPSIZE", INF_KEY_NUMBER, &CPackage::m_compSize, nullptr, nullptr, false},
        {"DESTDIR", INF_KEY_TEXT, &CPackage::m_destDir, nullptr, nullptr, false},
        {"DISK", INF_KEY_NUMBERS, &CPackage::m_disks, nullptr, nullptr, false},
        {nullptr, INF_KEY_OTHER, {}, nullptr, RejectKey<CPackage>, false},
    },
};

int CPackage::ReadBlock(CCfgFile& reader, const CString& word, const CString& value) {
    if (!Is(word, CPackageFile::kKeys.block)) return Unexpected(reader, CFG_BLOCK_START, value, word);
    auto file = std::make_unique<CPackageFile>();
    ZRK_TRY(ReadPackageFile(*file, reader));
    return m_files.Add(std::move(file));
}

int ReadPackage(CPackage& package, CCfgFile& reader) {
    package.SetBlockPlace(InfPlaceOf(&reader));
    CPackageConsumer consumer(package);
    return consumer.Consume(reader, false);
}

int ReadPackageFile(CPackageFile& file, CCfgFile& reader) {
    CPackageFileConsumer consumer(file);
    return consumer.Consume(reader, false);
}

uint32_t GetPackageSize(const CPackage& package) {
    if (!package.External().IsEmpty()) return package.ExternalSize();
    uint64_t sum = 0;
    for (int i = 0; i < package.Files().Count(); ++i) sum += package.Files()[i].UncompSize();
    return sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
}

uint32_t GetPackageCompressedSize(const CPackage& package) {
    if (!package.External().IsEmpty()) return package.ExternalSize() / 2;
    return package.CompSize();
}
