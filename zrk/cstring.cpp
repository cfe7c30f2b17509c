// Texts, text views and text lists.
//
// Layout of a text buffer (one block from ZrkAlloc):
//
//   int32 refs | int32 capacity | int32 length | capacity characters | 0
//
// A CString holds a pointer to the first character. The empty text is a
// static block that is never counted or freed, so a default-constructed or
// cleared text costs nothing. Reference counts are updated atomically so that
// texts sharing a buffer may live on different threads; a single CString
// object is not itself thread-safe.

#include "zrk/cstring.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

#include "zrk/membuf.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

struct Rep {
    int32_t refs;
    int32_t capacity;
    int32_t length;
};
constexpr size_t kRepSize = sizeof(Rep);
static_assert(kRepSize == 12, "text header is three 32-bit words");

constexpr int kMinCapacity = 16;
constexpr int kMaxLen = CString::MAXLEN;
constexpr int kMaxAppendSlack = 1024;
constexpr int kWorkSize = 24000;  // per-thread formatting buffer

struct EmptyRep {
    Rep rep;
    char chars[4];
};
constinit EmptyRep g_empty = {{1, 0, 0}, {0, 0, 0, 0}};
std::atomic<bool> g_noShare{false};

inline char* EmptyChars() { return g_empty.chars; }
inline bool IsEmptyRep(const char* c) { return c == g_empty.chars; }
inline Rep* RepOf(const char* c) {
    return reinterpret_cast<Rep*>(const_cast<char*>(c) - kRepSize);
}
inline int LenOf(const char* c) { return RepOf(c)->length; }
inline int CapOf(const char* c) { return RepOf(c)->capacity; }

inline void AddRef(char* c) {
    if (!IsEmptyRep(c)) __atomic_add_fetch(&RepOf(c)->refs, 1, __ATOMIC_RELAXED);
}
inline void Release(char* c) {
    if (IsEmptyRep(c)) return;
    Rep* r = RepOf(c);
    if (__atomic_sub_fetch(&r->refs, 1, __ATOMIC_ACQ_REL) == 0) ZrkFree(r);
}
// True when C is a counted buffer held by one text only: it may be written.
inline bool IsUnique(const char* c) {
    return !IsEmptyRep(c) && __atomic_load_n(&RepOf(c)->refs, __ATOMIC_ACQUIRE) == 1;
}
inline void SetLen(char* c, int n) {
    RepOf(c)->length = n;
    c[n] = '\0';
}
inline bool PointsInto(const char* p, const char* c) {
    if (IsEmptyRep(c) || p == nullptr) return false;
    auto u = reinterpret_cast<uintptr_t>(p);
    auto b = reinterpret_cast<uintptr_t>(c);
    return u >= b && u <= b + static_cast<uintptr_t>(CapOf(c));
}

// A new buffer of max(capacity, 16) characters, length 0; nullptr (reported)
// when there is no memory.
char* NewBuf(int64_t capacity) {
    if (capacity < kMinCapacity) capacity = kMinCapacity;
    if (capacity > kMaxLen) capacity = kMaxLen;
    void* block = ZrkAlloc(static_cast<size_t>(capacity) + kRepSize + 1);
    if (block == nullptr) return nullptr;
    Rep* r = new (block) Rep{1, static_cast<int32_t>(capacity), 0};
    char* c = reinterpret_cast<char*>(r) + kRepSize;
    c[0] = '\0';
    return c;
}

// Capacity after appending N characters to reach NEWLEN.
inline int64_t GrowCapacity(int64_t newLen, int64_t appended) {
    int64_t cap = newLen + std::min<int64_t>(appended / 2, kMaxAppendSlack);
    return std::min<int64_t>(cap, kMaxLen);
}

// Makes C a private buffer holding its characters with at least NEED
// characters of capacity; when a new block is needed it gets CAPACITY
// (>= NEED). False (C unchanged, the failure reported) without memory.
bool Prepare(char*& c, int64_t need, int64_t capacity) {
    if (IsUnique(c)) {
        if (CapOf(c) >= need) return true;
        if (capacity < kMinCapacity) capacity = kMinCapacity;
        void* block = ZrkRealloc(RepOf(c), static_cast<size_t>(capacity) + kRepSize + 1);
        if (block == nullptr) return false;
        Rep* r = static_cast<Rep*>(block);
        r->capacity = static_cast<int32_t>(capacity);
        c = reinterpret_cast<char*>(r) + kRepSize;
        return true;
    }
    int len = LenOf(c);
    char* n = NewBuf(std::max<int64_t>(capacity, len));
    if (n == nullptr) return false;
    memcpy(n, c, static_cast<size_t>(len));
    SetLen(n, len);
    Release(c);
    c = n;
    return true;
}

