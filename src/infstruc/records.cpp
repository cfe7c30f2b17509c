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

uint32_t Size32(const CCfgFile* reader, const CString& key, const CString& value) {
    return static_cast<uint32_t>(NumberValue(reader, key, value, 0, UINT32_MAX));
}

bool Flag(const CString& value) { return InfDecimal(value, INT64_MIN, INT64_MAX) != 0; }

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

int CIniRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "SECTION")) {
        m_section = value;
        return 0;
    }
    m_keys.Add(key);
    m_values.Add(value);
    m_places.push_back(CurrentPlace());
    return CheckEntryCondition(value);
}

CRegRecord::CRegRecord(const char* path, const CStringList& names, const CStringList& values)
    : m_path(path), m_names(names), m_values(values), m_places(static_cast<size_t>(names.Count())) {}

int CRegRecord::SetKey(const CString& key, const CString& value) {
    // Only the exact spelling names the unnamed value.
    m_names.Add(key == "(Default)" ? CString() : key);
    m_values.Add(value);
    m_places.push_back(CurrentPlace());
    return CheckEntryCondition(value);
}

int CServiceRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "NAME")) {
        m_name = value;
    } else if (Is(key, "DISPLAYNAME")) {
        m_displayName = value;
    } else if (Is(key, "FULLBINNAME")) {
        m_binaryPath = value;
    } else if (Is(key, "AUTOSTART")) {
        m_autoStart = Flag(value);
    }
    return 0;
}

int CRenameRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "OLD")) {
        m_old = value;
    } else if (Is(key, "NEW")) {
        m_new = value;
    }
    return 0;
}

int CDllRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "TO")) {
        m_to = value;
    } else if (Is(key, "BELONGTO")) {
        m_belongTo = value;
    } else if (Is(key, "TESTFIRSTONLY")) {
        m_testFirstOnly = Flag(value);
    } else if (Is(key, "FILE")) {
        CString name(value), word;
        const int comma = name.Find(',');
        if (comma >= 0) {
            word = Trimmed(name.c_str() + comma + 1);
            name = CString(name.c_str(), comma);
        }
        name.Trim();
        // A value without a file name ("FILE = , WINNT") names nothing to
        // copy; it would otherwise stand for the directory itself.
        if (!name.IsEmpty() && KeepPlatformFile(word)) {
            m_files.Add(name);
        } else {
            ++m_dropped;
        }
    }
    return 0;
}

int CRunRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "COMMENT")) {
        m_comment = value;
    } else if (Is(key, "NAME")) {
        m_name = value;
    } else if (Is(key, "CMD")) {
        m_cmd = value;
    } else if (Is(key, "ASK")) {
        m_ask = value == "Y" || value == "y";
    }
    return 0;
}

int CFontRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "FILENAME")) {
        m_fileName = value;
    } else if (Is(key, "FONTNAME")) {
        m_fontName = value;
    }
    return 0;
}

int CPgmRecord::SetKey(const CString& key, const CString& value) {
    CString* field = nullptr;
    if (Is(key, "GROUP")) {
        field = &m_group;
    } else if (Is(key, "FILENAME")) {
        field = &m_fileName;
    } else if (Is(key, "ICONAME")) {
        field = &m_iconName;
    } else if (Is(key, "DESC")) {
        field = &m_desc;
    } else if (Is(key, "CMD")) {
        field = &m_cmd;
    } else if (Is(key, "WDIR")) {
        field = &m_wdir;
    } else if (Is(key, "SKEY")) {
        field = &m_skey;
    }
    if (field) *field = value;
    return 0;
}

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

