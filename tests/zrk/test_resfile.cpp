// Resource images in both layouts, the message-text lookup and the
// resource file beside the program.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/resfile.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

// One entry of the 32-bit layout with numeric type and name.
void Entry32(Bytes& b, uint16_t type, uint16_t name, const Bytes& data) {
    Put32(b, static_cast<uint32_t>(data.size()));
    Put32(b, 32);
    Put16(b, 0xFFFF);
    Put16(b, type);
    Put16(b, 0xFFFF);
    Put16(b, name);
    Put32(b, 0);       // data version
    Put16(b, 0x1030);  // memory flags
    Put16(b, 0x0409);  // language
    Put32(b, 0);       // version
    Put32(b, 0);       // characteristics
    b.insert(b.end(), data.begin(), data.end());
    while (b.size() % 4) b.push_back(0);
}

// A string block: 16 counted strings, UTF-16 (32-bit) or bytes (16-bit).
Bytes StringBlock(const std::vector<std::string>& texts, bool wide) {
    Bytes b;
    for (size_t i = 0; i < 16; ++i) {
        std::string t = i < texts.size() ? texts[i] : "";
        if (wide) {
            Put16(b, static_cast<uint16_t>(t.size()));
            for (unsigned char c : t) Put16(b, c);
        } else {
            b.push_back(static_cast<uint8_t>(t.size()));
            b.insert(b.end(), t.begin(), t.end());
        }
    }
    return b;
}

Bytes Image32() {
    Bytes b;
    Entry32(b, 0, 0, {});  // the empty first entry
    Entry32(b, 10, 1, {1, 2, 3});  // an unrelated resource of odd size
    // Ids 400..415 live in block 400/16+1 = 26.
    Entry32(b, 6, 26, StringBlock({"US", "out of memory", "", "internal \xE9rror"}, true));
    return b;
}

Bytes Image16() {
    Bytes b;
    Bytes block = StringBlock({"US", "out of memory"}, false);
    b.push_back(0xFF);
    Put16(b, 6);
    b.push_back(0xFF);
    Put16(b, 26);
    Put16(b, 0x1030);
    Put32(b, static_cast<uint32_t>(block.size()));
    b.insert(b.end(), block.begin(), block.end());
    return b;
}

TEST(ResourceImage, StringTablesInBothLayouts) {
    struct Case { const char* name; Bytes image; bool is32; } cases[] = {{"32-bit", Image32(), true}, {"16-bit", Image16(), false}};
    for (const Case& c : cases) {
        CResourceImage image;
        image.Assign(c.image.data(), c.image.size());
        EXPECT_EQ(image.Is32Bit(), c.is32) << c.name;
        CString text;
        ASSERT_TRUE(image.StringText(400, &text)) << c.name;
        EXPECT_EQ(text, "US");
        ASSERT_TRUE(image.StringText(401, &text)) << c.name;
        EXPECT_EQ(text, "out of memory");
        EXPECT_FALSE(image.StringText(402, &text)) << c.name;  // empty entry
        EXPECT_FALSE(image.StringText(416, &text)) << c.name;  // another block
        EXPECT_FALSE(image.StringText(-1, &text)) << c.name;
    }
    CResourceImage image;
    Bytes b = Image32();
    image.Assign(b.data(), b.size());
    CString text;
    ASSERT_TRUE(image.StringText(403, &text));
    EXPECT_EQ(text, "internal \xE9rror");  // low byte of each character
}

// Lookups stay inside the bytes of a damaged image (fuzz_resfile tries the
// rest).
TEST(ResourceImage, DamagedImagesFindNothing) {
    Bytes lying = Image32();
    lying[32] = lying[33] = lying[34] = 0xFF;  // data size of the second entry far past the end
    Bytes small = Image16();
    small[12 + 3] = 250;  // the length of text 401, past the block
    for (const Bytes& b : {lying, small}) {
        CResourceImage image;
        image.Assign(b.data(), b.size());
        CString text;
        EXPECT_FALSE(image.StringText(401, &text));
    }
}

TEST(ResourceImage, FilesOnDisk) {
    ScratchDir dir;
    CResourceImage image;
    EXPECT_EQ(image.Load(dir.Path("missing.res")), ZRK_FAIL);
    EXPECT_FALSE(image.IsLoaded());

    ASSERT_TRUE(WriteAll(dir.Path("empty.res"), ""));
    EXPECT_EQ(image.Load(dir.Path("empty.res")), 0);
    EXPECT_TRUE(image.IsLoaded());
    CString text;
    EXPECT_FALSE(image.StringText(400, &text));

    ASSERT_TRUE(WriteAll(dir.Path("limit.res"), std::string(999999, '\0')));
    EXPECT_EQ(image.Load(dir.Path("limit.res")), 0);

    Bytes b = Image16();
    ASSERT_TRUE(WriteAll(dir.Path("old.res"), std::string(b.begin(), b.end())));
    EXPECT_EQ(image.Load(dir.Path("old.res")), 0);
    EXPECT_FALSE(image.Is32Bit());
    ASSERT_TRUE(image.StringText(401, &text));
    EXPECT_EQ(text, "out of memory");
}

TEST(ResourceImage, ProgramResourcesTakePrecedenceOverLinkedTexts) {
    // A resource file beside the program is loaded; without one the texts
    // linked into the test program answer.
    CString module = zrkos::ModulePath();
    int dot = module.ReverseFind('.');
    int slash = module.ReverseFind('\\');
    CString resPath = (dot > slash ? CString(module.c_str(), dot) : module) + ".res";
    ASSERT_FALSE(zrkos::Exists(resPath)) << "a stale " << resPath.c_str();

    EXPECT_EQ(ZrkLoadProgramResources(module), 0);
    EXPECT_FALSE(ZrkResourceImage().IsLoaded());
    EXPECT_EQ(ZrkMessageText(MSG_CODE_FAILED), "operation failed");

    Bytes b = Image32();
    ASSERT_TRUE(WriteAll(resPath, std::string(b.begin(), b.end())));
    EXPECT_EQ(ZrkLoadProgramResources(module), 0);
    EXPECT_TRUE(ZrkResourceImage().IsLoaded());
    EXPECT_EQ(ZrkMessageText(MSG_OUT_OF_MEMORY), "out of memory");
    CString text;
    EXPECT_FALSE(ZrkFindMessageText(402, &text));  // the file has no such text
    // The console program looks its texts up 64 lower.
    ZrkSetConsoleNumbering(true);
    EXPECT_FALSE(ZrkFindMessageText(401, &text));
    ZrkSetConsoleNumbering(false);
    ZrkReleaseProgramResources();

    ASSERT_TRUE(WriteAll(resPath, std::string(1000000, 'x')));
    EXPECT_EQ(ZrkLoadProgramResources(module), ZRK_FAIL);
    zrkos::Remove(resPath);
    EXPECT_EQ(ZrkMessageText(MSG_CODE_FAILED), "operation failed");
}

}  // namespace
