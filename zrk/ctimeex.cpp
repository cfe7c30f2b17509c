// Dates, times, durations and their formats; see ctimeex.h.
#include "zrk/ctimeex.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "zrk/app.h"
#include "zrk/os/os.h"
#include "zrk/profile.h"
#include "zrk/report.h"
#include "zrk/resfile.h"
#include "zrk/result.h"

namespace {

// Message of each name list, in ZrkNameList order.
const int kListMessage[ZRK_NAMES_COUNT] = {MSG_SHORT_MONTHS, MSG_LONG_MONTHS, MSG_SHORT_WEEKDAYS,
                                            MSG_LONG_WEEKDAYS, MSG_UNITS_SHORT,  MSG_UNITS,
                                            MSG_UNITS_PLURAL,  MSG_UNITS_ALIASES};

const char* const kBuiltinLists[ZRK_NAMES_COUNT] = {
    "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec",
    "January|February|March|April|May|June|July|August|September|October|November|December",
    "Mon|Tue|Wed|Thu|Fri|Sat|Sun",
    "Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday",
    "s|m|h|d|mon|y",
    "second|minute|hour|day|month|year",
    "seconds|minutes|hours|days|months|years",
    "sec,secs|mn,min,mins|hrs||mo,mos|yrs",
};

// Field labels when the message texts are not at hand.
struct Label {
    int id;
    const char* text;
};
const Label kLabels[] = {
    {MSG_LABEL_SECONDS, "seconds"},   {MSG_LABEL_MINUTES, "minutes"},     {MSG_LABEL_HOURS, "hours"},
    {MSG_LABEL_DAY, "day"},           {MSG_LABEL_WEEKDAY, "weekday"},     {MSG_LABEL_MONTH, "month"},
    {MSG_LABEL_MONTH_NAME, "month name"}, {MSG_LABEL_YEAR, "year"},       {MSG_LABEL_MARKER, "AM/PM"},
    {MSG_LABEL_WEEK, "week"},         {MSG_LABEL_DAY_OF_YEAR, "day of year"},
};

// Duration units: letter, length in microseconds, label.
const char kUnitLetter[ZRK_UNIT_COUNT] = {'S', 'N', 'H', 'D', 'M', 'Y'};
const int64_t kUnitLength[ZRK_UNIT_COUNT] = {
    CTimeEx::kUsPerSecond,       60 * CTimeEx::kUsPerSecond,   3600 * CTimeEx::kUsPerSecond,
    CTimeEx::kUsPerDay,          30 * CTimeEx::kUsPerDay,      360 * CTimeEx::kUsPerDay,
};
const int kUnitLabel[ZRK_UNIT_COUNT] = {MSG_LABEL_SECONDS, MSG_LABEL_MINUTES, MSG_LABEL_HOURS,
                                        MSG_LABEL_DAY,     MSG_LABEL_MONTH,   MSG_LABEL_YEAR};

// Duration descriptors and the patterns they stand for.
struct Descriptor {
    const char* text;
    const char* pattern;
};
const Descriptor kDescriptors[] = {
    {"+HM,,,H", "%Hd%.0N"},
    {"+DHM,,,D", "%Dd%H%.0N"},
    {"+DHMS,,,S", "%D%H%N%.0Sd"},
    {"+DHM,,,M", "%D%H%.0Nd"},
    {"\xA7,+YOD,,,O", "%Yl%Mld%Dl"},
};

// Widths and precisions beyond this are taken as this: no time field needs
// more, and a pattern from outside must not make us write megabytes.
constexpr int kMaxWidth = 64;
// The value range in whole days, with room for a day's worth of time.
constexpr int64_t kMaxDay = INT64_MAX / CTimeEx::kUsPerDay - 1;
constexpr int64_t kMinDay = INT64_MIN / CTimeEx::kUsPerDay + 1;

// ---- small helpers -------------------------------------------------------------

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

int64_t FloorMod(int64_t a, int64_t b) { return a - FloorDiv(a, b) * b; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return ZrkIsSpace(static_cast<unsigned char>(c)); }
// Letters of names: ASCII letters and every byte above 127 (local names).
bool IsNameChar(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u >= 128;
}
// The separators accepted between any two fields of a text.
bool IsSeparator(char c) { return c != 0 && (IsBlank(c) || std::strchr("/;,:", c) != nullptr); }
char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (ToLower(*a) != ToLower(*b)) return false;
    return *a == *b;
}

