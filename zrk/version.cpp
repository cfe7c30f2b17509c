// Comparison of version texts; see version.h.
#include "zrk/version.h"

#include <cstring>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The text without the blanks around it: [*begin, *end).
void Bounds(const char* text, const char** begin, const char** end) {
    const char* b = text ? text : "";
    while (IsBlank(*b)) ++b;
    const char* e = b + std::strlen(b);
    while (e > b && IsBlank(e[-1])) --e;
    *begin = b;
    *end = e;
}

bool IsDotted(const char* b, const char* e) {
    if (b == e) return false;
    bool digits = false;  // digits seen since the last dot
    for (const char* p = b; p < e; ++p) {
        if (IsDigit(*p)) {
            digits = true;
        } else if (*p == '.' && digits) {
            digits = false;
        } else {
            return false;
        }
    }
    return digits;
}

// The next numeric component of a version text from *P: its digits without
// leading zeros in [*DIGITS, *DIGITS + *LENGTH). False when no component is
// left: *P is not at a digit (blanks aside). *P moves to the next
// component, or to an empty text when no separator ("." or ",") and digit
// follow.
bool NextComponent(const char** p, const char** digits, size_t* length) {
    const char* q = *p;
    while (IsBlank(*q)) ++q;
    if (!IsDigit(*q)) return false;
    while (*q == '0') ++q;
    const char* start = q;
    while (IsDigit(*q)) ++q;
    *digits = start;
    *length = static_cast<size_t>(q - start);
    // Another component follows only after a separator; anything else
    // ends the components.
    while (IsBlank(*q)) ++q;
    *p = "";
    if (*q == '.' || *q == ',') {
        ++q;
        while (IsBlank(*q)) ++q;
        if (IsDigit(*q)) *p = q;
    }
    return true;
}

}  // namespace

bool ZrkIsDottedVersion(const char* text) {
    const char *b, *e;
    Bounds(text, &b, &e);
    return IsDotted(b, e);
}

int ZrkCompareVersions(const char* a, const char* b) {
    const char* pa = a ? a : "";
    const char* pb = b ? b : "";
    const char *da = nullptr, *db = nullptr;
    size_t la = 0, lb = 0;
    bool hasA = NextComponent(&pa, &da, &la);
    bool hasB = NextComponent(&pb, &db, &lb);
    if (!hasA && !hasB) {
        const int c = std::strcmp(a ? a : "", b ? b : "");
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    // A missing component is an empty digit run: the value 0.
    while (hasA || hasB) {
        if (!hasA) la = 0;
        if (!hasB) lb = 0;
        if (la != lb) return la < lb ? -1 : 1;
        const int c = la == 0 ? 0 : std::memcmp(da, db, la);
        if (c != 0) return c < 0 ? -1 : 1;
        if (hasA) hasA = NextComponent(&pa, &da, &la);
        if (hasB) hasB = NextComponent(&pb, &db, &lb);
    }
    return 0;
}