// Accent folding for bytes 128..255 (the entry for 128 is not used).
constexpr char kFold[] =
    "..,f,.||^%S<O..."      // 80-8F
    ".''\"\".--~ts>o..Y"    // 90-9F
    " !cLxY|S\"ca<--r-"     // A0-AF
    "o+23'uP.,10>...?"      // B0-BF
    "AAAAAAACEEEEIIII"      // C0-CF
    "DNOOOOO*OUUUUY.S"      // D0-DF
    "aaaaaaaceeeeiiii"      // E0-EF
    "dnooooo/ouuuuy.y";     // F0-FF
static_assert(sizeof(kFold) == 129, "128 folding entries");

inline unsigned char Normalise(unsigned char c, bool ignoreCase, bool fold) {
    if (fold && c >= 129) c = static_cast<unsigned char>(kFold[c - 128]);
    if (ignoreCase) c = static_cast<unsigned char>(tolower(c));
    return c;
}

inline int LowerByte(unsigned char c) { return tolower(c); }

int StrICmp(const char* a, const char* b) {
    const auto* p = reinterpret_cast<const unsigned char*>(a);
    const auto* q = reinterpret_cast<const unsigned char*>(b);
    for (;; ++p, ++q) {
        int x = LowerByte(*p);
        int y = LowerByte(*q);
        if (x != y || x == 0) return x - y;
    }
}

// Lexicographic byte comparison that also orders texts with zero bytes.
int CompareBytes(const char* a, int la, const char* b, int lb) {
    int r = memcmp(a, b, static_cast<size_t>(std::min(la, lb)));
    if (r != 0) return r;
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

thread_local char t_work[kWorkSize];

}  // namespace

// ---------------------------------------------------------------------------
// Character classes and matching

unsigned char ZrkFoldAccent(unsigned char c) {
    return c >= 129 ? static_cast<unsigned char>(kFold[c - 128]) : c;
}

bool ZrkIsSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool ZrkWildMatch(const char* text, const char* pattern, bool ignoreCase, bool foldAccents) {
    const auto* t = reinterpret_cast<const unsigned char*>(text ? text : "");
    const auto* p = reinterpret_cast<const unsigned char*>(pattern ? pattern : "");
    if (*p == 0) return *t == 0;
    while (*p != 0) {
        if (*p == '?') {
            if (*t == 0) return false;
            ++t;
            ++p;
            continue;
        }
        if (*p == '*') {
            while (*p == '*' || *p == '?') ++p;
            if (*p == 0) return true;
            // The literal segment up to the next "*" is taken at its first
            // occurrence in the rest of the text; there is no backtracking.
            size_t segLen = 0;
            while (p[segLen] != 0 && p[segLen] != '*') ++segLen;
            for (;; ++t) {
                size_t k = 0;
                for (; k < segLen; ++k) {
                    if (t[k] == 0) return false;  // no later start can fit either
                    if (p[k] != '?' &&
                        Normalise(p[k], ignoreCase, foldAccents) !=
                            Normalise(t[k], ignoreCase, foldAccents))
                        break;
                }
                if (k == segLen) break;
            }
            t += segLen;
            p += segLen;
            continue;
        }
        if (*t == 0 || Normalise(*p, ignoreCase, foldAccents) != Normalise(*t, ignoreCase, foldAccents))
            return false;
        ++p;
        ++t;
    }
    return *t == 0;
}

// ---------------------------------------------------------------------------
// CStringView

CStringView::CStringView(CString* text, int start, int length)
    : m_text(text), m_start(start), m_length(length) {
    if (text == nullptr || start < 0 || length < 0 ||
        static_cast<int64_t>(start) + length > text->Length()) {
        // An out-of-range view is empty and detached from the text, so that
        // Replace through it cannot edit the wrong place.
        m_text = nullptr;
        m_start = 0;
        m_length = 0;
    }
}

const char* CStringView::Chars() const { return m_text ? m_text->c_str() + m_start : ""; }

CString CStringView::ToString() const { return CString(*this); }

