// Records of the install description: the key tables read from text, the
// diagnostics of unexpected entries with file and line, entry modifiers,
// detection rules, package sizes, group items, record lists that own their
// records, and the version resources that detection rules read.
#include "src/infstruc/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "src/infstruc/conditions.h"
#include "src/infstruc/filever.h"
#include "src/infstruc/reader.h"
#include "testutil.h"
#include "zrk/cfgfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string S(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }

std::string Join(const CStringList& list) { return S(list.Join("|")); }

// Reads TEXT as the description "t.inf" (and "inc.inf" for includes) from
// memory, deciding platform words for PLATFORM.
int ReadText(const std::string& text, CInfDescription& desc, int platform = 3, const std::string& include = "") {
    CCfgMemoryFiles files;
    files[CFile::Normalise("t.inf").c_str()] = text;
    files[CFile::Normalise("inc.inf").c_str()] = include;
    CCfgFile cfg;
    InfPrepareReader(cfg);
    cfg.SetMemoryFiles(&files);
    int r = cfg.OpenRelative("t.inf");
    if (r == 0) r = InfReadDescription(cfg, desc, nullptr, platform);
    cfg.Close(false);
    return r;
}

// The set of "{ SET" BODY "}", which must read without a report.
CSetRecord ReadSet(const std::string& body, int platform = 3) {
    CRecordingScope rec;
    CInfDescription desc;
    const int r = ReadText("{ SET\n" + body + "}\n", desc, platform);
    EXPECT_EQ(r, 0) << body << rec.LastText();
    EXPECT_EQ(rec.Count(), 0) << body << rec.LastText();
    if (desc.sets.Count() != 1) {
        ADD_FAILURE() << "no set read from: " << body;
        return CSetRecord();
    }
    return desc.sets[0];
}

// "t.inf", line N as the reader's messages write it.
std::string At(int line) { return S(CFile::Normalise("t.inf")) + "\", line " + std::to_string(line); }

TEST(Records, KeyTables) {
    using Field = std::function<std::string(const CSetRecord&)>;
    const Field dllFlag = [](const CSetRecord& s) { return std::to_string(s.DllRecords()[0].TestFirstOnly()); };
    const Field ask = [](const CSetRecord& s) { return std::to_string(s.Programs()[0].Ask()); };
    const Field regNames = [](const CSetRecord& s) { return Join(s.RegRecords()[0].Names()); };
    const Field iniKeys = [](const CSetRecord& s) {
        return Join(s.IniRecords()[0].Keys()) + "=" + Join(s.IniRecords()[0].Values());
    };
    const Field section = [](const CSetRecord& s) { return S(s.IniRecords()[0].Section()); };
    const Field service = [](const CSetRecord& s) {
        const CServiceRecord& r = s.Services()[0];
        return S(r.Name()) + "|" + S(r.DisplayName()) + "|" + S(r.BinaryPath()) + "|" + std::to_string(r.AutoStart());
    };
    const Field pgm = [](const CSetRecord& s) {
        const CPgmRecord& r = s.PgmItems()[0];
        return S(r.Group()) + "|" + S(r.FileName()) + "|" + S(r.IconName()) + "|" + S(r.Title()) + "|" +
               S(r.Command()) + "|" + S(r.WorkDir()) + "|" + S(r.ShortcutKey());
    };
    const Field run = [](const CSetRecord& s) {
        const CRunRecord& r = s.Programs()[0];
        return S(r.Comment()) + "|" + S(r.Name()) + "|" + S(r.Command()) + "|" + std::to_string(r.Ask());
    };
    const Field maximal = [](const CSetRecord& s) { return Join(s.Maximal()) + "=" + Join(s.DetectionRules()); };
    const Field names = [](const CSetRecord& s) {
        return S(s.AppName()) + "|" + S(s.InternalName()) + "|" + S(s.ShortName()) + "|" + S(s.Archi()) + "|" +
               S(s.Comment()) + "|" + S(s.Reboot());
    };
    struct Case {
        const char* body;
        const Field* field;
        const char* expected;
    } const cases[] = {
        {"{ DLL\nTESTFIRSTONLY = 1\n}\n", &dllFlag, "1"},
        {"{ DLL\nTESTFIRSTONLY = yes\n}\n", &dllFlag, "0"},  // no digits
        {"{ DLL\ntestfirstonly = -3\n}\n", &dllFlag, "1"},
        {"{ DLL\nTESTFIRSTONLY = 0x1\n}\n", &dllFlag, "0"},
        {"{ DLL\nTO = x\n}\n", &dllFlag, "0"},
        {"{ RUN\nASK = y\n}\n", &ask, "1"},
        {"{ RUN\nASK = Y\n}\n", &ask, "1"},
        {"{ RUN\nASK = N\n}\n", &ask, "0"},
        {"{ RUN\nASK = yes\n}\n", &ask, "0"},  // only the letter itself
        {"{ RUN\nNAME = a.exe\n}\n", &ask, "1"},  // no ASK: ask
        {"{ RUN\nCOMMENT = Run it?\nname = a.exe\nCmd = -x\nUNKNOWN = 1\n}\n", &run, "Run it?|a.exe|-x|1"},
        {"{ REG HKEY_CURRENT_USER\\X\n(Default) = v\n}\n", &regNames, ""},
        {"{ REG HKEY_CURRENT_USER\\X\n(default) = v\n}\n", &regNames, "(default)"},
        {"{ REG HKEY_CURRENT_USER\\X\nB = 1\nA = 2\n(Default) = 3\n}\n", &regNames, "B|A|"},
        {"{ INI a.ini\n(Default) = v\n}\n", &iniKeys, "(Default)=v"},
        {"{ INI a.ini\nB = 2\nSection = s\nA = 1, U # if defined(X)\n}\n", &iniKeys, "B|A=2|1, U # if defined(X)"},
        {"{ INI a.ini\nsection = x\n}\n", &section, "x"},
        {"{ INI a.ini\nSECTION = x\n}\n", &section, "x"},
        {"{ INI a.ini\nSECTION = first\nK = v\nSECTION = second\n}\n", &section, "second"},
        {"{ SERVICE\nNAME = svc\nDISPLAYNAME = Service\nFULLBINNAME = $User$\\s.exe\nAUTOSTART = 1\n}\n", &service,
         "svc|Service|$User$\\s.exe|1"},
        {"{ SERVICE\nAUTOSTART = no\n}\n", &service, "|||0"},
        {"{ PGM\nGROUP = G\nFILENAME = f\nICONAME = i\nDESC = d\nCMD = c\nWDIR = w\nSKEY = k\nOTHER = o\n}\n", &pgm,
         "G|f|i|d|c|w|k"},
        {"MAXIMAL =  A , HKEY_LOCAL_MACHINE\\S , V , 1.0 , a.dll \nMAXIMAL = B\nMAXIMAL = C,\n", &maximal,
         "A|B|C=HKEY_LOCAL_MACHINE\\S , V , 1.0 , a.dll||"},
        {"APPNAME = App\nINTERNALNAME = APP\nAPPSHORTNAME = AP\nARCHI = win32\nAPPCOMMENT = c\nREBOOT = r\n"
         "NOSUCHKEY = 1\n",
         &names, "App|APP|AP|win32|c|r"},
    };
    for (const Case& c : cases) {
        const CSetRecord set = ReadSet(c.body);
        if (::testing::Test::HasFailure()) return;
        EXPECT_EQ((*c.field)(set), c.expected) << c.body;
    }
}

