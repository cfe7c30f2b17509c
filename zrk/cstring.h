// Texts, text views and text lists.
//
// A CString is one pointer to its characters; in front of them lies a header
// of three 32-bit words (reference count, capacity, length) and behind them a
// zero byte. Copies share the characters (unless the "NoShareStr" setting
// asks for copies); every modification of a shared text first gives it a
// private copy. Texts are single-byte ANSI.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "zrk/msgid.h"

class CString;

// A range of a text: (text, start, length). A view whose range does not lie
// inside the text is empty (start 0, length 0).
class CStringView {
public:
    CStringView(CString* text, int start, int length);
    CString* Text() const { return m_text; }
    int Start() const { return m_start; }
    int Length() const { return m_length; }
    const char* Chars() const;  // first character of the range (not terminated)
    CString ToString() const;
    // Replace the viewed range of the text by CHARS (modifies the text in place).
    void Replace(const char* chars);

private:
    CString* m_text;
    int m_start;
    int m_length;
};

class CString {
public:
    static constexpr int MAXLEN = 0x7FFFFFFE;

    CString();
    CString(const char* s);  // NOLINT: implicit on purpose
    CString(const char* s, int n);
    CString(const CString& other);
    CString(CString&& other) noexcept;
    CString(const CStringView& view);  // NOLINT
    ~CString();

    CString& operator=(const CString& other);
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const char* s);
    CString& operator=(const CStringView& view);
    void Assign(const char* s, int n);
    void Empty();

    CString& Append(char c);
    CString& Append(const char* s);
    CString& Append(const char* s, int n);
    CString& Append(const CString& s);
    CString& AppendNumber(long n);
    CString& operator+=(char c) { return Append(c); }
    CString& operator+=(const char* s) { return Append(s); }
    CString& operator+=(const CString& s) { return Append(s); }

    int Length() const;
    bool IsEmpty() const { return Length() == 0; }
    const char* c_str() const { return m_chars; }
    operator const char*() const { return m_chars; }  // NOLINT
    char operator[](int i) const { return m_chars[i]; }
    char operator[](size_t i) const { return m_chars[i]; }

    // A private, writable buffer of at least N characters (plus terminator);
    // ReleaseBuffer sets the length (-1: up to the first zero byte).
    char* GetBuffer(int n);
    void ReleaseBuffer(int length = -1);
    void SetAt(int i, char c);

    // Views.
    CStringView Left(int n);
    CStringView Mid(int pos, int n = MAXLEN);
    CStringView Right(int n);

    int Find(char c, int from = 0) const;  // -1 when absent
    int Find(const char* s, int from = 0) const;
    int ReverseFind(char c) const;

    // The view up to the first character of SET (the whole text when none).
    CStringView SpanExcluding(const char* set);
    // The view after the last character of SET (the whole text when none).
    CStringView AfterLast(const char* set);

    // Split at the first C: the part before goes to OUT, this text keeps the
    // part after. Split at the last C: the part after goes to OUT, this text
    // keeps the part before. 1 found, 2 not found (OUT receives the whole text
    // and this one becomes empty), 0 for an empty text (OUT is emptied).
    int SplitFirst(char c, CString& out);
    int SplitLast(char c, CString& out);

    CString& Trim();
    CString& TrimLeft();
    CString& TrimRight();
    CString& MakeUpper();
    CString& MakeLower();
    CString& ToOem();  // ANSI to OEM code page, for console output

    // Replace the first (or every) occurrence of FROM by TO; returns the
    // number of replacements.
    int Replace(const char* from, const char* to, bool all = true);

    // printf formatting. The result must stay below 24,000 bytes; a longer one
    // is an internal error and is cut. Returns 0 or ZRK_INTERNAL.
    int Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    int FormatV(const char* fmt, va_list args);
    // Format the text of a named message id (MSG_...) with its arguments,
    // checked against the message's signature at compile time.
    template <char... K, class... A>
    int FormatId(ZrkMsg<K...> msg, const A&... args) {
        ZRK_CHECK_MESSAGE_ARGS(ZrkMsg<K...>, A);
        return FormatIdRaw(msg.id, ZRK_PASS_MESSAGE_ARGS(K, args));
    }
    int FormatIdRaw(int msgId, ...);
    int FormatIdV(int msgId, va_list args);
    static CString Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    int Compare(const char* s) const;        // strcmp
    int CompareNoCase(const char* s) const;  // _stricmp
    bool EndsWith(const char* s) const;
    bool StartsWith(const char* s) const;

    // Wildcard match of this text against PATTERN ("*" and "?", no
    // backtracking after a "*" segment is found).
    bool Match(const char* pattern, bool ignoreCase = false, bool foldAccents = false) const;

    // Quote TEXT with C-like escapes; see cstring.cpp.
    static CString Quote(const char* text, bool onlyWhenNeeded, bool addQuotes);
    // Undo Quote in place. 0, or ZRK_INTERNAL (text unchanged) on a bad text.
    int Unquote();

    // Number of texts currently sharing this text's characters (tests).
    int RefCount() const;
    int Capacity() const;

    // "NoShareStr": when set, copies copy the characters instead of sharing.
    static void SetNoShare(bool on);
    static bool NoShare();

private:
    friend class CStringView;
    void MakePrivate(int minCapacity);
    char* m_chars;
};

bool operator==(const CString& a, const CString& b);
bool operator==(const CString& a, const char* b);
bool operator!=(const CString& a, const CString& b);
bool operator!=(const CString& a, const char* b);
bool operator<(const CString& a, const CString& b);
CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const char* b);
CString operator+(const char* a, const CString& b);

// Wildcard match on plain characters (the same rules as CString::Match).
bool ZrkWildMatch(const char* text, const char* pattern, bool ignoreCase, bool foldAccents);
// Accent folding of one byte (129..255 through the table; others unchanged).
unsigned char ZrkFoldAccent(unsigned char c);
// White space as the framework counts it: isspace for bytes up to 127.
bool ZrkIsSpace(unsigned char c);

// A list of texts that grows to capacity * 3 / 2 (10 from 0).
class CStringList {
public:
    CStringList();
    CStringList(const CStringList& other);
    CStringList& operator=(const CStringList& other);
    ~CStringList();

    int Count() const { return m_count; }
    int Capacity() const { return m_capacity; }
    const CString& operator[](int i) const { return m_items[i]; }
    CString& operator[](int i) { return m_items[i]; }
    void Add(const CString& s);
    void Add(const char* s);
    void RemoveAt(int index);
    void Clear();
    int Find(const char* s, bool caseSensitive = true) const;  // -1 when absent
    void Sort(bool ascending = true, bool ignoreCase = false);
    // Split TEXT at SEP into the list (appending); each part trimmed when TRIM.
    void AddSplit(const char* text, char sep, bool trim = false);
    // The items joined with SEP.
    CString Join(const char* sep) const;

private:
    void Grow();
    int m_capacity;
    int m_count;
    CString* m_items;
};
