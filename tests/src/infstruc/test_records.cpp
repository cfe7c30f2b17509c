// Records of the install description: the key tables read from text, the
// diagnostics of unexpected entries with file and line, entry modifiers,
// detection rules, packages, group items, record lists that own their
// records, and the version resources that detection rules read.
#include "src/infstruc/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "pe_image.h"
#include "scratch_registry.h"
#include "src/infstruc/conditions.h"
#include "src/infstruc/filever.h"
#include "src/infstruc/reader.h"
#include "testutil.h"
#include "zrk/cfgfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

std::string Join(const CStringList& list) { return Str(list.Join("|")); }

// Reads TEXT as the description "t.inf" (and INCLUDE as "inc.inf") from
// memory.
int ReadText(const std::string& text, CInfDescription& desc, const std::string& include = "") {
    CCfgMemoryFiles files;
    files[CFile::Normalise("t.inf").c_str()] = text;
    files[CFile::Normalise("inc.inf").c_str()] = include;
    CCfgFile cfg;
    InfPrepareReader(cfg);
    cfg.SetMemoryFiles(&files);
    int r = cfg.OpenRelative("t.inf");
    if (r == 0) r = InfReadDescription(cfg, desc);
    cfg.Close(false);
    return r;
}

// The set of "{ SET" BODY "}", which must read without a report.
CSetRecord ReadSet(const std::string& body) {
    CRecordingScope rec;
    CInfDescription desc;
    const int r = ReadText("{ SET\n" + body + "}\n", desc);
    EXPECT_EQ(r, 0) << body << rec.LastText();
    EXPECT_EQ(rec.Count(), 0) << body << rec.LastText();
    if (desc.sets.Count() != 1) {
        ADD_FAILURE() << "no set read from: " << body;
        return CSetRecord();
    }
    return desc.sets[0];
}

// "t.inf", line N as the reader's messages write it.
std::string At(int line) { return Str(CFile::Normalise("t.inf")) + "\", line " + std::to_string(line); }

