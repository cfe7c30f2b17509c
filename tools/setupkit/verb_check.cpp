// setupkit check: reads an install description as the installer does and
// prints what it found.
//
//   setupkit check [-D NAME[=VALUE]]... [--platform 1|2|3] [--expand]
//                  [--user DIR] FILE
//
// The description is read with macro expansion on and environment
// variables counting as symbols; conditions are checked as when the
// installer reads them, standing on the chosen platform kind (1 Win32s, 2
// Windows 95, 3 Windows NT; by default the running one, or 3 where there is
// no Windows): its platform words, "ARCHI", the predefined symbols and the
// variables are decided for that kind. After a
// successful read the entries are checked further: the modifier parts of
// profile and registry entries (warnings 145 and 146, passed on with the
// entry's place) and the package names that sets and packages refer to
// (warning 171).
//
// The summary goes to stdout: the header keys, every package (files, sizes,
// disks, packages it uses) and every set (applicability by "ARCHI" on the
// chosen kind, its selections and the number of records of each kind).
// With --expand every value of every set is printed with its "$" variables
// expanded, "$User$" standing for --user DIR (default: the set's own
// destination). Diagnostics go to stderr; the exit status is non-zero when
// any error was reported.
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "src/infstruc/conditions.h"
#include "src/infstruc/reader.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "cmdwords.h"
#include "verbs.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/parsers.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// Counts the errors and warnings reported during the check and passes every
// report on to the application (stderr).
class CCountingReporter : public CReporter {
public:
    int OnReport(int kind, int code, const char* caption, const char* message) override {
        if (kind & ZRK_KIND_ERROR) ++errors;
        if (kind & ZRK_KIND_WARNING) ++warnings;
        CApp* app = ZrkApp();
        return app ? app->Dispatch(kind, code, caption, message) : code;
    }
    int errors = 0;
    int warnings = 0;
};

const char* PlatformName(int platform) {
    switch (platform) {
        case 1: return "Win32s";
        case 2: return "Windows 95";
        case 3: return "Windows NT";
        default: return "unknown";
    }
}

// A text as the summary shows it: in double quotes when it is empty or has
// blanks at its ends, so that what was read is what is seen.
CString Shown(const CString& text) {
    if (!text.IsEmpty() && !ZrkIsSpace(static_cast<unsigned char>(text[0])) &&
        !ZrkIsSpace(static_cast<unsigned char>(text[text.Length() - 1])))
        return text;
    return CString::Printf("\"%s\"", text.c_str());
}

CString Joined(const CStringList& list) { return list.Count() ? list.Join(", ") : CString("-"); }

void Line(int indent, const CString& text) { std::printf("%*s%s\n", indent, "", text.c_str()); }

// The entries' modifier parts: a warning of the splitter is caught and
// reported again with the entry's place.
void CheckModifiers(const CStringList& values, const std::vector<CInfPlace>& places) {
    for (int i = 0; i < values.Count(); ++i) {
        CString data, condition;
        InfSplitEntryCondition(values[i], &data, &condition);
        std::vector<std::string> texts;
        {
            CRecordingScope captured;
            CInfEntryParts parts;
            InfSplitModifiers(data, &parts, true);
            for (const auto& entry : captured.entries) texts.push_back(entry.text);
        }
        const auto at = static_cast<size_t>(i);
        const CInfPlace place = at < places.size() ? places[at] : CInfPlace();
        for (const std::string& text : texts) ZrkWarningId(MSG_CFG_MESSAGE_DIRECTIVE, place.file.c_str(), place.line, text.c_str());
    }
}

// A package name that the description does not describe.
void CheckPackageNames(const CInfDescription& desc, const CStringList& names, const char* key,
                       const CInfPlace& place) {
    for (int i = 0; i < names.Count(); ++i) {
        if (names[i].IsEmpty() || desc.FindPackage(names[i]) >= 0) continue;
        ZrkWarningId(MSG_PACKAGE_NOT_DESCRIBED, names[i].c_str(), key, place.file.c_str(), place.line);
    }
}

void CheckDescription(const CInfDescription& desc) {
    for (int p = 0; p < desc.packages.Count(); ++p) {
        const CPackage& package = desc.packages[p];
        CheckPackageNames(desc, package.UsePackages(), "USEPACKAGE", package.BlockPlace());
    }
    for (int s = 0; s < desc.sets.Count(); ++s) {
        const CSetRecord& set = desc.sets[s];
        CheckPackageNames(desc, set.Maximal(), "MAXIMAL", set.BlockPlace());
        CheckPackageNames(desc, set.Minimal(), "MINIMAL", set.BlockPlace());
        for (int i = 0; i < set.IniRecords().Count(); ++i)
            CheckModifiers(set.IniRecords()[i].Values(), set.IniRecords()[i].Places());
        for (int i = 0; i < set.RegRecords().Count(); ++i)
            CheckModifiers(set.RegRecords()[i].Values(), set.RegRecords()[i].Places());
    }
}

