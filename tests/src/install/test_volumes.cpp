// Extraction from disks and volumes: members split over disks, missing disks
// and volumes, the disk asked for last, external packages, and nothing left
// written in part when the extraction stops.
#include "install_fixture.h"

namespace {

const std::vector<Member> kBig = {{"big.bin", Noise(5000, 1)}, {"sub\\small.txt", "small"}};

TEST_F(DistributionTest, MembersSplitOverDisksAndMissingDisks) {
    struct Case {
        const char* name;
        bool removeDisk2;      // its directory is gone
        bool volumeElsewhere;  // the marker is there, the volume in "moved2" (found when asked)
        int result, msgId;
        const char* asked;
    } cases[] = {
        {"whole", false, false, 0, 0, ""},
        {"disk 2 missing", true, false, ZRK_DESCERR, MSG_DISK_MISSING.id, "disk2:disk2.dsk"},
        {"volume asked by name", false, true, 0, 0, "disk2:BASE.002"},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, kBig, 4096), 2) << c.name;
        if (c.removeDisk2) RemoveTree(scratch.Path("disk2\\"));
        if (c.volumeElsewhere) {
            CFile::MakeAllDirs(scratch.Path("moved2\\x"));
            CFile::Rename(scratch.Path("disk2\\BASE.002"), scratch.Path("moved2\\BASE.002"));
        }
        RecordingSession s;
        if (c.volumeElsewhere) s.diskAt = {{2, scratch.Path("moved2\\")}};
        ASSERT_EQ(Plan(s, Package("BASE", {2, 1, 2}, kBig) + Product({"BASE"})), 0) << reports.LastText();
        EXPECT_EQ(s.RunEngineTask(), c.result) << c.name << reports.LastText();
        std::string asked;
        for (const auto& a : s.asked) asked += a;
        EXPECT_EQ(asked, c.asked) << c.name;
        EXPECT_EQ(Errors(), c.msgId ? 1 : 0) << c.name << reports.LastText();
        EXPECT_EQ(LastErrorId(), c.msgId) << c.name;
        // The member begun on disk 1 does not stay in part.
        EXPECT_EQ(DestExists("big.bin"), c.result == 0) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(Dest("big.bin"), kBig[0].second) << c.name;
            EXPECT_EQ(Dest("sub\\small.txt"), "small") << c.name;
        }
    }
}

// A package on disks 2-3 after one on disks 1-2: disk 2 is made sure of
// once, and the progress runs over the volumes' sizes.
TEST_F(DistributionTest, TheDiskAskedForLastIsNotAskedAgain) {
    const std::vector<Member> a = {{"a.bin", Noise(5000, 2)}}, b = {{"b.bin", Noise(5000, 3)}};
    ASSERT_EQ(Pack("A", 1, a, 4096), 2);
    ASSERT_EQ(Pack("B", 2, b, 4096), 2);
    RecordingSession s;
    ASSERT_EQ(Plan(s, Package("A", {1, 2}, a) + Package("B", {2, 3}, b) + Product({"A", "B"})), 0);
    EXPECT_EQ(s.RunEngineTask(), 0) << reports.LastText();
    EXPECT_EQ(s.ensured, "1 2 3");
    EXPECT_TRUE(s.asked.empty());
    EXPECT_EQ(Dest("a.bin"), a[0].second);
    EXPECT_EQ(Dest("b.bin"), b[0].second);
    int64_t sum = 0;
    std::vector<int64_t> expected;
    for (const char* v : {"disk1\\A.001", "disk2\\A.002", "disk2\\B.002", "disk3\\B.003"})
        expected.push_back(sum += CFile::FileSize64(scratch.Path(v)));
    EXPECT_EQ(s.progress, expected);
}