// Whether TEXT begins with PREFIX (non-empty), without regard to case.
bool StartsNoCase(const char* text, const std::string& prefix) {
    if (prefix.empty()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (text[i] == 0 || ToLower(text[i]) != ToLower(prefix[i])) return false;
    return true;
}

std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool IsBlankText(const char* s) {
    for (; *s; ++s)
        if (!IsBlank(*s)) return false;
    return true;
}

void SkipBlanks(const char* text, size_t* p) {
    while (IsBlank(text[*p])) ++*p;
}

void SkipSeparators(const char* text, size_t* p) {
    while (IsSeparator(text[*p])) ++*p;
}

std::vector<std::string> Split(const char* text, char sep) {
    std::vector<std::string> parts;
    if (!text || !*text) return parts;
    std::string cur;
    for (const char* p = text;; ++p) {
        if (*p == sep || *p == 0) {
            parts.push_back(cur);
            cur.clear();
            if (*p == 0) break;
        } else {
            cur += *p;
        }
    }
    return parts;
}

// Seconds as whole microseconds, cut rather than rounded; a product that
// lies within a hair of a whole number (0.1 s is 99999.99999... us in
// binary) is taken as that number. False when it does not fit.
bool SecondsToMicros(double seconds, int64_t* us) {
    if (!std::isfinite(seconds)) return false;
    double x = seconds * 1e6;
    if (!(std::fabs(x) < 9.2e18)) return false;
    double whole = std::nearbyint(x);
    *us = static_cast<int64_t>(std::fabs(x - whole) <= 1e-4 ? whole : std::trunc(x));
    return true;
}

int64_t Saturate(bool overflow, int64_t value, bool negative) {
    if (!overflow) return value;
    return negative ? INT64_MIN : INT64_MAX;
}

// ---- writing numbers -------------------------------------------------------------

// Rewrites printf's exponent form ("1.5e-05", "1.2345679e+08") in fixed
// notation with the same digits.
std::string ExpandExponent(const std::string& s) {
    size_t e = s.find_first_of("eE");
    if (e == std::string::npos) return s;
    std::string mantissa = s.substr(0, e);
    int exponent = std::atoi(s.c_str() + e + 1);
    bool negative = !mantissa.empty() && mantissa[0] == '-';
    std::string digits;
    int intDigits = 0;
    bool seenPoint = false;
    for (char c : mantissa) {
        if (IsDigit(c)) {
            digits += c;
            if (!seenPoint) ++intDigits;
        } else if (c == '.') {
            seenPoint = true;
        }
    }
    int point = intDigits + exponent;  // digits before the decimal point
    std::string out;
    if (point <= 0) {
        out = "0." + std::string(static_cast<size_t>(-point), '0') + digits;
    } else if (point >= static_cast<int>(digits.size())) {
        out = digits + std::string(static_cast<size_t>(point) - digits.size(), '0');
    } else {
        out = digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
    }
    return negative ? "-" + out : out;
}

// A number as the format language writes it: eight significant digits
// ("%.8lg", "0" below 1e-8), the integer part padded with zeros to WIDTH,
// the fraction cut (not rounded) or padded to PRECISION digits when one is
// given. Whole numbers of 1e8 and above are written in full.
std::string WriteNumber(double x, int width, int precision) {
    char buf[64];
    std::string s;
    if (!std::isfinite(x) || std::fabs(x) < 1e-8) {
        s = "0";
    } else if (std::fabs(x) >= 1e8) {
        std::snprintf(buf, sizeof buf, "%.0f", std::trunc(x));
        s = buf;
    } else {
        std::snprintf(buf, sizeof buf, "%.8lg", x);
        s = ExpandExponent(buf);
    }
    bool negative = s[0] == '-';
    if (negative) s.erase(0, 1);
    size_t point = s.find('.');
    std::string whole = s.substr(0, point);
    std::string fraction = point == std::string::npos ? std::string() : s.substr(point + 1);
    if (static_cast<int>(whole.size()) < width) whole.insert(0, static_cast<size_t>(width) - whole.size(), '0');
    if (precision >= 0) {
        if (static_cast<int>(fraction.size()) > precision)
            fraction.resize(static_cast<size_t>(precision));
        else
            fraction.append(static_cast<size_t>(precision) - fraction.size(), '0');
    }
    std::string out = whole;
    if (!fraction.empty()) out += "." + fraction;
    // A cut that leaves only zeros does not keep its sign ("-0").
    if (negative && out.find_first_not_of("0.") != std::string::npos) out.insert(0, "-");
    return out;
}

bool IsZeroNumber(const std::string& s) { return s.find_first_not_of("-0.") == std::string::npos; }

// Reads the digits of a width or precision at *P, at most kMaxWidth.
int ReadCount(const char* s, size_t* p) {
    int n = 0;
    while (IsDigit(s[*p])) {
        n = std::min(kMaxWidth, n * 10 + (s[*p] - '0'));
        ++*p;
    }
    return n;
}

// Reads a number at *P: up to MAXDIGITS digits, then with FRACTION a "."
// and its digits. Returns the digits of the integer part read (0: none).
int ReadNumber(const char* text, size_t* p, int maxDigits, bool fraction, double* value) {
    int digits = 0;
    double v = 0;
    while (digits < maxDigits && IsDigit(text[*p])) {
        v = v * 10 + (text[*p] - '0');
        ++digits;
        ++*p;
    }
    if (fraction && text[*p] == '.' && (digits > 0 || IsDigit(text[*p + 1]))) {
        ++*p;
        double scale = 0.1;
        while (IsDigit(text[*p])) {
            v += (text[*p] - '0') * scale;
            scale /= 10;
            ++*p;
        }
        if (digits == 0) digits = 1;  // ".5": a number all the same
    }
    *value = v;
    return digits;
}

int UnitOfLetter(char letter) {
    for (int u = 0; u < ZRK_UNIT_COUNT; ++u)
        if (kUnitLetter[u] == letter) return u;
    return -1;
}

}  // namespace

// ---- the calendar ----------------------------------------------------------------

int CTimeEx::MonthLength(int64_t year, int month) {
    switch (month) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12: return 31;
    case 4: case 6: case 9: case 11: return 30;
    case 2: {
        bool leap = year % 4 == 0 && (year <= 1581 || !(year % 100 == 0 && year % 400 != 0));
        return leap ? 29 : 28;
    }
    default: return 30;
    }
}

bool CTimeEx::IsValidDate(int64_t year, int month, int day) {
    if (month < 1 || month > 12 || day < 1 || day > MonthLength(year, month)) return false;
    // The days dropped at the change of calendar.
    return !(year == 1582 && month == 12 && day >= 10 && day <= 19);
}

int64_t CTimeEx::DayNumberOf(int64_t year, int month, int day) {
    // Count from March of year -4800 so that the leap day ends a year.
    int64_t a = (14 - month) / 12;
    int64_t y = year + 4800 - a;
    int64_t m = month + 12 * a - 3;
    int64_t days = day + FloorDiv(153 * m + 2, 5) + 365 * y + FloorDiv(y, 4);
    bool julian = year < 1582 || (year == 1582 && (month < 12 || (month == 12 && day < 20)));
    if (julian) return days - 32083;
    return days - FloorDiv(y, 100) + FloorDiv(y, 400) - 32045;
}

void CTimeEx::DateOf(int64_t jdn, int64_t* year, int* month, int* day) {
    jdn = std::clamp(jdn, kMinDay, kMaxDay);
    int64_t b = 0, c = 0;
    if (jdn >= kJdnGregorian) {
        int64_t a = jdn + 32044;
        b = FloorDiv(4 * a + 3, 146097);
        c = a - FloorDiv(146097 * b, 4);
    } else {
        c = jdn + 32082;
    }
    int64_t d = FloorDiv(4 * c + 3, 1461);
    int64_t e = c - FloorDiv(1461 * d, 4);
    int64_t m = FloorDiv(5 * e + 2, 153);
    *day = static_cast<int>(e - FloorDiv(153 * m + 2, 5) + 1);
    *month = static_cast<int>(m + 3 - 12 * FloorDiv(m, 10));
    *year = 100 * b + d - 4800 + FloorDiv(m, 10);
}

// ---- CTimeEx ------------------------------------------------------------------------

int64_t CTimeEx::DayNumber() const { return FloorDiv(m_us, kUsPerDay); }
int64_t CTimeEx::TimeOfDay() const { return FloorMod(m_us, kUsPerDay); }

CTimeEx operator-(const CTimeEx& a, const CTimeEx& b) {
    int64_t r;
    bool overflow = __builtin_sub_overflow(a.m_us, b.m_us, &r);
    return CTimeEx(Saturate(overflow, r, a.m_us < b.m_us));
}

CTimeEx operator+(const CTimeEx& a, const CTimeEx& b) {
    int64_t r;
    bool overflow = __builtin_add_overflow(a.m_us, b.m_us, &r);
    return CTimeEx(Saturate(overflow, r, a.m_us < 0));
}

