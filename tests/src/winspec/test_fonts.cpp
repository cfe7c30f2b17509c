// Fonts under Wine: the fonts folder per shell generation, a file name
// taken by another face, a face already installed, a file Windows refuses
// as a font. Results are read back with win.ini's own functions and by
// listing the font families.
#include "src/winspec/fonts.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "src/infstruc/records.h"
#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

// A font that Wine installs itself ("Marlett"), and the same font renamed
// to a face that nothing installs: every "Marlett" in its name table, in
// single bytes and in UTF-16, becomes "Zrkfont".
const char kWineFont[] = "Z:\\usr\\share\\wine\\fonts\\marlett.ttf";

std::string Renamed(std::string font, const std::string& from, const std::string& to) {
    auto replace = [&font](const std::string& a, const std::string& b) {
        for (size_t at = font.find(a); at != std::string::npos; at = font.find(a, at + b.size()))
            font.replace(at, a.size(), b);
    };
    replace(from, to);
    std::string wideFrom, wideTo;
    for (size_t i = 0; i < from.size(); ++i) {
        wideFrom += std::string(1, '\0') + from[i];
        wideTo += std::string(1, '\0') + to[i];
    }
    replace(wideFrom, wideTo);
    return font;
}

int CALLBACK ListFamily(const LOGFONTA* font, const TEXTMETRICA*, DWORD, LPARAM families) {
    reinterpret_cast<std::vector<std::string>*>(families)->push_back(font->lfFaceName);
    return 1;
}

// Whether the system lists a font family named FACE.
bool FamilyListed(const char* face) {
    std::vector<std::string> families;
    HDC dc = CreateCompatibleDC(nullptr);
    EnumFontFamiliesA(dc, nullptr, ListFamily, reinterpret_cast<LPARAM>(&families));
    DeleteDC(dc);
    for (const std::string& f : families)
        if (f == face) return true;
    return false;
}

std::string WinIniFont(const char* face) {
    char value[MAX_PATH] = "";
    GetProfileStringA("Fonts", face, "", value, sizeof value);
    return value;
}

void AddFont(CSetRecord& set, const char* file, const char* face) {
    auto record = std::make_unique<CFontRecord>();
    record->SetKey("FILENAME", file);
    record->SetKey("FONTNAME", face);
    ASSERT_EQ(set.Fonts().Add(std::move(record)), 0);
}

TEST(Fonts, FolderPerShellAndFreeNames) {
    CString system, folder, target;
    ASSERT_EQ(zrkos::QuerySystemDir(&system), 0);
    for (int kind : {ZRK_WINNT, ZRK_WIN95, ZRK_WIN32S}) {
        CPlatformScope platform(kind);
        EXPECT_EQ(FontsFolder(&folder), 0);
        EXPECT_EQ(Str(folder), Str(kind == ZRK_WIN32S ? system : zrkos::WindowsDir() + "Fonts\\")) << kind;
    }
    ScratchDir dir;
    for (const char* taken : {"arial.ttf", "ariam.ttf", "font9.fon", "fontZ"}) ASSERT_TRUE(WriteAll(dir.Path(taken), ""));
    // name -> the free name ("" none left)
    const std::pair<const char*, const char*> cases[] = {
        {"arial.ttf", "arian.ttf"}, {"font1.fon", "font1.fon"}, {"font9.fon", ""}, {"fontZ", ""}, {".ttf", ""}};
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(FreeFontFileName(dir.Dir(), name, &target), *expected != '\0') << name;
        if (*expected) {
            EXPECT_EQ(Str(target), Str(dir.Path(expected))) << name;
        }
    }
}

TEST(Fonts, TakenNameBumpedInstalledFaceSkippedRefusedFileKeptAsFirstFailure) {
    const std::string marlett = ReadAll(kWineFont);
    ASSERT_FALSE(marlett.empty()) << kWineFont;
    ScratchDir dir;
    ASSERT_TRUE(WriteAll(dir.Path("zrkfont.ttf"), Renamed(marlett, "Marlett", "Zrkfont")));
    ASSERT_TRUE(WriteAll(dir.Path("zrkseen.ttf"), Renamed(marlett, "Marlett", "Zrkseen")));
    ASSERT_TRUE(WriteAll(dir.Path("zrkbad.fon"), "not a font\r\n"));
    ASSERT_FALSE(FamilyListed("Zrkfont"));
    // A face the system has already (from another file).
    ASSERT_GT(AddFontResourceA(dir.Path("zrkseen.ttf")), 0);
    ASSERT_TRUE(FamilyListed("Zrkseen"));
    CPlatformScope nt(ZRK_WINNT);
    CString fonts;
    ASSERT_EQ(FontsFolder(&fonts), 0);
    CreateDirectoryA(fonts, nullptr);
    // Another face already has the file name in the fonts folder.
    const CString taken = fonts + "zrkfont.ttf", bumped = fonts + "zrkfonu.ttf", bad = fonts + "zrkbad.fon";
    ASSERT_TRUE(WriteAll(taken, marlett));

    CSetRecord set;
    set.SetDestDir(dir.Dir());
    AddFont(set, "$User$\\zrkseen.ttf", "Zrkseen");  // installed: skipped
    AddFont(set, "$User$\\zrkbad.fon", "Zrkbad");    // refused by Windows
    AddFont(set, "$User$\\zrkfont.ttf", "Zrkfont");  // still installed after the failure
    CRecordingScope reports;
    const int result = InstallFonts(set);
    const bool listed = FamilyListed("Zrkfont");
    const std::string bumpedEntry = WinIniFont("Zrkfont"), badEntry = WinIniFont("Zrkbad"),
                      seenEntry = WinIniFont("Zrkseen");
    const bool bumpedCopied = ReadAll(bumped) == ReadAll(dir.Path("zrkfont.ttf"));
    const bool seenCopied = CFile::Exists(fonts + "zrkseen.ttf");
    RemoveFontResourceA(bumped);
    RemoveFontResourceA(dir.Path("zrkseen.ttf"));
    for (const CString& f : {taken, bumped, bad}) DeleteFileA(f);
    for (const char* face : {"Zrkfont", "Zrkbad"}) WriteProfileStringA("Fonts", face, nullptr);

    EXPECT_EQ(result, ZRK_WINERR);
    ASSERT_EQ(reports.Count(), 1);
    EXPECT_EQ(reports.entries[0].msgId, MSG_FONT_NOT_REGISTERED.id);
    EXPECT_TRUE(bumpedCopied);
    EXPECT_EQ(bumpedEntry, "zrkfonu.ttf");
    EXPECT_EQ(badEntry, "zrkbad.fon");
    EXPECT_EQ(seenEntry, "");
    EXPECT_FALSE(seenCopied);
    EXPECT_TRUE(listed);
    // Each record keeps its expanded file name.
    EXPECT_EQ(Str(set.Fonts()[2].FileName()), Str(zrkos::ShortPath(dir.Dir()) + "zrkfont.ttf"));
}

}  // namespace
