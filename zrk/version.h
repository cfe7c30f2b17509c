// Comparison of version texts ("4.0.1381.1", "10.0", "1.2").
//
// Two dotted numbers compare numerically, component by component, a missing
// component counting as 0: "10.0" is above "9.0" and "1.2" equals "1.2.0".
// Components may be of any length (no overflow: leading zeros are skipped and
// the digits compared as text). Blanks around a text are ignored. When either
// text is not a dotted number ("1.2a", "", "1..2", "1.2.") the two texts are
// compared byte-wise instead.
#pragma once

// True when TEXT, blanks around it aside, is digits with single dots between
// groups ("7", "1.02.3"), nothing else.
bool ZrkIsDottedVersion(const char* text);

// -1, 0 or 1 as A is lower than, equal to or higher than B.
int ZrkCompareVersions(const char* a, const char* b);