void CStringView::Replace(const char* chars) {
    if (m_text == nullptr) return;
    if (chars == nullptr) chars = "";
    CString& s = *m_text;
    // The replacement may come from the text itself: keep it apart.
    CString keep;
    if (PointsInto(chars, s.m_chars)) {
        keep = CString(chars);
        chars = keep.c_str();
    }
    int64_t n = static_cast<int64_t>(strlen(chars));
    int len = s.Length();
    int64_t newLen = static_cast<int64_t>(len) - m_length + n;
    if (newLen > kMaxLen) {
        ZRK_INTERNAL_ERROR();
        return;
    }
    int tail = len - m_start - m_length;
    if (n > m_length) {
        if (!Prepare(s.m_chars, newLen, GrowCapacity(newLen, n - m_length))) return;
    } else if (!Prepare(s.m_chars, len, len)) {
        return;
    }
    char* c = s.m_chars;
    memmove(c + m_start + n, c + m_start + m_length, static_cast<size_t>(tail));
    memcpy(c + m_start, chars, static_cast<size_t>(n));
    SetLen(c, static_cast<int>(newLen));
    m_length = static_cast<int>(n);
}

// ---------------------------------------------------------------------------
// CString: construction and assignment

CString::CString() : m_chars(EmptyChars()) {}

CString::CString(const char* s) : m_chars(EmptyChars()) {
    if (s != nullptr && *s != '\0') Assign(s, static_cast<int>(std::min<size_t>(strlen(s), kMaxLen)));
}

CString::CString(const char* s, int n) : m_chars(EmptyChars()) { Assign(s, n); }

CString::CString(const CString& other) : m_chars(EmptyChars()) {
    if (g_noShare.load(std::memory_order_relaxed)) {
        Assign(other.m_chars, other.Length());
    } else {
        m_chars = other.m_chars;
        AddRef(m_chars);
    }
}

CString::CString(CString&& other) noexcept : m_chars(other.m_chars) { other.m_chars = EmptyChars(); }

CString::CString(const CStringView& view) : m_chars(EmptyChars()) { *this = view; }

CString::~CString() { Release(m_chars); }

CString& CString::operator=(const CString& other) {
    if (this == &other || m_chars == other.m_chars) return *this;
    if (g_noShare.load(std::memory_order_relaxed)) {
        Assign(other.m_chars, other.Length());
    } else {
        AddRef(other.m_chars);
        Release(m_chars);
        m_chars = other.m_chars;
    }
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        Release(m_chars);
        m_chars = other.m_chars;
        other.m_chars = EmptyChars();
    }
    return *this;
}

CString& CString::operator=(const char* s) {
    Assign(s, s ? static_cast<int>(std::min<size_t>(strlen(s), kMaxLen)) : 0);
    return *this;
}

CString& CString::operator=(const CStringView& view) {
    const CString* t = view.Text();
    if (t == nullptr || view.Length() == 0) {
        Empty();
    } else if (view.Start() == 0 && view.Length() == t->Length()) {
        *this = *t;  // the whole text: shared like any copy
    } else {
        Assign(t->c_str() + view.Start(), view.Length());
    }
    return *this;
}

void CString::Assign(const char* s, int n) {
    if (s == nullptr || n <= 0) {
        Empty();
        return;
    }
    if (IsUnique(m_chars) && CapOf(m_chars) >= n) {
        memmove(m_chars, s, static_cast<size_t>(n));  // S may lie in this text
        SetLen(m_chars, n);
        return;
    }
    char* c = NewBuf(n);
    if (c == nullptr) return;
    memcpy(c, s, static_cast<size_t>(n));
    SetLen(c, n);
    Release(m_chars);  // after the copy: S may lie in the old buffer
    m_chars = c;
}

void CString::Empty() {
    Release(m_chars);
    m_chars = EmptyChars();
}

// ---------------------------------------------------------------------------
// Appending

CString& CString::Append(char c) {
    int len = Length();
    if (len >= kMaxLen) {
        ZRK_INTERNAL_ERROR();
        return *this;
    }
    if (!IsUnique(m_chars) || CapOf(m_chars) <= len) {
        if (!Prepare(m_chars, len + 1, GrowCapacity(len + 1, 1))) return *this;
    }
    m_chars[len] = c;
    SetLen(m_chars, len + 1);
    return *this;
}

CString& CString::Append(const char* s) {
    if (s == nullptr || *s == '\0') return *this;
    return Append(s, static_cast<int>(std::min<size_t>(strlen(s), kMaxLen)));
}

CString& CString::Append(const char* s, int n) {
    if (s == nullptr || n <= 0) return *this;
    int len = Length();
    if (static_cast<int64_t>(len) + n > kMaxLen) {
        ZRK_INTERNAL_ERROR();  // cut to what a text can hold
        n = kMaxLen - len;
        if (n <= 0) return *this;
    }
    int newLen = len + n;
    if (IsUnique(m_chars) && CapOf(m_chars) >= newLen) {
        memmove(m_chars + len, s, static_cast<size_t>(n));
        SetLen(m_chars, newLen);
        return *this;
    }
    int64_t cap = GrowCapacity(newLen, n);
    if (PointsInto(s, m_chars) || !IsUnique(m_chars)) {
        // Build in a new block: S may lie in the current one.
        char* c = NewBuf(cap);
        if (c == nullptr) return *this;
        memcpy(c, m_chars, static_cast<size_t>(len));
        memcpy(c + len, s, static_cast<size_t>(n));
        SetLen(c, newLen);
        Release(m_chars);
        m_chars = c;
        return *this;
    }
    if (!Prepare(m_chars, newLen, cap)) return *this;
    memcpy(m_chars + len, s, static_cast<size_t>(n));
    SetLen(m_chars, newLen);
    return *this;
}