// Each kind's keys through its table: text, flag, "Y" and list keys, the
// rules of the keys that do more, and unknown keys ignored.
TEST(Records, KeyTables) {
    using Field = std::function<std::string(const CSetRecord&)>;
    const Field dllFlag = [](const CSetRecord& s) { return std::to_string(s.DllRecords()[0].TestFirstOnly()); };
    const Field ask = [](const CSetRecord& s) { return std::to_string(s.Programs()[0].Ask()); };
    const Field regNames = [](const CSetRecord& s) { return Join(s.RegRecords()[0].Names()); };
    const Field ini = [](const CSetRecord& s) {
        const CIniRecord& r = s.IniRecords()[0];
        return Str(r.Section()) + ":" + Join(r.Keys()) + "=" + Join(r.Values());
    };
    const Field service = [](const CSetRecord& s) {
        const CServiceRecord& r = s.Services()[0];
        return Str(r.Name()) + "|" + Str(r.DisplayName()) + "|" + Str(r.BinaryPath()) + "|" + std::to_string(r.AutoStart());
    };
    const Field pgm = [](const CSetRecord& s) {
        const CPgmRecord& r = s.PgmItems()[0];
        return Str(r.Group()) + "|" + Str(r.FileName()) + "|" + Str(r.IconName()) + "|" + Str(r.Title()) + "|" +
               Str(r.Command()) + "|" + Str(r.WorkDir()) + "|" + Str(r.ShortcutKey());
    };
    const Field run = [](const CSetRecord& s) {
        const CRunRecord& r = s.Programs()[0];
        return Str(r.Comment()) + "|" + Str(r.Name()) + "|" + Str(r.Command());
    };
    const Field set = [](const CSetRecord& s) {
        return Str(s.AppName()) + "|" + Str(s.InternalName()) + "|" + Str(s.ShortName()) + "|" + Str(s.Archi()) + "|" +
               Str(s.Comment()) + "|" + Str(s.Reboot()) + "|" + Str(s.MainGroup()) + "|" + Str(s.GroupInUse()) + "|" +
               std::to_string(s.TcpPort()) + "|" + Str(s.DestDir());
    };
    const Field lists = [](const CSetRecord& s) {
        return Join(s.Maximal()) + "=" + Join(s.DetectionRules()) + ";" + Join(s.Minimal()) + ";" +
               Join(s.RegSvr32()) + ";" + Join(s.UserEnv()) + ";" + Join(s.SystemEnv());
    };
    struct Case {
        const char* body;
        const Field* field;
        const char* expected;
    } const cases[] = {
        {"{ DLL\nTESTFIRSTONLY = 1\n}\n", &dllFlag, "1"},
        {"{ DLL\nTESTFIRSTONLY = yes\n}\n", &dllFlag, "0"},  // no digits
        {"{ DLL\ntestfirstonly = -3\n}\n", &dllFlag, "1"},
        {"{ DLL\nTESTFIRSTONLY = 0x1\n}\n", &dllFlag, "0"},  // decimal digits only
        {"{ DLL\nTESTFIRSTONLY = 00001abc\n}\n", &dllFlag, "1"},
        {"{ DLL\nTO = x\n}\n", &dllFlag, "0"},
        {"{ RUN\nASK = y\n}\n", &ask, "1"},
        {"{ RUN\nASK = N\n}\n", &ask, "0"},
        {"{ RUN\nASK = yes\n}\n", &ask, "0"},  // only the letter itself
        {"{ RUN\nNAME = a.exe\n}\n", &ask, "1"},  // no ASK: ask
        {"{ RUN\nCOMMENT = Run it?\nname = a.exe\nCmd = -x\nUNKNOWN = 1\n}\n", &run, "Run it?|a.exe|-x"},
        {"{ REG HKEY_CURRENT_USER\\X\nB = 1\n(default) = 2\n(Default) = 3\n}\n", &regNames, "B|(default)|"},
        {"{ INI a.ini\n(Default) = v\nsection = first\nSECTION = second\n}\n", &ini, "second:(Default)=v"},
        {"{ SERVICE\nNAME = svc\nDISPLAYNAME = Service\nFULLBINNAME = $User$\\s.exe\nAUTOSTART = 1\n}\n", &service,
         "svc|Service|$User$\\s.exe|1"},
        {"{ PGM\nGROUP = G\nFILENAME = f\nICONAME = i\nDESC = d\nCMD = c\nWDIR = w\nSKEY = k\nOTHER = o\n}\n", &pgm,
         "G|f|i|d|c|w|k"},
        // APPDEFAULTPATH is expanded when read, with the port read before it;
        // MAINGROUP is also the group in use.
        {"APPNAME = App\nINTERNALNAME = APP\nAPPSHORTNAME = AP\nARCHI = win32\nAPPCOMMENT = c\nREBOOT = r\n"
         "MAINGROUP = Main\nTCPPORT = 8080\nAPPDEFAULTPATH = C:/Apps/$TCPPort$\nNOSUCHKEY = 1\n",
         &set, "App|APP|AP|win32|c|r|Main|Main|8080|C:\\Apps\\8080"},
        {"MAXIMAL =  A , HKEY_LOCAL_MACHINE\\S , V , 1.0 , a.dll \nMAXIMAL = B\nMAXIMAL = C,\nMINIMAL = A\n"
         "REGSVR32 = a.dll # if nothing((\nSETUSERENV = U, 1 # if defined(A)\nSETSYSENV = V, 2\n",
         &lists, "A|B|C=HKEY_LOCAL_MACHINE\\S , V , 1.0 , a.dll||;A;a.dll # if nothing((;U, 1 # if defined(A);V, 2"},
    };
    for (const Case& c : cases) {
        const CSetRecord read = ReadSet(c.body);
        if (::testing::Test::HasFailure()) return;
        EXPECT_EQ((*c.field)(read), c.expected) << c.body;
    }
    // The one key with an initial value, and an empty destination leaving
    // the field as it was.
    EXPECT_TRUE(CRunRecord().Ask());
    CSetRecord direct;
    ASSERT_EQ(direct.SetKey("APPDEFAULTPATH", "C:\\App"), 0);
    ASSERT_EQ(direct.SetKey("APPDEFAULTPATH", ""), 0);
    EXPECT_EQ(Str(direct.DestDir()), "C:\\App");
}

