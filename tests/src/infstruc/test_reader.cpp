// The top level of a description: header keys with their places, packages
// and sets in file order, external packages adding to a set, reading from
// a file with symbols, and what a failure leaves behind.
#include "src/infstruc/reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfgfile.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

int ReadText(const std::string& text, CInfDescription& desc, CSetRecord* external = nullptr) {
    CCfgMemoryFiles files;
    files[CFile::Normalise("top.inf").c_str()] = text;
    CCfgFile cfg;
    InfPrepareReader(cfg);
    cfg.SetMemoryFiles(&files);
    int r = cfg.OpenRelative("top.inf");
    if (r == 0) r = InfReadDescription(cfg, desc, external);
    cfg.Close(false);
    return r;
}

TEST(Reader, BlocksInFileOrder) {
    CPlatformScope win95(2);
    CRecordingScope rec;
    CInfDescription desc;
    ASSERT_EQ(ReadText("VERSION = 1.0\n"
                       "{ PACKAGE a\nPACKAGENAME = A\n}\n"
                       "{ SET first\nAPPNAME = One\n{ DLL\nFILE = x.dll, WIN95\nFILE = y.dll, WINNT\n}\n}\n"
                       "{ package\nPACKAGENAME = B\n}\n"
                       "BEGIN set\nAPPNAME = Two\nEND\n"
                       "TXT = readme.txt\nversion = 2.0\n",
                       desc),
              0)
        << rec.LastText();
    ASSERT_EQ(desc.packages.Count(), 2);
    EXPECT_EQ(Str(desc.packages[0].Name()), "A");
    EXPECT_EQ(Str(desc.packages[1].Name()), "B");
    EXPECT_EQ(desc.FindPackage("B"), 1);
    EXPECT_EQ(desc.FindPackage("b"), -1);
    ASSERT_EQ(desc.sets.Count(), 2);
    EXPECT_EQ(Str(desc.sets[0].AppName()), "One");
    EXPECT_EQ(Str(desc.sets[1].AppName()), "Two");
    // The platform kind reaches the shared libraries of the sets.
    EXPECT_EQ(Str(desc.sets[0].DllRecords()[0].Files().Join(",")), "x.dll");
    EXPECT_EQ(desc.sets[1].BlockPlace().line, 15);
    // Header keys in any case, each occurrence with its place; the last one
    // counts.
    ASSERT_EQ(desc.header.size(), 3u);
    EXPECT_EQ(Str(desc.header[2].name), "version");
    EXPECT_EQ(desc.header[1].place.line, 18);
    EXPECT_EQ(Str(desc.header[1].place.file), Str(CFile::Normalise("top.inf")));
    EXPECT_EQ(Str(desc.HeaderValue("Version")), "2.0");
    EXPECT_EQ(Str(desc.HeaderValue("NOSUCH")), "");

    desc.Clear();
    EXPECT_EQ(desc.sets.Count() + desc.packages.Count() + static_cast<int>(desc.header.size()), 0);
}

TEST(Reader, ExternalDescriptionAddsToTheSetBeingInstalled) {
    CInfDescription main;
    ASSERT_EQ(ReadText("{ SET\nAPPNAME = Product\n{ PGM\nDESC = Main\n}\n}\n", main), 0);
    CSetRecord& set = main.sets[0];
    CInfDescription external;
    CRecordingScope rec;
    ASSERT_EQ(ReadText("{ PACKAGE\nPACKAGENAME = EXTRA\n}\n"
                       "{ SET\n{ PGM\nDESC = Viewer\n}\nMINIMAL = EXTRA\n}\n"
                       "{ SET\n{ REG HKEY_LOCAL_MACHINE\\SOFTWARE\\V\nPath = x\n}\n}\n",
                       external, &set),
              0)
        << rec.LastText();
    EXPECT_EQ(external.sets.Count(), 0);
    EXPECT_EQ(external.packages.Count(), 1);
    EXPECT_EQ(Str(set.AppName()), "Product");
    ASSERT_EQ(set.PgmItems().Count(), 2);
    EXPECT_EQ(Str(set.PgmItems()[1].Title()), "Viewer");
    EXPECT_EQ(set.RegRecords().Count(), 1);
    EXPECT_EQ(Str(set.Minimal().Join(",")), "EXTRA");
    // The set keeps the place of its own block.
    EXPECT_EQ(Str(set.BlockPlace().file), Str(CFile::Normalise("top.inf")));
    EXPECT_EQ(set.BlockPlace().line, 1);
}