CString& CString::Append(const CString& s) {
    if (IsEmpty() && !g_noShare.load(std::memory_order_relaxed)) return *this = s;
    return Append(s.m_chars, s.Length());
}

CString& CString::AppendNumber(long n) {
    char buf[32];
    int k = snprintf(buf, sizeof buf, "%ld", n);
    return Append(buf, k);
}

// ---------------------------------------------------------------------------
// Access

int CString::Length() const { return LenOf(m_chars); }

char* CString::GetBuffer(int n) {
    int len = Length();
    int64_t need = std::max(std::max(n, 0), len);
    if (need > kMaxLen) {
        ZRK_INTERNAL_ERROR();  // a smaller buffer than asked for would be overrun
        return nullptr;
    }
    if (!Prepare(m_chars, std::max<int64_t>(need, 1), need)) return nullptr;
    return m_chars;
}

void CString::ReleaseBuffer(int length) {
    if (IsEmptyRep(m_chars)) {
        if (length > 0) ZRK_INTERNAL_ERROR();
        return;
    }
    int cap = CapOf(m_chars);
    if (length < 0) {
        const void* z = memchr(m_chars, 0, static_cast<size_t>(cap));
        length = z ? static_cast<int>(static_cast<const char*>(z) - m_chars) : cap;
    } else if (length > cap) {
        ZRK_INTERNAL_ERROR();
        length = cap;
    }
    if (!IsUnique(m_chars)) {
        // A copy of the text was taken while the buffer was handed out: the
        // new characters go to a block of their own, the copy keeps its own.
        char* c = NewBuf(length);
        if (c == nullptr) return;
        memcpy(c, m_chars, static_cast<size_t>(length));
        Release(m_chars);
        m_chars = c;
    }
    SetLen(m_chars, length);
}

void CString::SetAt(int i, char c) {
    if (i < 0 || i >= Length()) {
        ZRK_INTERNAL_ERROR();
        return;
    }
    if (m_chars[i] == c) return;
    if (!Prepare(m_chars, Length(), Length())) return;
    m_chars[i] = c;
}

void CString::MakePrivate(int minCapacity) {
    int64_t need = std::max(minCapacity, Length());
    Prepare(m_chars, need, need);
}

int CString::RefCount() const {
    return IsEmptyRep(m_chars) ? 1 : __atomic_load_n(&RepOf(m_chars)->refs, __ATOMIC_RELAXED);
}

int CString::Capacity() const { return CapOf(m_chars); }

void CString::SetNoShare(bool on) { g_noShare.store(on, std::memory_order_relaxed); }
bool CString::NoShare() { return g_noShare.load(std::memory_order_relaxed); }

// ---------------------------------------------------------------------------
// Views and searching

CStringView CString::Left(int n) { return CStringView(this, 0, n); }

CStringView CString::Mid(int pos, int n) {
    if (n == MAXLEN) n = Length() - pos;
    return CStringView(this, pos, n);
}

CStringView CString::Right(int n) { return CStringView(this, Length() - n, n); }

int CString::Find(char c, int from) const {
    int len = Length();
    if (from < 0 || from >= len) return -1;
    const void* p = memchr(m_chars + from, static_cast<unsigned char>(c), static_cast<size_t>(len - from));
    return p ? static_cast<int>(static_cast<const char*>(p) - m_chars) : -1;
}