TEST(Records, PlatformWordsOfSharedLibrariesOnEachKind) {
    struct Case {
        const char* file;
        bool kept[4];
    } const cases[] = {
        {"a.dll", {true, true, true, true}},        {"a.dll ,  ", {true, true, true, true}},
        {"a.dll,win95", {false, true, false, false}}, {"a.dll, !WINNT", {false, true, false, false}},
        {"a.dll, WinNT ", {false, false, true, false}}, {"a.dll, !WIN95", {false, false, true, false}},
        {"a.dll, OS2", {false, false, false, false}}, {"a.dll, WIN32S", {false, false, false, false}},
        {", WINNT", {false, false, false, false}},  // no file name: nothing to keep
    };
    for (int kind = 1; kind <= 4; ++kind) {
        CPlatformScope platform(kind);
        for (const Case& c : cases) {
            const CSetRecord set = ReadSet(std::string("{ DLL\nFILE = ") + c.file + "\n}\n");
            ASSERT_EQ(set.DllRecords().Count(), 1);
            const CDllRecord& dll = set.DllRecords()[0];
            EXPECT_EQ(Join(dll.Files()), c.kept[kind - 1] ? "a.dll" : "") << c.file << " on kind " << kind;
            EXPECT_EQ(dll.DroppedFiles(), c.kept[kind - 1] ? 0 : 1) << c.file << " on kind " << kind;
        }
    }
}

TEST(Records, UnexpectedEntriesAreReportedWithFileAndLine) {
    struct Case {
        const char* text;
        int result;
        int msgId;
        int line;
    } const cases[] = {
        {"{ SET\n{ INI a.ini\nKEY =\n}\n}\n", ZRK_INTERNAL, 455, 3},
        {"{ SET\nAPPNAME =\n}\n", ZRK_INTERNAL, 455, 2},
        {"{ SET\n{ RUN\nNAME = a\njustaword\n}\n}\n", ZRK_INTERNAL, 456, 4},
        {"{ SET\n{ FOO x\n}\n}\n", ZRK_FAIL, 454, 2},
        // A record without blocks does not take a nested block's entries.
        {"{ SET\n{ INI a\n{ REG x\nK = v\n}\n}\n}\n", ZRK_FAIL, 454, 3},
        {"{ PACKAGE\nPACKAGENAME = P\nSIZE = 3\n}\n", ZRK_INTERNAL, 455, 3},
        {"{ PACKAGE\nTEST = if defined(A)\n}\n", ZRK_INTERNAL, 455, 2},
        {"{ PACKAGE\n{ DIR x\n}\n}\n", ZRK_INTERNAL, 454, 2},
        {"{ PACKAGE\n{ FILE\nFILENAME = a\nNAME = a\n}\n}\n", ZRK_INTERNAL, 455, 4},
        {"{ PACKAGE\n{ FILE\n{ SUB\n}\n}\n}\n", ZRK_INTERNAL, 454, 3},
        {"APPNAME = x\n", ZRK_INTERNAL, 455, 1},
        {"{ SETS\n}\n", ZRK_INTERNAL, 454, 1},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        EXPECT_EQ(ReadText(c.text, desc), c.result) << c.text;
        ASSERT_EQ(rec.Count(), 1) << c.text << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
        EXPECT_NE(rec.entries[0].text.find(At(c.line)), std::string::npos) << rec.entries[0].text;
        // Nothing half-read is kept.
        EXPECT_EQ(desc.sets.Count() + desc.packages.Count(), 0) << c.text;
    }
}

