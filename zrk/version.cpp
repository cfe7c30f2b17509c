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

// One component of a dotted number: the digits from *P up to a dot or END,
// without leading zeros; *P moves past the component and its dot.
void NextComponent(const char** p, const char* end, const char** digits, size_t* length) {
    const char* q = *p;
    while (q < end && *q == '0') ++q;
    const char* start = q;
    while (q < end && IsDigit(*q)) ++q;
    *digits = start;
    *length = static_cast<size_t>(q - start);
    if (q < end && *q == '.') ++q;
    *p = q;
}

}  // namespace

bool ZrkIsDottedVersion(const char* text) {
    const char *b, *e;
    Bounds(text, &b, &e);
    return IsDotted(b, e);
}

int ZrkCompareVersions(const char* a, const char* b) {
    const char *ab, *ae, *bb, *be;
    Bounds(a, &ab, &ae);
    Bounds(b, &bb, &be);
    if (!IsDotted(ab, ae) || !IsDotted(bb, be)) {
        const int c = std::strcmp(a ? a : "", b ? b : "");
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    // A missing component is an empty digit run: the value 0.
    while (ab < ae || bb < be) {
        const char *da, *db;
        size_t la, lb;
        NextComponent(&ab, ae, &da, &la);
        NextComponent(&bb, be, &db, &lb);
        if (la != lb) return la < lb ? -1 : 1;
        const int c = std::memcmp(da, db, la);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    return 0;
}