TEST_F(DistributionTest, CancelledOrDamagedExtractionLeavesNoMemberInPart) {
    struct Case { const char* name; bool cancel; std::vector<int> disks; int result, msgId; } cases[] = {
        // Cancelled while the member's second part is read.
        {"cancel", true, {1, 2}, ZRK_CANCEL, 0},
        // The package lists only disk 1: the continuation never comes.
        {"continuation not listed", false, {1}, ZRK_FAIL, MSG_ARCHIVE_DAMAGED.id},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, kBig, 4096), 2);
        RecordingSession s;
        s.cancelInSecondVolume = c.cancel;
        ASSERT_EQ(Plan(s, Package("BASE", c.disks, kBig) + Product({"BASE"})), 0) << reports.LastText();
        EXPECT_EQ(s.RunEngineTask(), c.result) << c.name;
        EXPECT_EQ(Errors(), c.msgId ? 1 : 0) << c.name << reports.LastText();
        EXPECT_EQ(LastErrorId(), c.msgId) << c.name;
        EXPECT_FALSE(DestExists("big.bin")) << c.name;
    }
}

TEST_F(DistributionTest, PackageWithFilesButNoDiskIsRefused) {
    RecordingSession s;
    EXPECT_EQ(Plan(s, Package("BASE", {}, kBig) + Product({"BASE"})), ZRK_DESCERR);
    EXPECT_EQ(Errors(), 1);
    EXPECT_EQ(LastErrorId(), MSG_PACKAGE_WITHOUT_DISK.id);
}

// An external package: its own disks E1, E2 beside the main ones, with
// markers E1.dsk; of its description only the package, the sets and the
// disk label count.
TEST_F(DistributionTest, ExternalPackages) {
    const std::vector<Member> ext = {{"ext.bin", Noise(5000, 4)}}, main = {{"main.txt", "main"}};
    const std::string own = "APPVERSION = 9.9\nNEWKEY = Other\\Product\nDISKLABEL = EXTRA DISKS\n";
    struct Case { const char* name; std::string inf; int result, msgId; } cases[] = {
        {"one package", own + Package("INNER", {1, 2}, ext, " DESTDIR = extra\n"), 0, 0},
        {"two packages", own + Package("INNER", {1}, ext) + Package("OTHER", {1}, ext), ZRK_DESCERR,
         MSG_EXTERNAL_PACKAGE_COUNT.id},
    };
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("INNER", 1, ext, 4096, "ext"), 2);
        ASSERT_EQ(Pack("MAIN", 1, main), 1);
        WriteAll(scratch.Path("ext1\\ext.inf"), "VERSION = 1.0\n" + c.inf);
        RecordingSession s;
        const std::string inf = "APPVERSION = 1.0\nDISKLABEL = MAIN DISKS\n" +
                                Package("EXT", {}, {}, " EXTERNAL = ext\n EXTERNALSIZE = 5\n") +
                                Package("MAIN", {1}, main) + Product({"EXT", "MAIN"});
        ASSERT_EQ(Plan(s, inf), 0) << reports.LastText();
        EXPECT_EQ(s.RunEngineTask(), c.result) << c.name << reports.LastText();
        EXPECT_EQ(Errors(), c.msgId ? 1 : 0) << c.name << reports.LastText();
        EXPECT_EQ(LastErrorId(), c.msgId) << c.name;
        EXPECT_TRUE(s.asked.empty()) << c.name;
        // The selection still names the main description's package.
        EXPECT_EQ(Str(s.Selection().Join(",")), "EXT,MAIN") << c.name;
        if (c.result != 0) continue;
        EXPECT_EQ(Dest("extra\\ext.bin"), ext[0].second);
        EXPECT_EQ(Dest("main.txt"), "main");
        // The main disks come back with their label; the description is kept.
        EXPECT_EQ(Str(s.DiskLabel()), "MAIN DISKS");
        EXPECT_EQ(Str(s.SourcePath()), Str(scratch.Path("disk1\\")));
        EXPECT_EQ(Dest("ext.inf"), "VERSION = 1.0\n" + c.inf);
        EXPECT_GE(s.FileList().Find(scratch.Path("dest\\ext.inf")), 0);
        EXPECT_EQ(Str(s.Description().HeaderValue("APPVERSION")), "1.0");
        EXPECT_EQ(Str(s.Description().HeaderValue("NEWKEY")), "");
    }
}

}  // namespace