int CString::Find(const char* s, int from) const {
    int len = Length();
    if (s == nullptr || from < 0 || from > len) return -1;
    std::string_view hay(m_chars, static_cast<size_t>(len));
    size_t at = hay.find(s, static_cast<size_t>(from));
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

int CString::ReverseFind(char c) const {
    for (int i = Length() - 1; i >= 0; --i)
        if (m_chars[i] == c) return i;
    return -1;
}

CStringView CString::SpanExcluding(const char* set) {
    int len = Length();
    if (set != nullptr && *set != '\0') {
        bool in[256] = {};
        for (const char* q = set; *q; ++q) in[static_cast<unsigned char>(*q)] = true;
        for (int i = 0; i < len; ++i)
            if (in[static_cast<unsigned char>(m_chars[i])]) return CStringView(this, 0, i);
    }
    return CStringView(this, 0, len);
}

CStringView CString::AfterLast(const char* set) {
    int len = Length();
    if (set != nullptr && *set != '\0') {
        bool in[256] = {};
        for (const char* q = set; *q; ++q) in[static_cast<unsigned char>(*q)] = true;
        for (int i = len - 1; i >= 0; --i)
            if (in[static_cast<unsigned char>(m_chars[i])]) return CStringView(this, i + 1, len - i - 1);
    }
    return CStringView(this, 0, len);
}

int CString::SplitFirst(char c, CString& out) {
    int len = Length();
    if (len == 0) {
        out.Empty();
        return 0;
    }
    int i = Find(c);
    if (i < 0) {
        if (&out != this) out = std::move(*this);
        return 2;
    }
    if (&out == this) {
        Assign(m_chars, i);
        return 1;
    }
    out.Assign(m_chars, i);
    Assign(m_chars + i + 1, len - i - 1);
    return 1;
}

int CString::SplitLast(char c, CString& out) {
    int len = Length();
    if (len == 0) {
        out.Empty();
        return 0;
    }
    int i = ReverseFind(c);
    if (i < 0) {
        if (&out != this) out = std::move(*this);
        return 2;
    }
    if (&out == this) {
        Assign(m_chars + i + 1, len - i - 1);
        return 1;
    }
    out.Assign(m_chars + i + 1, len - i - 1);
    Assign(m_chars, i);
    return 1;
}

// ---------------------------------------------------------------------------
// In-place changes

CString& CString::Trim() {
    int len = Length();
    int b = 0;
    int e = len;
    while (b < e && ZrkIsSpace(static_cast<unsigned char>(m_chars[b]))) ++b;
    while (e > b && ZrkIsSpace(static_cast<unsigned char>(m_chars[e - 1]))) --e;
    if (b != 0 || e != len) Assign(m_chars + b, e - b);
    return *this;
}

CString& CString::TrimLeft() {
    int len = Length();
    int b = 0;
    while (b < len && ZrkIsSpace(static_cast<unsigned char>(m_chars[b]))) ++b;
    if (b != 0) Assign(m_chars + b, len - b);
    return *this;
}

CString& CString::TrimRight() {
    int len = Length();
    int e = len;
    while (e > 0 && ZrkIsSpace(static_cast<unsigned char>(m_chars[e - 1]))) --e;
    if (e != len) Assign(m_chars, e);
    return *this;
}

namespace {
template <int (*Conv)(int)>
void ConvertCase(char*& c) {
    int len = LenOf(c);
    int i = 0;
    while (i < len && Conv(static_cast<unsigned char>(c[i])) == static_cast<unsigned char>(c[i])) ++i;
    if (i == len || !Prepare(c, len, len)) return;
    for (; i < len; ++i) c[i] = static_cast<char>(Conv(static_cast<unsigned char>(c[i])));
}
int Upper(int ch) { return toupper(ch); }
int Lower(int ch) { return tolower(ch); }
}  // namespace

CString& CString::MakeUpper() {
    ConvertCase<Upper>(m_chars);
    return *this;
}

CString& CString::MakeLower() {
    ConvertCase<Lower>(m_chars);
    return *this;
}

CString& CString::ToOem() {
    if (IsEmpty() || !Prepare(m_chars, Length(), Length())) return *this;
    zrkos::CharToOem(m_chars);
    return *this;
}

int CString::Replace(const char* from, const char* to, bool all) {
    if (from == nullptr || *from == '\0') return 0;
    if (to == nullptr) to = "";
    int len = Length();
    std::string_view hay(m_chars, static_cast<size_t>(len));
    std::string_view f(from);
    size_t at = hay.find(f);
    if (at == std::string_view::npos) return 0;

    // FROM or TO may come from this text: keep them apart from the edit.
    CString keepFrom, keepTo;
    if (PointsInto(from, m_chars)) {
        keepFrom = CString(from);
        f = std::string_view(keepFrom.c_str(), static_cast<size_t>(keepFrom.Length()));
    }
    if (PointsInto(to, m_chars)) {
        keepTo = CString(to);
        to = keepTo.c_str();
    }
    std::string_view t(to);

    int count = 0;
    if (t.size() == f.size()) {
        if (!Prepare(m_chars, len, len)) return 0;
        std::string_view h(m_chars, static_cast<size_t>(len));
        do {
            memcpy(m_chars + at, t.data(), t.size());
            ++count;
            at = all ? h.find(f, at + f.size()) : std::string_view::npos;
        } while (at != std::string_view::npos);
        return count;
    }

    size_t first = at;
    for (size_t p = at; p != std::string_view::npos; p = all ? hay.find(f, p + f.size()) : std::string_view::npos)
        ++count;
    int64_t newLen = static_cast<int64_t>(len) + static_cast<int64_t>(count) * (static_cast<int64_t>(t.size()) -
                                                                               static_cast<int64_t>(f.size()));
    if (newLen > kMaxLen) {
        ZRK_INTERNAL_ERROR();
        return 0;
    }
    char* c = NewBuf(newLen);
    if (c == nullptr) return 0;
    char* o = c;
    size_t prev = 0;
    for (size_t p = first; p != std::string_view::npos; p = all ? hay.find(f, p + f.size()) : std::string_view::npos) {
        memcpy(o, m_chars + prev, p - prev);
        o += p - prev;
        memcpy(o, t.data(), t.size());
        o += t.size();
        prev = p + f.size();
    }
    memcpy(o, m_chars + prev, static_cast<size_t>(len) - prev);
    SetLen(c, static_cast<int>(newLen));
    Release(m_chars);
    m_chars = c;
    return count;
}

// ---------------------------------------------------------------------------
// Formatting

int CString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int r = FormatV(fmt, args);
    va_end(args);
    return r;
}