TEST(Records, SetKeysAndLists) {
    const CSetRecord set = ReadSet(
        "MAINGROUP = Main Group\n"
        "TCPPORT = 8080\n"
        "APPDEFAULTPATH = C:/Apps/$TCPPort$\n"
        "MINIMAL = A\nMINIMAL = B\n"
        "REGSVR32 = $System$\\a.dll # if nothing((\n"  // no condition here
        "SETUSERENV = U, 1 # if defined(A)\n"
        "SETSYSENV = V, 2\nSETSYSENV = W, 3\n"
        "TEST = if defined(B)\n");
    EXPECT_EQ(S(set.MainGroup()), "Main Group");
    EXPECT_EQ(S(set.GroupInUse()), "Main Group");
    EXPECT_EQ(set.TcpPort(), 8080);
    // Expanded when read, with the port read before it.
    EXPECT_EQ(S(set.DestDir()), "C:\\Apps\\8080");
    EXPECT_EQ(Join(set.Minimal()), "A|B");
    EXPECT_EQ(Join(set.RegSvr32()), "$System$\\a.dll # if nothing((");
    EXPECT_EQ(Join(set.UserEnv()), "U, 1 # if defined(A)");
    EXPECT_EQ(Join(set.SystemEnv()), "V, 2|W, 3");
    EXPECT_EQ(S(set.TestText()), "if defined(B)");
    EXPECT_EQ(set.SourceLine(), 11);
    EXPECT_EQ(S(set.SourceFile()), S(CFile::Normalise("t.inf")));

    // The session's own fields start empty and are writable.
    CSetRecord copy = set;
    copy.SetGroupInUse("Other");
    copy.SetDestDir("D:\\x");
    EXPECT_EQ(S(copy.MainGroup()), "Main Group");
    EXPECT_EQ(S(set.GroupInUse()), "Main Group");
    EXPECT_EQ(set.SelectedMaximal().Count() + set.SelectedMinimal().Count() + set.ConditionSymbols().Count(), 0);

    // An empty destination leaves the field as it was.
    CSetRecord direct;
    ASSERT_EQ(direct.SetKey("APPDEFAULTPATH", "C:\\App"), 0);
    ASSERT_EQ(direct.SetKey("APPDEFAULTPATH", ""), 0);
    EXPECT_EQ(S(direct.DestDir()), "C:\\App");
}