void PrintHeader(const CInfDescription& desc) {
    std::printf("Header keys: %d\n", static_cast<int>(desc.header.size()));
    for (const CInfHeaderKey& key : desc.header)
        Line(2, CString::Printf("%s = %s", key.name.c_str(), Shown(key.value).c_str()));
}

void PrintPackage(const CPackage& package) {
    Line(2, CString::Printf("%s: %s", Shown(package.Name()).c_str(), Shown(package.Comment()).c_str()));
    if (!package.External().IsEmpty()) {
        Line(4, CString::Printf("external %s.inf", package.External().c_str()));
    } else {
        Line(4, CString::Printf("archive %s", Shown(package.ArchiveName()).c_str()));
    }
    Line(4, CString::Printf("version %s, language %s, destination %s", Shown(package.Version()).c_str(),
                            Shown(package.Language()).c_str(), Shown(package.DestDir()).c_str()));
    Line(4, CString::Printf("files %d, size %u, compressed %u", package.Files().Count(),
                            static_cast<unsigned>(GetPackageSize(package)),
                            static_cast<unsigned>(GetPackageCompressedSize(package))));
    CString disks;
    for (int disk : package.Disks()) {
        if (!disks.IsEmpty()) disks.Append(", ");
        disks.AppendNumber(disk);
    }
    Line(4, CString::Printf("disks %s", disks.IsEmpty() ? "-" : disks.c_str()));
    Line(4, CString::Printf("uses %s", Joined(package.UsePackages()).c_str()));
    for (int i = 0; i < package.Files().Count(); ++i) {
        const CPackageFile& file = package.Files()[i];
        Line(4, CString::Printf("file %s: %u bytes, %u compressed", Shown(file.FileName()).c_str(),
                                static_cast<unsigned>(file.UncompSize()), static_cast<unsigned>(file.CompSize())));
    }
}

void PrintSet(int number, const CSetRecord& set) {
    const bool allowed = InfArchiAllows(set.Archi());
    Line(2, CString::Printf("%d. %s (%s, short name %s): %s", number, Shown(set.AppName()).c_str(),
                            Shown(set.InternalName()).c_str(), Shown(set.ShortName()).c_str(),
                            allowed ? "applicable" : "not applicable"));
    Line(4, CString::Printf("archi %s, test %s", Shown(set.Archi()).c_str(), Shown(set.TestText()).c_str()));
    Line(4, CString::Printf("destination %s, group %s, port %u", Shown(set.DestDir()).c_str(),
                            Shown(set.MainGroup()).c_str(), static_cast<unsigned>(set.TcpPort())));
    Line(4, CString::Printf("maximal %s", Joined(set.Maximal()).c_str()));
    for (int i = 0; i < set.DetectionRules().Count(); ++i) {
        if (set.DetectionRules()[i].IsEmpty()) continue;
        Line(6, CString::Printf("%s detected by %s", set.Maximal()[i].c_str(), set.DetectionRules()[i].c_str()));
    }
    Line(4, CString::Printf("minimal %s", Joined(set.Minimal()).c_str()));
    int dllFiles = 0, dropped = 0;
    for (int i = 0; i < set.DllRecords().Count(); ++i) {
        dllFiles += set.DllRecords()[i].Files().Count();
        dropped += set.DllRecords()[i].DroppedFiles();
    }
    Line(4, CString::Printf("records: ini %d, reg %d, service %d, rename %d, dll %d (files %d, dropped %d), "
                            "run %d, font %d, pgm %d",
                            set.IniRecords().Count(), set.RegRecords().Count(), set.Services().Count(),
                            set.Renames().Count(), set.DllRecords().Count(), dllFiles, dropped,
                            set.Programs().Count(), set.Fonts().Count(), set.PgmItems().Count()));
    Line(4, CString::Printf("environment: user %d, system %d; regsvr32 %d", set.UserEnv().Count(),
                            set.SystemEnv().Count(), set.RegSvr32().Count()));
    if (!set.Reboot().IsEmpty()) Line(4, CString::Printf("reboot %s", set.Reboot().c_str()));
}

// Every value of SET that the installer expands, with its variables
// expanded: the values the record kinds' key tables mark so.
class CExpandedPrinter {
public:
    CExpandedPrinter(const CSetRecord& set, const CString* user) {
        m_context = InfVarContextOf(&set);
        if (user) m_context.user = *user;
        // The destination is a directory even before it exists, as the
        // session keeps the one the user chose.
        if (!m_context.user.IsEmpty() && !m_context.user.EndsWith("\\") && !m_context.user.EndsWith("/"))
            m_context.user.Append('\\');
    }

    void Print(const CSetRecord& set);

private:
    void Value(int indent, const char* label, const CString& value) {
        if (value.IsEmpty()) return;
        CString text(value);
        ExpandVariables(m_context, text, false);
        Line(indent, CString::Printf("%s = %s", label, text.c_str()));
    }
    void Test(int indent, const CInfRecord& record) { Value(indent, "TEST", record.TestText()); }
    CString Expanded(const CString& value) {
        CString text(value);
        ExpandVariables(m_context, text, false);
        return text;
    }