int CString::FormatV(const char* fmt, va_list args) {
    if (fmt == nullptr) {
        Empty();
        return 0;
    }
    char* buf = t_work;
    int n = vsnprintf(buf, kWorkSize, fmt, args);
    int len;
    bool cut = false;
    if (n < 0) {
        // A runtime that reports overflow as -1 (or a bad format): keep what
        // was written, terminated inside the buffer.
        buf[kWorkSize - 1] = '\0';
        len = static_cast<int>(strlen(buf));
        cut = true;
    } else if (n >= kWorkSize) {
        len = kWorkSize - 1;
        cut = true;
    } else {
        len = n;
    }
    Assign(buf, len);
    // Reported only after the text is safe: the report formats through the
    // same work buffer.
    return cut ? ZRK_INTERNAL_ERROR() : 0;
}

int CString::FormatIdRaw(int msgId, ...) {
    va_list args;
    va_start(args, msgId);
    int r = FormatIdV(msgId, args);
    va_end(args);
    return r;
}

int CString::FormatIdV(int msgId, va_list args) {
    CString fmt = ZrkMessageText(msgId);
    if (fmt.IsEmpty()) {
        Empty();
        return ZRK_INTERNAL;  // the missing text was reported where it was looked up
    }
    return FormatV(fmt.c_str(), args);
}

CString CString::Printf(const char* fmt, ...) {
    CString s;
    va_list args;
    va_start(args, fmt);
    s.FormatV(fmt, args);
    va_end(args);
    return s;
}

// ---------------------------------------------------------------------------
// Comparing and matching

int CString::Compare(const char* s) const { return strcmp(m_chars, s ? s : ""); }

int CString::CompareNoCase(const char* s) const { return StrICmp(m_chars, s ? s : ""); }

bool CString::EndsWith(const char* s) const {
    if (s == nullptr) return true;
    size_t n = strlen(s);
    size_t len = static_cast<size_t>(Length());
    return n <= len && memcmp(m_chars + len - n, s, n) == 0;
}

bool CString::StartsWith(const char* s) const {
    if (s == nullptr) return true;
    size_t n = strlen(s);
    return n <= static_cast<size_t>(Length()) && memcmp(m_chars, s, n) == 0;
}

bool CString::Match(const char* pattern, bool ignoreCase, bool foldAccents) const {
    return ZrkWildMatch(m_chars, pattern, ignoreCase, foldAccents);
}

bool operator==(const CString& a, const CString& b) {
    if (a.c_str() == b.c_str()) return true;
    int n = a.Length();
    return n == b.Length() && memcmp(a.c_str(), b.c_str(), static_cast<size_t>(n)) == 0;
}

bool operator==(const CString& a, const char* b) {
    if (b == nullptr) return a.IsEmpty();
    size_t n = strlen(b);
    return n == static_cast<size_t>(a.Length()) && memcmp(a.c_str(), b, n) == 0;
}

bool operator!=(const CString& a, const CString& b) { return !(a == b); }
bool operator!=(const CString& a, const char* b) { return !(a == b); }

bool operator<(const CString& a, const CString& b) {
    return CompareBytes(a.c_str(), a.Length(), b.c_str(), b.Length()) < 0;
}