CTimeEx CTimeEx::Now(bool universal) {
    zrkos::SystemTime t = zrkos::Now(universal);
    int64_t jdn = DayNumberOf(t.year, t.month, t.day);
    int64_t seconds = (static_cast<int64_t>(t.hour) * 60 + t.minute) * 60 + t.second;
    return CTimeEx(jdn * kUsPerDay + seconds * kUsPerSecond + static_cast<int64_t>(t.millisecond) * 1000);
}

int CTimeEx::FromParts(int year, int month, int day, int hour, int minute, double seconds, CTimeError* err) {
    if (year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && seconds == 0) {
        m_us = 0;
        return 0;
    }
    bool valid = IsValidDate(year, month, day) && hour >= 0 && hour <= 24 && minute >= 0 && minute <= 59 &&
                 seconds >= 0 && seconds < 60 && (hour < 24 || (minute == 0 && seconds == 0));
    int64_t jdn = valid ? DayNumberOf(year, month, day) : 0;
    int64_t fraction = 0;
    if (valid) valid = jdn >= kMinDay && jdn <= kMaxDay && SecondsToMicros(seconds, &fraction);
    if (!valid) {
        if (err) {
            *err = CTimeError();
            err->code = ZRK_BADTIME;
            err->msgId = MSG_BAD_TIME_FIELDS;
            err->message.FormatId(MSG_BAD_TIME_FIELDS);
            return ZRK_BADTIME;
        }
        return ZrkErrorId(ZRK_BADTIME, MSG_BAD_TIME_FIELDS);
    }
    m_us = jdn * kUsPerDay + (static_cast<int64_t>(hour) * 3600 + minute * 60) * kUsPerSecond + fraction;
    return 0;
}

int CTimeEx::FromParts(const CTimeParts& p, CTimeError* err) {
    return FromParts(p.year, p.month, p.day, p.hour, p.minute, p.seconds, err);
}

void CTimeEx::ToParts(CTimeParts* p) const {
    int64_t jdn = DayNumber();
    int64_t tod = TimeOfDay();
    int64_t year;
    DateOf(jdn, &year, &p->month, &p->day);
    p->year = static_cast<int>(year);
    p->hour = static_cast<int>(tod / (3600 * kUsPerSecond));
    p->minute = static_cast<int>(tod / (60 * kUsPerSecond) % 60);
    p->seconds = static_cast<double>(tod % (60 * kUsPerSecond)) / kUsPerSecond;
    p->dayOfYear = static_cast<int>(jdn - DayNumberOf(year, 1, 1) + 1);
    p->weekday = static_cast<int>(FloorMod(jdn, 7) + 1);
    int k = p->dayOfYear - p->weekday;
    p->week = k >= 0 ? k / 7 + 1 : 0;
}

CTimeParts CTimeEx::Parts() const {
    CTimeParts p;
    ToParts(&p);
    return p;
}

int CTimeEx::SetSpan(int years, int months, int days, int hours, int minutes, double seconds) {
    // Whole minutes cannot overflow from int parts; their microseconds can.
    int64_t wholeMinutes = (((static_cast<int64_t>(years) * 12 + months) * 30 + days) * 24 + hours) * 60 + minutes;
    int64_t us = 0, total = 0, fraction = 0;
    if (__builtin_mul_overflow(wholeMinutes, 60 * kUsPerSecond, &us) || !SecondsToMicros(seconds, &fraction) ||
        __builtin_add_overflow(us, fraction, &total))
        return ZrkErrorId(ZRK_BADTIME, MSG_BAD_TIME_FIELDS);
    m_us = total;
    return 0;
}

void CTimeEx::FromArchiveSeconds(uint32_t seconds) {
    m_us = (kJdnUnixEpoch * 86400 + static_cast<int64_t>(seconds)) * kUsPerSecond;
}

uint32_t CTimeEx::ToArchiveSeconds() const {
    int64_t s = m_us / kUsPerSecond - kJdnUnixEpoch * 86400;
    return static_cast<uint32_t>(std::clamp<int64_t>(s, 0, UINT32_MAX));
}

int CTimeEx::FromUnixSeconds(double seconds) {
    if (!std::isfinite(seconds)) return ZRK_INTERNAL_ERROR();
    double ms = seconds * 1000;
    double whole = std::nearbyint(ms);
    ms = std::fabs(ms - whole) <= 1e-6 ? whole : std::trunc(ms);
    double total = ms + static_cast<double>(kJdnUnixEpoch * 86400 * 1000);
    if (!(std::fabs(total) < 9.2e15)) return ZRK_INTERNAL_ERROR();
    m_us = static_cast<int64_t>(total) * 1000;
    return 0;
}

void CTimeEx::FromFileTime(int64_t fileTime) {
    m_us = fileTime == 0 ? 0 : kJdnFileTimeEpoch * kUsPerDay + FloorDiv(fileTime, 10);
}

int CTimeEx::ToFileTime(int64_t* fileTime) const {
    *fileTime = 0;
    if (m_us == 0) return 0;
    int64_t since = m_us - kJdnFileTimeEpoch * kUsPerDay;
    if (since < 0 || since > INT64_MAX / 10) return ZRK_INTERNAL_ERROR();
    *fileTime = since * 10;
    return 0;
}

int CTimeEx::Compare(const CTimeEx& a, const CTimeEx& b, double tolerance) {
    int64_t d = (a - b).m_us;
    double t = std::isfinite(tolerance) ? std::trunc(tolerance * 1e6) : 0;
    if (t >= 1) {
        int64_t limit = t >= 9.2e18 ? INT64_MAX : static_cast<int64_t>(t);
        if (d >= limit) return 1;
        if (d <= -limit) return -1;
        return 0;
    }
    return a.m_us > b.m_us ? 1 : (a.m_us < b.m_us ? -1 : 0);
}

CString CTimeEx::Format(const char* patternOrName) const {
    CTimeFormat* f = ZrkFormatManager()->Resolve(patternOrName, false);
    return f ? f->Format(*this) : CString();
}

CString CTimeEx::FormatDate(bool interchange) const { return Format(interchange ? "DateInter" : "Date"); }

int CTimeEx::Parse(const char* text, const char* patternOrName, CTimeError* err) {
    CTimeFormat* f = ZrkFormatManager()->Resolve(patternOrName, false);
    if (!f) return ZRK_INTERNAL_ERROR();  // the program names a format that does not exist
    CTimeEx value;
    int r = f->Parse(text, &value, err);
    if (r == 0) *this = value;
    return r;
}

CString CTimeEx::FormatSpan(const char* patternOrName, unsigned alwaysShown) const {
    CTimeFormat* f = ZrkFormatManager()->Resolve(patternOrName, true);
    return f ? f->FormatSpan(*this, alwaysShown) : CString();
}