TEST(Records, ConstructionDefaults) {
    const CSetRecord set = ReadSet("{ INI a\n}\n{ REG k\n}\n{ SERVICE\n}\n{ RENAME\n}\n{ DLL\n}\n{ RUN\n}\n"
                                   "{ FONT\n}\n{ PGM\n}\n");
    EXPECT_EQ(set.TcpPort(), 0);
    EXPECT_TRUE(set.DestDir().IsEmpty() && set.MainGroup().IsEmpty() && set.Archi().IsEmpty());
    EXPECT_EQ(set.Maximal().Count() + set.Minimal().Count() + set.UserEnv().Count(), 0);
    ASSERT_EQ(set.IniRecords().Count(), 1);
    EXPECT_EQ(S(set.IniRecords()[0].File()), "a");
    EXPECT_TRUE(set.IniRecords()[0].Section().IsEmpty());
    EXPECT_EQ(S(set.RegRecords()[0].Path()), "k");
    EXPECT_FALSE(set.Services()[0].AutoStart());
    EXPECT_TRUE(set.Renames()[0].OldPath().IsEmpty() && set.Renames()[0].NewPath().IsEmpty());
    EXPECT_FALSE(set.DllRecords()[0].TestFirstOnly());
    EXPECT_TRUE(set.Programs()[0].Ask());
    EXPECT_TRUE(set.Fonts()[0].FileName().IsEmpty() && set.Fonts()[0].FontName().IsEmpty());
    EXPECT_TRUE(set.PgmItems()[0].Title().IsEmpty());
    for (int i = 0; i < 1; ++i) EXPECT_TRUE(set.RegRecords()[i].TestText().IsEmpty());
}

TEST(Records, PlatformWordsOfSharedLibraries) {
    struct Case {
        const char* file;
        bool kind1, kind2, kind3;
    } const cases[] = {
        {"a.dll", true, true, true},
        {"a.dll,", true, true, true},
        {"a.dll ,  ", true, true, true},
        {"a.dll, WIN95", false, true, false},
        {"a.dll,win95", false, true, false},
        {"a.dll, !WINNT", false, true, false},
        {"a.dll, WINNT", false, false, true},
        {"a.dll, !WIN95", false, false, true},
        {"a.dll, OS2", false, false, false},
        {"a.dll, WIN31", false, false, false},
        {", WINNT", false, false, false},  // no file name: nothing to keep
    };
    for (const Case& c : cases) {
        const bool expected[] = {c.kind1, c.kind2, c.kind3};
        for (int kind = 1; kind <= 3; ++kind) {
            const CSetRecord set = ReadSet(std::string("{ DLL\nFILE = ") + c.file + "\n}\n", kind);
            ASSERT_EQ(set.DllRecords().Count(), 1);
            const CDllRecord& dll = set.DllRecords()[0];
            EXPECT_EQ(Join(dll.Files()), expected[kind - 1] ? "a.dll" : "") << c.file << " on kind " << kind;
            EXPECT_EQ(dll.DroppedFiles(), expected[kind - 1] ? 0 : 1) << c.file << " on kind " << kind;
        }
    }
}

TEST(Records, UnexpectedEntriesAreReportedWithFileAndLine) {
    struct Case {
        const char* text;
        int result;
        int msgId;
        const char* argument;  // besides the place
        int line;
    } const cases[] = {
        {"{ SET\n{ INI a.ini\nKEY =\n}\n}\n", ZRK_INTERNAL, 455, "KEY", 3},
        {"{ SET\nAPPNAME =\n}\n", ZRK_INTERNAL, 455, "APPNAME", 2},
        {"{ SET\n{ RUN\nNAME = a\njustaword\n}\n}\n", ZRK_INTERNAL, 456, "", 4},
        {"{ SET\n{ FOO x\n}\n}\n", ZRK_FAIL, 454, "FOO", 2},
        // A record without blocks does not take a nested block's entries.
        {"{ SET\n{ INI a\n{ REG x\nK = v\n}\n}\n}\n", ZRK_FAIL, 454, "REG", 3},
        {"{ PACKAGE\nPACKAGENAME = P\nSIZE = 3\n}\n", ZRK_INTERNAL, 455, "SIZE", 3},
        {"{ PACKAGE\nTEST = if defined(A)\n}\n", ZRK_INTERNAL, 455, "TEST", 2},
        {"{ PACKAGE\nCOMPSIZE =\n}\n", ZRK_INTERNAL, 455, "COMPSIZE", 2},
        {"{ PACKAGE\n{ DIR x\n}\n}\n", ZRK_INTERNAL, 454, "DIR", 2},
        {"{ PACKAGE\n{ FILE\nFILENAME = a\nNAME = a\n}\n}\n", ZRK_INTERNAL, 455, "NAME", 4},
        {"{ PACKAGE\n{ FILE\n{ SUB\n}\n}\n}\n", ZRK_INTERNAL, 454, "SUB", 3},
        {"{ PACKAGE\n{ FILE\nUNCOMPSIZE =\n}\n}\n", ZRK_INTERNAL, 455, "UNCOMPSIZE", 3},
        {"APPNAME = x\n", ZRK_INTERNAL, 455, "APPNAME", 1},
        {"{ SETS\n}\n", ZRK_INTERNAL, 454, "SETS", 1},
        {"VERSION =\n", ZRK_INTERNAL, 455, "VERSION", 1},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        EXPECT_EQ(ReadText(c.text, desc), c.result) << c.text;
        ASSERT_EQ(rec.Count(ZRK_KIND_ERROR), 1) << c.text << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
        EXPECT_NE(rec.entries[0].text.find(c.argument), std::string::npos) << rec.entries[0].text;
        EXPECT_NE(rec.entries[0].text.find(At(c.line)), std::string::npos) << rec.entries[0].text;
        // Nothing half-read is kept.
        EXPECT_EQ(desc.sets.Count() + desc.packages.Count(), 0) << c.text;
    }
}

