// The plain logic of setupkit build: sizes in KiB, the package arguments,
// and the generated file as the description reader takes it in.
#include <gtest/gtest.h>

#include "src/infstruc/reader.h"
#include "tools/setupkit/build.h"
#include "zrk/cfgfile.h"
#include "zrk/cfile.h"
#include "zrk/report.h"

namespace {

TEST(SetupkitBuildText, KiBRoundUpAndSaturate) {
    const struct {
        uint64_t bytes;
        uint32_t kib;
    } cases[] = {{0, 0}, {1, 1}, {1023, 1}, {1024, 1}, {1025, 2}, {1457664, 1424},
                 {0xFFFFFFFFull * 1024, 0xFFFFFFFFu}, {0xFFFFFFFFull * 1024 + 1, 0xFFFFFFFFu}};
    for (const auto& c : cases) EXPECT_EQ(SetupkitKiB(c.bytes), c.kib) << c.bytes;
}

TEST(SetupkitBuildText, PackageArguments) {
    const struct {
        const char* arg;
        bool ok;
        const char* name;
        const char* dir;
    } cases[] = {
        {"BASE=files/base", true, "BASE", "files/base"},
        {" BASE = C:\\dir=x ", true, "BASE", "C:\\dir=x"},  // the first "=" splits
        {"BASE", false, "", ""},
        {"=dir", false, "", ""},
        {"BASE=", false, "", ""},
    };
    for (const auto& c : cases) {
        CString name, dir;
        EXPECT_EQ(SetupkitSplitPackageArg(c.arg, &name, &dir), c.ok) << c.arg;
        if (c.ok) {
            EXPECT_STREQ(name, c.name) << c.arg;
            EXPECT_STREQ(dir, c.dir) << c.arg;
        }
    }
}

TEST(SetupkitBuildText, SelectableNames) {
    for (const char* name : {"BASE", "_x", "Help.2-b"}) EXPECT_TRUE(SetupkitIsSelectableName(name)) << name;
    // Operators, blanks and a leading digit would change the generated "#if".
    for (const char* name : {"", "1ST", "A B", "A|B", "A&B", "A=B", "A!", "(A)", "A<B", "$(A)", "\"A\""})
        EXPECT_FALSE(SetupkitIsSelectableName(name)) << name;
}

// A description whose packages include the generated text, read as the
// installer reads it.
int ReadWithGenerated(const std::string& generated, CInfDescription* desc) {
    const CString inf = CFile::Normalise("dist\\disk1\\setup.inf");
    CCfgMemoryFiles files;
    files[inf.c_str()] =
        "{ PACKAGE A\nPACKAGENAME = A\nARCHIVENAME = a\n#define PACKAGE A\n#include \"setup.pkg\"\n}\n"
        "{ PACKAGE B\nPACKAGENAME = B\nARCHIVENAME = b\n#define PACKAGE B\n#include \"setup.pkg\"\n}\n"
        "{ PACKAGE C\nPACKAGENAME = C\nARCHIVENAME = c\n#define PACKAGE C\n#include \"setup.pkg\"\n}\n";
    files[CFile::Join(CFile::DirPart(inf), "setup.pkg").c_str()] = generated;
    CCfgFile reader;
    InfPrepareReader(reader);
    reader.SetMemoryFiles(&files);
    int r = reader.OpenRelative(inf);
    if (r == 0) r = InfReadDescription(reader, *desc);
    reader.Close(false);
    return r;
}

TEST(SetupkitBuildText, GeneratedEntriesReachTheirPackagesOnly) {
    std::vector<SetupkitBuiltPackage> built = {
        {"A", {1, 2}, {{"x.exe", 2048, 1500}, {"sub\\y.dll", 1, 4}}},
        {"C", {}, {}},  // no files: no disks, size 0
    };
    CRecordingScope rec;
    CInfDescription desc;
    const CString text = SetupkitSizesText(built);
    ASSERT_EQ(ReadWithGenerated(std::string(text.c_str(), static_cast<size_t>(text.Length())), &desc), 0);
    EXPECT_EQ(rec.Count(), 0);
    ASSERT_EQ(desc.packages.Count(), 3);

    const CPackage& a = desc.packages[0];
    EXPECT_EQ(a.Disks(), (std::vector<int>{1, 2}));
    EXPECT_EQ(a.CompSize(), 2u);  // 1504 bytes
    ASSERT_EQ(a.Files().Count(), 2);
    EXPECT_STREQ(a.Files()[0].FileName(), "x.exe");
    EXPECT_EQ(a.Files()[0].UncompSize(), 2u);
    EXPECT_EQ(a.Files()[0].CompSize(), 2u);
    EXPECT_STREQ(a.Files()[1].FileName(), "sub\\y.dll");
    EXPECT_EQ(a.Files()[1].UncompSize(), 1u);
    EXPECT_EQ(a.Files()[1].CompSize(), 1u);

    // B has no section: nothing; C's section has no disk and no file.
    for (int i : {1, 2}) {
        EXPECT_TRUE(desc.packages[i].Disks().empty()) << i;
        EXPECT_EQ(desc.packages[i].Files().Count(), 0) << i;
        EXPECT_EQ(desc.packages[i].CompSize(), 0u) << i;
    }
}

TEST(SetupkitBuildText, PlaceholderGivesDiskZeroToEveryPackage) {
    std::vector<SetupkitBuiltPackage> built = {{"A", {3, 4}, {{"x.exe", 10, 10}}}, {"C", {}, {}}};
    CRecordingScope rec;
    CInfDescription desc;
    const CString text = SetupkitSizesText(built, true);
    ASSERT_EQ(ReadWithGenerated(std::string(text.c_str(), static_cast<size_t>(text.Length())), &desc), 0);
    EXPECT_EQ(rec.Count(), 0);
    EXPECT_EQ(desc.packages[0].Disks(), std::vector<int>{0});
    EXPECT_TRUE(desc.packages[1].Disks().empty());
    EXPECT_EQ(desc.packages[2].Disks(), std::vector<int>{0});
}

}  // namespace
