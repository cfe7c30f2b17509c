// The message numbering of both programs: the console program's ids must be
// what the shift of each line of res/messages.txt makes them, and unique.
// (The build checks every text's printf conversions against its signature,
// and the compiler the arguments passed with each id.)
#include <gtest/gtest.h>

#include <set>

#include "zrk/msgtable.h"
#include "zrk/resfile.h"

namespace {

TEST(Messages, ConsoleNumberingFollowsTheShiftOfEachMessage) {
    int count = 0;
    const ZrkMessageEntry* table = ZrkBuiltinMessages(&count);
    ASSERT_NE(table, nullptr);
    ASSERT_GT(count, 0);
    std::set<int> consoleIds;
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(ZrkConsoleMessageId(table[i].id), table[i].id - table[i].shift) << "message " << table[i].id;
        EXPECT_TRUE(consoleIds.insert(table[i].id - table[i].shift).second)
            << "two messages share console id " << table[i].id - table[i].shift;
    }
}

}  // namespace