TEST(Records, ConditionsAreCheckedWhereTheyStand) {
    struct Case {
        const char* text;
        int line;  // of the syntax error; 0: none
    } const cases[] = {
        {"{ SET\n{ RUN\nTEST = if defined(A\n}\n}\n", 3},
        {"{ SET\nTEST = IF (defined(A)\n}\n", 2},
        {"{ SET\n{ INI a\nSECTION = s\nK = v # if ((\n}\n}\n", 4},
        {"{ SET\n{ REG k\nK = v, S, O, C:\\x # if defined(A) &\n}\n}\n", 3},
        {"{ SET\nSETUSERENV = A, b # if defined(\n}\n", 2},
        {"{ SET\nSETSYSENV = A, b\nSETSYSENV = A, b #if\n}\n", 3},
        // Not expressions: no syntax to check.
        {"{ SET\n{ INI a\nK = v # CLIENT((\nTEST = C:\\app\\(\n}\n}\n", 0},
        {"{ SET\nREGSVR32 = a.dll # if ((\nMAXIMAL = P, k # if ((\n}\n", 0},
        {"{ SET\n{ RUN\nTEST =\n}\n}\n", 0},  // an empty test is always true
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        const int r = ReadText(c.text, desc);
        if (c.line == 0) {
            EXPECT_EQ(r, 0) << c.text;
            EXPECT_EQ(rec.Count(), 0) << c.text << rec.LastText();
            continue;
        }
        EXPECT_NE(r, 0) << c.text;
        ASSERT_EQ(rec.Count(ZRK_KIND_ERROR), 1) << c.text;
        const std::string place = S(CFile::Normalise("t.inf")) + "\", line " + std::to_string(c.line);
        EXPECT_NE(rec.entries[0].text.find(place), std::string::npos) << c.text << rec.entries[0].text;
        EXPECT_EQ(desc.sets.Count(), 0);
    }

    // An entry's condition leaves the record's own "TEST" and its place alone.
    const CSetRecord set = ReadSet("{ INI a\nTEST = if defined(X)\nK = v # if defined(Y)\n}\n");
    const CIniRecord& ini = set.IniRecords()[0];
    EXPECT_EQ(S(ini.TestText()), "if defined(X)");
    EXPECT_EQ(ini.SourceLine(), 3);
    ASSERT_EQ(ini.Places().size(), 1u);
    EXPECT_EQ(ini.Places()[0].line, 4);
    EXPECT_EQ(set.IniRecords()[0].BlockPlace().line, 2);
    EXPECT_EQ(set.BlockPlace().line, 1);
}

TEST(Records, PlacesNameTheIncludedFile) {
    CRecordingScope rec;
    CInfDescription desc;
    ASSERT_EQ(ReadText("{ SET\n{ REG k\nA = 1\n#include \"inc.inf\"\nC = 3\n}\n}\n", desc, 3,
                       "// included\nB = 2 # if defined(Z)\n"),
              0)
        << rec.LastText();
    const CRegRecord& reg = desc.sets[0].RegRecords()[0];
    ASSERT_EQ(reg.Places().size(), 3u);
    EXPECT_EQ(S(reg.Places()[0].file), S(CFile::Normalise("t.inf")));
    EXPECT_EQ(reg.Places()[1].line, 2);
    EXPECT_EQ(S(reg.Places()[1].file), S(CFile::Normalise("inc.inf")));
    EXPECT_EQ(reg.Places()[2].line, 5);

    // A syntax error inside the included file names that file.
    CRecordingScope rec2;
    CInfDescription bad;
    EXPECT_NE(ReadText("{ SET\n{ REG k\n#include \"inc.inf\"\n}\n}\n", bad, 3, "\n\nB = 2 # if (\n"), 0);
    ASSERT_EQ(rec2.Count(ZRK_KIND_ERROR), 1);
    EXPECT_NE(rec2.entries[0].text.find(S(CFile::Normalise("inc.inf")) + "\", line 3"), std::string::npos)
        << rec2.entries[0].text;
}

TEST(Records, NumbersOutsideTheirRangeAreWarnedAndBounded) {
    struct Case {
        const char* text;
        const char* key;
        const char* range;
        int64_t value;
        int line;
    } const cases[] = {
        {"{ SET\nTCPPORT = 70000\n}\n", "TCPPORT", "0 to 65535", 65535, 2},
        {"{ SET\nTCPPORT = -1\n}\n", "TCPPORT", "0 to 65535", 0, 2},
        {"{ PACKAGE\nCOMPSIZE = 4294967296\n}\n", "COMPSIZE", "0 to 4294967295", 4294967295, 2},
        {"{ PACKAGE\nEXTERNAL = x\nEXTERNALSIZE = -5\n}\n", "EXTERNALSIZE", "0 to 4294967295", 0, 3},
        {"{ PACKAGE\n{ FILE\nUNCOMPSIZE = 99999999999999999999\n}\n}\n", "UNCOMPSIZE", "0 to 4294967295",
         4294967295, 3},
        {"{ PACKAGE\nDISK = 3000000000\n}\n", "DISK", "-2147483648 to 2147483647", 2147483647, 2},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        ASSERT_EQ(ReadText(c.text, desc), 0) << c.text;
        ASSERT_EQ(rec.Count(ZRK_KIND_WARNING), 1) << c.text;
        EXPECT_EQ(rec.entries[0].msgId, 170);
        EXPECT_NE(rec.entries[0].text.find(c.key), std::string::npos) << rec.entries[0].text;
        EXPECT_NE(rec.entries[0].text.find(c.range), std::string::npos) << rec.entries[0].text;
        EXPECT_NE(rec.entries[0].text.find(At(c.line)), std::string::npos) << rec.entries[0].text;
        int64_t got = -1;
        if (desc.sets.Count()) {
            got = desc.sets[0].TcpPort();
        } else if (desc.packages[0].Files().Count()) {
            got = desc.packages[0].Files()[0].UncompSize();
        } else if (!desc.packages[0].Disks().empty()) {
            got = desc.packages[0].Disks()[0];
        } else {
            got = desc.packages[0].External().IsEmpty() ? desc.packages[0].CompSize()
                                                        : desc.packages[0].ExternalSize();
        }
        EXPECT_EQ(got, c.value) << c.text;
    }
}