int CSetRecord::SetKey(const CString& key, const CString& value) {
    if (Is(key, "APPNAME")) {
        m_appName = value;
    } else if (Is(key, "INTERNALNAME")) {
        m_internalName = value;
    } else if (Is(key, "APPSHORTNAME")) {
        m_shortName = value;
    } else if (Is(key, "ARCHI")) {
        m_archi = value;
    } else if (Is(key, "APPCOMMENT")) {
        m_comment = value;
    } else if (Is(key, "APPDEFAULTPATH")) {
        // Expanded at once; a failed lookup was reported and leaves what
        // could be expanded. An empty value changes nothing.
        if (value.IsEmpty()) return 0;
        CString path(value);
        ExpandVariables(this, path, false);
        m_destDir = path;
    } else if (Is(key, "REBOOT")) {
        m_reboot = value;
    } else if (Is(key, "MAINGROUP")) {
        m_mainGroup = value;
        m_groupInUse = value;
    } else if (Is(key, "TCPPORT")) {
        m_tcpPort = static_cast<uint16_t>(NumberValue(Reader(), key, value, 0, 65535));
    } else if (Is(key, "SETUSERENV") || Is(key, "SETSYSENV")) {
        (Is(key, "SETUSERENV") ? m_userEnv : m_systemEnv).Add(value);
        return CheckEntryCondition(value);
    } else if (Is(key, "MAXIMAL")) {
        CString name(value), rule;
        const int comma = name.Find(',');
        if (comma >= 0) {
            rule = Trimmed(name.c_str() + comma + 1);
            name = CString(name.c_str(), comma);
        }
        m_maximal.Add(Trimmed(name));
        m_rules.Add(rule);
    } else if (Is(key, "MINIMAL")) {
        m_minimal.Add(value);
    } else if (Is(key, "REGSVR32")) {
        m_regsvr32.Add(value);
    }
    return 0;
}

int CSetRecord::ReadBlock(CCfgFile& reader, const CString& word, const CString& value) {
    if (Is(word, "INI")) return ReadInto(m_ini, std::make_unique<CIniRecord>(value), reader);
    if (Is(word, "REG")) return ReadInto(m_reg, std::make_unique<CRegRecord>(value), reader);
    if (Is(word, "SERVICE")) return ReadInto(m_services, std::make_unique<CServiceRecord>(), reader);
    if (Is(word, "RENAME")) return ReadInto(m_renames, std::make_unique<CRenameRecord>(), reader);
    if (Is(word, "DLL")) return ReadInto(m_dll, std::make_unique<CDllRecord>(), reader);
    if (Is(word, "RUN")) return ReadInto(m_run, std::make_unique<CRunRecord>(), reader);
    if (Is(word, "FONT")) return ReadInto(m_fonts, std::make_unique<CFontRecord>(), reader);
    if (Is(word, "PGM")) return ReadInto(m_pgm, std::make_unique<CPgmRecord>(), reader);
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

int CPackageFile::SetKey(CCfgFile& reader, const CString& key, const CString& value) {
    if (Is(key, "FILENAME")) {
        m_fileName = value;
    } else if (Is(key, "UNCOMPSIZE")) {
        m_uncompSize = Size32(&reader, key, value);
    } else if (Is(key, "COMPSIZE")) {
        m_compSize = Size32(&reader, key, value);
    } else {
        return Unexpected(reader, CFG_ENTRY, value, key);
    }
    return 0;
}

int CPackage::SetKey(CCfgFile& reader, const CString& key, const CString& value) {
    if (Is(key, "PACKAGENAME")) {
        m_name = value;
    } else if (Is(key, "ARCHIVENAME")) {
        m_archive = value;
    } else if (Is(key, "COMMENT")) {
        m_comment = value;
    } else if (Is(key, "VERSION")) {
        m_version = value;
    } else if (Is(key, "EXTERNAL")) {
        m_external = value;
    } else if (Is(key, "LANGUAGE")) {
        m_language = value;
    } else if (Is(key, "EXTERNALSIZE")) {
        m_externalSize = Size32(&reader, key, value);
    } else if (Is(key, "USEPACKAGE")) {
        m_usePackages.Add(value);
    } else if (Is(key, "COMPSIZE")) {
        m_compSize = Size32(&reader, key, value);
    } else if (Is(key, "DESTDIR")) {
        m_destDir = value;
    } else if (Is(key, "DISK")) {
        m_disks.push_back(static_cast<int>(NumberValue(&reader, key, value, INT32_MIN, INT32_MAX)));
    } else {
        return Unexpected(reader, CFG_ENTRY, value, key);
    }
    return 0;
}

int CPackage::ReadBlock(CCfgFile& reader, const CString& word, const CString& value) {
    if (!Is(word, "FILE")) return Unexpected(reader, CFG_BLOCK_START, value, word);
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