int CTimeEx::ParseSpan(const char* text, const char* patternOrName, CTimeError* err) {
    CTimeFormat* f = ZrkFormatManager()->Resolve(patternOrName, true);
    if (!f) return ZRK_INTERNAL_ERROR();
    CTimeEx value;
    int r = f->ParseSpan(text, &value, err);
    if (r == 0) *this = value;
    return r;
}

// ---- CTimeFormat ----------------------------------------------------------------------

CTimeFormat::CTimeFormat(const char* name, bool duration, const CFormatManager* manager)
    : m_name(name ? name : ""), m_duration(duration), m_manager(manager) {}

const CFormatManager& CTimeFormat::Manager() const { return m_manager ? *m_manager : *ZrkFormatManager(); }

void CTimeFormat::SetMarkers(const char* am, const char* pm) {
    m_am = am ? am : "";
    m_pm = pm ? pm : "";
}

int CTimeFormat::SetPattern(const char* pattern) {
    if (!pattern) pattern = "";
    m_pattern = pattern;
    m_am = "Am";
    m_pm = "Pm";
    m_valid = false;
    ZRK_TRY(Compile(pattern));
    m_valid = true;
    return 0;
}

// Splits the pattern into literal texts and directives, then builds the
// fields that reading a text goes through.
int CTimeFormat::Compile(const char* pattern) {
    m_items.clear();
    m_fields.clear();
    const char* letters = m_duration ? "DHMNSY" : "ABDHIJMNPSWY";
    std::string literal;
    size_t i = 0;
    while (pattern[i]) {
        if (pattern[i] != '%') {
            literal += pattern[i++];
            continue;
        }
        Item item;
        item.literal = false;
        size_t j = i + 1;
        if (IsDigit(pattern[j])) item.width = ReadCount(pattern, &j);
        if (pattern[j] == '.') {
            ++j;
            item.precision = ReadCount(pattern, &j);
        }
        if (pattern[j] == 0) {
            // A directive cut off by the end of the pattern.
            m_items.clear();
            return ZRK_INTERNAL_ERROR();
        }
        char c = pattern[j++];
        item.letter = ToUpper(c);
        if (!std::strchr(letters, item.letter)) {
            m_items.clear();
            ZRK_INTERNAL_ERROR();
            return ZrkErrorId(ZRK_INTERNAL, MSG_BAD_PATTERN_LETTER, static_cast<int>(static_cast<unsigned char>(c)), pattern);
        }
        for (;; ++j) {
            if (pattern[j] == 'i')
                item.builtin = true;
            else if (pattern[j] == 'l')
                item.longForm = true;
            else if (pattern[j] == 'd')
                item.mark = true;
            else
                break;
        }
        if (!literal.empty()) {
            Item text;
            text.text = literal;
            m_items.push_back(text);
            literal.clear();
        }
        m_items.push_back(item);
        i = j;
    }
    if (!literal.empty()) {
        Item text;
        text.text = literal;
        m_items.push_back(text);
    }

    if (m_duration) {
        unsigned named = 0;
        for (const Item& item : m_items) {
            if (item.literal) continue;
            Field f;
            f.kind = Field::UNIT;
            f.letter = item.letter;
            f.unit = UnitOfLetter(item.letter);
            f.label = kUnitLabel[f.unit];
            m_fields.push_back(f);
            named |= ZrkUnitBit(f.unit);
        }
        // Every unit may be typed: those the pattern leaves out follow as
        // optional fields, largest first.
        for (int u = ZRK_UNIT_YEAR; u >= ZRK_UNIT_SECOND; --u) {
            if (named & ZrkUnitBit(u)) continue;
            Field f;
            f.kind = Field::UNIT;
            f.letter = kUnitLetter[u];
            f.unit = u;
            f.label = kUnitLabel[u];
            f.optional = true;
            m_fields.push_back(f);
        }
        return 0;
    }

    bool hasHour = false, hasMarker = false;
    for (const Item& item : m_items) {
        Field f;
        if (item.literal) {
            f.text = Trimmed(item.text);
            if (!f.text.empty()) m_fields.push_back(f);
            continue;
        }
        f.letter = item.letter;
        f.kind = Field::NUMBER;
        f.maxDigits = 2;
        switch (item.letter) {
        case 'A':
            f.kind = Field::NAME;
            f.list = item.longForm ? ZRK_NAMES_DAY_LONG : ZRK_NAMES_DAY_SHORT;
            f.builtin = item.builtin;
            f.label = MSG_LABEL_WEEKDAY;
            break;
        case 'B':
            f.kind = Field::NAME;
            f.list = item.longForm ? ZRK_NAMES_MONTH_LONG : ZRK_NAMES_MONTH_SHORT;
            f.builtin = item.builtin;
            f.label = MSG_LABEL_MONTH_NAME;
            break;
        case 'D': f.label = MSG_LABEL_DAY; break;
        case 'H':
        case 'I':
            f.label = MSG_LABEL_HOURS;
            hasHour = true;
            break;
        case 'J':
            f.label = MSG_LABEL_DAY_OF_YEAR;
            f.maxDigits = 3;
            break;
        case 'M': f.label = MSG_LABEL_MONTH; break;
        case 'N': f.label = MSG_LABEL_MINUTES; break;
        case 'P':
            f.kind = Field::MARKER;
            f.label = MSG_LABEL_MARKER;
            hasMarker = true;
            break;
        case 'S':
            f.label = MSG_LABEL_SECONDS;
            f.maxDigits = 9;
            f.fraction = true;
            break;
        case 'W': f.label = MSG_LABEL_WEEK; break;
        case 'Y':
            f.label = MSG_LABEL_YEAR;
            f.maxDigits = 4;
            break;
        default: return ZRK_INTERNAL_ERROR();
        }
        m_fields.push_back(f);
    }
    // A time read with a 24-hour pattern may still carry a marker.
    if (hasHour && !hasMarker) {
        Field f;
        f.kind = Field::MARKER;
        f.letter = 'P';
        f.label = MSG_LABEL_MARKER;
        m_fields.push_back(f);
    }
    return 0;
}