TEST(Records, ConditionsAreCheckedWhereTheyStand) {
    struct Case {
        const char* text;
        int msgId;  // of the syntax error; 0: none
        int line;
    } const cases[] = {
        {"{ SET\n{ RUN\nTEST = if defined(A\n}\n}\n", 466, 3},
        {"{ SET\nTEST = iffy.dat\n}\n", 467, 2},  // an expression, not a file
        {"{ SET\n{ INI a\nSECTION = s\nK = v # if ((\n}\n}\n", 466, 4},
        {"{ SET\n{ REG k\nK = v, S, O, C:\\x #ifdefined(A) &\n}\n}\n", 466, 3},
        {"{ SET\nSETSYSENV = A, b\nSETSYSENV = A, b #if\n}\n", 466, 3},
        // Not expressions: no syntax to check.
        {"{ SET\n{ INI a\nK = v # CLIENT((\nTEST = C:\\app\\(\n}\n}\n", 0, 0},
        {"{ SET\nREGSVR32 = a.dll # if ((\nMAXIMAL = P, k # if ((\n}\n", 0, 0},
        {"{ SET\n{ RUN\nTEST =\n}\n}\n", 0, 0},  // an empty test is always true
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        EXPECT_EQ(ReadText(c.text, desc), c.msgId ? ZRK_INTERNAL : 0) << c.text;
        ASSERT_EQ(rec.Count(), c.msgId ? 1 : 0) << c.text << rec.LastText();
        if (!c.msgId) continue;
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
        EXPECT_NE(rec.entries[0].text.find(At(c.line)), std::string::npos) << c.text << rec.entries[0].text;
        EXPECT_EQ(desc.sets.Count(), 0);
    }

    // An entry's condition leaves the record's own "TEST" and its place alone.
    const CSetRecord set = ReadSet("{ INI a\nTEST = if defined(X)\nK = v # if defined(Y)\n}\n");
    const CIniRecord& ini = set.IniRecords()[0];
    EXPECT_EQ(Str(ini.TestText()), "if defined(X)");
    EXPECT_EQ(ini.SourceLine(), 3);
    ASSERT_EQ(ini.Places().size(), 1u);
    EXPECT_EQ(ini.Places()[0].line, 4);
    EXPECT_EQ(ini.BlockPlace().line, 2);
}

TEST(Records, PlacesNameTheIncludedFile) {
    CRecordingScope rec;
    CInfDescription desc;
    ASSERT_EQ(ReadText("{ SET\n{ REG k\nA = 1\n#include \"inc.inf\"\nC = 3\n}\n}\n", desc,
                       "// included\nB = 2 # if defined(Z)\n"),
              0)
        << rec.LastText();
    const CRegRecord& reg = desc.sets[0].RegRecords()[0];
    ASSERT_EQ(reg.Places().size(), 3u);
    EXPECT_EQ(Str(reg.Places()[1].file), Str(CFile::Normalise("inc.inf")));
    EXPECT_EQ(reg.Places()[1].line, 2);
    EXPECT_EQ(Str(reg.Places()[2].file), Str(CFile::Normalise("t.inf")));
    EXPECT_EQ(reg.Places()[2].line, 5);
}

TEST(Records, NumbersOutsideTheirRangeAreWarnedAndBounded) {
    struct Case {
        const char* text;
        int64_t value;
    } const cases[] = {
        {"{ SET\nTCPPORT = 70000\n}\n", 65535},
        {"{ SET\nTCPPORT = -1\n}\n", 0},
        {"{ PACKAGE\nCOMPSIZE = 4294967296\n}\n", 4294967295},
        {"{ PACKAGE\nEXTERNAL = x\nEXTERNALSIZE = -5\n}\n", 0},
        {"{ PACKAGE\n{ FILE\nUNCOMPSIZE = 99999999999999999999\n}\n}\n", 4294967295},
        {"{ PACKAGE\nDISK = 3000000000\n}\n", 2147483647},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        ASSERT_EQ(ReadText(c.text, desc), 0) << c.text;
        ASSERT_EQ(rec.Count(), 1) << c.text;
        EXPECT_EQ(rec.entries[0].msgId, MSG_VALUE_OUT_OF_RANGE);
        EXPECT_EQ(rec.entries[0].kind, ZRK_KIND_WARNING);
        int64_t got = -1;
        if (desc.sets.Count()) {
            got = desc.sets[0].TcpPort();
        } else if (desc.packages[0].Files().Count()) {
            got = desc.packages[0].Files()[0].UncompSize();
        } else if (!desc.packages[0].Disks().empty()) {
            got = desc.packages[0].Disks()[0];
        } else {
            got = GetPackageSize(desc.packages[0]) + desc.packages[0].CompSize();
        }
        EXPECT_EQ(got, c.value) << c.text;
    }
}

