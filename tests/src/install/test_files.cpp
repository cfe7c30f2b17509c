// File installation on every system: free space before a member is written,
// and the progress text of its path.
#include "install_fixture.h"

namespace {

// Below 1 MiB of free space each new member (not each of its pieces) is
// asked about; no cancels, yes measures again.
TEST_F(DistributionTest, LowFreeSpaceIsAskedPerMember) {
    struct Case { std::vector<double> free; int yes, result; std::vector<const char*> asked; } cases[] = {
        {{5e6}, 0, 0, {}},
        {{1048575}, 0, ZRK_CANCEL, {"big.bin"}},
        {{1048575, 2e6, 1e3, 2e6}, 2, 0, {"big.bin", "sub\\small.txt"}},
    };
    const std::vector<Member> files = {{"big.bin", Noise(5000, 7)}, {"sub\\small.txt", "small"}};
    for (const Case& c : cases) {
        Fresh();
        ASSERT_EQ(Pack("BASE", 1, files, 4096), 2);
        RecordingSession s;
        s.freeSpace = c.free;
        s.yes = c.yes;
        ASSERT_EQ(Plan(s, Package("BASE", {1, 2}, files) + Product({"BASE"})), 0);
        EXPECT_EQ(s.RunEngineTask(), c.result);
        std::string expected;
        for (const char* name : c.asked) {
            CString text;
            text.FormatId(MSG_LOW_DISK_SPACE, (scratch.Path("dest\\") + name).c_str());
            expected += "yesno:" + Str(text) + " ";
        }
        EXPECT_EQ(s.Asked(), expected);
        EXPECT_EQ(Dest("big.bin"), c.result == 0 ? files[0].second : "");
    }
}

class ShortSession : public InstallSession {
public:
    int limit = 80;
    using InstallSession::ShortenForProgress;

protected:
    int ProgressLimit() const override { return limit; }
};

// The console shows 80 characters of a path, the wizard 25.
TEST(ProgressText, PathsShortenedToTheLimit) {
    const std::string d60 = std::string(60, 'd'), dir80 = "C:\\" + d60 + "\\sub\\";
    struct Case { int limit; std::string path, shown; } const cases[] = {
        {80, dir80 + std::string(12, 'f'), dir80 + std::string(12, 'f')},
        {80, dir80 + "x\\" + std::string(11, 'f'), "C:\\" + d60 + " ...\\" + std::string(11, 'f')},
        {25, "C:\\Win\\System32\\shell3.dll", "C:\\Win ...\\shell3.dll"},
        {25, "C:\\Windows\\System\\shell32.dll", "C: ...\\shell32.dll"},
        {25, "C:\\a\\b\\" + std::string(30, 'f'), "C: ...\\" + std::string(15, 'f') + "..."},
    };
    for (const Case& c : cases) {
        ShortSession s;
        s.limit = c.limit;
        EXPECT_EQ(Str(s.ShortenForProgress(c.path.c_str())), c.shown) << c.path;
    }
}

}  // namespace
