// The registry and profile records of a product (see regrecords.h).

#include "src/winspec/regrecords.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "src/infstruc/conditions.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "src/winspec/environment.h"
#include "src/winspec/regkey.h"
#include "zrk/membuf.h"
#include "zrk/os/os.h"
#include "zrk/regtext.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// One entry of a record, split, checked and expanded.
struct Entry {
    CString name;  // value name or profile key
    CInfEntryParts parts;
    const char* text = "";  // the entry value as the description gives it
};

// Splits the entry VALUE of NAME and runs its checks: the test path must
// exist, then the condition must hold. Only an entry that passes (*APPLY)
// has its name and data expanded.
int PrepareEntry(const CSetRecord& set, const CString& name, const CString& value, Entry* entry, bool* apply) {
    *apply = false;
    CString rest, condition;
    InfSplitEntryCondition(value, &rest, &condition);
    InfSplitModifiers(rest, &entry->parts);
    entry->text = value;
    int holds = 0;
    ZRK_TRY(InfCheckEntry(&set, entry->parts.testPath, condition, &holds));
    if (!holds) return 0;
    entry->name = name;
    ZRK_TRY(ExpandVariables(&set, entry->name, false));
    ZRK_TRY(ExpandVariables(&set, entry->parts.data, true));
    *apply = true;
    return 0;
}

// A decimal entry datum as the 32-bit number it writes ("-1" is 4294967295).
uint32_t Number(const char* text) { return static_cast<uint32_t>(InfDecimal(text, INT32_MIN, UINT32_MAX)); }