CString CTimeFormat::Format(const CTimeEx& value) const {
    if (!m_valid || m_duration || value.IsEmpty()) return CString();
    const CTimeParts t = value.Parts();
    const CFormatManager& names = Manager();
    std::string out;
    for (const Item& item : m_items) {
        if (item.literal) {
            out += item.text;
            continue;
        }
        double number = 0;
        switch (item.letter) {
        case 'A':
            out += names.NameOf(item.longForm ? ZRK_NAMES_DAY_LONG : ZRK_NAMES_DAY_SHORT, t.weekday - 1,
                                item.builtin).c_str();
            continue;
        case 'B':
            out += names.NameOf(item.longForm ? ZRK_NAMES_MONTH_LONG : ZRK_NAMES_MONTH_SHORT, t.month - 1,
                                item.builtin).c_str();
            continue;
        case 'P': out += t.hour < 12 ? "AM" : "PM"; continue;
        case 'D': number = t.day; break;
        case 'H': number = t.hour; break;
        case 'I': number = t.hour % 12 == 0 ? 12 : t.hour % 12; break;
        case 'J': number = t.dayOfYear; break;
        case 'M': number = t.month; break;
        case 'N': number = t.minute; break;
        case 'S': number = t.seconds; break;
        case 'W': number = t.week; break;
        case 'Y':
            if (item.width == 2 && t.year >= 1950 && t.year <= 2049) {
                out += WriteNumber(t.year % 100, 2, item.precision);
                continue;
            }
            number = t.year;
            break;
        default: return CString();
        }
        out += WriteNumber(number, item.width, item.precision);
    }
    return CString(out.c_str(), static_cast<int>(out.size()));
}

int CTimeFormat::Fail(int label, int position, const char* text, CTimeError* err) const {
    CString labelText = Manager().LabelText(label);
    if (err) {
        *err = CTimeError();
        err->code = ZRK_BADTIME;
        err->msgId = MSG_BAD_TIME_TEXT;
        err->label = label;
        err->position = position;
        err->message.FormatId(MSG_BAD_TIME_TEXT, labelText.c_str(), text);
        return ZRK_BADTIME;
    }
    return ZrkErrorId(ZRK_BADTIME, MSG_BAD_TIME_TEXT, labelText.c_str(), text);
}

namespace {

// What reading a date text found, by directive letter.
struct Scan {
    bool have[26] = {};
    double value[26] = {};
    int digits[26] = {};
    int pos[26] = {};
    int marker = 0;  // 1 AM, 2 PM
    bool Has(char c) const { return have[c - 'A']; }
    double Value(char c) const { return value[c - 'A']; }
    int Pos(char c) const { return pos[c - 'A']; }
};

}  // namespace

int CTimeFormat::Parse(const char* text, CTimeEx* value, CTimeError* err) const {
    if (err) *err = CTimeError();
    if (m_duration) return ZRK_INTERNAL_ERROR();
    if (!m_valid) return ZRK_INTERNAL;  // reported when the pattern was set
    if (!text) text = "";
    if (IsBlankText(text) || std::strchr(text, '?')) {
        *value = CTimeEx();
        return 0;
    }
    const CFormatManager& names = Manager();
    Scan s;
    size_t p = 0;
    int lastLabel = 0;
    for (size_t fi = 0; fi < m_fields.size(); ++fi) {
        const Field& f = m_fields[fi];
        if (f.kind == Field::SEPARATOR) {
            // The pattern's own text, or any of the usual separators; when
            // neither is there the next field tells what is wrong.
            SkipBlanks(text, &p);
            if (StartsNoCase(text + p, f.text))
                p += f.text.size();
            else
                SkipSeparators(text, &p);
            continue;
        }
        SkipSeparators(text, &p);
        const int start = static_cast<int>(p);
        const int idx = f.letter - 'A';
        lastLabel = f.label;
        const char c = text[p];
        bool found = false;
        if (f.kind == Field::NUMBER && IsDigit(c)) {
            s.digits[idx] = ReadNumber(text, &p, f.maxDigits, f.fraction, &s.value[idx]);
            found = true;
        } else if (f.kind == Field::NAME) {
            const int count = (f.list == ZRK_NAMES_DAY_SHORT || f.list == ZRK_NAMES_DAY_LONG) ? 7 : 12;
            int best = -1;
            size_t bestLen = 0;
            for (int i = 0; i < count; ++i) {
                std::string name = names.NameOf(f.list, i, f.builtin).c_str();
                if (name.size() > bestLen && StartsNoCase(text + p, name) && !IsNameChar(text[p + name.size()])) {
                    best = i;
                    bestLen = name.size();
                }
            }
            if (best >= 0) {
                s.value[idx] = best + 1;
                p += bestLen;
                found = true;
            }
        } else if (f.kind == Field::MARKER) {
            for (int m = 1; m <= 2 && !found; ++m) {
                std::string marker = (m == 1 ? m_am : m_pm).c_str();
                if (StartsNoCase(text + p, marker) && !IsNameChar(text[p + marker.size()])) {
                    s.marker = m;
                    p += marker.size();
                    found = true;
                }
            }
            if (found) continue;
        }
        if (found) {
            s.have[idx] = true;
            s.pos[idx] = start;
            continue;
        }
        if (c == 0) continue;  // the text ended: the remaining fields are absent
        // A word where a number belongs may be what a later name or marker
        // field reads ("2:30 PM" against a pattern with seconds).
        bool laterWord = false;
        for (size_t k = fi + 1; k < m_fields.size(); ++k)
            if (m_fields[k].kind == Field::NAME || m_fields[k].kind == Field::MARKER) laterWord = true;
        if (f.kind == Field::NUMBER && IsNameChar(c) && laterWord) continue;
        return Fail(f.label, start, text, err);
    }
    SkipSeparators(text, &p);
    if (text[p]) return Fail(lastLabel, static_cast<int>(p), text, err);

    // The hour, by the marker.
    int hour = 0, minute = 0;
    double seconds = 0;
    const char hourLetter = s.Has('H') ? 'H' : 'I';
    const bool hasHour = s.Has(hourLetter);
    if (hasHour) {
        long h = std::lround(s.Value(hourLetter));
        if (s.marker == 0) {
            if (h < 0 || h > 24) return Fail(MSG_LABEL_HOURS, s.Pos(hourLetter), text, err);
        } else {
            if (h < 0 || h > 12) return Fail(MSG_LABEL_HOURS, s.Pos(hourLetter), text, err);
            if (s.marker == 2 && h >= 1 && h <= 11) h += 12;
            if (s.marker == 1 && h == 12) h = 0;
        }
        hour = static_cast<int>(h);
    }
    if (s.Has('N')) {
        double v = s.Value('N');
        if (v < 0 || v > 59) return Fail(MSG_LABEL_MINUTES, s.Pos('N'), text, err);
        minute = static_cast<int>(v);
    }
    if (s.Has('S')) {
        seconds = s.Value('S');
        if (!(seconds >= 0 && seconds < 60)) return Fail(MSG_LABEL_SECONDS, s.Pos('S'), text, err);
    }

    // The date. Month numbers and days out of range are remembered: an
    // all-zero date ("00/00/00") stands for no date.
    int month = 0, day = 0, year = 0;
    int badLabel = 0, badPos = INT_MAX;
    if (s.Has('M')) {
        month = static_cast<int>(s.Value('M'));
        if (month < 1 || month > 12) {
            badLabel = MSG_LABEL_MONTH;
            badPos = s.Pos('M');
        }
    } else if (s.Has('B')) {
        month = static_cast<int>(s.Value('B'));
    }
    if (s.Has('D')) {
        day = static_cast<int>(s.Value('D'));
        if ((day < 1 || day > 31) && s.Pos('D') < badPos) {
            badLabel = MSG_LABEL_DAY;
            badPos = s.Pos('D');
        }
    }
    if (s.Has('Y')) {
        year = static_cast<int>(s.Value('Y'));
        if (s.digits['Y' - 'A'] <= 2) year += year >= 50 ? 1900 : 2000;
    }
    if (badLabel != 0) {
        if (month != 0 || day != 0 || (s.Has('Y') && year != 2000)) return Fail(badLabel, badPos, text, err);
        *value = CTimeEx();
        return 0;
    }
    if (s.Has('M') || s.Has('B') || s.Has('D') || s.Has('Y')) {
        if (!s.Has('Y')) year = zrkos::Now(false).year;
        if (!s.Has('M') && !s.Has('B') && !s.Has('D') && s.Has('J')) {
            // A year and a day of the year.
            int64_t first = CTimeEx::DayNumberOf(year, 1, 1);
            int64_t length = CTimeEx::DayNumberOf(year + 1, 1, 1) - first;
            int64_t j = static_cast<int64_t>(s.Value('J'));
            if (j < 1 || j > length) return Fail(MSG_LABEL_DAY_OF_YEAR, s.Pos('J'), text, err);
            int64_t y;
            CTimeEx::DateOf(first + j - 1, &y, &month, &day);
        }
        if (month >= 1 && month <= 12 && day > CTimeEx::MonthLength(year, month))
            return Fail(MSG_LABEL_DAY, s.Pos('D'), text, err);
        CTimeEx result;
        ZRK_TRY(result.FromParts(year, month, day, hour, minute, seconds, err));
        *value = result;
        return 0;
    }
    if (hasHour || s.Has('N') || s.Has('S')) {
        // A time of day without a date.
        int64_t fraction = 0;
        SecondsToMicros(seconds, &fraction);
        *value = CTimeEx((static_cast<int64_t>(hour) * 3600 + minute * 60) * CTimeEx::kUsPerSecond + fraction);
        return 0;
    }
    *value = CTimeEx();
    return 0;
}