TEST(Records, DecimalConversion) {
    struct Case {
        const char* text;
        int64_t value;
    } const cases[] = {
        {"42", 42},        {"  7", 7},  {"+9", 9}, {"-12", -12}, {"12abc", 12}, {"abc", 0},
        {"", 0},           {"- 5", 0},  {"0x10", 0}, {"\t3 4", 3}, {"99999999999999999999", 1000},
        {"-99999999999999999999", -1000},
    };
    for (const Case& c : cases) EXPECT_EQ(InfDecimal(c.text, -1000, 1000), c.value) << c.text;
    EXPECT_EQ(InfDecimal("9223372036854775807", INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(InfDecimal("-9223372036854775808", INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(InfDecimal(nullptr, 0, 10), 0);
}

TEST(Records, ModifierParts) {
    struct Case {
        const char* value;
        const char* data;
        char type, mode;
        const char* testPath;
        int typeWarning, modeWarning;  // 1 when reported
        const char* typePart;
        const char* modePart;
    } const cases[] = {
        {"C:\\x, S, A", "C:\\x", 'S', 'A', "", 0, 0, "", ""},
        {"abc,", "abc", 'S', 'O', "", 0, 0, "", ""},
        {"abc", "abc", 'S', 'O', "", 0, 0, "", ""},
        {"", "", 'S', 'O', "", 0, 0, "", ""},
        {"42, u", "42", 'U', 'O', "", 0, 0, "", ""},
        {"  v  ,  x  ,  t  ,  C:\\p  ", "v", 'X', 'T', "C:\\p", 0, 0, "", ""},
        {"v, , a, C:\\a, b, c", "v", 'S', 'A', "C:\\a, b, c", 0, 0, "", ""},
        {"v, String, Add", "v", 'S', 'A', "", 1, 1, "String", "Add"},
        {"v, multi", "v", 'M', 'O', "", 1, 0, "multi", ""},
        {"v, b, overwrite,", "v", 'B', 'O', "", 0, 1, "", "overwrite"},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfEntryParts parts;
        InfSplitModifiers(c.value, &parts, true);
        EXPECT_EQ(S(parts.data), c.data) << c.value;
        EXPECT_EQ(parts.type, c.type) << c.value;
        EXPECT_EQ(parts.mode, c.mode) << c.value;
        EXPECT_EQ(S(parts.testPath), c.testPath) << c.value;
        ASSERT_EQ(rec.Count(ZRK_KIND_WARNING), c.typeWarning + c.modeWarning) << c.value;
        size_t at = 0;
        if (c.typeWarning) {
            EXPECT_EQ(rec.entries[at].msgId, 145);
            EXPECT_NE(rec.entries[at].text.find(std::string("\"") + c.typePart + "\""), std::string::npos);
            EXPECT_NE(rec.entries[at].text.find(std::string("\"") + c.value + "\""), std::string::npos);
            ++at;
        }
        if (c.modeWarning) {
            EXPECT_EQ(rec.entries[at].msgId, 146);
            EXPECT_NE(rec.entries[at].text.find(std::string("\"") + c.modePart + "\""), std::string::npos);
            EXPECT_NE(rec.entries[at].text.find(std::string("\"") + c.value + "\""), std::string::npos);
        }
        // Quiet when asked to be.
        CRecordingScope quiet;
        InfSplitModifiers(c.value, &parts, false);
        EXPECT_EQ(quiet.Count(), 0);
    }

    // The condition comes off first, then the parts.
    CString data, condition;
    InfSplitEntryCondition("C:\\x, S, A # if defined(P)", &data, &condition);
    CInfEntryParts parts;
    InfSplitModifiers(data, &parts);
    EXPECT_EQ(S(parts.data), "C:\\x");
    EXPECT_EQ(parts.type, 'S');
    EXPECT_EQ(parts.mode, 'A');
    EXPECT_EQ(S(condition), "if defined(P)");
}

TEST(Records, DetectionRuleParts) {
    struct Case {
        const char* rule;
        const char* key;
        const char* name;
        const char* version;
        const char* files;
    } const cases[] = {
        {"HKEY_LOCAL_MACHINE\\S\\A, Path, 2.0, a.dll, b.exe", "HKEY_LOCAL_MACHINE\\S\\A", "Path", "2.0", "a.dll|b.exe"},
        {" K , (Default) ,  ", "K", "(Default)", "", ""},
        {"K", "K", "", "", ""},
        {", , , x.dll", "", "", "", "x.dll"},
        {"", "", "", "", ""},
        {"K, V, 1, , y", "K", "V", "1", "|y"},
    };
    for (const Case& c : cases) {
        CInfDetectionRule parts;
        InfSplitDetectionRule(c.rule, &parts);
        EXPECT_EQ(S(parts.keyPath), c.key) << c.rule;
        EXPECT_EQ(S(parts.valueName), c.name) << c.rule;
        EXPECT_EQ(S(parts.minVersion), c.version) << c.rule;
        EXPECT_EQ(Join(parts.files), c.files) << c.rule;
    }
}

TEST(Records, DetectionByFiles) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteAll(scratch.Path("present.dll"), "x"));
    const std::string present = S(scratch.Path("present.dll"));
    const std::string missing = S(scratch.Path("missing.dll"));
    struct Case {
        std::string rule;
        int ok;
    } const cases[] = {
        {"", 0},  // a maximal entry without a rule
        {", , , " + present, 1},
        {", , , " + present + ", " + present, 1},
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
    EXPECT_EQ(CheckDetection(set, -1, &ok), ZRK_INTERNAL);
}

TEST(Records, PackageSizes) {
    struct Case {
        const char* body;
        uint32_t size, compressed;
    } const cases[] = {
        {"COMPSIZE = 70\n{ FILE\nFILENAME = a\nUNCOMPSIZE = 100\nCOMPSIZE = 40\n}\n"
         "{ FILE\nFILENAME = b\nUNCOMPSIZE = 50\n}\n",
         150, 70},
        {"", 0, 0},
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
}

TEST(Records, PackageKeys) {
    CRecordingScope rec;
    CInfDescription desc;
    ASSERT_EQ(ReadText("{ PACKAGE ignored\npackagename = P\nARCHIVENAME = arc\nCOMMENT = c\nVERSION = 1.2\n"
                       "LANGUAGE = ENG\nUSEPACKAGE = A\nUSEPACKAGE = B\nDESTDIR = sub\nDISK = 2\nDISK = x\n"
                       "{ file\nFILENAME = f.exe\nUNCOMPSIZE = 5\nCOMPSIZE = 4\n}\n}\n",
                       desc),
              0)
        << rec.LastText();
    const CPackage& p = desc.packages[0];
    EXPECT_EQ(S(p.Name()), "P");
    EXPECT_EQ(S(p.ArchiveName()), "arc");
    EXPECT_EQ(S(p.Comment()) + S(p.Version()) + S(p.Language()) + S(p.DestDir()), "c1.2ENGsub");
    EXPECT_EQ(Join(p.UsePackages()), "A|B");
    ASSERT_EQ(p.Disks().size(), 2u);
    EXPECT_EQ(p.Disks()[0], 2);
    EXPECT_EQ(p.Disks()[1], 0);
    ASSERT_EQ(p.Files().Count(), 1);
    EXPECT_EQ(S(p.Files()[0].FileName()), "f.exe");
    EXPECT_EQ(p.Files()[0].UncompSize(), 5u);
    EXPECT_EQ(p.Files()[0].CompSize(), 4u);
    EXPECT_EQ(p.BlockPlace().line, 1);
}

TEST(Records, FindPgmItem) {
    const CSetRecord set = ReadSet(
        "{ PGM\nDESC = Read Me\n}\n"
        "{ PGM\nDESC = \"\\\"Vendrix Demo\\\"\"\n}\n"  // stored with its quotes
        "{ PGM\nDESC = \"\\\"\"\n}\n"                  // a lone quote
        "{ PGM\nDESC = read me\n}\n"
        "{ PGM\nDESC = Read Me\n}\n");
    ASSERT_EQ(S(set.PgmItems()[1].Title()), "\"Vendrix Demo\"");
    struct Case {
        const char* title;
        int index;
    } const cases[] = {
        {"Read Me", 0}, {"read me", 3}, {"Vendrix Demo", 1}, {"\"Vendrix Demo\"", -1}, {"", 2}, {"Nothing", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(FindPgmItem(set.PgmItems(), c.title), c.index) << c.title;
    EXPECT_EQ(FindPgmItem(CInfList<CPgmRecord>(), "Read Me"), -1);
}

TEST(Records, AddRegRecordAndListsOwnTheirRecords) {
    CSetRecord set = ReadSet("{ REG HKEY_CURRENT_USER\\A\nX = 1\n}\n{ INI a\n}\n{ INI b\n}\n");
    CStringList names, values;
    names.Add("Count");
    values.Add("3, U");
    names.Add("");
    values.Add("default");
    ASSERT_EQ(AddRegRecord(set, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared", names, values), 0);
    ASSERT_EQ(set.RegRecords().Count(), 2);
    const CRegRecord& made = set.RegRecords()[1];
    EXPECT_EQ(S(made.Path()), "HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared");
    EXPECT_EQ(Join(made.Names()), "Count|");
    EXPECT_EQ(Join(made.Values()), "3, U|default");
    EXPECT_EQ(made.Places().size(), 2u);
    EXPECT_TRUE(made.TestText().IsEmpty());

    names.Add("extra");
    EXPECT_EQ(AddRegRecord(set, "HKEY_LOCAL_MACHINE\\X", names, values), ZRK_INTERNAL);
    EXPECT_EQ(set.RegRecords().Count(), 2);

    // A copy owns copies: changing one list leaves the other alone.
    CSetRecord copy = set;
    ASSERT_EQ(copy.IniRecords().RemoveAt(0), 0);
    copy.RegRecords().Clear();
    EXPECT_EQ(set.IniRecords().Count(), 2);
    EXPECT_EQ(S(set.IniRecords()[0].File()), "a");
    EXPECT_EQ(S(copy.IniRecords()[0].File()), "b");
    EXPECT_EQ(set.RegRecords().Count(), 2);
    EXPECT_EQ(copy.IniRecords().RemoveAt(1), ZRK_INTERNAL);
    EXPECT_EQ(copy.IniRecords().Add(nullptr), ZRK_NOMEM);
    copy = set;
    EXPECT_EQ(copy.IniRecords().Count(), 2);
    EXPECT_EQ(copy.RegRecords().Count(), 2);
}

// ---------------------------------------------------------------------------
// Version resources

void Put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    Put16(s, at, v & 0xFFFF);
    Put16(s, at + 2, v >> 16);
}
void Pad4(std::string& s) { s.resize((s.size() + 3) & ~size_t{3}, '\0'); }

std::string Utf16(const std::string& text) {
    std::string out;
    for (char c : text) {
        out.push_back(c);
        out.push_back('\0');
    }
    out.append(2, '\0');
    return out;
}

// One block of a version resource, starting at a 4-byte boundary.
std::string VersionBlock(const std::string& key, uint16_t type, const std::string& value, uint16_t valueLength,
                         const std::vector<std::string>& children) {
    std::string b(6, '\0');
    b += Utf16(key);
    Pad4(b);
    b += value;
    for (const std::string& child : children) {
        Pad4(b);
        b += child;
    }
    Put16(b, 0, static_cast<uint32_t>(b.size()));
    Put16(b, 2, valueLength);
    Put16(b, 4, type);
    return b;
}

std::string StringTable(const std::string& key, const std::string& version) {
    const std::string text = Utf16(version);
    return VersionBlock(key, 1, "", 0,
                        {VersionBlock("CompanyName", 1, Utf16("Vendrix"), 8, {}),
                         VersionBlock("FileVersion", 1, text, static_cast<uint16_t>(text.size() / 2), {})});
}

// VS_VERSIONINFO with string tables (key, FileVersion) and, when LANGUAGE is
// not 0, a translation entry.
std::string VersionInfo(const std::vector<std::pair<std::string, std::string>>& tables, uint16_t language,
                        uint16_t codePage) {
    std::string fixed(52, '\0');
    Put32(fixed, 0, 0xFEEF04BD);
    Put32(fixed, 4, 0x00010000);
    std::vector<std::string> children;
    std::vector<std::string> stringTables;
    for (const auto& t : tables) stringTables.push_back(StringTable(t.first, t.second));
    children.push_back(VersionBlock("StringFileInfo", 1, "", 0, stringTables));
    if (language) {
        std::string translation(4, '\0');
        Put16(translation, 0, language);
        Put16(translation, 2, codePage);
        children.push_back(VersionBlock("VarFileInfo", 1, "", 0, {VersionBlock("Translation", 0, translation, 4, {})}));
    }
    return VersionBlock("VS_VERSION_INFO", 0, fixed, 52, children);
}

// A minimal PE image (PE32, or PE32+ when WIDE) whose only section holds a
// resource tree with one version resource.
std::string PeImage(const std::string& versionInfo, bool wide) {
    const uint32_t sectionRva = 0x1000, rawOffset = 0x200;
    std::string rsrc(0x58, '\0');
    Put16(rsrc, 0x0E, 1);  // root: one id entry
    Put32(rsrc, 0x10, 16);
    Put32(rsrc, 0x14, 0x80000000u | 0x18);
    Put16(rsrc, 0x18 + 0x0E, 1);  // name level
    Put32(rsrc, 0x18 + 0x10, 1);
    Put32(rsrc, 0x18 + 0x14, 0x80000000u | 0x30);
    Put16(rsrc, 0x30 + 0x0E, 1);  // language level
    Put32(rsrc, 0x30 + 0x10, 0x409);
    Put32(rsrc, 0x30 + 0x14, 0x48);
    Put32(rsrc, 0x48, sectionRva + 0x58);  // data entry
    Put32(rsrc, 0x4C, static_cast<uint32_t>(versionInfo.size()));
    rsrc += versionInfo;
    const uint32_t rsrcSize = static_cast<uint32_t>(rsrc.size());
    rsrc.resize((rsrc.size() + 0x1FF) & ~size_t{0x1FF}, '\0');

    const uint32_t optionalSize = wide ? 240 : 224;
    std::string image(rawOffset, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, 0x40);
    image.replace(0x40, 4, std::string("PE\0\0", 4));
    const size_t coff = 0x44;
    Put16(image, coff, wide ? 0x8664 : 0x14C);
    Put16(image, coff + 2, 1);
    Put16(image, coff + 16, optionalSize);
    Put16(image, coff + 18, 0x2102);
    const size_t opt = coff + 20;
    Put16(image, opt, wide ? 0x20B : 0x10B);
    Put32(image, opt + 16, 0);  // no entry point
    if (wide) {
        Put32(image, opt + 24, 0x10000000);  // image base (low half)
    } else {
        Put32(image, opt + 28, 0x10000000);
    }
    Put32(image, opt + 32, 0x1000);  // section alignment
    Put32(image, opt + 36, 0x200);   // file alignment
    Put16(image, opt + 40, 4);       // operating system version
    Put16(image, opt + 48, 4);       // subsystem version
    Put32(image, opt + 56, 0x2000);  // size of image
    Put32(image, opt + 60, rawOffset);
    Put16(image, opt + 68, 2);  // Windows GUI
    const size_t stacks = wide ? 72 : 72;
    Put32(image, opt + stacks, 0x100000);
    const size_t countAt = wide ? 108 : 92;
    Put32(image, opt + countAt, 16);
    Put32(image, opt + countAt + 4 + 2 * 8, sectionRva);
    Put32(image, opt + countAt + 4 + 2 * 8 + 4, rsrcSize);
    const size_t section = opt + optionalSize;
    image.replace(section, 5, ".rsrc");
    Put32(image, section + 8, rsrcSize);
    Put32(image, section + 12, sectionRva);
    Put32(image, section + 16, static_cast<uint32_t>(rsrc.size()));
    Put32(image, section + 20, rawOffset);
    Put32(image, section + 36, 0x40000040);
    return image + rsrc;
}

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
            EXPECT_EQ(S(VersionOfBytes(PeImage(info, wide))), c.expected) << c.expected << (wide ? " (PE32+)" : "");
        }
    }
    EXPECT_EQ(S(VersionOfBytes("")), "");
    EXPECT_EQ(S(VersionOfBytes("just a text file\r\n")), "");
    EXPECT_EQ(S(VersionOfBytes("MZ")), "");
}

TEST(FileVersion, DamagedImagesGiveNoVersionAndNoFault) {
    const std::string image = PeImage(VersionInfo({{"040904B0", "1.2.3.4"}}, 0x409, 0x4B0), false);
    ASSERT_EQ(S(VersionOfBytes(image)), "1.2.3.4");
    // Every truncation, and every byte of the headers and resource tree set
    // to 0xFF, must be survived (ASan watches the reads).
    for (size_t n = 0; n < image.size(); n += 7) VersionOfBytes(image.substr(0, n));
    for (size_t at = 0; at < 0x200 + 0x58 + 64; ++at) {
        std::string damaged = image;
        damaged[at] = static_cast<char>(0xFF);
        VersionOfBytes(damaged);
    }
    // Block lengths that point past their parents.
    std::string damaged = image;
    Put16(damaged, 0x200 + 0x58, 0xFFFF);
    EXPECT_EQ(S(VersionOfBytes(damaged)), "");
}

TEST(FileVersion, OfAFileAndAgreesWithTheSystem) {
    ScratchDir scratch;
    const CString path = scratch.Path("vendrix.dll");
    ASSERT_TRUE(WriteAll(path, PeImage(VersionInfo({{"040904B0", "10.0.2"}}, 0x409, 0x4B0), false)));
    CString version;
    EXPECT_EQ(InfFileVersion(path, &version), 0);
    EXPECT_EQ(S(version), "10.0.2");
    ASSERT_TRUE(WriteAll(scratch.Path("plain.txt"), "text"));
    EXPECT_EQ(InfFileVersion(scratch.Path("plain.txt"), &version), 0);
    EXPECT_EQ(S(version), "");
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
        EXPECT_EQ(S(version), systemVersion(file.c_str())) << file;
        EXPECT_FALSE(version.IsEmpty()) << file;
    }
#endif
}

#ifdef _WIN32
// A registry key of the test's own below HKEY_CURRENT_USER, removed at the end.
class ScratchKey {
public:
    ScratchKey() { RegCreateKeyExA(HKEY_CURRENT_USER, kPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key, nullptr); }
    ~ScratchKey() {
        RegCloseKey(m_key);
        RegDeleteKeyA(HKEY_CURRENT_USER, kPath);
    }
    void Set(const char* name, const std::string& value) {
        RegSetValueExA(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    }
    static constexpr const char* kPath = "Software\\ZrkTestRecords";

private:
    HKEY m_key = nullptr;
};
#endif

TEST(Records, DetectionByRegistryAndVersion) {
    if (!zrkos::IsWindows()) GTEST_SKIP() << "the registry exists on Windows only";
#ifdef _WIN32
    ScratchDir scratch;
    const std::string dll = S(scratch.Path("vendrix.dll"));
    ASSERT_TRUE(WriteAll(dll.c_str(), PeImage(VersionInfo({{"040904B0", "10.0"}}, 0x409, 0x4B0), false)));
    ScratchKey key;
    key.Set("Library", dll);
    key.Set("", dll);
    key.Set("Gone", S(scratch.Path("gone.dll")));
    const std::string k = "HKEY_CURRENT_USER\\Software\\ZrkTestRecords";
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
        {k + ", Library, , " + S(scratch.Path("none.dll")), 0},
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