TEST(Records, ModifierParts) {
    struct Case {
        const char* value;
        const char* data;
        char type, mode;
        const char* testPath;
        std::vector<int> warnings;
    } const cases[] = {
        {"C:\\x, S, A", "C:\\x", 'S', 'A', "", {}},
        {"abc,", "abc", 'S', 'O', "", {}},
        {"42, u", "42", 'U', 'O', "", {}},
        {"  v  ,  x  ,  t  ,  C:\\p  ", "v", 'X', 'T', "C:\\p", {}},
        {"v, , a, C:\\a, b, c", "v", 'S', 'A', "C:\\a, b, c", {}},
        {"v, String, Add", "v", 'S', 'A', "", {MSG_ENTRY_TYPE_LONG, MSG_ENTRY_MODE_LONG}},
        {"v, b, overwrite,", "v", 'B', 'O', "", {146}},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfEntryParts parts;
        InfSplitModifiers(c.value, &parts, true);
        EXPECT_EQ(Str(parts.data), c.data) << c.value;
        EXPECT_EQ(parts.type, c.type) << c.value;
        EXPECT_EQ(parts.mode, c.mode) << c.value;
        EXPECT_EQ(Str(parts.testPath), c.testPath) << c.value;
        std::vector<int> warnings;
        for (const auto& e : rec.entries) warnings.push_back(e.kind == ZRK_KIND_WARNING ? e.msgId : -1);
        EXPECT_EQ(warnings, c.warnings) << c.value;
        CRecordingScope quiet;  // quiet when asked to be
        InfSplitModifiers(c.value, &parts, false);
        EXPECT_EQ(quiet.Count(), 0);
    }
}

TEST(Records, DetectionByFiles) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteAll(scratch.Path("present.dll"), "x"));
    const std::string present = Str(scratch.Path("present.dll"));
    const std::string missing = Str(scratch.Path("missing.dll"));
    struct Case {
        std::string rule;
        int ok;
    } const cases[] = {
        {"", 0},  // a maximal entry without a rule
        {", , , " + present, 1},
        {" , ,, " + present + " , " + present, 1},
        {", , , " + missing, 0},
        {", , , " + present + ", , " + present, 0},  // an empty file part
        {", , , " + present + ", " + missing, 0},
        {"K, , , " + present, 1},  // without a value name the registry is skipped
        {"HKEY_NOWHERE\\Software\\X, Path, , " + present, 0},  // unknown root
    };
    std::string text;
    for (size_t i = 0; i < std::size(cases); ++i) text += "MAXIMAL = P" + std::to_string(i) + "," + cases[i].rule + "\n";
    const CSetRecord set = ReadSet(text);
    for (size_t i = 0; i < std::size(cases); ++i) {
        CRecordingScope rec;
        int ok = -1;
        EXPECT_EQ(CheckDetection(set, static_cast<int>(i), &ok), 0) << cases[i].rule;
        EXPECT_EQ(ok, cases[i].ok) << cases[i].rule;
        EXPECT_EQ(rec.Count(), 0) << cases[i].rule << rec.LastText();
    }
    int ok = -1;
    EXPECT_EQ(CheckDetection(set, static_cast<int>(std::size(cases)), &ok), ZRK_INTERNAL);
    EXPECT_EQ(ok, 0);
}

TEST(Records, PackagesKeysAndSizes) {
    struct Case {
        const char* body;
        uint32_t size, compressed;
    } const cases[] = {
        {"COMPSIZE = 70\n{ FILE\nFILENAME = a\nUNCOMPSIZE = 100\nCOMPSIZE = 40\n}\n"
         "{ FILE\nFILENAME = b\nUNCOMPSIZE = 50\n}\n",
         150, 70},
        {"EXTERNAL = ext\nEXTERNALSIZE = 1001\n", 1001, 500},
        // An external package's files do not count.
        {"EXTERNAL = ext\nEXTERNALSIZE = 10\nCOMPSIZE = 99\n{ FILE\nUNCOMPSIZE = 7\n}\n", 10, 5},
        {"EXTERNALSIZE = 10\nCOMPSIZE = 3\n{ FILE\nUNCOMPSIZE = 7\n}\n", 7, 3},
        // The sum stays at the largest 32-bit value instead of wrapping.
        {"{ FILE\nUNCOMPSIZE = 4294967295\n}\n{ FILE\nUNCOMPSIZE = 2\n}\n", 4294967295u, 0},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        ASSERT_EQ(ReadText(std::string("{ PACKAGE\n") + c.body + "}\n", desc), 0) << c.body << rec.LastText();
        EXPECT_EQ(GetPackageSize(desc.packages[0]), c.size) << c.body;
        EXPECT_EQ(GetPackageCompressedSize(desc.packages[0]), c.compressed) << c.body;
    }

    CRecordingScope rec;
    CInfDescription desc;
    ASSERT_EQ(ReadText("{ PACKAGE ignored\npackagename = P\nARCHIVENAME = arc\nCOMMENT = c\nVERSION = 1.2\n"
                       "LANGUAGE = ENG\nUSEPACKAGE = A\nUSEPACKAGE = B\nDESTDIR = sub\nDISK = 2\nDISK = x\n"
                       "{ file\nFILENAME = f.exe\n}\n}\n",
                       desc),
              0)
        << rec.LastText();
    const CPackage& p = desc.packages[0];
    EXPECT_EQ(Str(p.Name()) + Str(p.ArchiveName()) + Str(p.Comment()) + Str(p.Version()) + Str(p.Language()) + Str(p.DestDir()),
              "Parcc1.2ENGsub");
    EXPECT_EQ(Join(p.UsePackages()), "A|B");
    EXPECT_EQ(p.Disks(), (std::vector<int>{2, 0}));
    EXPECT_EQ(Str(p.Files()[0].FileName()), "f.exe");
}