// One walk over a duration pattern (see FormatSpan). FORCED is the index
// of a directive written even though it is 0 (-1: none).
std::string CTimeFormat::SpanPass(const double* values, unsigned alwaysShown, int forced, bool* wrote) const {
    const CFormatManager& names = Manager();
    std::string out, pending;
    bool previousWritten = true;
    bool first = true;
    *wrote = false;
    for (size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        if (item.literal) {
            pending += item.text;
            continue;
        }
        const int unit = UnitOfLetter(item.letter);
        const bool isForced = static_cast<int>(i) == forced;
        const std::string number = WriteNumber(isForced ? 0 : values[unit], item.width, item.precision);
        const bool show = isForced || !IsZeroNumber(number) || (alwaysShown & ZrkUnitBit(unit));
        // The text before the first directive is always written; the text
        // between two directives only when both are: "1d 5m", never "1d "
        // for hours left out.
        bool textWritten = false;
        if (first) {
            out += pending;
            textWritten = !pending.empty();
            first = false;
        }
        if (show) {
            if (!textWritten && previousWritten && !pending.empty()) {
                out += pending;
                textWritten = true;
            }
            if (!out.empty() && !textWritten && !IsBlank(out.back())) out += ' ';
            out += number;
            if (item.longForm) {
                double shown = std::atof(number.c_str());
                bool plural = shown > 1 || shown < -1;
                out += ' ';
                out += names.NameOf(plural ? ZRK_NAMES_UNIT_PLURAL : ZRK_NAMES_UNIT_SINGULAR, unit, item.builtin).c_str();
            } else {
                out += names.NameOf(ZRK_NAMES_UNIT_ABBREV, unit, item.builtin).c_str();
            }
            *wrote = true;
        }
        previousWritten = show;
        pending.clear();
    }
    out += pending;  // the text after the last directive
    return out;
}

CString CTimeFormat::FormatSpan(const CTimeEx& span, unsigned alwaysShown) const {
    if (!m_valid || !m_duration) return CString();
    unsigned set = 0;
    for (const Item& item : m_items)
        if (!item.literal) set |= ZrkUnitBit(UnitOfLetter(item.letter));
    if (set == 0) return m_pattern;
    int smallest = 0;
    while (!(set & ZrkUnitBit(smallest))) ++smallest;

    // Split from the largest unit down; units the pattern leaves out are
    // carried into the next larger unit it names, the rest below the
    // smallest one becomes that unit's fraction.
    double values[ZRK_UNIT_COUNT] = {};
    int64_t rest = span.Value();
    for (int u = ZRK_UNIT_YEAR; u >= ZRK_UNIT_SECOND; --u) {
        if (!(set & ZrkUnitBit(u))) continue;
        if (u == smallest) {
            values[u] = static_cast<double>(rest) / static_cast<double>(kUnitLength[u]);
        } else {
            int64_t whole = rest / kUnitLength[u];
            values[u] = static_cast<double>(whole);
            rest -= whole * kUnitLength[u];
        }
    }

    bool wrote = false;
    std::string out = SpanPass(values, alwaysShown, -1, &wrote);
    if (!wrote) {
        // Nothing to show: write 0 of the marked unit, else of the smallest.
        int fallback = -1, smallestItem = -1, smallestUnit = ZRK_UNIT_COUNT;
        for (size_t i = 0; i < m_items.size(); ++i) {
            const Item& item = m_items[i];
            if (item.literal) continue;
            if (item.mark) fallback = static_cast<int>(i);
            int unit = UnitOfLetter(item.letter);
            if (unit < smallestUnit) {
                smallestUnit = unit;
                smallestItem = static_cast<int>(i);
            }
        }
        if (fallback < 0) fallback = smallestItem;
        out = SpanPass(values, alwaysShown, fallback, &wrote);
    }
    return CString(out.c_str(), static_cast<int>(out.size()));
}

