// Comparison of version texts ("4.0.1381.1", "10.0", "4, 71, 0, 0").
//
// The numeric components at the start of each text compare numerically, one
// by one, a missing component counting as 0: "10.0" is above "9.0",
// "4.00.1381" above "4.00.950", and "1.2" equals "1.2.0". Components are
// separated by "." or ","; blanks around components and separators are
// ignored, and the first other character ends the components, so version
// resources such as "4, 71, 0, 0" or "6.0.2800.1106 (xpsp.080413-2105)" read
// as their numbers. Components may be of any length (no overflow: leading
// zeros are skipped and the digits compared as text). Only when neither text
// starts with a number are the two compared byte-wise.
#pragma once

// True when TEXT, blanks around it aside, is digits with single dots between
// groups ("7", "1.02.3"), nothing else.
bool ZrkIsDottedVersion(const char* text);

// -1, 0 or 1 as A is lower than, equal to or higher than B.
int ZrkCompareVersions(const char* a, const char* b);