    template <class R>
    void Keys(int indent, const R& record) {
        for (const CInfKey<R>& row : R::kKeys.keys) {
            if (!row.expanded || !row.key) continue;
            if (const auto text = std::get_if<CString R::*>(&row.field)) Value(indent, row.key, record.**text);
            if (const auto list = std::get_if<CStringList R::*>(&row.field)) {
                for (int i = 0; i < (record.**list).Count(); ++i) Value(indent, row.key, (record.**list)[i]);
            }
        }
    }
    template <class R>
    void Records(const CInfList<R>& records) {
        for (int i = 0; i < records.Count(); ++i) {
            Line(6, R::kKeys.block);
            Test(8, records[i]);
            Keys(8, records[i]);
        }
    }

    CInfVarContext m_context;
};

void CExpandedPrinter::Print(const CSetRecord& set) {
    Line(4, "expanded:");
    Line(6, CString::Printf("User = %s", m_context.user.c_str()));
    Test(6, set);
    Keys(6, set);
    Records(set.Renames());
    for (int i = 0; i < set.IniRecords().Count(); ++i) {
        const CIniRecord& r = set.IniRecords()[i];
        Line(6, CString::Printf("%s %s [%s]", CIniRecord::kKeys.block, Expanded(r.File()).c_str(),
                                r.Section().c_str()));
        Test(8, r);
        for (int k = 0; k < r.Keys().Count(); ++k) Value(8, r.Keys()[k], r.Values()[k]);
    }
    for (int i = 0; i < set.RegRecords().Count(); ++i) {
        const CRegRecord& r = set.RegRecords()[i];
        Line(6, CString::Printf("%s %s", CRegRecord::kKeys.block, Expanded(r.Path()).c_str()));
        Test(8, r);
        for (int k = 0; k < r.Names().Count(); ++k)
            Value(8, r.Names()[k].IsEmpty() ? "(Default)" : r.Names()[k].c_str(), r.Values()[k]);
    }
    Records(set.DllRecords());
    Records(set.Fonts());
    Records(set.Services());
    Records(set.PgmItems());
    Records(set.Programs());
}

}  // namespace

int SetupkitCheck(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"D", "platform", "user"}));
    parser.SetProgramName("setupkit check");
    ZRK_TRY(SetupkitDeclareDefines(parser));
    ZRK_TRY(parser.DeclareOption("-platform|platform", "1|2|3",
                                 "The platform kind to check for: 1 Win32s, 2 Windows 95, 3 Windows NT\n"
                                 "(default: the running one, 3 where there is no Windows)",
                                 ZRK_VT_CHOICE));
    ZRK_TRY(parser.DeclareOption("-expand|expand", "Also print every value with its variables expanded"));
    ZRK_TRY(parser.DeclareOption("-user|user", "DIR", "The destination directory that $User$ stands for with --expand",
                                 ZRK_VT_TEXT));
    ZRK_TRY(parser.DeclarePositional("file", "The description to check (setup.inf)", ZRK_VT_TEXT));
    ZRK_TRY(parser.Parse());

    int platform = ZrkPlatformKind() <= ZRK_WINNT ? ZrkPlatformKind() : ZRK_WINNT;
    if (parser.WasGiven("platform")) platform = static_cast<int>(parser.Value("platform").Number()) + 1;
    // The description is read, and its values expanded, as on that kind.
    CPlatformScope standOn(platform);
    const CString path = parser.Positional(0).Text();

    CInfReadOptions options;
    for (int i = 0; i < parser.ValueCount("D"); ++i) {
        CString name = parser.Text("D", i);
        CString value;
        const int eq = name.Find('=');
        if (eq >= 0) {
            value = CString(name.c_str() + eq + 1);
            name = CString(name.c_str(), eq);
        }
        options.defineNames.Add(name);
        options.defineValues.Add(value);
    }

    CCountingReporter counter;
    int result = 0;
    CInfDescription desc;
    {
        CReportScope scope(&counter);
        result = InfLoadDescription(path, desc, options);
        if (result == 0) CheckDescription(desc);
    }

    std::printf("Description %s, platform kind %d (%s)\n", CFile::FilePart(CFile::Normalise(path)).c_str(), platform,
                PlatformName(platform));
    PrintHeader(desc);
    std::printf("Packages: %d\n", desc.packages.Count());
    for (int i = 0; i < desc.packages.Count(); ++i) PrintPackage(desc.packages[i]);
    std::printf("Sets: %d\n", desc.sets.Count());
    {
        // Expansion failures are diagnostics of the check as well.
        CReportScope scope(&counter);
        for (int i = 0; i < desc.sets.Count(); ++i) {
            PrintSet(i + 1, desc.sets[i]);
            if (parser.WasGiven("expand")) {
                CExpandedPrinter printer(desc.sets[i], parser.WasGiven("user") ? &parser.Text("user") : nullptr);
                printer.Print(desc.sets[i]);
            }
        }
    }
    if (result != 0) std::printf("Reading stopped at the first error.\n");
    std::printf("Result: %d error(s), %d warning(s)\n", counter.errors, counter.warnings);
    std::fflush(stdout);
    if (result != 0) return result;
    return counter.errors ? ZRK_DESCERR : 0;
}
