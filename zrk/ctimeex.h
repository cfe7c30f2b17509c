// Dates, times and durations, and the format language they are written and
// read in.
//
// A CTimeEx is a signed 64-bit count of microseconds. Dividing it by one
// day (86,400,000,000 us) gives the Julian Day Number of the day; the rest
// is the time of day. 0 is the empty value ("no date"). The same count also
// serves as a duration. Values carry no time zone.
//
// Dates before 1582-12-20 are in the Julian calendar, dates from then on in
// the Gregorian one; 1582-12-10 .. 1582-12-19 do not exist (1582-12-09 is
// followed by 1582-12-20).
//
// Formats live in the process-wide CFormatManager, the framework module
// "FormatManager". The application object starts it with the other modules
// (ZrkStartModules()); tests that want the module do the same, and stop it
// again with ZrkStopModules(). Without a started module every operation here
// still works: it uses a manager of its own with the built-in names and the
// default patterns, so that tools, tests and the log writer can format times
// without an application.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zrk/cstring.h"
#include "zrk/module.h"

// A value split into its calendar fields.
struct CTimeParts {
    int year = 0;
    int month = 0;       // 1-12
    int day = 0;         // 1-31
    int hour = 0;        // 0-23
    int minute = 0;      // 0-59
    double seconds = 0;  // 0 <= s < 60, the fraction carries the microseconds
    int dayOfYear = 0;   // 1-366
    int weekday = 0;     // 1 Monday .. 7 Sunday
    int week = 0;        // week 1 starts on the year's first Monday; days before it are week 0
};

// Where a caller wants the failure of a conversion kept instead of reported.
struct CTimeError {
    int code = 0;       // 0, or the result of the failure
    int msgId = 0;      // the message that describes it (570 or 572)
    int label = 0;      // for 572: the message id of the failing field's label (573..583)
    int position = -1;  // for 572: offset in the text where that field starts
    CString message;    // the message text with its arguments
};

// Units of durations: index and set bit.
enum ZrkTimeUnit : int {
    ZRK_UNIT_SECOND = 0,
    ZRK_UNIT_MINUTE = 1,
    ZRK_UNIT_HOUR = 2,
    ZRK_UNIT_DAY = 3,
    ZRK_UNIT_MONTH = 4,
    ZRK_UNIT_YEAR = 5,
    ZRK_UNIT_COUNT = 6,
};
constexpr unsigned ZrkUnitBit(int unit) { return 1u << unit; }

class CTimeEx {
public:
    static constexpr int64_t kUsPerSecond = 1000000;
    static constexpr int64_t kUsPerDay = 86400 * kUsPerSecond;
    static constexpr int64_t kJdnUnixEpoch = 2440588;     // 1970-01-01
    static constexpr int64_t kJdnFileTimeEpoch = 2305814; // 1601-01-01
    static constexpr int64_t kJdnGregorian = 2299227;     // 1582-12-20, first Gregorian day
    static constexpr int64_t kUnixEpoch = kJdnUnixEpoch * kUsPerDay;  // 210866803200000000

    constexpr CTimeEx() = default;
    constexpr explicit CTimeEx(int64_t us) : m_us(us) {}

    int64_t Value() const { return m_us; }
    void SetValue(int64_t us) { m_us = us; }
    bool IsEmpty() const { return m_us == 0; }
    void Empty() { m_us = 0; }
    // The Julian Day Number and the microseconds since midnight (both taken
    // so that the time of day is never negative).
    int64_t DayNumber() const;
    int64_t TimeOfDay() const;

    friend bool operator==(const CTimeEx& a, const CTimeEx& b) { return a.m_us == b.m_us; }
    friend auto operator<=>(const CTimeEx& a, const CTimeEx& b) { return a.m_us <=> b.m_us; }
    // Difference of two values (a duration) and a value moved by a duration;
    // both saturate instead of wrapping.
    friend CTimeEx operator-(const CTimeEx& a, const CTimeEx& b);
    friend CTimeEx operator+(const CTimeEx& a, const CTimeEx& b);

    // The clock's date and time to the millisecond, local or universal.
    static CTimeEx Now(bool universal = false);

    // Validates and sets the value from its fields; all six zero gives the
    // empty value. -2010 (message 570, or kept in ERR) on invalid fields.
    int FromParts(int year, int month, int day, int hour, int minute, double seconds,
                  CTimeError* err = nullptr);
    int FromParts(const CTimeParts& parts, CTimeError* err = nullptr);
    void ToParts(CTimeParts* parts) const;
    CTimeParts Parts() const;

    // A duration from parts: a month counts 30 days, a year 12 months.
    // -2010 (message 570) when it does not fit the value range.
    int SetSpan(int years, int months, int days, int hours, int minutes, double seconds);

