// Tests of texts, views and text lists.

#include "zrk/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "zrk/result.h"

namespace {

// Turns copy-sharing off for the life of the object.
struct NoShareGuard {
    NoShareGuard() { CString::SetNoShare(true); }
    ~NoShareGuard() { CString::SetNoShare(false); }
};

std::string Str(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }

TEST(CStringTest, WildcardMatch) {
    struct Case {
        const char* text;
        const char* pattern;
        bool ignoreCase;
        bool fold;
        bool expected;
    };
    const Case cases[] = {
        {"a.txt", "*.txt", false, false, true},
        {"x.txt.bak", "*.txt", false, false, false},
        {"abab", "*ab", false, false, false},  // first occurrence only, no backtracking
        {"abcb", "*b", false, false, false},
        {"abcabd", "*abd", false, false, true},
        {"abc", "a*?c", false, false, true},
        {"ac", "a*?c", false, false, true},  // "*?" skips the "?" like "*"
        {"ac", "a*c", false, false, true},
        {"aXbYc", "a*b*c", false, false, true},
        {"xaZbY", "*a?b*", false, false, true},
        {"abc", "a?c", false, false, true},
        {"ac", "a?c", false, false, false},
        {"ab", "ab?", false, false, false},
        {"", "", false, false, true},
        {"a", "", false, false, false},
        {"", "*", false, false, true},
        {"", "?", false, false, false},
        {"abc", "abc*", false, false, true},
        {"abc", "ab", false, false, false},
        {"ABC", "abc", false, false, false},
        {"ABC", "abc", true, false, true},
        {"\xE9", "e", false, false, false},
        {"\xE9", "e", false, true, true},    // e acute folds to e
        {"e", "\xE9", false, true, true},
        {"\xC9", "e", false, true, false},   // E acute folds to E
        {"\xC9", "e", true, true, true},
        {"\x80", ".", false, true, false},   // byte 128 is compared as it is
        {"\x80", "\x80", false, true, true},
        {"na\xEFve.TXT", "*ive.txt", true, true, true},
        {"\xFF\xD7", "y*", false, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZrkWildMatch(c.text, c.pattern, c.ignoreCase, c.fold), c.expected)
            << '"' << c.text << "\" vs \"" << c.pattern << "\" ic=" << c.ignoreCase << " fold=" << c.fold;
        EXPECT_EQ(CString(c.text).Match(c.pattern, c.ignoreCase, c.fold), c.expected) << c.pattern;
    }
}

TEST(CStringTest, AccentFoldingTable) {
    struct Case {
        unsigned char in;
        unsigned char out;
    };
    const Case cases[] = {
        {0x41, 0x41}, {0x7F, 0x7F}, {0x80, 0x80}, {0x81, '.'},  {0x83, 'f'},  {0x8A, 'S'},
        {0x91, '\''}, {0x93, '"'},  {0x99, 't'},  {0x9F, 'Y'},  {0xA0, ' '},  {0xA6, '|'},
        {0xA8, '"'},  {0xAE, 'r'},  {0xB2, '2'},  {0xB4, '\''}, {0xBF, '?'},  {0xC0, 'A'},
        {0xC7, 'C'},  {0xCF, 'I'},  {0xD1, 'N'},  {0xD7, '*'},  {0xD8, 'O'},  {0xDF, 'S'},
        {0xE0, 'a'},  {0xE7, 'c'},  {0xE9, 'e'},  {0xF0, 'd'},  {0xF7, '/'},  {0xFE, '.'},
        {0xFF, 'y'},
    };
    for (const Case& c : cases) EXPECT_EQ(ZrkFoldAccent(c.in), c.out) << std::hex << int(c.in);
}

TEST(CStringTest, Quote) {
    struct Case {
        const char* text;
        bool onlyWhenNeeded;
        bool addQuotes;
        const char* expected;
    };
    const Case cases[] = {
        {"abc", true, true, "abc"},
        {"!~\xE9", true, true, "!~\xE9"},  // nothing below 33, no backslash or quote
        {"a b", true, true, "\"a b\""},
        {"\t", true, false, "\\t"},
        {"\t", false, false, "\\t"},
        {"abc", false, true, "\"abc\""},
        {"", false, true, "\"\""},
        {"a\"b\\c", true, true, "\"a\\\"b\\\\c\""},
        {"\n\r\x01\x1F", false, false, "\\n\\r\\x01\\x1F"},
        {"\x7F \xE9", false, false, "\x7F \xE9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Str(CString::Quote(c.text, c.onlyWhenNeeded, c.addQuotes)), c.expected) << c.text;
}

TEST(CStringTest, Unquote) {
    struct Case {
        const char* text;
        int result;
        const char* expected;  // the text afterwards
    };
    const Case cases[] = {
        {"\"x\" more", 0, "x"},
        {"  \"a b\"  ", 0, "a b"},
        {"plain", 0, "plain"},
        {"  plain \t", 0, "plain"},
        {"", 0, ""},
        {"\"\"", 0, ""},
        {"\"a\\tb\\n\\r\\\\\\\"\"", 0, "a\tb\n\r\\\""},
        {"\"\\x41\\x7F\\xE9\"", 0, "A\x7F\xE9"},
        // Errors leave the text as it was.
        {"\"", ZRK_INTERNAL, "\""},
        {"  \"  ", ZRK_INTERNAL, "  \"  "},
        {"\"abc\\\"", ZRK_INTERNAL, "\"abc\\\""},  // backslash before the closing quote
        {"\"abc\\", ZRK_INTERNAL, "\"abc\\"},
        {"\"a\\qb\"", ZRK_INTERNAL, "\"a\\qb\""},
        {"\"\\x4\"", ZRK_INTERNAL, "\"\\x4\""},
        {"\"\\x4", ZRK_INTERNAL, "\"\\x4"},
        {"\"\\x\"", ZRK_INTERNAL, "\"\\x\""},
        {"\"\\x4a\"", ZRK_INTERNAL, "\"\\x4a\""},  // lower-case hex digit
        {"\"\\xG0\"", ZRK_INTERNAL, "\"\\xG0\""},
        {"\"abc", ZRK_INTERNAL, "\"abc"},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        EXPECT_EQ(s.Unquote(), c.result) << c.text;
        EXPECT_EQ(Str(s), c.expected) << c.text;
    }
}

TEST(CStringTest, QuoteUnquoteRoundTrip) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string texts[] = {"", "a", "a b", "tab\there", "\"quoted\"", "back\\slash", all};
    for (const std::string& t : texts) {
        CString s = CString::Quote(t.c_str(), false, true);
        ASSERT_EQ(s.Unquote(), 0) << t;
        EXPECT_EQ(Str(s), t);
    }
}

TEST(CStringTest, Split) {
    struct Case {
        bool first;
        const char* text;
        int result;
        const char* out;
        const char* rest;
    };
    const Case cases[] = {
        {true, "a=b=c", 1, "a", "b=c"},
        {false, "a=b=c", 1, "c", "a=b"},
        {true, "=x", 1, "", "x"},
        {false, "x=", 1, "", "x"},
        {true, "abc", 2, "abc", ""},
        {false, "abc", 2, "abc", ""},
        {true, "", 0, "", ""},
        {false, "", 0, "", ""},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        CString keep = s;
        CString out("previous");
        int r = c.first ? s.SplitFirst('=', out) : s.SplitLast('=', out);
        EXPECT_EQ(r, c.result) << c.text;
        EXPECT_EQ(Str(out), c.out) << c.text;
        EXPECT_EQ(Str(s), c.rest) << c.text;
        EXPECT_EQ(Str(keep), c.text);  // a sharing copy is not touched
    }
}

TEST(CStringTest, CopyOnWriteIsolation) {
    const char* original = "  Hello, world  ";
    const std::vector<std::pair<const char*, std::function<void(CString&)>>> edits = {
        {"Append char", [](CString& s) { s.Append('!'); }},
        {"Append text", [](CString& s) { s.Append("more"); }},
        {"AppendNumber", [](CString& s) { s.AppendNumber(7); }},
        {"Assign", [](CString& s) { s.Assign("xy", 2); }},
        {"SetAt", [](CString& s) { s.SetAt(2, 'J'); }},
        {"GetBuffer", [](CString& s) { s.GetBuffer(40)[0] = 'Z'; s.ReleaseBuffer(); }},
        {"Trim", [](CString& s) { s.Trim(); }},
        {"TrimLeft", [](CString& s) { s.TrimLeft(); }},
        {"TrimRight", [](CString& s) { s.TrimRight(); }},
        {"MakeUpper", [](CString& s) { s.MakeUpper(); }},
        {"MakeLower", [](CString& s) { s.MakeLower(); }},
        {"Replace same length", [](CString& s) { s.Replace("o", "0"); }},
        {"Replace longer", [](CString& s) { s.Replace("o", "oo"); }},
        {"View Replace", [](CString& s) { s.Mid(2, 5).Replace("Bye"); }},
        {"SplitFirst", [](CString& s) { CString o; s.SplitFirst(',', o); }},
        {"SplitLast", [](CString& s) { CString o; s.SplitLast(',', o); }},
        {"Format", [](CString& s) { s.Format("%d", 5); }},
        {"Unquote", [](CString& s) { s.Unquote(); }},
        {"ToOem", [](CString& s) { s.ToOem(); }},
        {"Empty", [](CString& s) { s.Empty(); }},
    };
    for (const auto& [name, edit] : edits) {
        CString a(original);
        CString b = a;
        EXPECT_EQ(a.RefCount(), 2) << name;
        EXPECT_EQ(a.c_str(), b.c_str()) << name;
        edit(b);
        EXPECT_EQ(Str(a), original) << name;
        EXPECT_EQ(a.RefCount(), 1) << name;
    }
}

TEST(CStringTest, NoShareCopiesCharacters) {
    NoShareGuard guard;
    CString a("text");
    CString b = a;
    CString c;
    c = a;
    CStringList list;
    list.Add(a);
    CStringList copy(list);
    EXPECT_EQ(a.RefCount(), 1);
    EXPECT_NE(a.c_str(), b.c_str());
    EXPECT_NE(a.c_str(), c.c_str());
    EXPECT_NE(list[0].c_str(), copy[0].c_str());
    EXPECT_EQ(Str(b), "text");
    EXPECT_EQ(Str(c), "text");
    EXPECT_EQ(Str(copy[0]), "text");
}

TEST(CStringTest, SharingWithoutNoShare) {
    CString a("text");
    CStringList list;
    list.Add(a);
    CStringList copy(list);
    EXPECT_EQ(a.RefCount(), 3);
    EXPECT_EQ(copy[0].c_str(), a.c_str());
    CString moved(std::move(a));
    EXPECT_EQ(moved.RefCount(), 3);
    EXPECT_TRUE(a.IsEmpty());  // NOLINT: a moved-from text is empty
}

TEST(CStringTest, EmptyTextIsOneSharedInstance) {
    CString a;
    CString b("");
    CString c("x");
    c.Empty();
    CString d(nullptr, 5);
    EXPECT_EQ(a.c_str(), b.c_str());
    EXPECT_EQ(a.c_str(), c.c_str());
    EXPECT_EQ(a.c_str(), d.c_str());
    EXPECT_EQ(a.Capacity(), 0);
    EXPECT_EQ(a.c_str()[0], '\0');
}

TEST(CStringTest, Views) {
    struct Case {
        char kind;  // L left, M mid, m mid with a length, R right
        int a;
        int b;
        int start;
        int length;
    };
    const Case cases[] = {
        {'L', 3, 0, 0, 3},  {'L', 6, 0, 0, 6},  {'L', 7, 0, 0, 0},  {'L', -1, 0, 0, 0},
        {'M', 2, 0, 2, 4},  {'M', 6, 0, 6, 0},  {'M', 7, 0, 0, 0},  {'M', -1, 0, 0, 0},
        {'m', 2, 2, 2, 2},  {'m', 5, 2, 0, 0},  {'m', 1, -1, 0, 0}, {'R', 2, 0, 4, 2},
        {'R', 6, 0, 0, 6},  {'R', 7, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CString s("abcdef");
        CStringView v = c.kind == 'L'   ? s.Left(c.a)
                        : c.kind == 'M' ? s.Mid(c.a)
                        : c.kind == 'm' ? s.Mid(c.a, c.b)
                                        : s.Right(c.a);
        EXPECT_EQ(v.Start(), c.start) << c.kind << c.a << ',' << c.b;
        EXPECT_EQ(v.Length(), c.length) << c.kind << c.a << ',' << c.b;
        EXPECT_EQ(Str(v.ToString()), std::string("abcdef").substr(static_cast<size_t>(c.start), static_cast<size_t>(c.length)));
        v.Replace("XY");
        if (c.length == 0 && c.start == 0) {
            EXPECT_EQ(Str(s), "abcdef") << "an out-of-range view must not edit";
        }
    }
}

TEST(CStringTest, ViewReplaceEditsText) {
    struct Case {
        const char* text;
        int start;
        int length;
        const char* with;
        const char* expected;
    };
    const Case cases[] = {
        {"hello world", 6, 5, "there", "hello there"},
        {"hello world", 0, 5, "hi", "hi world"},
        {"hello world", 5, 0, ",", "hello, world"},
        {"abc", 0, 3, "a much longer text than sixteen", "a much longer text than sixteen"},
        {"abc", 1, 1, "", "ac"},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        CString shared = s;
        CStringView v(&s, c.start, c.length);
        v.Replace(c.with);
        EXPECT_EQ(Str(s), c.expected);
        EXPECT_EQ(Str(shared), c.text);
        EXPECT_EQ(Str(v.ToString()), c.with);
    }
    CString self("abcdef");
    self.Mid(0, 2).Replace(self.c_str() + 2);  // replacement taken from the text itself
    EXPECT_EQ(Str(self), "cdefcdef");
}

TEST(CStringTest, SpanExcludingAndAfterLast) {
    CString path("c:\\dir/sub\\file.txt");
    EXPECT_EQ(Str(path.AfterLast("\\/").ToString()), "file.txt");
    EXPECT_EQ(Str(path.AfterLast("#").ToString()), Str(path));
    EXPECT_EQ(Str(path.SpanExcluding("/\\").ToString()), "c:");
    EXPECT_EQ(Str(path.SpanExcluding("#").ToString()), Str(path));
    CString trailing("dir\\");
    EXPECT_EQ(trailing.AfterLast("\\").Length(), 0);
}

TEST(CStringTest, CapacityGrowth) {
    CString s("abc");
    EXPECT_EQ(s.Capacity(), 16);
    EXPECT_EQ(CString("twenty characters..").Capacity(), 19);
    s = "0123456789abcdef";  // 16 characters: full
    s.Append("0123456789");  // 26 + min(10 / 2, 1024)
    EXPECT_EQ(s.Capacity(), 31);
    const char* before = s.c_str();
    s.Append("abcde");  // fits
    EXPECT_EQ(s.c_str(), before);
    EXPECT_EQ(s.Length(), 31);
    CString big;
    big.Append(std::string(4000, 'x').c_str());  // 4000 + min(2000, 1024)
    EXPECT_EQ(big.Capacity(), 5024);
}

TEST(CStringTest, AppendFromItself) {
    CString s("0123456789abcdef");
    s.Append(s);
    EXPECT_EQ(Str(s), "0123456789abcdef0123456789abcdef");
    s.Append(s.c_str() + 30);  // grows while reading its own characters
    EXPECT_EQ(Str(s), "0123456789abcdef0123456789abcdefef");
    s = s.Mid(32);
    EXPECT_EQ(Str(s), "ef");
    s.Assign(s.c_str() + 1, 1);
    EXPECT_EQ(Str(s), "f");
}

TEST(CStringTest, Replace) {
    struct Case {
        const char* text;
        const char* from;
        const char* to;
        bool all;
        int count;
        const char* expected;
    };
    const Case cases[] = {
        {"aaa", "a", "bb", true, 3, "bbbbbb"},
        {"aaa", "a", "b", false, 1, "baa"},
        {"aaa", "aa", "x", true, 1, "xa"},
        {"abab", "ab", "", true, 2, ""},
        {"abc", "x", "y", true, 0, "abc"},
        {"abc", "", "y", true, 0, "abc"},
        {"a.b.c", ".", "\\", true, 2, "a\\b\\c"},
        {"x$VAR$y", "$VAR$", "value", true, 1, "xvaluey"},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        EXPECT_EQ(s.Replace(c.from, c.to, c.all), c.count) << c.text;
        EXPECT_EQ(Str(s), c.expected) << c.text;
    }
}

TEST(CStringTest, TrimAndCase) {
    struct Case {
        const char* text;
        const char* trim;
        const char* left;
        const char* right;
    };
    const Case cases[] = {
        {" \t\n\v\f\ra b\r\n ", "a b", "a b\r\n ", " \t\n\v\f\ra b"},
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // bytes above 127 are not blanks
        {"   ", "", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        CString a(c.text), b(c.text), d(c.text);
        EXPECT_EQ(Str(a.Trim()), c.trim);
        EXPECT_EQ(Str(b.TrimLeft()), c.left);
        EXPECT_EQ(Str(d.TrimRight()), c.right);
    }
    CString mixed("MiXed 9!");
    EXPECT_EQ(Str(CString(mixed).MakeUpper()), "MIXED 9!");
    EXPECT_EQ(Str(mixed.MakeLower()), "mixed 9!");
}

TEST(CStringTest, FindAndCompare) {
    CString s("abcabc");
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('c', 6), -1);
    EXPECT_EQ(s.Find('c', -2), -1);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find("ca", 3), -1);
    EXPECT_EQ(s.Find("bc", 9), -1);
    EXPECT_EQ(s.ReverseFind('a'), 3);
    EXPECT_EQ(s.ReverseFind('z'), -1);

    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("abc").CompareNoCase("ABD"), 0);
    EXPECT_LT(CString("_").CompareNoCase("A"), 0);  // compared in lower case: '_' < 'a' (not '_' > 'A')
    EXPECT_LT(CString("ABC").Compare("abc"), 0);
    EXPECT_TRUE(CString("file.txt").EndsWith(".txt"));
    EXPECT_FALSE(CString("txt").EndsWith("a.txt"));
    EXPECT_TRUE(CString("file.txt").StartsWith("file"));
    EXPECT_TRUE(CString("a") < CString("b"));
    EXPECT_FALSE(CString("b") < CString("a"));
    EXPECT_TRUE(CString("ab") == "ab");
    EXPECT_TRUE(CString("ab") != CString("abc"));
    EXPECT_EQ(Str(CString("a") + "b" + CString("c")), "abc");
    EXPECT_EQ(Str("x" + CString("y")), "xy");
    EXPECT_EQ(Str(CString("n=").AppendNumber(-42)), "n=-42");
}

TEST(CStringTest, Format) {
    CString s;
    EXPECT_EQ(s.Format("%d-%s-%c", 5, "ab", 'z'), 0);
    EXPECT_EQ(Str(s), "5-ab-z");
    EXPECT_EQ(s.Format("<%s>", s.c_str()), 0);  // argument from the text itself
    EXPECT_EQ(Str(s), "<5-ab-z>");
    EXPECT_EQ(Str(CString::Printf("%05d|%x", 42, 255)), "00042|ff");
}

TEST(CStringTest, FormatCutAtWorkBufferLimit) {
    struct Case {
        size_t length;
        int result;
        size_t kept;
    };
    const Case cases[] = {
        {23999, 0, 23999},
        {24000, ZRK_INTERNAL, 23999},
        {100000, ZRK_INTERNAL, 23999},
    };
    for (const Case& c : cases) {
        std::string arg(c.length, 'x');
        CString s;
        EXPECT_EQ(s.Format("%s", arg.c_str()), c.result) << c.length;
        EXPECT_EQ(static_cast<size_t>(s.Length()), c.kept) << c.length;
        EXPECT_EQ(Str(s), arg.substr(0, c.kept));
        EXPECT_EQ(s.c_str()[s.Length()], '\0');
    }
}

TEST(CStringTest, FormatIdOfMissingMessageIsEmpty) {
    CString s("old");
    EXPECT_EQ(s.FormatIdRaw(0x7FFF0001, 1, "x"), ZRK_INTERNAL);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(CStringTest, GetBufferAndReleaseBuffer) {
    CString s("abc");
    char* p = s.GetBuffer(10);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(s.Capacity(), 10);
    EXPECT_EQ(std::string(p, 3), "abc");
    memcpy(p, "hello\0zz", 8);
    s.ReleaseBuffer();
    EXPECT_EQ(Str(s), "hello");
    p = s.GetBuffer(4);
    memcpy(p, "wxyz", 4);
    s.ReleaseBuffer(4);
    EXPECT_EQ(Str(s), "wxyz");

    // Without a terminator the length stops at the capacity.
    CString t;
    p = t.GetBuffer(16);
    memset(p, 'q', static_cast<size_t>(t.Capacity()));
    t.ReleaseBuffer();
    EXPECT_EQ(t.Length(), t.Capacity());
    EXPECT_EQ(t.c_str()[t.Length()], '\0');
    // A buffer larger than any text is refused rather than handed out short.
    CString v("keep");
    EXPECT_EQ(v.GetBuffer(0x7FFFFFFF), nullptr);
    EXPECT_EQ(Str(v), "keep");
    // A length beyond the capacity is cut to it.
    CString u;
    u.GetBuffer(16);
    u.ReleaseBuffer(1000);
    EXPECT_EQ(u.Length(), u.Capacity());
}

TEST(CStringTest, SetAtOutOfRangeChangesNothing) {
    CString s("abc");
    s.SetAt(3, 'x');
    s.SetAt(-1, 'x');
    EXPECT_EQ(Str(s), "abc");
    s.SetAt(1, 'X');
    EXPECT_EQ(Str(s), "aXc");
}

TEST(CStringListTest, GrowthAndRemoval) {
    CStringList list;
    const int expected[] = {10, 10, 15, 22, 33};
    const int counts[] = {1, 10, 11, 16, 23};
    for (int k = 0; k < 5; ++k) {
        while (list.Count() < counts[k]) list.Add(CString::Printf("%d", list.Count()));
        EXPECT_EQ(list.Capacity(), expected[k]) << counts[k];
    }
    list.Add(list[0]);  // an item of the list itself while it grows
    EXPECT_EQ(Str(list[23]), "0");
    list.RemoveAt(0);
    EXPECT_EQ(list.Count(), 23);
    EXPECT_EQ(Str(list[0]), "1");
    EXPECT_EQ(Str(list[22]), "0");
    list.RemoveAt(99);
    EXPECT_EQ(list.Count(), 23);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(CStringListTest, FindSortSplitJoin) {
    CStringList list;
    list.AddSplit(" pear , Apple,banana,,apple ", ',', true);
    ASSERT_EQ(list.Count(), 5);
    EXPECT_EQ(Str(list.Join("|")), "pear|Apple|banana||apple");
    EXPECT_EQ(list.Find("apple"), 4);
    EXPECT_EQ(list.Find("APPLE", false), 1);
    EXPECT_EQ(list.Find("cherry"), -1);

    struct Case {
        bool ascending;
        bool ignoreCase;
        const char* expected;
    };
    const Case cases[] = {
        {true, false, ",Apple,apple,banana,pear"},
        {false, false, "pear,banana,apple,Apple,"},
    };
    for (const Case& c : cases) {
        CStringList l(list);
        l.Sort(c.ascending, c.ignoreCase);
        EXPECT_EQ(Str(l.Join(",")), c.expected);
    }
    CStringList l(list);
    l.Sort(true, true);
    EXPECT_EQ(Str(l[0]), "");
    EXPECT_EQ(l[1].CompareNoCase("apple"), 0);
    EXPECT_EQ(l[2].CompareNoCase("apple"), 0);
    EXPECT_EQ(Str(l[3]), "banana");

    CStringList raw;
    raw.AddSplit("a; b", ';');
    EXPECT_EQ(Str(raw[1]), " b");
    CStringList none;
    none.AddSplit("", ';');
    EXPECT_EQ(none.Count(), 0);
}

}  // namespace