namespace {
CString Concat(const char* a, int la, const char* b, int lb) {
    CString r;
    int64_t n = static_cast<int64_t>(la) + lb;
    if (n > kMaxLen) {
        ZRK_INTERNAL_ERROR();
        lb = kMaxLen - la;
        n = kMaxLen;
    }
    char* c = r.GetBuffer(static_cast<int>(n));
    if (c == nullptr) return r;
    memcpy(c, a, static_cast<size_t>(la));
    memcpy(c + la, b, static_cast<size_t>(lb));
    r.ReleaseBuffer(static_cast<int>(n));
    return r;
}
}  // namespace

CString operator+(const CString& a, const CString& b) {
    if (b.IsEmpty()) return a;
    if (a.IsEmpty()) return b;
    return Concat(a.c_str(), a.Length(), b.c_str(), b.Length());
}

CString operator+(const CString& a, const char* b) {
    if (b == nullptr || *b == '\0') return a;
    return Concat(a.c_str(), a.Length(), b, static_cast<int>(std::min<size_t>(strlen(b), kMaxLen)));
}

CString operator+(const char* a, const CString& b) {
    if (a == nullptr || *a == '\0') return b;
    return Concat(a, static_cast<int>(std::min<size_t>(strlen(a), kMaxLen)), b.c_str(), b.Length());
}

// ---------------------------------------------------------------------------
// Quoting

CString CString::Quote(const char* text, bool onlyWhenNeeded, bool addQuotes) {
    if (text == nullptr) text = "";
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t n = strlen(text);
    int64_t out = addQuotes ? 2 : 0;
    bool needed = false;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = s[i];
        if (c < 33 || c == '\\' || c == '"') needed = true;
        if (c == '\t' || c == '\n' || c == '\r' || c == '"' || c == '\\')
            out += 2;
        else if (c < 32)
            out += 4;
        else
            out += 1;
    }
    if (onlyWhenNeeded && !needed) return CString(text);
    if (out > kMaxLen) {
        ZRK_INTERNAL_ERROR();
        return CString();
    }
    static const char kHex[] = "0123456789ABCDEF";
    CString r;
    char* o = r.GetBuffer(static_cast<int>(out));
    if (o == nullptr) return r;
    char* start = o;
    if (addQuotes) *o++ = '"';
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = s[i];
        switch (c) {
            case '\t': *o++ = '\\'; *o++ = 't'; break;
            case '\n': *o++ = '\\'; *o++ = 'n'; break;
            case '\r': *o++ = '\\'; *o++ = 'r'; break;
            case '"': *o++ = '\\'; *o++ = '"'; break;
            case '\\': *o++ = '\\'; *o++ = '\\'; break;
            default:
                if (c < 32) {
                    *o++ = '\\';
                    *o++ = 'x';
                    *o++ = kHex[c >> 4];
                    *o++ = kHex[c & 15];
                } else {
                    *o++ = static_cast<char>(c);
                }
        }
    }
    if (addQuotes) *o++ = '"';
    r.ReleaseBuffer(static_cast<int>(o - start));
    return r;
}

