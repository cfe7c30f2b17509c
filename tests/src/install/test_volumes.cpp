// Extraction from disks and volumes: members split over disks, missing disks
// and volumes, the disk asked for last, external packages, and no member left
// written in part when the extraction stops.
#include "install_fixture.h"

namespace {

const std::vector<Member> kFiles = {{"big.bin", Noise(5000, 1)}, {"sub\\small.txt", "small"}};

TEST_F(DistributionTest, PackagesFromTheirDisks) {
    struct Case {
        const char* name;
        std::vector<int> disks;  // of the package, as written
        int result;
        std::vector<int> errors;
        const char* asked;
    } cases[] = {
        {"whole, each disk once from the lowest", {2, 1, 2}, 0, {}, ""},
        {"disk 2 missing", {1, 2}, ZRK_DESCERR, {MSG_DISK_MISSING.id}, "disk2:disk2.dsk "},
        {"volume asked for by name", {1, 2}, 0, {}, "disk2:BASE.002 "},
        {"cancelled", {1, 2}, ZRK_CANCEL, {}, ""},
        {"continuation not listed", {1}, ZRK_FAIL, {MSG_ARCHIVE_DAMAGED.id}, ""},
        {"no DISK entry", {}, ZRK_DESCERR, {MSG_PACKAGE_WITHOUT_DISK.id}, ""},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, kFiles, 4096), 2);
        RecordingSession s;
        const std::string name = c.name;
        if (name == "disk 2 missing") RemoveTree(scratch.Path("disk2\\"));
        if (name == "volume asked for by name") {
            CFile::MakeAllDirs(scratch.Path("moved\\x"));
            CFile::Rename(scratch.Path("disk2\\BASE.002"), scratch.Path("moved\\BASE.002"));
            s.diskFoundAt = scratch.Path("moved\\");
        }
        s.cancelInSecondVolume = name == "cancelled";
        int r = Plan(s, Package("BASE", c.disks, kFiles) + Product({"BASE"}));
        if (r == 0) r = s.RunEngineTask();
        EXPECT_EQ(r, c.result) << c.name;
        EXPECT_EQ(Errors(), c.errors) << c.name << reports.LastText();
        EXPECT_EQ(s.Asked(), c.asked) << c.name;
        // The member begun on disk 1 is whole or gone.
        EXPECT_EQ(Dest("big.bin"), c.result == 0 ? kFiles[0].second : "") << c.name;
        EXPECT_EQ(Dest("sub\\small.txt"), c.result == 0 ? "small" : "") << c.name;
    }
}

// A package on disks 2-3 after one on disks 1-2: disk 2 is made sure of
// once; the progress runs over the volumes' sizes.
TEST_F(DistributionTest, TheDiskAskedForLastIsNotAskedAgain) {
    const std::vector<Member> a = {{"a.bin", Noise(5000, 2)}}, b = {{"b.bin", Noise(5000, 3)}};
    ASSERT_EQ(Pack("A", 1, a, 4096) + Pack("B", 2, b, 4096), 4);
    RecordingSession s;
    ASSERT_EQ(Plan(s, Package("A", {1, 2}, a) + Package("B", {2, 3}, b) + Product({"A", "B"})), 0);
    EXPECT_EQ(s.RunEngineTask(), 0) << reports.LastText();
    EXPECT_EQ(s.ensured, "123");
    EXPECT_EQ(Dest("b.bin"), b[0].second);
    std::vector<int64_t> sums;
    for (const char* v : {"disk1\\A.001", "disk2\\A.002", "disk2\\B.002", "disk3\\B.003"})
        sums.push_back((sums.empty() ? 0 : sums.back()) + CFile::FileSize64(scratch.Path(v)));
    EXPECT_EQ(s.progress, sums);
}

// An external package: its own disks ext1, ext2 with markers ext1.dsk, ...
// beside the main ones; of its description only the package and the disk
// label count, and it replaces the external package in the working list only.
TEST_F(DistributionTest, ExternalPackages) {
    const std::vector<Member> ext = {{"ext.bin", Noise(5000, 4)}}, main = {{"main.txt", "main"}};
    const std::string own = "VERSION = 1.0\nAPPVERSION = 9.9\nNEWKEY = Other\nDISKLABEL = EXTRA\n";
    const std::string inner = Package("INNER", {1, 2}, ext, " DESTDIR = extra\n");
    struct Case { std::string inf; int result; std::vector<int> errors; } cases[] = {
        {own + inner, 0, {}},
        {own + inner + Package("OTHER", {1}, ext), ZRK_DESCERR, {MSG_EXTERNAL_PACKAGE_COUNT.id}},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("INNER", 1, ext, 4096, "ext") + Pack("MAIN", 1, main), 3);
        WriteAll(scratch.Path("ext1\\ext.inf"), c.inf);
        RecordingSession s;
        ASSERT_EQ(Plan(s, "APPVERSION = 1.0\nDISKLABEL = MAIN\n" + Package("EXT", {}, {}, " EXTERNAL = ext\n") +
                              Package("MAIN", {1}, main) + Product({"EXT", "MAIN"})),
                  0);
        EXPECT_EQ(s.RunEngineTask(), c.result) << reports.LastText();
        EXPECT_EQ(Errors(), c.errors) << reports.LastText();
        EXPECT_EQ(Str(s.Selection().Join(",")), "EXT,MAIN");
        EXPECT_EQ(Dest("extra\\ext.bin"), c.result == 0 ? ext[0].second : "");
        EXPECT_EQ(Dest("main.txt"), c.result == 0 ? "main" : "");
        if (c.result != 0) continue;
        // The main disks come back with their label; the description is kept.
        EXPECT_EQ(Str(s.DiskLabel()), "MAIN");
        EXPECT_EQ(Str(s.SourcePath()), Str(scratch.Path("disk1\\")));
        EXPECT_EQ(Dest("ext.inf"), c.inf);
        EXPECT_GE(s.FileList().Find(scratch.Path("dest\\ext.inf")), 0);
    }
}

}  // namespace