    // Seconds of the archive format: (JDN 1970-01-01 days + s seconds). Back
    // again, values outside the 32-bit range (before 1970, after 2106, or
    // the empty value) come out as the nearest end of that range.
    void FromArchiveSeconds(uint32_t seconds);
    uint32_t ToArchiveSeconds() const;
    // Seconds since 1970-01-01 00:00, kept to the millisecond. An internal
    // error (value unchanged) for a count that is not finite or out of range.
    int FromUnixSeconds(double seconds);
    // Windows file times: 100 ns units since 1601-01-01 00:00. The count 0
    // is the empty value and the other way round. ToFileTime is an internal
    // error for a value before 1601 (other than empty).
    void FromFileTime(int64_t fileTime);
    int ToFileTime(int64_t* fileTime) const;

    // 1 if a is later than b by at least TOLERANCE seconds, -1 if earlier
    // by at least that, else 0. A tolerance that is 0 (or below one
    // microsecond, or negative) compares exactly.
    static int Compare(const CTimeEx& a, const CTimeEx& b, double tolerance = 0);

    // Format with a pattern (a text with "%") or a format name; nullptr or
    // "" uses "DateTime". The empty value, an unknown name or a bad pattern
    // give an empty text.
    CString Format(const char* patternOrName = nullptr) const;
    // The date alone: "DateInter" for the interchange form, else "Date".
    CString FormatDate(bool interchange = false) const;
    // Parse TEXT with a pattern or format name (nullptr: "DateTime"). 0 and
    // the value; -2010 (message 572 naming the field, or kept in ERR) when
    // the text does not fit. The value is unchanged on failure.
    int Parse(const char* text, const char* patternOrName = nullptr, CTimeError* err = nullptr);

    // Durations: a pattern, a format name or a descriptor ("+HM,,,H" ...);
    // nullptr uses "TimeSpan". ALWAYSSHOWN is a set of ZrkUnitBit units
    // written even when 0.
    CString FormatSpan(const char* patternOrName = nullptr, unsigned alwaysShown = 0) const;
    int ParseSpan(const char* text, const char* patternOrName = nullptr, CTimeError* err = nullptr);

    // The calendar: Julian Day Number of a date (no validation), the date of
    // a day number, the length of a month (30 for a month outside 1-12), and
    // whether the date exists.
    static int64_t DayNumberOf(int64_t year, int month, int day);
    static void DateOf(int64_t jdn, int64_t* year, int* month, int* day);
    static int MonthLength(int64_t year, int month);
    static bool IsValidDate(int64_t year, int month, int day);

private:
    int64_t m_us = 0;
};

class CFormatManager;

// A named pattern, compiled for writing and for reading.
class CTimeFormat {
public:
    // One directive or one literal text of a pattern.
    struct Item {
        bool literal = true;
        std::string text;      // literal text
        char letter = 0;       // directive letter, upper case
        int width = -1;        // -1: none
        int precision = -1;    // -1: none (the fraction is left as written)
        bool builtin = false;  // modifier "i"
        bool longForm = false; // modifier "l"
        bool mark = false;     // modifier "d"
    };
    // One field of the reading grammar.
    struct Field {
        enum Kind { SEPARATOR, NUMBER, NAME, MARKER, UNIT } kind = SEPARATOR;
        std::string text;   // SEPARATOR: the literal (trimmed) it matches
        char letter = 0;    // directive letter
        int label = 0;      // message id of the field's label
        int maxDigits = 0;  // NUMBER: digits taken
        bool fraction = false;
        int list = 0;       // NAME: the name list
        bool builtin = false;
        int unit = 0;       // UNIT: the duration unit
        bool optional = false;  // UNIT: added for a unit the pattern does not name
    };

    // MANAGER supplies the name lists (nullptr: the current manager).
    CTimeFormat(const char* name, bool duration, const CFormatManager* manager = nullptr);

    const CString& Name() const { return m_name; }
    const CString& PatternText() const { return m_pattern; }
    bool IsDuration() const { return m_duration; }
    // False until a pattern was set, and after a pattern that failed.
    bool IsValid() const { return m_valid; }

    // Sets and compiles the pattern and resets the AM/PM markers. A bad
    // pattern is an internal error (with message 571 for an unknown letter)
    // and leaves the format invalid.
    int SetPattern(const char* pattern);
    void SetMarkers(const char* am, const char* pm);
    const CString& AmMarker() const { return m_am; }
    const CString& PmMarker() const { return m_pm; }
    const std::vector<Field>& Fields() const { return m_fields; }