TEST(Records, FindPgmItem) {
    const CSetRecord set = ReadSet(
        "{ PGM\nDESC = Read Me\n}\n"
        "{ PGM\nDESC = \"\\\"Vendrix Demo\\\"\"\n}\n"  // stored with its quotes
        "{ PGM\nDESC = \"\\\"\"\n}\n"                  // a lone quote
        "{ PGM\nDESC = read me\n}\n");
    struct Case {
        const char* title;
        int index;
    } const cases[] = {
        {"Read Me", 0}, {"read me", 3}, {"Vendrix Demo", 1}, {"\"Vendrix Demo\"", -1}, {"", 2}, {"Nothing", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindPgmItem(set.PgmItems(), c.title), c.index) << c.title;
}

TEST(Records, AddRegRecordAndListsOwnTheirRecords) {
    CSetRecord set = ReadSet("{ INI a\n}\n{ INI b\n}\n");
    CStringList names, values;
    names.Add("Count");
    values.Add("3, U");
    ASSERT_EQ(AddRegRecord(set, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared", names, values), 0);
    ASSERT_EQ(set.RegRecords().Count(), 1);
    EXPECT_EQ(set.RegRecords()[0].Places().size(), 1u);
    names.Add("extra");
    EXPECT_EQ(AddRegRecord(set, "HKEY_LOCAL_MACHINE\\X", names, values), ZRK_INTERNAL);
    EXPECT_EQ(set.RegRecords().Count(), 1);

    // A copy owns copies: changing one list leaves the other alone.
    CSetRecord copy = set;
    ASSERT_EQ(copy.IniRecords().RemoveAt(0), 0);
    copy.RegRecords().Clear();
    EXPECT_EQ(Str(set.IniRecords()[0].File()), "a");
    EXPECT_EQ(Str(copy.IniRecords()[0].File()), "b");
    EXPECT_EQ(set.RegRecords().Count(), 1);
    EXPECT_EQ(copy.IniRecords().RemoveAt(1), ZRK_INTERNAL);
    EXPECT_EQ(copy.IniRecords().Add(nullptr), ZRK_NOMEM);
}

// ---------------------------------------------------------------------------
// Version resources

CString VersionOfBytes(const std::string& bytes) {
    CString version("untouched");
    InfFileVersionOfImage(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &version);
    return version;
}

TEST(FileVersion, ReadsTheFileVersionOfTheFirstTranslation) {
    struct Case {
        std::vector<std::pair<std::string, std::string>> tables;
        uint16_t language, codePage;
        const char* expected;
    } const cases[] = {
        {{{"040904B0", "10.0"}}, 0x409, 0x4B0, "10.0"},
        {{{"040904b0", "2.1.0.7"}}, 0x409, 0x4B0, "2.1.0.7"},  // keys in any case
        {{{"040704B0", "de"}, {"040904E4", "en"}}, 0x409, 0x4E4, "en"},
        {{{"040704B0", "first"}, {"040904E4", "second"}}, 0x40C, 0x4E4, "first"},  // no table for it
        {{{"040904B0", "no translation"}}, 0, 0, "no translation"},
        {{{"040904B0", ""}}, 0x409, 0x4B0, ""},
        {{}, 0x409, 0x4B0, ""},
    };
    for (const Case& c : cases) {
        const std::string info = VersionInfo(c.tables, c.language, c.codePage);
        for (bool wide : {false, true}) {
            EXPECT_EQ(Str(VersionOfBytes(PeImage(info, wide))), c.expected) << c.expected << (wide ? " (PE32+)" : "");
        }
    }
    EXPECT_EQ(Str(VersionOfBytes("")), "");
    EXPECT_EQ(Str(VersionOfBytes("just a text file\r\n")), "");
    EXPECT_EQ(Str(VersionOfBytes("MZ")), "");
}

TEST(FileVersion, OfAFileAndAgreesWithTheSystem) {
    ScratchDir scratch;
    const CString path = scratch.Path("vendrix.dll");
    ASSERT_TRUE(WriteAll(path, PeImage(VersionInfo({{"040904B0", "10.0.2"}}, 0x409, 0x4B0), false)));
    CString version;
    EXPECT_EQ(InfFileVersion(path, &version), 0);
    EXPECT_EQ(Str(version), "10.0.2");
    ASSERT_TRUE(WriteAll(scratch.Path("plain.txt"), "text"));
    EXPECT_EQ(InfFileVersion(scratch.Path("plain.txt"), &version), 0);
    EXPECT_EQ(Str(version), "");
    {
        CRecordingScope rec;
        EXPECT_NE(InfFileVersion(scratch.Path("missing.dll"), &version), 0);
        EXPECT_EQ(rec.Count(ZRK_KIND_ERROR), 1);
    }
#ifdef _WIN32
    // The system's own reading of the same files.
    const auto systemVersion = [](const char* file) {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeA(file, &handle);
        if (size == 0) return std::string();
        std::vector<char> data(size);
        if (!GetFileVersionInfoA(file, 0, size, data.data())) return std::string();
        WORD* translation = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                            &length) ||
            length < 4)
            return std::string();
        char query[64];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\FileVersion", translation[0],
                      translation[1]);
        char* text = nullptr;
        if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&text), &length)) return std::string();
        return std::string(text);
    };
    EXPECT_EQ(systemVersion(path), "10.0.2");
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    for (const char* name : {"kernel32.dll", "user32.dll", "version.dll"}) {
        const std::string file = std::string(system) + "\\" + name;
        ASSERT_EQ(InfFileVersion(file.c_str(), &version), 0) << file;
        EXPECT_EQ(Str(version), systemVersion(file.c_str())) << file;
        EXPECT_FALSE(version.IsEmpty()) << file;
    }
