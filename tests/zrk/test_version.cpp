// The comparison of version texts: numeric per component from the start of
// each text, byte-wise only when neither starts with a number.
#include "zrk/version.h"

#include <gtest/gtest.h>

namespace {

TEST(Version, ComparesDottedNumbersByComponentAndOtherTextsByteWise) {
    struct Case {
        const char* a;
        const char* b;
        int expected;  // compare(a, b); compare(b, a) is its negation
    } const cases[] = {
        {"10.0", "9.0", 1},  // the reason for it all
        {"4.0.1381.10", "4.0.1381.9", 1},
        {"1.2", "1.2.0", 0},  // a missing component counts as 0
        {"1", "1.0.0.1", -1},
        {"01.002", "1.2", 0},  // leading zeros carry no value
        // Components far beyond 64 bits neither overflow nor wrap.
        {"18446744073709551616", "1", 1},  // 2^64
        {"4294967296.0", "4294967295.0", 1},
        {"100000000000000000000", "99999999999999999999", 1},
        {" 1.10\t", "1.9", 1},  // blanks around a version are ignored
        // Installed shared libraries: as byte strings both would go the other way.
        {"4.00.950", "4.00.1381", -1},
        {"4, 71, 0, 0", "4, 8, 0, 0", 1},
        {"4, 71, 0, 0", "4.71", 0},
        {"6.0.2800.1106 (xpsp.080413-2105)", "6.0.2800.999", 1},
        {"6.0.2800.1106 (xpsp.080413-2105)", "6.0.2800.1106", 0},
        // The components end at the first other character.
        {"1.2a", "1.10", -1},
        {"1..2", "1.2", -1},
        {"1.2.", "1.2", 0},
        {"1 2", "1.1", -1},
        {"", "1.0", -1},
        {"   ", "1", -1},
        // Neither starts with a number: byte-wise.
        {"", "", 0},
        {"beta", "alpha", 1},
        {"v2", "v10", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZrkCompareVersions(c.a, c.b), c.expected) << '"' << c.a << "\" vs \"" << c.b << '"';
        EXPECT_EQ(ZrkCompareVersions(c.b, c.a), -c.expected) << '"' << c.b << "\" vs \"" << c.a << '"';
    }
    EXPECT_EQ(ZrkCompareVersions(nullptr, "1"), -1);
}

}  // namespace
