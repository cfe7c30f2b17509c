// Tests of texts, views and text lists.

#include "zrk/cstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/result.h"

namespace {

TEST(CStringTest, WildcardMatch) {
    struct Case { const char* text; const char* pattern; bool ignoreCase; bool fold; bool expected; };
    const Case cases[] = {
        {"a.txt", "*.txt", false, false, true}, {"x.txt.bak", "*.txt", false, false, false},
        {"abab", "*ab", false, false, false},  // first occurrence only, no backtracking
        {"abcabd", "*abd", false, false, true}, {"abc", "a*?c", false, false, true},
        {"ac", "a*?c", false, false, true},  // "*?" skips the "?" like "*"
        {"aXbYc", "a*b*c", false, false, true}, {"xaZbY", "*a?b*", false, false, true},
        {"ac", "a?c", false, false, false}, {"", "", false, false, true}, {"a", "", false, false, false},
        {"", "*", false, false, true}, {"", "?", false, false, false}, {"ABC", "abc", false, false, false},
        {"ABC", "abc", true, false, true}, {"\xE9", "e", false, false, false},
        {"\xE9", "e", false, true, true},    // e acute folds to e
        {"\xC9", "e", false, true, false},   // E acute folds to E
        {"\xC9", "e", true, true, true},
        {"\x80", ".", false, true, false},   // byte 128 is compared as it is
        {"na\xEFve.TXT", "*ive.txt", true, true, true}, {"\xFF\xD7", "y*", false, true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZrkWildMatch(c.text, c.pattern, c.ignoreCase, c.fold), c.expected)
            << '"' << c.text << "\" vs \"" << c.pattern << "\" ic=" << c.ignoreCase << " fold=" << c.fold;
        EXPECT_EQ(CString(c.text).Match(c.pattern, c.ignoreCase, c.fold), c.expected) << c.pattern;
    }
}

TEST(CStringTest, Quote) {
    struct Case { const char* text; bool onlyWhenNeeded; bool addQuotes; const char* expected; };
    const Case cases[] = {
        {"abc", true, true, "abc"},
        {"!~\xE9", true, true, "!~\xE9"},  // nothing below 33, no backslash or quote
        {"a b", true, true, "\"a b\""}, {"\t", false, false, "\\t"}, {"", false, true, "\"\""},
        {"a\"b\\c", true, true, "\"a\\\"b\\\\c\""}, {"\n\r\x01\x1F", false, false, "\\n\\r\\x01\\x1F"},
        {"\x7F \xE9", false, false, "\x7F \xE9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Str(CString::Quote(c.text, c.onlyWhenNeeded, c.addQuotes)), c.expected) << c.text;
}

TEST(CStringTest, Unquote) {
    struct Case { const char* text; int result; const char* expected; };  // the text afterwards
    const Case cases[] = {
        {"\"x\" more", 0, "x"}, {"  \"a b\"  ", 0, "a b"}, {"plain", 0, "plain"}, {"", 0, ""}, {"\"\"", 0, ""},
        {"\"a\\tb\\n\\r\\\\\\\"\"", 0, "a\tb\n\r\\\""}, {"\"\\x41\\x7F\\xE9\"", 0, "A\x7F\xE9"},
        // Errors leave the text as it was.
        {"\"", ZRK_INTERNAL, "\""},
        {"\"abc\\\"", ZRK_INTERNAL, "\"abc\\\""},  // backslash before the closing quote
        {"\"abc\\", ZRK_INTERNAL, "\"abc\\"}, {"\"a\\qb\"", ZRK_INTERNAL, "\"a\\qb\""},
        {"\"\\x4", ZRK_INTERNAL, "\"\\x4"},
        {"\"\\x4a\"", ZRK_INTERNAL, "\"\\x4a\""},  // lower-case hex digit
        {"\"\\xG0\"", ZRK_INTERNAL, "\"\\xG0\""}, {"\"abc", ZRK_INTERNAL, "\"abc"},
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
    const std::string texts[] = {"", "a b", "\"quoted\" back\\slash", all};
    for (const std::string& t : texts) {
        CString s = CString::Quote(t.c_str(), false, true);
        ASSERT_EQ(s.Unquote(), 0) << t;
        EXPECT_EQ(Str(s), t);
    }
}

TEST(CStringTest, Split) {
    struct Case { bool first; const char* text; int result; const char* out; const char* rest; };
    const Case cases[] = {
        {true, "a=b=c", 1, "a", "b=c"}, {false, "a=b=c", 1, "c", "a=b"}, {true, "=x", 1, "", "x"},
        {true, "abc", 2, "abc", ""}, {false, "abc", 2, "abc", ""}, {true, "", 0, "", ""},
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
        {"Append char", [](CString& s) { s.Append('!'); }}, {"AppendNumber", [](CString& s) { s.AppendNumber(7); }},
        {"Assign", [](CString& s) { s.Assign("xy", 2); }}, {"SetAt", [](CString& s) { s.SetAt(2, 'J'); }},
        {"GetBuffer", [](CString& s) { s.GetBuffer(40)[0] = 'Z'; s.ReleaseBuffer(); }},
        {"Trim", [](CString& s) { s.Trim(); }}, {"MakeUpper", [](CString& s) { s.MakeUpper(); }},
        {"Replace", [](CString& s) { s.Replace("o", "oo"); }},
        {"View Replace", [](CString& s) { s.Mid(2, 5).Replace("Bye"); }},
        {"SplitFirst", [](CString& s) { CString o; s.SplitFirst(',', o); }},
        {"Format", [](CString& s) { s.Format("%d", 5); }}, {"Unquote", [](CString& s) { s.Unquote(); }},
        {"ToOem", [](CString& s) { s.ToOem(); }}, {"Empty", [](CString& s) { s.Empty(); }},
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

TEST(CStringTest, CopiesShareUnlessNoShare) {
    for (bool noShare : {false, true}) {
        CString::SetNoShare(noShare);
        CString a("text");
        CString b = a;
        CStringList list;
        list.Add(a);
        CStringList copy(list);
        CString::SetNoShare(false);
        EXPECT_EQ(a.RefCount(), noShare ? 1 : 4);
        EXPECT_EQ(a.c_str() == b.c_str(), !noShare);
        EXPECT_EQ(a.c_str() == copy[0].c_str(), !noShare);
        EXPECT_EQ(Str(copy[0]), "text");
    }
    // Every empty text is the one shared instance.
    CString c("x");
    c.Empty();
    EXPECT_EQ(CString().c_str(), c.c_str());
    EXPECT_EQ(CString(nullptr, 5).c_str(), c.c_str());
}

TEST(CStringTest, Views) {
    struct Case { char kind; int a; int b; int start; int length; };  // L left, M mid, m mid with a length, R right
    const Case cases[] = {
        {'L', 6, 0, 0, 6}, {'L', 7, 0, 0, 0}, {'L', -1, 0, 0, 0}, {'M', 2, 0, 2, 4}, {'M', 6, 0, 6, 0},
        {'M', 7, 0, 0, 0}, {'m', 2, 2, 2, 2}, {'m', 5, 2, 0, 0},  {'m', 1, -1, 0, 0}, {'R', 2, 0, 4, 2},
        {'R', 7, 0, 0, 0},
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
    struct Case { const char* text; int start; int length; const char* with; const char* expected; };
    const Case cases[] = {
        {"hello world", 6, 5, "there", "hello there"}, {"hello world", 5, 0, ",", "hello, world"},
        {"abc", 0, 3, "a much longer text than sixteen", "a much longer text than sixteen"}, {"abc", 1, 1, "", "ac"},
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

TEST(CStringTest, CapacityGrowth) {
    CString s("0123456789abcdef");  // 16 characters: full
    EXPECT_EQ(s.Capacity(), 16);
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
    struct Case { const char* text; const char* from; const char* to; bool all; int count; const char* expected; };
    const Case cases[] = {
        {"aaa", "a", "bb", true, 3, "bbbbbb"}, {"aaa", "aa", "x", true, 1, "xa"}, {"abab", "ab", "", true, 2, ""},
        {"abc", "x", "y", true, 0, "abc"}, {"abc", "", "y", true, 0, "abc"},
        {"x$VAR$y", "$VAR$", "value", true, 1, "xvaluey"},
    };
    for (const Case& c : cases) {
        CString s(c.text);
        EXPECT_EQ(s.Replace(c.from, c.to, c.all), c.count) << c.text;
        EXPECT_EQ(Str(s), c.expected) << c.text;
    }
}

TEST(CStringTest, Trim) {
    struct Case { const char* text; const char* trim; const char* left; const char* right; };
    const Case cases[] = {
        {" \t\n\v\f\ra b\r\n ", "a b", "a b\r\n ", " \t\n\v\f\ra b"},
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"},  // bytes above 127 are not blanks
        {"   ", "", "", ""},
    };
    for (const Case& c : cases) {
        CString a(c.text), b(c.text), d(c.text);
        EXPECT_EQ(Str(a.Trim()), c.trim);
        EXPECT_EQ(Str(b.TrimLeft()), c.left);
        EXPECT_EQ(Str(d.TrimRight()), c.right);
    }
}

TEST(CStringTest, FindSpanAndCompare) {
    CString s("abcabc");
    EXPECT_EQ(s.Find('c'), 2);
    EXPECT_EQ(s.Find('c', 3), 5);
    EXPECT_EQ(s.Find('c', -2), -1);
    EXPECT_EQ(s.Find("ca"), 2);
    EXPECT_EQ(s.Find("ca", 3), -1);
    EXPECT_EQ(s.Find("bc", 9), -1);
    EXPECT_EQ(s.ReverseFind('a'), 3);

    EXPECT_EQ(CString("abc").CompareNoCase("ABC"), 0);
    EXPECT_LT(CString("_").CompareNoCase("A"), 0);  // compared in lower case: '_' < 'a' (not '_' > 'A')
    EXPECT_LT(CString("ABC").Compare("abc"), 0);
    EXPECT_FALSE(CString("txt").EndsWith("a.txt"));
    CString path("c:\\dir/sub\\file.txt");
    EXPECT_EQ(Str(path.AfterLast("\\/").ToString()), "file.txt");
    EXPECT_EQ(Str(path.AfterLast("#").ToString()), Str(path));
    EXPECT_EQ(Str(path.SpanExcluding("/\\").ToString()), "c:");
    EXPECT_EQ(Str(path.SpanExcluding("#").ToString()), Str(path));
    EXPECT_EQ(Str(CString("n=").AppendNumber(-42)), "n=-42");
}

TEST(CStringTest, FormatCutAtWorkBufferLimit) {
    struct Case { size_t length; int result; size_t kept; };
    const Case cases[] = {
        {23999, 0, 23999}, {24000, ZRK_INTERNAL, 23999}, {100000, ZRK_INTERNAL, 23999},
    };
    for (const Case& c : cases) {
        std::string arg(c.length, 'x');
        CString s;
        EXPECT_EQ(s.Format("%s", arg.c_str()), c.result) << c.length;
        EXPECT_EQ(static_cast<size_t>(s.Length()), c.kept) << c.length;
        EXPECT_EQ(Str(s), arg.substr(0, c.kept));
        EXPECT_EQ(s.c_str()[s.Length()], '\0');
    }
    CString s("5-ab");
    EXPECT_EQ(s.Format("<%s>", s.c_str()), 0);  // argument from the text itself
    EXPECT_EQ(Str(s), "<5-ab>");
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
    EXPECT_EQ(std::string(p, 3), "abc");
    memcpy(p, "hello\0zz", 8);
    s.ReleaseBuffer();
    EXPECT_EQ(Str(s), "hello");

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
    // A position out of range changes nothing.
    s.SetAt(5, 'x');
    s.SetAt(-1, 'x');
    EXPECT_EQ(Str(s), "hello");
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

    CStringList up(list), down(list), noCase(list);
    up.Sort(true, false);
    down.Sort(false, false);
    noCase.Sort(true, true);
    EXPECT_EQ(Str(up.Join(",")), ",Apple,apple,banana,pear");
    EXPECT_EQ(Str(down.Join(",")), "pear,banana,apple,Apple,");
    EXPECT_EQ(Str(noCase[3]), "banana");  // the two apples in either order before it

    CStringList none;
    none.AddSplit("", ';');
    EXPECT_EQ(none.Count(), 0);
}

}  // namespace
