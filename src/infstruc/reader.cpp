// The top level of "setup.inf".
#include "src/infstruc/reader.h"

#include <memory>

#include "zrk/cfgfile.h"
#include "zrk/result.h"

const char* const kInfHeaderKeys[] = {
    "VERSION",        "TESTADMINONNT",   "ACCEPTUPGRADE",    "USERINFO",  "INSTALLTITLE",
    "UNINSTALLTITLE", "INSTALLBITMAP",   "APPINSTALLLOG",    "APPVERSION", "APPLANGUAGE",
    "EXPECTEDVERSION", "EXPECTEDLANGUAGE", "DISKLABEL",      "NEWKEY",    "UNINSTDEL",
    "UNINSTDONOTDEL", "SETUPFILE",       "TXT",              "BMP",       nullptr,
};

bool InfIsHeaderKey(const char* name) {
    const CString key(name ? name : "");
    for (const char* const* k = kInfHeaderKeys; *k; ++k)
        if (key.CompareNoCase(*k) == 0) return true;
    return false;
}

CString CInfDescription::HeaderValue(const char* name) const {
    for (auto it = header.rbegin(); it != header.rend(); ++it)
        if (it->name.CompareNoCase(name) == 0) return it->value;
    return CString();
}

int CInfDescription::FindPackage(const char* name) const {
    for (int i = 0; i < packages.Count(); ++i)
        if (packages[i].Name() == name) return i;
    return -1;
}

void CInfDescription::Clear() {
    header.clear();
    packages.Clear();
    sets.Clear();
}

namespace {

// The consumer of the top level: header keys are kept, "PACKAGE" and "SET"
// blocks read into records, anything else is unexpected.
class CTopLevelConsumer : public CCfgConsumer {
public:
    CTopLevelConsumer(CInfDescription& desc, CSetRecord* externalSet) : m_desc(desc), m_external(externalSet) {}

protected:
    int SetKey(CCfgFile& cfg, const CString& key, const CString& value) override {
        if (!InfIsHeaderKey(key)) return Unexpected(cfg, CFG_ENTRY, value, key);
        m_desc.header.push_back(CInfHeaderKey{key, value, InfPlaceOf(&cfg)});
        return 0;
    }

    int ChildBlock(CCfgFile& cfg, const CString& keyword, const CString& name) override {
        if (keyword.CompareNoCase("PACKAGE") == 0) {
            auto package = std::make_unique<CPackage>();
            ZRK_TRY(ReadPackage(*package, cfg));
            return m_desc.packages.Add(std::move(package));
        }
        if (keyword.CompareNoCase("SET") == 0) {
            // An external package's sets add to the set being installed.
            if (m_external) return ReadRecord(*m_external, cfg);
            auto set = std::make_unique<CSetRecord>();
            ZRK_TRY(ReadRecord(*set, cfg));
            return m_desc.sets.Add(std::move(set));
        }
        return Unexpected(cfg, CFG_BLOCK_START, name, keyword);
    }

    int OtherItem(CCfgFile& cfg, int type, const CString& value, const CString& key) override {
        return Unexpected(cfg, type, value, key);
    }

private:
    static int Unexpected(CCfgFile& cfg, int type, const CString& value, const CString& key) {
        cfg.ReportUnexpected(type, value, key);
        return ZRK_INTERNAL_ERROR();
    }

    CInfDescription& m_desc;
    CSetRecord* m_external;
};

}  // namespace

void InfPrepareReader(CCfgFile& reader) {
    reader.SetOptions(CFG_OPT_ENV_SYMBOLS);
    reader.SetMacroExpansion(true);
}

int InfReadDescription(CCfgFile& reader, CInfDescription& desc, CSetRecord* externalSet) {
    CTopLevelConsumer consumer(desc, externalSet);
    return consumer.Consume(reader, true);
}

int InfLoadDescription(const char* path, CInfDescription& desc, const CInfReadOptions& options,
                       CSetRecord* externalSet) {
    CCfgFile reader;
    InfPrepareReader(reader);
    ZRK_TRY(reader.OpenRelative(path));
    // After the open, so that a symbol given here may replace a predefined one.
    for (int i = 0; i < options.defineNames.Count(); ++i)
        reader.Define(options.defineNames[i], i < options.defineValues.Count() ? options.defineValues[i].c_str() : "");
    int result = InfReadDescription(reader, desc, externalSet);
    ZRK_KEEP(result, reader.Close(result == 0));
    return result;
}