TEST(Reader, FailureStopsTheReadingAndKeepsWhatWasComplete) {
    struct Case {
        const char* text;
        int packages, sets;
        int msgId;
    } const cases[] = {
        {"{ PACKAGE\nPACKAGENAME = A\n}\n{ SET\n{ INI a\nK =\n}\n}\n{ PACKAGE\nPACKAGENAME = B\n}\n", 1, 0, MSG_CFG_UNKNOWN_KEY},
        {"{ SET\n}\n{ PACKAGE\nBAD = 1\n}\n{ SET\n}\n", 0, 1, MSG_CFG_UNKNOWN_KEY},
        {"{ SET\n}\nNOTAKEY = 1\n{ SET\n}\n", 0, 1, MSG_CFG_UNKNOWN_KEY},
        {"{ SET\n{ INI a\nK = v\n", 0, 0, MSG_CFG_UNBALANCED_BLOCKS},  // the file ends inside blocks
        {"{ SET\n}\n}\n", 0, 1, MSG_CFG_UNEXPECTED},            // a block end too many
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CInfDescription desc;
        EXPECT_NE(ReadText(c.text, desc), 0) << c.text;
        ASSERT_EQ(rec.Count(), 1) << c.text << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
        EXPECT_EQ(desc.packages.Count(), c.packages) << c.text;
        EXPECT_EQ(desc.sets.Count(), c.sets) << c.text;
    }
}

// A file with an include, the caller's symbols defined after the open (so
// that they may replace a predefined one), and the failures of each part.
TEST(Reader, LoadsAFileWithSymbols) {
    ScratchDir scratch;
    ASSERT_TRUE(WriteAll(scratch.Path("setup.inf"),
                         "#ifndef VDTEST_LANG\n#define VDTEST_LANG ENG\n#endif\n"
                         "APPLANGUAGE = $(VDTEST_LANG) $(ENV)\n"
                         "#include \"sets.inf\"\n"));
    ASSERT_TRUE(WriteAll(scratch.Path("sets.inf"), "{ SET\nAPPNAME = $(PRODUCT)\n}\n"));
    struct Case {
        std::vector<const char*> names, values;
        const char* path;
        const char* language;  // nullptr: the reading fails with MSGID
        int msgId;
    } const cases[] = {
        {{"PRODUCT"}, {"Demo"}, "setup.inf", "ENG WINNT", 0},
        {{"PRODUCT", "VDTEST_LANG", "ENV"}, {"Demo", "FRA", "X"}, "setup.inf", "FRA X", 0},
        {{"ZRK_NO_PRODUCT"}, {""}, "setup.inf", nullptr, MSG_CFG_UNDEFINED_SYMBOL},  // undefined in sets.inf, line 2
        {{"PRODUCT"}, {"Demo"}, "none.inf", nullptr, MSG_OPEN_READ},
    };
    CPlatformScope nt(3);
    for (const Case& c : cases) {
        CInfReadOptions options;
        for (const char* name : c.names) options.defineNames.Add(name);
        for (const char* value : c.values) options.defineValues.Add(value);
        CRecordingScope rec;
        CInfDescription desc;
        const int r = InfLoadDescription(scratch.Path(c.path), desc, options);
        if (!c.language) {
            EXPECT_NE(r, 0) << c.path;
            ASSERT_EQ(rec.Count(), 1) << rec.LastText();
            EXPECT_EQ(rec.entries[0].msgId, c.msgId);
            continue;
        }
        ASSERT_EQ(r, 0) << rec.LastText();
        EXPECT_EQ(Str(desc.HeaderValue("APPLANGUAGE")), c.language);
        ASSERT_EQ(desc.sets.Count(), 1);
        EXPECT_EQ(Str(desc.sets[0].AppName()), "Demo");
    }
}

}  // namespace