#endif
}

TEST(Records, DetectionByRegistryAndVersion) {
    if (!zrkos::IsWindows()) GTEST_SKIP() << "the registry exists on Windows only";
#ifdef _WIN32
    ScratchDir scratch;
    const std::string dll = Str(scratch.Path("vendrix.dll"));
    ASSERT_TRUE(WriteAll(dll.c_str(), PeImage(VersionInfo({{"040904B0", "10.0"}}, 0x409, 0x4B0), false)));
    const ScratchKey key("ZrkTestRecords");
    key.Set("Library", dll);
    key.Set("", dll);
    key.Set("Gone", Str(scratch.Path("gone.dll")));
    const std::string k = key.Path();
    struct Case {
        std::string rule;
        int ok;
    } const cases[] = {
        {k + ", Library", 1},
        {k + ", Library, 9.0", 1},  // 10.0 is above 9.0
        {k + ", Library, 10", 1},
        {k + ", Library, 10.0.0.1", 0},
        {k + ", Library, 10.1", 0},
        {k + ", (Default), 2.5", 1},
        {k + ", library", 0},  // value names compare exactly
        {k + ", Missing", 0},
        {k + ", Gone", 0},  // names a file that does not exist
        {k + ", Library, , " + dll, 1},
        {k + ", Library, , " + Str(scratch.Path("none.dll")), 0},
    };
    std::string text;
    for (size_t i = 0; i < std::size(cases); ++i) text += "MAXIMAL = P" + std::to_string(i) + ", " + cases[i].rule + "\n";
    const CSetRecord set = ReadSet(text);
    for (size_t i = 0; i < std::size(cases); ++i) {
        CRecordingScope rec;
        int ok = -1;
        EXPECT_EQ(CheckDetection(set, static_cast<int>(i), &ok), 0) << cases[i].rule << rec.LastText();
        EXPECT_EQ(ok, cases[i].ok) << cases[i].rule;
    }
#endif
}

}  // namespace