// What a value holds.
struct Value {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

int Query(CRegistryKey& key, const char* name, Value* value) {
    *value = Value();
    DWORD size = 0;
    LONG e = RegQueryValueExA(key.Handle(), name, nullptr, &value->type, nullptr, &size);
    if (e == ERROR_FILE_NOT_FOUND) return 0;
    if (e == ERROR_SUCCESS) {
        value->bytes.resize(size);
        e = RegQueryValueExA(key.Handle(), name, nullptr, &value->type,
                             reinterpret_cast<BYTE*>(value->bytes.data()), &size);
        value->bytes.resize(size);
    }
    if (e != ERROR_SUCCESS) return ZrkErrorId(ZRK_WINERR, MSG_REG_READ, name, static_cast<int>(e));
    value->exists = true;
    return 0;
}

bool IsStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The string kind of type letter TYPE ("S", "X" or "M").
int StringKind(char type) { return type == 'X' ? ZRK_REGSTR_EXPAND : type == 'M' ? ZRK_REGSTR_MULTI : ZRK_REGSTR_PLAIN; }

// Whether a value of registry type TYPE is what an entry of type letter
// LETTER reads and adds to.
bool Fits(char letter, DWORD type) {
    if (letter == 'U') return type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN;
    if (letter == 'B') return type == REG_BINARY;
    return IsStringType(type);
}

// The registry type and bytes an entry writes when nothing is added to.
int EntryData(char letter, const CString& data, Value* out) {
    out->exists = true;
    CMemBuf buf;
    uint32_t type = REG_NONE;
    if (letter == 'U') {
        type = REG_DWORD;
        ZRK_TRY(buf.AppendDword(Number(data)));
    } else if (letter == 'B') {
        type = REG_BINARY;
        ZRK_TRY(buf.AppendHex(data));
    } else {
        ZRK_TRY(ZrkRegStringData(data, StringKind(letter), buf, type));
    }
    out->type = type;
    out->bytes.assign(reinterpret_cast<const char*>(buf.Data()), static_cast<size_t>(buf.Size()));
    return 0;
}

int InstallEntry(CRegistryKey& key, const Entry& entry) {
    const char letter = entry.parts.type, mode = entry.parts.mode;
    if (std::strchr("SXMUB", letter) == nullptr) return 0;
    const CString& name = entry.name;
    const CString& data = entry.parts.data;
    Value old;
    ZRK_TRY(Query(key, name, &old));
    if (mode == 'T' && old.exists) return 0;
    const bool foreign = old.exists && !Fits(letter, old.type);
    if (foreign && mode == 'A') {
        ZrkWarningId(MSG_REG_TYPE_KEPT, name.c_str(), entry.text);
        return 0;
    }
    if (foreign) ZrkWarningId(MSG_REG_TYPE_REPLACED, name.c_str(), entry.text);
    const bool append = mode == 'A' && old.exists;
    if (letter == 'U') {
        uint32_t number = 0;
        if (append) ZrkRegDataNumber(old.type, reinterpret_cast<const uint8_t*>(old.bytes.data()),
                                     static_cast<int>(old.bytes.size()), number);
        return key.WriteNumber(name, number + Number(data));
    }
    if (letter == 'B') {
        CMemBuf bytes;
        if (append) ZRK_TRY(bytes.Append(old.bytes.data(), static_cast<int>(old.bytes.size())));
        ZRK_TRY(bytes.AppendHex(data));
        return key.WriteBinary(name, bytes.Data(), bytes.Size());
    }
    CString text;
    if (append) ZRK_TRY(key.ReadString(name, text));
    text += data;
    return key.WriteString(name, text, StringKind(letter));
}

int RemoveEntry(CRegistryKey& key, const Entry& entry) {
    const char letter = entry.parts.type, mode = entry.parts.mode;
    if (std::strchr("SXMUB", letter) == nullptr || (mode != 'A' && mode != 'T')) return 0;
    const CString& name = entry.name;
    Value now;
    ZRK_TRY(Query(key, name, &now));
    if (!now.exists || !Fits(letter, now.type)) return 0;
    if (mode == 'T') {
        // Only what the entry wrote goes: a value that was there before, or
        // that was changed since, stays. The key's default value always stays.
        Value written;
        ZRK_TRY(EntryData(letter, entry.parts.data, &written));
        if (name.IsEmpty() || now.type != written.type || now.bytes != written.bytes) return 0;
        return key.DeleteValue(name);
    }
    if (letter == 'U') {
        uint32_t number = 0;
        ZrkRegDataNumber(now.type, reinterpret_cast<const uint8_t*>(now.bytes.data()),
                         static_cast<int>(now.bytes.size()), number);
        const uint32_t added = Number(entry.parts.data);
        return key.WriteNumber(name, number >= added ? number - added : 0);
    }
    if (letter == 'B') return 0;
    CString current;
    ZRK_TRY(key.ReadString(name, current));
    std::string text(current.c_str(), static_cast<size_t>(current.Length()));
    const std::string item(entry.parts.data.c_str(), static_cast<size_t>(entry.parts.data.Length()));
    if (RemoveListItem(text, item, letter == 'M' ? '|' : ';', true) == 0) return 0;
    return key.WriteString(name, text.c_str(), StringKind(letter));
}

// TEXT (the record's key path or file) expanded into *OUT; empty when the
// record's "TEST" does not hold.
int RecordTarget(const CSetRecord& set, const CInfRecord& record, const CString& text, CString* out) {
    out->Empty();
    int holds = 0;
    ZRK_TRY(EvaluateTest(record, &set, &holds));
    if (!holds) return 0;
    *out = text;
    return ExpandVariables(&set, *out, false);
}

// Runs APPLY on each entry of NAMES and VALUES that passes its checks.
template <class Apply>
int ForEachEntry(const CSetRecord& set, const CStringList& names, const CStringList& values, Apply apply) {
    for (int j = 0; j < names.Count() && j < values.Count(); ++j) {
        Entry entry;
        bool applies = false;
        ZRK_TRY(PrepareEntry(set, names[j], values[j], &entry, &applies));
        if (applies) ZRK_TRY(apply(entry));
    }
    return 0;
}

// The records' part of InstallRegRecords.
int WriteRegRecords(const CSetRecord& set) {
    const CInfList<CRegRecord>& records = set.RegRecords();
    for (int i = 0; i < records.Count(); ++i) {
        CString path, root, sub;
        ZRK_TRY(RecordTarget(set, records[i], records[i].Path(), &path));
        ZrkRegSplitRoot(path, root, sub);
        if (path.IsEmpty() || CRegistryKey::RootKey(root) == nullptr) continue;
        CRegistryKey key;
        ZRK_TRY(key.Open(root));
        if (!sub.IsEmpty()) ZRK_TRY(key.CreateKey(sub));
        ZRK_TRY(ForEachEntry(set, records[i].Names(), records[i].Values(),
                             [&key](const Entry& entry) { return InstallEntry(key, entry); }));
        ZRK_TRY(key.Close());
    }
    return 0;
}

// Writes one profile entry into SECTION of FILE.
int WriteProfileEntry(const CString& file, const CString& section, const Entry& entry) {
    CString text = entry.parts.data;
    const char mode = entry.parts.mode;
    if (mode == 'A' || mode == 'T') {
        std::string old(32768, '\0');
        const int n = zrkos::ProfileRead(section, entry.name, "", old.data(), static_cast<int>(old.size()), file);
        old.resize(static_cast<size_t>(n > 0 ? n : 0));
        if (mode == 'T' && !old.empty()) return 0;
        if (mode == 'A' && entry.parts.type == 'U')
            text.Format("%lld", static_cast<long long>(InfDecimal(old.c_str(), INT64_MIN / 2, INT64_MAX / 2) +
                                                       InfDecimal(text, INT64_MIN / 2, INT64_MAX / 2)));
        else if (mode == 'A')
            text = CString(old.c_str()) + text;
    }
    if (zrkos::ProfileWrite(section, entry.name, text, file) != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_INI_WRITE_FAILED, entry.name.c_str(), section.c_str(), file.c_str(),
                          zrkos::LastSystemError());
    return 0;
}

}  // namespace