int CTimeFormat::ParseSpan(const char* text, CTimeEx* span, CTimeError* err) const {
    if (err) *err = CTimeError();
    if (!m_duration) return ZRK_INTERNAL_ERROR();
    if (!m_valid) return ZRK_INTERNAL;  // reported when the pattern was set
    if (!text) text = "";
    if (IsBlankText(text) || std::strchr(text, '?')) {
        *span = CTimeEx();
        return 0;
    }
    const CFormatManager& names = Manager();
    std::vector<const Field*> order;  // the pattern's own fields
    for (const Field& f : m_fields)
        if (!f.optional) order.push_back(&f);

    // Which unit a word names, from every spelling of every unit.
    auto unitOfWord = [&](const std::string& word) -> int {
        for (int u = 0; u < ZRK_UNIT_COUNT; ++u) {
            for (int b = 0; b < 2; ++b) {
                const bool builtin = b == 1;
                for (int list : {ZRK_NAMES_UNIT_ABBREV, ZRK_NAMES_UNIT_SINGULAR, ZRK_NAMES_UNIT_PLURAL}) {
                    CString name = names.NameOf(list, u, builtin);
                    if (!name.IsEmpty() && EqualNoCase(name.c_str(), word.c_str())) return u;
                }
                CString other = names.NameOf(ZRK_NAMES_UNIT_OTHER, u, builtin);
                for (const std::string& alt : Split(other.c_str(), ','))
                    if (!alt.empty() && EqualNoCase(alt.c_str(), word.c_str())) return u;
            }
        }
        return -1;
    };

    double values[ZRK_UNIT_COUNT] = {};
    bool have[ZRK_UNIT_COUNT] = {};
    size_t next = 0;  // the pattern field a number without a word goes to
    size_t p = 0;
    while (true) {
        SkipSeparators(text, &p);
        if (!text[p]) break;
        const int start = static_cast<int>(p);
        const int expected = next < order.size() ? order[next]->label : (order.empty() ? 0 : order.back()->label);
        bool negative = false;
        if (text[p] == '-' || text[p] == '+') negative = text[p++] == '-';
        if (!IsDigit(text[p]) && !(text[p] == '.' && IsDigit(text[p + 1]))) return Fail(expected, start, text, err);
        double v = 0;
        ReadNumber(text, &p, 15, true, &v);
        if (IsDigit(text[p])) return Fail(expected, start, text, err);  // more digits than any unit needs
        SkipBlanks(text, &p);
        std::string word;
        while (text[p] && !IsDigit(text[p]) && !IsSeparator(text[p]) && text[p] != '-' && text[p] != '+')
            word += text[p++];
        int unit;
        if (!word.empty()) {
            unit = unitOfWord(word);
            if (unit < 0 && word.back() == '.') unit = unitOfWord(word.substr(0, word.size() - 1));
            if (unit < 0) return Fail(expected, start, text, err);
            for (size_t k = 0; k < order.size(); ++k)
                if (order[k]->unit == unit) {
                    next = k + 1;
                    break;
                }
        } else {
            if (next >= order.size()) return Fail(expected, start, text, err);
            unit = order[next++]->unit;
        }
        if (have[unit]) return Fail(kUnitLabel[unit], start, text, err);
        have[unit] = true;
        values[unit] = negative ? -v : v;
    }
    double seconds = ((((values[ZRK_UNIT_YEAR] * 12 + values[ZRK_UNIT_MONTH]) * 30 + values[ZRK_UNIT_DAY]) * 24 +
                       values[ZRK_UNIT_HOUR]) * 60 + values[ZRK_UNIT_MINUTE]) * 60 + values[ZRK_UNIT_SECOND];
    int64_t us = 0;
    if (!SecondsToMicros(seconds, &us)) {
        int largest = ZRK_UNIT_YEAR;
        while (largest > 0 && !have[largest]) --largest;
        return Fail(kUnitLabel[largest], 0, text, err);
    }
    *span = CTimeEx(us);
    return 0;
}

// ---- CFormatManager --------------------------------------------------------------------

CFormatManager::CFormatManager() {
    static const struct {
        const char* name;
        bool duration;
    } kNamed[] = {
        {"DateInter", false}, {"TimeInter", false}, {"DateTimeInter", false},
        {"Date", false},      {"LongDate", false},  {"Time", false},
        {"DateTime", false},  {"LongDateTime", false}, {"TimeSpan", true},
    };
    for (const auto& n : kNamed) Add(n.name, n.duration);
    for (int list = 0; list < ZRK_NAMES_COUNT; ++list) SetList(list, true, kBuiltinLists[list]);
}

CFormatManager::~CFormatManager() = default;

CTimeFormat* CFormatManager::Add(const char* name, bool duration) {
    m_formats.push_back(std::make_unique<CTimeFormat>(name, duration, this));
    return m_formats.back().get();
}

int CFormatManager::Initialise() { return Start(false); }
int CFormatManager::InitialiseQuietly() { return Start(true); }

namespace {

// A locale item, or nothing when the system does not tell.
bool LocaleText(int item, CString* text) { return zrkos::LocaleInfo(item, text) && !text->IsEmpty(); }

}  // namespace

int CFormatManager::Start(bool quiet) {
    auto text = [quiet](int id) {
        CString t;
        if (quiet)
            ZrkFindMessageText(id, &t);
        else
            t = ZrkMessageText(id);
        return t;
    };
    for (int list = 0; list < ZRK_NAMES_COUNT; ++list) SetList(list, false, text(kListMessage[list]));

    m_weekSunday = text(MSG_WEEK_PROBE) == "US";
    if (!quiet) {
        if (CProfile* settings = ZrkSettings()) {
            CProfile option(*settings);
            option.SetSection("Option");
            m_weekSunday = option.GetInt("StartSunday", m_weekSunday ? 1 : 0) != 0;
        }
    }

    int result = 0;
    ZRK_KEEP(result, Find("DateInter")->SetPattern("%4Y/%2M/%2D"));
    ZRK_KEEP(result, Find("TimeInter")->SetPattern("%2H:%2N:%2S"));
    ZRK_KEEP(result, Find("DateTimeInter")->SetPattern("%4Y/%2M/%2D %2H:%2N:%2S"));
    ZRK_KEEP(result, Find("TimeSpan")->SetPattern("%d %h %n %.0s"));

    // The user's date patterns; a pattern the locale gets wrong (an open
    // quote) gives way to the default.
    auto datePattern = [](int item, const char* fallback) {
        CString locale, pattern;
        if (LocaleText(item, &locale) && ConvertDatePattern(locale, &pattern) == 0 && !pattern.IsEmpty())
            return pattern;
        ConvertDatePattern(fallback, &pattern);
        return pattern;
    };
    CString date = datePattern(0x1F, "MM/dd/YYYY");
    CString longDate = datePattern(0x20, "dddd dd MMMM YYYY");

    CString value, separator(":");
    bool clock24 = true, markerFirst = false, leadingZero = true;
    if (LocaleText(0x23, &value)) clock24 = value != "0";
    if (LocaleText(0x1005, &value)) markerFirst = value == "1";
    if (LocaleText(0x25, &value)) leadingZero = value != "0";
    if (LocaleText(0x1E, &value)) separator = value;
    CString time = TimePattern(clock24, markerFirst, leadingZero, separator);

    ZRK_KEEP(result, Find("Date")->SetPattern(date));
    ZRK_KEEP(result, Find("LongDate")->SetPattern(longDate));
    ZRK_KEEP(result, Find("Time")->SetPattern(time));
    ZRK_KEEP(result, Find("DateTime")->SetPattern(date + " " + time));
    ZRK_KEEP(result, Find("LongDateTime")->SetPattern(longDate + " " + time));
    return result;
}