    // Writing and reading with this format: Format and Parse for a date
    // format, FormatSpan and ParseSpan for a duration format (the other
    // kind writes an empty text, and reading is an internal error). An
    // invalid format writes an empty text and reads nothing (ZRK_INTERNAL,
    // reported when its pattern was set).
    CString Format(const CTimeEx& value) const;
    int Parse(const char* text, CTimeEx* value, CTimeError* err = nullptr) const;
    CString FormatSpan(const CTimeEx& span, unsigned alwaysShown = 0) const;
    int ParseSpan(const char* text, CTimeEx* span, CTimeError* err = nullptr) const;

private:
    const CFormatManager& Manager() const;
    int Fail(int label, int position, const char* text, CTimeError* err) const;
    std::string SpanPass(const double* values, unsigned alwaysShown, int forced, bool* wrote) const;
    int Compile(const char* pattern);

    CString m_name;
    CString m_pattern;
    bool m_duration;
    bool m_valid = false;
    CString m_am{"Am"};
    CString m_pm{"Pm"};
    std::vector<Item> m_items;
    std::vector<Field> m_fields;
    const CFormatManager* m_manager;
};

// The name lists the manager holds.
enum ZrkNameList : int {
    ZRK_NAMES_MONTH_SHORT = 0,
    ZRK_NAMES_MONTH_LONG,
    ZRK_NAMES_DAY_SHORT,
    ZRK_NAMES_DAY_LONG,
    ZRK_NAMES_UNIT_ABBREV,
    ZRK_NAMES_UNIT_SINGULAR,
    ZRK_NAMES_UNIT_PLURAL,
    ZRK_NAMES_UNIT_OTHER,  // further spellings read: "a,b" per unit
    ZRK_NAMES_COUNT,
};

// The process-wide formats and names: module "FormatManager".
class CFormatManager : public CModule {
public:
    // Creates the nine named formats with empty patterns and the built-in lists.
    CFormatManager();
    ~CFormatManager() override;
    CFormatManager(const CFormatManager&) = delete;
    CFormatManager& operator=(const CFormatManager&) = delete;

    // Module start: the local name lists from the message texts, the
    // week-start flag, then the patterns of the named formats.
    int Initialise() override;
    int Terminate() override { return 0; }
    // The same start for a manager that runs without an application: texts
    // that are missing are not reported, settings are not read.
    int InitialiseQuietly();

    // A format by name (without regard to case), or nullptr.
    CTimeFormat* Find(const char* name) const;
    // The format a text stands for: nullptr/"" the default ("DateTime", for
    // durations "TimeSpan"), a duration descriptor, a pattern (registered
    // once under its own text), or a name. nullptr for an unknown name.
    CTimeFormat* Resolve(const char* text, bool duration);
    int FormatCount() const { return static_cast<int>(m_formats.size()); }

    // Entry INDEX of a list: the local one unless BUILTIN or missing.
    CString NameOf(int list, int index, bool builtin) const;
    int ListSize(int list, bool builtin) const;
    // Replaces a list with TEXT split at "|".
    void SetList(int list, bool builtin, const char* text);
    // The label of a field for messages (message text, else English).
    CString LabelText(int labelId) const;
    bool WeekStartsSunday() const { return m_weekSunday; }
    void SetWeekStartsSunday(bool on) { m_weekSunday = on; }

    // The duration pattern a descriptor stands for, or nullptr.
    static const char* DescriptorPattern(const char* text);
    // A locale date pattern (letters d, M, y; quoted text) as a pattern;
    // -53 for a quote left open.
    static int ConvertDatePattern(const char* locale, CString* pattern);
    // The time pattern for a clock of 24 hours or 12 (marker before or after
    // the time), hours with or without leading zero, and the separator.
    static CString TimePattern(bool clock24, bool markerFirst, bool leadingZero, const char* separator);

private:
    int Start(bool quiet);
    CTimeFormat* Add(const char* name, bool duration);

    std::vector<std::unique_ptr<CTimeFormat>> m_formats;
    std::vector<std::string> m_lists[ZRK_NAMES_COUNT][2];  // [list][0 local, 1 built-in]
    bool m_weekSunday = false;
};

// The started "FormatManager" module, else a manager of this file's own
// (built-in names, default patterns) started at first use.
CFormatManager* ZrkFormatManager();

// Module "TimeChangeManager": a list of parties to tell about a change of
// the system time.
class CTimeChangeManager : public CModule {
public:
    using Callback = void (*)(void* context);
    int Initialise() override { return 0; }
    int Terminate() override {
        m_entries.clear();
        return 0;
    }
    void Add(Callback callback, void* context);
    void Remove(Callback callback, void* context);
    int Count() const { return static_cast<int>(m_entries.size()); }
    void Notify() const;

private:
    struct Entry {
        Callback callback;
        void* context;
    };
    std::vector<Entry> m_entries;
};