int InstallRegRecords(const CSetRecord& set, LibraryRegistrar registrar) {
    if (registrar == nullptr && set.RegSvr32().Count() > 0) return ZRK_INTERNAL_ERROR();
    int result = WriteRegRecords(set);
    if (registrar != nullptr) ZRK_KEEP(result, registrar(set, false));
    return result;
}

int RemoveRegRecords(const CSetRecord& set, LibraryRegistrar registrar) {
    if (registrar == nullptr && set.RegSvr32().Count() > 0) return ZRK_INTERNAL_ERROR();
    if (registrar != nullptr) ZRK_TRY(registrar(set, true));
    const CInfList<CRegRecord>& records = set.RegRecords();
    for (int i = 0; i < records.Count(); ++i) {
        CString path;
        ZRK_TRY(RecordTarget(set, records[i], records[i].Path(), &path));
        CRegistryKey key;
        if (path.IsEmpty() || key.Open(path, false) != 0) continue;
        ZRK_TRY(ForEachEntry(set, records[i].Names(), records[i].Values(),
                             [&key](const Entry& entry) { return RemoveEntry(key, entry); }));
        ZRK_TRY(key.Close());
        ZRK_TRY(key.DeleteKeyIfEmpty(path));
    }
    return 0;
}

int InstallIniRecords(const CSetRecord& set) {
    const CInfList<CIniRecord>& records = set.IniRecords();
    for (int i = 0; i < records.Count(); ++i) {
        const CIniRecord& record = records[i];
        CString file;
        ZRK_TRY(RecordTarget(set, record, record.File(), &file));
        if (file.IsEmpty()) continue;
        const CString& section = record.Section();
        ZRK_TRY(ForEachEntry(set, record.Keys(), record.Values(),
                             [&](const Entry& entry) { return WriteProfileEntry(file, section, entry); }));
    }
    return 0;
}