CTimeFormat* CFormatManager::Find(const char* name) const {
    if (!name) return nullptr;
    for (const auto& f : m_formats)
        if (EqualNoCase(f->Name().c_str(), name)) return f.get();
    return nullptr;
}

const char* CFormatManager::DescriptorPattern(const char* text) {
    if (!text) return nullptr;
    for (const Descriptor& d : kDescriptors)
        if (std::strcmp(d.text, text) == 0) return d.pattern;
    return nullptr;
}

CTimeFormat* CFormatManager::Resolve(const char* text, bool duration) {
    if (!text || !*text) text = duration ? "TimeSpan" : "DateTime";
    if (duration) {
        if (const char* pattern = DescriptorPattern(text)) text = pattern;
    }
    if (!std::strchr(text, '%')) {
        CTimeFormat* f = Find(text);
        if (!f || f->IsDuration() == duration) return f;
        // A named format used for the other kind: its pattern read that way.
        text = f->PatternText().c_str();
        if (!std::strchr(text, '%')) return nullptr;
    }
    // A pattern: registered once, under its own text.
    for (const auto& f : m_formats)
        if (f->IsDuration() == duration && std::strcmp(f->Name().c_str(), text) == 0) return f.get();
    CString pattern(text);  // TEXT may belong to a format that Add moves
    CTimeFormat* f = Add(pattern, duration);
    f->SetPattern(pattern);
    return f;
}

void CFormatManager::SetList(int list, bool builtin, const char* text) {
    if (list < 0 || list >= ZRK_NAMES_COUNT) return;
    m_lists[list][builtin ? 1 : 0] = Split(text, '|');
}

int CFormatManager::ListSize(int list, bool builtin) const {
    if (list < 0 || list >= ZRK_NAMES_COUNT) return 0;
    return static_cast<int>(m_lists[list][builtin ? 1 : 0].size());
}

CString CFormatManager::NameOf(int list, int index, bool builtin) const {
    if (list < 0 || list >= ZRK_NAMES_COUNT || index < 0) return CString();
    const std::vector<std::string>& local = m_lists[list][0];
    const std::vector<std::string>& fixed = m_lists[list][1];
    size_t i = static_cast<size_t>(index);
    if (!builtin && i < local.size() && !local[i].empty()) return CString(local[i].c_str());
    if (i < fixed.size()) return CString(fixed[i].c_str());
    return CString();
}

CString CFormatManager::LabelText(int labelId) const {
    CString text;
    if (ZrkFindMessageText(labelId, &text) && !text.IsEmpty()) return text;
    for (const Label& l : kLabels)
        if (l.id == labelId) return CString(l.text);
    return CString();
}

int CFormatManager::ConvertDatePattern(const char* locale, CString* pattern) {
    std::string out;
    const char* s = locale ? locale : "";
    size_t i = 0;
    while (s[i]) {
        char c = s[i];
        if (c == '\'') {
            const char* close = std::strchr(s + i + 1, '\'');
            if (!close) return ZRK_PRIVILEGE;  // a quote left open
            out.append(s + i + 1, close);
            i = static_cast<size_t>(close - s) + 1;
            continue;
        }
        char lower = ToLower(c);
        if (lower == 'd' || lower == 'm' || lower == 'y') {
            size_t run = 0;
            while (ToLower(s[i + run]) == lower) ++run;
            i += run;
            if (lower == 'd')
                out += run == 1 ? "%d" : run == 2 ? "%2d" : run == 3 ? "%a" : "%al";
            else if (lower == 'm')
                out += run == 1 ? "%m" : run == 2 ? "%2M" : run == 3 ? "%b" : "%bl";
            else
                out += run == 2 ? "%2y" : "%4y";
            continue;
        }
        // A percent sign cannot be written as text in a pattern.
        if (c != '%') out += c;
        ++i;
    }
    *pattern = CString(out.c_str(), static_cast<int>(out.size()));
    return 0;
}

CString CFormatManager::TimePattern(bool clock24, bool markerFirst, bool leadingZero, const char* separator) {
    std::string sep;
    for (const char* p = separator ? separator : ""; *p; ++p)
        if (*p != '%') sep += *p;
    if (sep.empty()) sep = ":";
    std::string out;
    if (!clock24 && markerFirst) out += "%P ";
    out += clock24 ? (leadingZero ? "%2H" : "%H") : (leadingZero ? "%2I" : "%I");
    out += sep + "%2N" + sep + "%2.0S";
    if (!clock24 && !markerFirst) out += " %P";
    return CString(out.c_str(), static_cast<int>(out.size()));
}

CFormatManager* ZrkFormatManager() {
    if (CModule* module = ZrkFindModule("FormatManager")) return static_cast<CFormatManager*>(module);
    // Without the module (no application, or before start-up): a manager of
    // our own, kept for the life of the process.
    static CFormatManager* own = [] {
        CFormatManager* manager = new CFormatManager;
        manager->InitialiseQuietly();
        return manager;
    }();
    return own;
}

// ---- CTimeChangeManager -------------------------------------------------------------------

void CTimeChangeManager::Add(Callback callback, void* context) { m_entries.push_back(Entry{callback, context}); }

void CTimeChangeManager::Remove(Callback callback, void* context) {
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [&](const Entry& e) { return e.callback == callback && e.context == context; }),
                    m_entries.end());
}

void CTimeChangeManager::Notify() const {
    // A copy: a party may leave the list while being told.
    std::vector<Entry> entries = m_entries;
    for (const Entry& e : entries) e.callback(e.context);
}

// ---- module registration ----------------------------------------------------------------------

namespace {

CModule* CreateFormatManager() { return new CFormatManager; }
CModule* CreateTimeChangeManager() { return new CTimeChangeManager; }

const CModuleRegistration g_formatManager("FormatManager", CreateFormatManager);
const CModuleRegistration g_timeChangeManager("TimeChangeManager", CreateTimeChangeManager);

}  // namespace
