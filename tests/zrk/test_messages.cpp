// The one source of message texts: every text's printf placeholders must
// match the arguments the code passes, and both programs' numberings must
// agree with the mapping the console program uses.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "zrk/msgtable.h"
#include "zrk/resfile.h"

namespace {

// The argument kinds a printf format consumes, one letter per argument in
// the signature alphabet (s text, d int, l long, u unsigned, x hex, f double,
// c char; empty for none). A bad conversion yields "?".
std::string FormatKinds(const char* fmt) {
    std::string kinds;
    for (const char* p = fmt; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && std::string("-+ #0").find(*p) != std::string::npos) ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '*') return "?";
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        bool isLong = false;
        if (*p == 'l') {
            isLong = true;
            ++p;
        }
        switch (*p) {
        case 's': kinds += isLong ? '?' : 's'; break;
        case 'd': case 'i': kinds += isLong ? 'l' : 'd'; break;
        case 'u': kinds += isLong ? '?' : 'u'; break;
        case 'x': case 'X': kinds += isLong ? '?' : 'x'; break;
        case 'f': case 'g': case 'e': kinds += 'f'; break;
        case 'c': kinds += 'c'; break;
        default: return "?";
        }
        if (!*p) break;
    }
    return kinds;
}

TEST(Messages, PlaceholdersMatchTheArgumentsTheCodePasses) {
    int count = 0;
    const ZrkMessageEntry* table = ZrkBuiltinMessages(&count);
    ASSERT_NE(table, nullptr);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(FormatKinds(table[i].text), table[i].sig) << "message " << table[i].id << ": " << table[i].text;
    }
}

TEST(Messages, ConsoleNumberingFollowsTheShiftOfEachMessage) {
    int count = 0;
    const ZrkMessageEntry* table = ZrkBuiltinMessages(&count);
    ASSERT_NE(table, nullptr);
    std::set<int> consoleIds;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(ZrkConsoleMessageId(table[i].id), table[i].id - table[i].shift) << "message " << table[i].id;
        EXPECT_TRUE(consoleIds.insert(table[i].id - table[i].shift).second)
            << "two messages share console id " << table[i].id - table[i].shift;
    }
}

TEST(Messages, TheFormatScannerSeesEveryKind) {
    // The checker itself must not wave a mismatch through.
    struct Case {
        const char* fmt;
        const char* kinds;
    } cases[] = {
        {"plain", ""},          {"%s and %d", "sd"}, {"%ld%%", "l"},  {"%-10.3s %08X", "sx"},
        {"%c%u%.2f", "cuf"},     {"%*d", "?"},        {"%q", "?"},     {"100%% done", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatKinds(c.fmt), c.kinds) << c.fmt;
}

}  // namespace
