// Dates, times and durations: the calendar, conversions, the format language
// for writing and reading, durations, the format manager and its module.
//
// Most tests run without the "FormatManager" module: the time functions then
// use a manager of their own with the built-in names. The module test starts
// it the way the application object does, with ZrkStartModules().
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "testutil.h"
#include "zrk/ctimeex.h"
#include "zrk/report.h"

namespace {

constexpr int64_t kSecond = CTimeEx::kUsPerSecond;
constexpr int64_t kMinute = 60 * kSecond;
constexpr int64_t kHour = 60 * kMinute;
constexpr int64_t kDay = CTimeEx::kUsPerDay;

CTimeEx At(int y, int mo, int d, int h = 0, int mi = 0, double s = 0) {
    CTimeEx t;
    EXPECT_EQ(t.FromParts(y, mo, d, h, mi, s), 0) << y << "-" << mo << "-" << d;
    return t;
}

// The text a 572 report of LABEL about TEXT carries.
std::string BadTextMessage(int label, const char* text) {
    CString expected;
    expected.FormatId(MSG_BAD_TIME_TEXT, ZrkFormatManager()->LabelText(label).c_str(), text);
    return Str(expected);
}

// ---- calendar ---------------------------------------------------------------------

TEST(TimeCalendar, DayNumbersRoundTripAcrossTheCalendarChange) {
    struct Case { int y, m, d; int64_t jdn; } cases[] = {
        {1970, 1, 1, 2440588}, {1582, 12, 20, 2299227}, {1582, 12, 9, 2299226}, {-4712, 1, 1, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(CTimeEx::DayNumberOf(c.y, c.m, c.d), c.jdn) << c.y << "-" << c.m;
    // 1582-12-09 is followed by 1582-12-20; each day number maps to one
    // existing date and back, including far-away and negative years.
    for (int64_t base : {int64_t{2299227}, int64_t{0}, int64_t{-800000}, int64_t{5373484}}) {
        for (int64_t jdn = base - 400; jdn <= base + 400; ++jdn) {
            int64_t y;
            int m, d;
            CTimeEx::DateOf(jdn, &y, &m, &d);
            ASSERT_TRUE(CTimeEx::IsValidDate(y, m, d)) << jdn;
            ASSERT_EQ(CTimeEx::DayNumberOf(y, m, d), jdn) << y << "-" << m << "-" << d;
        }
    }
    EXPECT_EQ((At(1582, 12, 20) - At(1582, 12, 9)).Value(), kDay);
}

TEST(TimeCalendar, FromPartsRejectsWhatDoesNotExist) {
    struct Case { int y, mo, d, h, mi; double s; bool ok; } cases[] = {
        {1500, 2, 29, 0, 0, 0, true},   {1900, 2, 29, 0, 0, 0, false},  {2024, 4, 31, 0, 0, 0, false},
        {2024, 13, 1, 0, 0, 0, false},  {2024, 1, 1, 24, 0, 0, true},   {2024, 1, 1, 24, 1, 0, false},
        {2024, 1, 1, 23, 60, 0, false}, {2024, 1, 1, 0, 0, 60, false},  {2024, 1, 1, 0, 0, -0.5, false},
        {1582, 12, 15, 0, 0, 0, false}, {2024, 1, 1, 0, 0, NAN, false}, {300000, 1, 1, 0, 0, 0, false},
        {0, 0, 0, 0, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d << " " << c.h << ":" << c.mi << ":" << c.s);
        CRecordingScope rec;
        CTimeEx t(12345);
        EXPECT_EQ(t.FromParts(c.y, c.mo, c.d, c.h, c.mi, c.s), c.ok ? 0 : ZRK_BADTIME);
        EXPECT_EQ(rec.entries.size(), c.ok ? 0u : 1u);
        if (c.ok) continue;
        EXPECT_EQ(t.Value(), 12345) << "a failure leaves the value";
        EXPECT_EQ(rec.entries[0].msgId, MSG_BAD_TIME_FIELDS);
        EXPECT_EQ(rec.entries[0].code, ZRK_BADTIME);
    }
    // Asked for a record instead, the same message is kept, not reported.
    CRecordingScope rec;
    CTimeError err;
    CTimeEx t;
    EXPECT_EQ(t.FromParts(1900, 2, 29, 0, 0, 0, &err), ZRK_BADTIME);
    EXPECT_TRUE(rec.entries.empty());
    EXPECT_EQ(err.msgId, MSG_BAD_TIME_FIELDS);
    EXPECT_EQ(Str(err.message), "Invalid date or time");
}

TEST(TimeCalendar, DayOfYearWeekdayAndWeek) {
    struct Case { int y, m, d, dayOfYear, weekday, week; } cases[] = {
        {1970, 1, 1, 1, 4, 0},   {1998, 5, 6, 126, 3, 18},   {2024, 1, 1, 1, 1, 1},
        {2000, 12, 31, 366, 7, 52}, {1582, 12, 20, 344, 1, 50},
    };
    for (const Case& c : cases) {
        CTimeParts p = At(c.y, c.m, c.d, 23, 59, 59.999999).Parts();
        EXPECT_EQ(p.day, c.d);
        EXPECT_EQ(p.dayOfYear, c.dayOfYear) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(p.weekday, c.weekday) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(p.week, c.week) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_NEAR(p.seconds, 59.999999, 1e-9);
    }
    // A fraction written in decimal keeps its microseconds.
    EXPECT_EQ(At(2024, 1, 1, 0, 0, 5.1).TimeOfDay(), 5100000);
}

// ---- conversions ------------------------------------------------------------------------

TEST(TimeConversion, ArchiveSecondsFileTimesAndUnixSeconds) {
    EXPECT_EQ(At(1970, 1, 1).Value(), 210866803200000000);
    CTimeEx t;
    t.FromArchiveSeconds(1000000000);
    EXPECT_EQ(t, At(2001, 9, 9, 1, 46, 40));
    EXPECT_EQ(t.ToArchiveSeconds(), 1000000000u);
    t.FromArchiveSeconds(0xFFFFFFFFu);
    EXPECT_EQ(t.ToArchiveSeconds(), 0xFFFFFFFFu);
    // Outside the 32-bit range the nearest end, never a wrapped time.
    EXPECT_EQ(At(1969, 12, 31, 23, 59, 59).ToArchiveSeconds(), 0u);
    EXPECT_EQ(At(2200, 1, 1).ToArchiveSeconds(), 0xFFFFFFFFu);

    struct FileCase { int64_t fileTime; CTimeEx value; } files[] = {
        {116444736000000000, At(1970, 1, 1)},
        {125911584000000005, At(2000, 1, 1)},  // 100 ns below a microsecond are cut
        {0, CTimeEx()},
    };
    for (const FileCase& c : files) {
        CTimeEx v;
        v.FromFileTime(c.fileTime);
        EXPECT_EQ(v, c.value) << c.fileTime;
        int64_t back = -1;
        EXPECT_EQ(v.ToFileTime(&back), 0);
        EXPECT_EQ(back, c.fileTime - c.fileTime % 10) << c.fileTime;
    }
    int64_t ft = 0;
    EXPECT_EQ(At(1600, 12, 31).ToFileTime(&ft), ZRK_INTERNAL);

    struct UnixCase { double seconds; int64_t us; } unixCases[] = {{1.0019, 1001000}, {-1.5, -1500000}};
    for (const UnixCase& c : unixCases) {
        CTimeEx v;
        EXPECT_EQ(v.FromUnixSeconds(c.seconds), 0);
        EXPECT_EQ(v.Value() - CTimeEx::kUnixEpoch, c.us) << c.seconds;
    }
    CTimeEx v(7);
    EXPECT_EQ(v.FromUnixSeconds(NAN), ZRK_INTERNAL);
    EXPECT_EQ(v.FromUnixSeconds(1e300), ZRK_INTERNAL);
    EXPECT_EQ(v.Value(), 7);
}

TEST(TimeConversion, CompareWithToleranceAndSpansFromParts) {
    const CTimeEx base = At(2024, 3, 1, 12);
    struct Case { int64_t delta; double tolerance; int expected; } cases[] = {
        {1, 0, 1}, {-1, 0, -1}, {kDay, 86400, 1}, {kDay - 1, 86400, 0}, {-kDay, 86400, -1}, {1, 1e-7, 1}, {5, -3, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTimeEx::Compare(base + CTimeEx(c.delta), base, c.tolerance), c.expected)
            << c.delta << " tolerance " << c.tolerance;
    // Extreme values saturate rather than wrap.
    EXPECT_EQ(CTimeEx::Compare(CTimeEx(INT64_MAX), CTimeEx(INT64_MIN), 1.0), 1);
    EXPECT_EQ(CTimeEx::Compare(CTimeEx(INT64_MIN), CTimeEx(INT64_MAX), 1.0), -1);

    CTimeEx span;
    EXPECT_EQ(span.SetSpan(1, 1, 1, 1, 1, 1.5), 0);
    EXPECT_EQ(span.Value(), (((((12 + 1) * 30 + 1) * 24 + 1) * 60 + 1) * 60) * kSecond + 1500000);
    CRecordingScope rec;
    EXPECT_EQ(span.SetSpan(2000000000, 0, 0, 0, 0, 0), ZRK_BADTIME);
    ASSERT_EQ(rec.entries.size(), 1u);
    EXPECT_EQ(rec.entries[0].msgId, MSG_BAD_TIME_FIELDS);
}

// ---- formatting -----------------------------------------------------------------------------

TEST(TimeFormat, Patterns) {
    struct Case { const char* pattern; CTimeEx value; const char* text; } cases[] = {
        {"%4Y/%2M/%2D %2H:%2N:%2.3S", At(1998, 5, 6, 12, 35, 43.125), "1998/05/06 12:35:43.125"},
        {"%2.3S|%2.0S|%S|%.1S", At(2000, 1, 1, 0, 0, 5.25), "05.250|05|5.25|5.2"},
        {"%.2S", At(2000, 1, 1, 0, 0, 43.999), "43.99"},
        {"%S", At(2000, 1, 1, 0, 0, 0.000015), "0.000015"},
        {"%2Y %4Y", At(1998, 1, 1), "98 1998"},
        {"%2Y", At(2051, 1, 1), "2051"},
        {"%2Y", At(2049, 1, 1), "49"},
        {"%Y", At(-44, 3, 15), "-44"},
        {"%I %P", At(2000, 1, 1, 0, 30), "12 AM"},
        {"%I %P", At(2000, 1, 1, 13, 5), "1 PM"},
        {"%A %al %ai %b %bl %Bli", At(1998, 5, 6), "Wed Wednesday Wed May May May"},
        {"%3J %W %d.%m.", At(1998, 5, 6), "126 18 6.5."},
        {"%h:%n", CTimeEx(14 * kHour + 30 * kMinute), "14:30"},
        {"%4Y", CTimeEx(), ""},
        {"DateTimeInter", At(1998, 5, 6, 1, 2, 3), "1998/05/06 01:02:03"},
        {"NoSuchFormat", At(1998, 5, 6), ""},
    };
    for (const Case& c : cases) EXPECT_EQ(Str(c.value.Format(c.pattern)), c.text) << c.pattern;
    EXPECT_EQ(Str(At(1998, 5, 6, 1, 2, 3).FormatDate(true)), "1998/05/06");
}

TEST(TimeFormat, BadPatternsFormatEmptyAndAreReportedOnce) {
    struct Case { const char* pattern; int letter; /* 0: cut off, no report */ } cases[] = {
        {"%4Y/%Q", 'Q'}, {"%5-", '-'}, {"%4Y %", 0}, {"%4Y/%12", 0}, {"%2.3", 0},
    };
    const CTimeEx t = At(1998, 5, 6);
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(Str(t.Format(c.pattern)), "") << c.pattern;
        EXPECT_EQ(Str(t.Format(c.pattern)), "") << c.pattern;  // registered: no second report
        ASSERT_EQ(rec.entries.size(), c.letter ? 1u : 0u) << c.pattern;
        if (!c.letter) continue;
        CString expected;
        expected.FormatId(MSG_BAD_PATTERN_LETTER, c.letter, c.pattern);
        EXPECT_EQ(rec.entries[0].msgId, MSG_BAD_PATTERN_LETTER);
        EXPECT_EQ(rec.entries[0].text, Str(expected));
        EXPECT_EQ(rec.entries[0].code, ZRK_INTERNAL);
    }
    // Setting the pattern directly gives the internal error.
    CRecordingScope rec;
    CTimeFormat f("x", false);
    EXPECT_EQ(f.SetPattern("%Z"), ZRK_INTERNAL);
    EXPECT_EQ(Str(f.Format(t)), "");
}

TEST(TimeFormat, PatternsAreRegisteredOnceUnderTheirText) {
    CFormatManager* fm = ZrkFormatManager();
    const int before = fm->FormatCount();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(Str(At(2001, 2, 3).Format("%2D.%2M.%4Y registered")), "03.02.2001 registered");
        EXPECT_EQ(fm->FormatCount(), before + 1);
    }
    EXPECT_EQ(fm->Find("datetime"), fm->Find("DateTime"));
    EXPECT_EQ(fm->Resolve(nullptr, false), fm->Find("DateTime"));
    EXPECT_EQ(fm->Resolve("", true), fm->Find("TimeSpan"));
}

// ---- parsing ----------------------------------------------------------------------------------

TEST(TimeParse, DatesAndTimes) {
    const int64_t h = kHour, m = kMinute;
    const int64_t xmas = At(1998, 12, 25).Value();
    struct Case { const char* pattern; const char* text; int64_t value; int label; /* failure: its field */ } cases[] = {
        {"%2D/%2M/%2Y", "25/12/49", At(2049, 12, 25).Value(), 0},
        {"%2D/%2M/%2Y", "25/12/50", At(1950, 12, 25).Value(), 0},
        {"%2D/%2M/%4Y", "1/2/0049", At(49, 2, 1).Value(), 0},
        {"%2D.%2M.%4Y", "25,12;1998", xmas, 0},
        {"%D%M%Y", "25121998", xmas, 0},
        {"%4Y/%2M/%2D", "1500/02/29", At(1500, 2, 29).Value(), 0},
        {"%4Y/%2M/%2D", "1900/02/29", 0, 576},
        {"%2D/%2M/%4Y", "31/04/2024", 0, 576},
        {"%2D/%2M/%4Y", "25/13/2024", 0, 578},
        {"%2D/%2M/%4Y", "00/01/2024", 0, 576},
        {"%2D/%2M/%2Y", "00/00/00", 0, 0},
        {"%2D/%2M/%4Y", "00/00/0000", 0, 576},
        {"%2D/%2M/%4Y", "?? / ??", 0, 0},
        {"%2D/%2M/%4Y", "25-12-1998", 0, 578},
        {"%2D/%2M/%4Y", "25/12/1998 x", 0, 580},
        {"%d %bl %4Y", "25 DECEMBER 1998", xmas, 0},
        {"%d %bl %4Y", "25 Dec 1998", 0, 579},
        {"%a %d %b %4Y", "Fri 25 dec 1998", xmas, 0},
        {"%a %d %b %4Y", "Xyz 25 Dec 1998", 0, 577},
        {"%4Y %3J", "1998 126", At(1998, 5, 6).Value(), 0},
        {"%4Y %3J", "1999 366", 0, 583},
        {"%2D/%2M/%4Y %2H:%2N:%2S", "06/05/1998 12:35:43.125", At(1998, 5, 6, 12, 35, 43.125).Value(), 0},
        {"%2D/%2M/%4Y %2H:%2N", "06/05/1998 2:35 pm", At(1998, 5, 6, 14, 35).Value(), 0},
        {"%2D/%2M/%4Y %2H:%2N", "06/05/1998 24:00", At(1998, 5, 7).Value(), 0},
        {"Time", "2 PM", 14 * h, 0},
        {"Time", "12:15 AM", 15 * m, 0},
        {"Time", "1:02:03.5", h + 2 * m + 3500000, 0},
        {"Time", "13:00 PM", 0, 575},
        {"Time", "10:61", 0, 574},
        {"Time", "10:30:60", 0, 573},
        {"Time", "10:30 XM", 0, 581},
        {"%P %I:%2N", "Am 9:05", 9 * h + 5 * m, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pattern << " / " << c.text);
        CRecordingScope rec;
        CTimeEx t(99);
        const int r = t.Parse(c.text, c.pattern);
        EXPECT_EQ(r, c.label ? ZRK_BADTIME : 0);
        EXPECT_EQ(t.Value(), c.label ? 99 : c.value) << Str(t.Format("%4Y-%2M-%2D %2H:%2N:%S"));
        ASSERT_EQ(rec.entries.size(), c.label ? 1u : 0u) << rec.LastText();
        if (!c.label) continue;
        EXPECT_EQ(rec.entries[0].msgId, MSG_BAD_TIME_TEXT);
        EXPECT_EQ(rec.entries[0].code, ZRK_BADTIME);
        EXPECT_EQ(rec.entries[0].text, BadTextMessage(c.label, c.text));
    }
    // Fields that pass the text checks but make no time: the fields message.
    CRecordingScope rec;
    CTimeEx t;
    EXPECT_EQ(t.Parse("06/05/1998 24:01", "%2D/%2M/%4Y %2H:%2N"), ZRK_BADTIME);
    ASSERT_EQ(rec.entries.size(), 1u);
    EXPECT_EQ(rec.entries[0].msgId, MSG_BAD_TIME_FIELDS);
    // A missing year is this year.
    ASSERT_EQ(t.Parse("25/12", "%2D/%2M"), 0);
    EXPECT_EQ(t.Parts().year, CTimeEx::Now(false).Parts().year);
}

TEST(TimeParse, ErrorRecordKeepsTheFieldAndItsPosition) {
    struct Case { const char* pattern; const char* text; int label, position; } cases[] = {
        {"%2D/%2M/%4Y", "31/04/2024", 576, 0}, {"%d %bl %4Y", "25 Foo 1998", 579, 3}, {"Time", "10:61", 574, 3},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CTimeError err;
        CTimeEx t;
        EXPECT_EQ(t.Parse(c.text, c.pattern, &err), ZRK_BADTIME) << c.text;
        EXPECT_TRUE(rec.entries.empty()) << "kept, not reported";
        EXPECT_EQ(err.msgId, MSG_BAD_TIME_TEXT);
        EXPECT_EQ(err.label, c.label) << c.text;
        EXPECT_EQ(err.position, c.position) << c.text;
        EXPECT_EQ(Str(err.message), BadTextMessage(c.label, c.text));
    }
}

TEST(TimeParse, FormatThenParseRoundTrips) {
    const char* patterns[] = {"DateTimeInter", "%2D.%2M.%4Y %2I:%2N:%2S %P", "%al, %bl %d, %4Y %H:%N:%.6S",
                              "%4Y%2M%2D%2H%2N%2.6S"};
    const CTimeEx values[] = {At(1582, 12, 9, 23, 59, 59), At(1582, 12, 20), At(2000, 2, 29, 12, 0, 1),
                              At(1999, 12, 31, 0, 30, 0.25), At(2049, 6, 15, 13, 1, 2.000001)};
    for (const char* pattern : patterns) {
        for (const CTimeEx& v : values) {
            CString text = v.Format(pattern);
            CTimeEx back;
            ASSERT_EQ(back.Parse(text, pattern), 0) << pattern << " / " << text.c_str();
            // Every pattern here keeps the seconds; ".6S" keeps the microseconds too.
            const bool micro = std::string(pattern).find(".6S") != std::string::npos;
            EXPECT_EQ(micro ? back.Value() : back.Value() / kSecond, micro ? v.Value() : v.Value() / kSecond)
                << pattern << " / " << text.c_str();
        }
    }
}

// ---- durations ----------------------------------------------------------------------------------

TEST(TimeSpan, Writing) {
    const int64_t s = kSecond, m = kMinute, h = kHour, d = kDay, mon = 30 * kDay, y = 360 * kDay;
    struct Case { const char* pattern; /* nullptr: "TimeSpan" */ int64_t span; unsigned always; const char* text; }
    cases[] = {
        {nullptr, d + 2 * h + 3 * m + 4 * s, 0, "1d 2h 3m 4s"},
        {nullptr, 5 * m, ZrkUnitBit(ZRK_UNIT_HOUR) | ZrkUnitBit(ZRK_UNIT_MINUTE), "0h 5m"},
        {nullptr, 0, 0, "0s"},
        {nullptr, 400 * d, 0, "400d"},  // months and years not named: carried into days
        {nullptr, -(h + 30 * m), 0, "-1h -30m"},
        {nullptr, 4 * s + 700000, 0, "4s"},
        {"+HM,,,H", d + 2 * h + 30 * m, 0, "26h 30m"},
        {"+HM,,,H", 30 * s, 0, "0h"},
        {"+DHM,,,D", 2 * d + 90 * s, 0, "2d 1m"},
        {"+DHM,,,M", 0, 0, "0m"},
        {"\xA7,+YOD,,,O", y + 2 * mon + d, 0, "1 year 2 months 1 day"},
        {"\xA7,+YOD,,,O", 0, 0, "0 month"},
        {"%.1hl", 90 * m, 0, "1.5 hours"},
        {"%.0hl", 100 * m, 0, "1 hour"},
        {"%2h:%2n", h + 5 * m, 0, "01h:05m"},
        {"%d, %h", d + 2 * h, 0, "1d, 2h"},
        {"Duration: %d%h left", 0, 0, "Duration: 0h left"},
        {"%y %m", 13 * mon, 0, "1y 1mon"},
        {"NoSuchFormat", h, 0, ""},
        {"%d %q", h, 0, ""},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(Str(CTimeEx(c.span).FormatSpan(c.pattern, c.always)), c.text)
            << (c.pattern ? c.pattern : "TimeSpan") << " " << c.span;
    }
}

TEST(TimeSpan, LocalAndBuiltinWords) {
    CFormatManager fm;
    fm.InitialiseQuietly();
    fm.SetList(ZRK_NAMES_UNIT_ABBREV, false, "S|M|Std|T|Mon|J");
    fm.SetList(ZRK_NAMES_UNIT_PLURAL, false, "Sekunden|Minuten|Stunden|Tage|Monate|Jahre");
    CTimeFormat f("t", true, &fm);
    ASSERT_EQ(f.SetPattern("%d %h %ni %dl %hil"), 0);
    EXPECT_EQ(Str(f.FormatSpan(CTimeEx(2 * kDay + 3 * kHour + 4 * kMinute))), "2T 3Std 4m 2 Tage 3 hours");
    CTimeEx back;
    EXPECT_EQ(f.ParseSpan("2 Tage 3 Std 4 mins", &back), 0);
    EXPECT_EQ(back.Value(), 2 * kDay + 3 * kHour + 4 * kMinute);
    // Month names the same way; missing local entries are the built-in ones.
    fm.SetList(ZRK_NAMES_MONTH_LONG, false, "Januar|Februar|M\xE4rz");
    CTimeFormat dates("d", false, &fm);
    ASSERT_EQ(dates.SetPattern("%bl %bli %d"), 0);
    EXPECT_EQ(Str(dates.Format(At(2024, 3, 5))), "M\xE4rz March 5");
    EXPECT_EQ(Str(dates.Format(At(2024, 4, 5))), "April April 5");
    ASSERT_EQ(dates.Parse("m\xE4rz March 5", &back), 0);
    EXPECT_EQ(back.Parts().month, 3);
}

TEST(TimeSpan, Reading) {
    const int64_t s = kSecond, m = kMinute, h = kHour, d = kDay;
    struct Case { const char* pattern; const char* text; int64_t span; int label; /* 0: success */ } cases[] = {
        {nullptr, "1d 2h 3m 4s", d + 2 * h + 3 * m + 4 * s, 0},
        {nullptr, "1 day, 1 hr", 0, 575},  // "hr" is no spelling of hours
        {nullptr, "1 day, 1 hrs", d + h, 0},
        {nullptr, "1.5h", 90 * m, 0},
        {nullptr, "1 yrs 2 mos", 420 * d, 0},
        {nullptr, "5", 5 * d, 0},
        {nullptr, "2h 5", 2 * h + 5 * m, 0},
        {nullptr, "0.5 SEC", 500000, 0},
        {nullptr, "", 0, 0},
        {nullptr, "3 fortnights", 0, 576},
        {nullptr, "1d 1d", 0, 576},
        {nullptr, "1 2 3 4 5", 0, 573},
        {nullptr, "99999999999999999999 s", 0, 576},
        {nullptr, "999999999999999 y", 0, 580},
        {"+HM,,,H", "2 30", 2 * h + 30 * m, 0},
        {"\xA7,+YOD,,,O", "1 year 2 months 1 day", 421 * d, 0},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CTimeEx t(77);
        EXPECT_EQ(t.ParseSpan(c.text, c.pattern), c.label ? ZRK_BADTIME : 0) << c.text;
        EXPECT_EQ(t.Value(), c.label ? 77 : c.span) << c.text;
        ASSERT_EQ(rec.entries.size(), c.label ? 1u : 0u) << c.text;
        if (c.label) {
            EXPECT_EQ(rec.entries[0].text, BadTextMessage(c.label, c.text)) << c.text;
        }
    }
    // Whatever TimeSpan writes it reads back.
    for (int64_t v : {int64_t{0}, 59 * s, 3 * d + 4 * h + 5 * m + 6 * s, -(2 * d + 1 * s), 1000 * d}) {
        CTimeEx back;
        CString text = CTimeEx(v).FormatSpan();
        EXPECT_EQ(back.ParseSpan(text), 0) << text.c_str();
        EXPECT_EQ(back.Value(), v) << text.c_str();
    }
}

// ---- the manager -------------------------------------------------------------------------------

TEST(TimeFormatManager, LocalePatterns) {
    struct DateCase { const char* locale; const char* pattern; } dates[] = {
        {"MM/dd/yyyy", "%2M/%2d/%4y"},          {"d.M.yy", "%d.%m.%2y"}, {"dddd, MMMM d, yyyy", "%al, %bl %d, %4y"},
        {"ddd MMM y yyy", "%a %b %4y %4y"},     {"d' de 'MMMM' de 'yyyy", "%d de %bl de %4y"},
        {"dd''MM", "%2d%2M"},                   {"100% dd", "100 %2d"},
    };
    for (const DateCase& c : dates) {
        CString pattern;
        EXPECT_EQ(CFormatManager::ConvertDatePattern(c.locale, &pattern), 0) << c.locale;
        EXPECT_EQ(Str(pattern), c.pattern) << c.locale;
    }
    CString pattern;
    EXPECT_EQ(CFormatManager::ConvertDatePattern("dd 'open", &pattern), ZRK_PRIVILEGE);

    struct TimeCase { bool clock24, markerFirst, leadingZero; const char* separator; const char* pattern;
                      int hour, minute; const char* text; } times[] = {
        {true, true, false, ".", "%H.%2N.%2.0S", 9, 5, "9.05.00"},
        {false, false, false, ":", "%I:%2N:%2.0S %P", 0, 30, "12:30:00 AM"},
        {false, true, true, "", "%P %2I:%2N:%2.0S", 23, 59, "PM 11:59:00"},
    };
    for (const TimeCase& c : times) {
        pattern = CFormatManager::TimePattern(c.clock24, c.markerFirst, c.leadingZero, c.separator);
        EXPECT_EQ(Str(pattern), c.pattern);
        EXPECT_EQ(Str(At(2000, 1, 1, c.hour, c.minute).Format(pattern)), c.text);
    }
}

TEST(TimeFormatManager, NamedFormatsAndDescriptors) {
    CFormatManager fm;
    EXPECT_FALSE(fm.Find("Date")->IsValid()) << "patterns are set at start";
    EXPECT_EQ(Str(fm.Find("DateInter")->Format(At(2000, 1, 1))), "");
    ASSERT_EQ(fm.InitialiseQuietly(), 0);
    // The combined formats are the date and the time joined by a blank.
    EXPECT_EQ(Str(fm.Find("LongDateTime")->PatternText()),
              Str(fm.Find("LongDate")->PatternText()) + " " + Str(fm.Find("Time")->PatternText()));
    // Descriptors and names resolve, for durations, to a duration reading
    // of their patterns.
    CTimeFormat* span = fm.Resolve("+HM,,,H", true);
    ASSERT_NE(span, nullptr);
    EXPECT_TRUE(span->IsDuration());
    EXPECT_EQ(fm.Resolve("+HM,,,H", true), span);
    CTimeFormat* inter = fm.Resolve("TimeInter", true);
    ASSERT_NE(inter, nullptr);
    EXPECT_EQ(Str(inter->FormatSpan(CTimeEx(kHour + 2 * kMinute))), "01h:02m");
    EXPECT_EQ(fm.Resolve("NoSuchFormat", false), nullptr);
}

TEST(TimeFormatManager, ModuleStartsWithTheOthers) {
    ASSERT_EQ(ZrkStartModules(), 0);
    CFormatManager* fm = ZrkFormatManager();
    EXPECT_EQ(static_cast<CModule*>(fm), ZrkFindModule("FormatManager"));
    // The message texts linked into the tests say "US": the week starts on Sunday.
    EXPECT_TRUE(fm->WeekStartsSunday());
    EXPECT_EQ(Str(fm->NameOf(ZRK_NAMES_MONTH_LONG, 11, false)), "December");

    auto* changes = static_cast<CTimeChangeManager*>(ZrkFindModule("TimeChangeManager"));
    ASSERT_NE(changes, nullptr);
    int told = 0;
    auto tell = [](void* context) { ++*static_cast<int*>(context); };
    changes->Add(tell, &told);
    changes->Add(tell, &told);
    changes->Notify();
    EXPECT_EQ(told, 2);
    changes->Remove(tell, &told);
    EXPECT_EQ(changes->Count(), 0);

    ZrkStopModules(true);
    ZrkStopModules(false);
    EXPECT_EQ(ZrkFindModule("FormatManager"), nullptr);
    EXPECT_EQ(Str(At(2000, 1, 2).Format("DateInter")), "2000/01/02") << "the time functions go on without the module";
}

}  // namespace
