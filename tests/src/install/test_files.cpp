// File installation on every system: the version rule of shared files and
// the free-space question before a member is written.
#include "install_fixture.h"
#include "src/install/files.h"

namespace {

TEST(SharedFiles, VersionRule) {
    const int64_t hour = 3600 * CTimeEx::kUsPerSecond;
    struct Case {
        const char *sourceVersion, *sourceLanguage;
        int64_t sourceSize, sourceHoursNewer;
        const char *destVersion, *destLanguage;
        int64_t destSize;
        SharedFileDecision expected;
    } const cases[] = {
        // Compared as numbers, not as byte strings.
        {"4.00.1381", "English", 10, 0, "4.00.950", "English", 10, SHARED_REPLACE},
        {"4.00.950", "English", 10, 48, "4.00.1381", "English", 10, SHARED_KEEP},
        {"4, 71, 0, 0", "English", 10, 0, "4, 8, 0, 0", "English", 10, SHARED_REPLACE},
        {"1.0", "English", 10, 0, "1.0", "English", 10, SHARED_KEEP},
        {"1.0", "English", 10, 0, "1.0", "English", 11, SHARED_ASK},
        {"1.0", "English", 10, 0, "1.0", "German", 10, SHARED_ASK},
        {"1.0", "", 10, 0, "1.0", "", 10, SHARED_ASK},
        // Without a version on either side the times decide: a day newer replaces.
        {"", "", 10, 25, "1.0", "English", 10, SHARED_REPLACE},
        {"2.0", "English", 10, 24, "", "", 10, SHARED_REPLACE},
        {"", "", 10, 23, "", "", 10, SHARED_ASK},
        {"", "", 10, -48, "", "", 10, SHARED_ASK},
    };
    for (const Case& c : cases) {
        SharedFileFacts source, dest;
        source.version = c.sourceVersion;
        source.language = c.sourceLanguage;
        source.size = c.sourceSize;
        source.time.SetValue(1000 * hour + c.sourceHoursNewer * hour);
        dest.version = c.destVersion;
        dest.language = c.destLanguage;
        dest.size = c.destSize;
        dest.time.SetValue(1000 * hour);
        EXPECT_EQ(DecideSharedFile(source, dest), c.expected) << c.sourceVersion << " over " << c.destVersion;
    }
}

// Below 1 MiB of free space each new member is asked about (not each of its
// pieces); no cancels, yes measures again.
TEST_F(DistributionTest, LowFreeSpaceIsAskedPerMember) {
    const std::vector<Member> files = {{"big.bin", Noise(5000, 7)}, {"small.txt", "small"}};
    struct Case { std::vector<double> free; std::vector<int> answers; int result, questions; } cases[] = {
        {{5e6}, {}, 0, 0},
        {{1048575}, {}, ZRK_CANCEL, 1},
        {{1048575, 2e6, 1e3, 2e6}, {1, 1}, 0, 2},
    };
    for (const Case& c : cases) {
        RemoveTree(scratch.Dir());
        ASSERT_EQ(Pack("BASE", 1, files, 4096), 2);
        RecordingSession s;
        s.freeSpace = c.free;
        s.yesNoAnswers = c.answers;
        ASSERT_EQ(Plan(s, Package("BASE", {1, 2}, files) + Product({"BASE"})), 0);
        EXPECT_EQ(s.RunEngineTask(), c.result);
        ASSERT_EQ(static_cast<int>(s.asked.size()), c.questions);
        const char* const names[] = {"dest\\big.bin", "dest\\small.txt"};
        for (int i = 0; i < c.questions; ++i) {
            CString text;
            text.FormatId(MSG_LOW_DISK_SPACE, scratch.Path(names[i]).c_str());
            EXPECT_EQ(s.asked[static_cast<size_t>(i)], "yesno:" + Str(text));
        }
        EXPECT_EQ(Dest("big.bin"), c.result == 0 ? files[0].second : "");
    }
    EXPECT_EQ(Errors(), 0) << reports.LastText();
}

}  // namespace

namespace {

class ShortSession : public InstallSession {
public:
    int limit = 80;
    using InstallSession::ShortenForProgress;

protected:
    int ProgressLimit() const override { return limit; }
};

// The console shows 80 characters of a path, the wizard 25.
TEST(ProgressText, PathsShortenedToTheLimit) {
    const std::string dir80 = "C:\\" + std::string(60, 'd') + "\\sub\\", dir81 = dir80 + "x";
    struct Case { int limit; std::string path, shown; } const cases[] = {
        {80, dir80 + std::string(12, 'f'), dir80 + std::string(12, 'f')},
        {80, dir81 + "\\" + std::string(11, 'f'), "C:\\" + std::string(60, 'd') + " ...\\" + std::string(11, 'f')},
        {25, "C:\\Win\\System32\\shell.dll", "C:\\Win\\System32\\shell.dll"},
        {25, "C:\\Win\\System32\\shell3.dll", "C:\\Win ...\\shell3.dll"},
        {25, "C:\\Windows\\System\\shell32.dll", "C: ...\\shell32.dll"},
        {25, "C:\\a\\b\\" + std::string(30, 'f'), "C: ...\\" + std::string(15, 'f') + "..."},
        {25, std::string(30, 'n'), std::string(22, 'n') + "..."},
    };
    for (const Case& c : cases) {
        ShortSession s;
        s.limit = c.limit;
        EXPECT_EQ(Str(s.ShortenForProgress(c.path.c_str())), c.shown) << c.path;
    }
}

}  // namespace