namespace {
inline int UpperHexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

int CString::Unquote() {
    const char* s = m_chars;
    int len = Length();
    int b = 0;
    int e = len;
    while (b < e && ZrkIsSpace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && ZrkIsSpace(static_cast<unsigned char>(s[e - 1]))) --e;
    if (b == e || s[b] != '"') {
        if (b != 0 || e != len) Assign(s + b, e - b);
        return 0;
    }
    if (e - b < 2) return ZRK_INTERNAL_ERROR();

    CString out;
    char* o = out.GetBuffer(e - b);
    if (o == nullptr) return ZRK_NOMEM;
    int k = 0;
    int i = b + 1;
    for (;;) {
        if (i >= e) return ZRK_INTERNAL_ERROR();  // no closing quote
        char c = s[i];
        if (c == '"') break;
        if (c != '\\') {
            o[k++] = c;
            ++i;
            continue;
        }
        if (i + 1 >= e) return ZRK_INTERNAL_ERROR();  // backslash at the end
        char x = s[i + 1];
        switch (x) {
            case '"':
            case '\\': o[k++] = x; break;
            case 'n': o[k++] = '\n'; break;
            case 'r': o[k++] = '\r'; break;
            case 't': o[k++] = '\t'; break;
            case 'x': {
                if (i + 3 >= e) return ZRK_INTERNAL_ERROR();  // fewer than two digits
                int hi = UpperHexDigit(s[i + 2]);
                int lo = UpperHexDigit(s[i + 3]);
                if (hi < 0 || lo < 0) return ZRK_INTERNAL_ERROR();
                o[k++] = static_cast<char>(hi * 16 + lo);
                i += 2;
                break;
            }
            default: return ZRK_INTERNAL_ERROR();  // unknown escape
        }
        i += 2;
    }
    out.ReleaseBuffer(k);
    *this = std::move(out);
    return 0;
}

// ---------------------------------------------------------------------------
// CStringList

CStringList::CStringList() : m_capacity(0), m_count(0), m_items(nullptr) {}

CStringList::CStringList(const CStringList& other) : m_capacity(0), m_count(0), m_items(nullptr) {
    *this = other;
}

CStringList& CStringList::operator=(const CStringList& other) {
    if (this == &other) return *this;
    if (m_capacity < other.m_count) {
        delete[] m_items;
        m_items = nullptr;
        m_capacity = 0;
        if (other.m_capacity > 0) {
            m_items = new CString[static_cast<size_t>(other.m_capacity)];
            m_capacity = other.m_capacity;
        }
    }
    for (int i = 0; i < other.m_count; ++i) m_items[i] = other.m_items[i];
    for (int i = other.m_count; i < m_count; ++i) m_items[i].Empty();
    m_count = other.m_count;
    return *this;
}

CStringList::~CStringList() { delete[] m_items; }

void CStringList::Grow() {
    int64_t cap = m_capacity == 0 ? 10 : static_cast<int64_t>(m_capacity) * 3 / 2;
    if (cap <= m_capacity) cap = static_cast<int64_t>(m_capacity) + 1;
    auto* items = new CString[static_cast<size_t>(cap)];
    for (int i = 0; i < m_count; ++i) items[i] = std::move(m_items[i]);
    delete[] m_items;
    m_items = items;
    m_capacity = static_cast<int>(cap);
}

void CStringList::Add(const CString& s) {
    if (m_count == m_capacity) {
        // S may be an item of this list: hold it across the move.
        CString keep(s);
        Grow();
        m_items[m_count++] = std::move(keep);
        return;
    }
    m_items[m_count++] = s;
}

void CStringList::Add(const char* s) {
    if (m_count == m_capacity) Grow();
    m_items[m_count++] = s;
}

void CStringList::RemoveAt(int index) {
    if (index < 0 || index >= m_count) {
        ZRK_INTERNAL_ERROR();
        return;
    }
    for (int i = index; i + 1 < m_count; ++i) m_items[i] = std::move(m_items[i + 1]);
    m_items[--m_count].Empty();
}

void CStringList::Clear() {
    for (int i = 0; i < m_count; ++i) m_items[i].Empty();
    m_count = 0;
}

int CStringList::Find(const char* s, bool caseSensitive) const {
    if (s == nullptr) s = "";
    for (int i = 0; i < m_count; ++i) {
        const char* t = m_items[i].c_str();
        if ((caseSensitive ? strcmp(t, s) : StrICmp(t, s)) == 0) return i;
    }
    return -1;
}

void CStringList::Sort(bool ascending, bool ignoreCase) {
    auto cmp = [ascending, ignoreCase](const CString& a, const CString& b) {
        int r = ignoreCase ? StrICmp(a.c_str(), b.c_str()) : strcmp(a.c_str(), b.c_str());
        return ascending ? r < 0 : r > 0;
    };
    std::sort(m_items, m_items + m_count, cmp);
}

void CStringList::AddSplit(const char* text, char sep, bool trim) {
    if (text == nullptr || *text == '\0') return;
    const char* p = text;
    for (;;) {
        const char* q = strchr(p, sep);
        if (sep == '\0') q = nullptr;
        size_t n = q ? static_cast<size_t>(q - p) : strlen(p);
        CString part(p, static_cast<int>(std::min<size_t>(n, kMaxLen)));
        if (trim) part.Trim();
        if (m_count == m_capacity) Grow();
        m_items[m_count++] = std::move(part);
        if (q == nullptr) break;
        p = q + 1;
    }
}

CString CStringList::Join(const char* sep) const {
    if (sep == nullptr) sep = "";
    int64_t sl = static_cast<int64_t>(strlen(sep));
    int64_t total = 0;
    for (int i = 0; i < m_count; ++i) total += m_items[i].Length() + (i ? sl : 0);
    if (total > kMaxLen) {
        ZRK_INTERNAL_ERROR();
        total = kMaxLen;
    }
    CString r;
    if (total == 0) return r;
    char* o = r.GetBuffer(static_cast<int>(total));
    if (o == nullptr) return r;
    int64_t k = 0;
    auto put = [&](const char* s, int64_t n) {
        n = std::min(n, total - k);
        memcpy(o + k, s, static_cast<size_t>(n));
        k += n;
    };
    for (int i = 0; i < m_count; ++i) {
        if (i) put(sep, sl);
        put(m_items[i].c_str(), m_items[i].Length());
    }
    r.ReleaseBuffer(static_cast<int>(k));
    return r;
}
