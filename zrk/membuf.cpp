// Memory: allocation, the two byte buffers and the CRC-32.

#include "zrk/membuf.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

// ---------------------------------------------------------------------------
// Allocation

namespace {

std::atomic<ZrkOutOfMemoryHandler> g_outOfMemory{nullptr};

// After a failed attempt: whether to try again. The handler decides (it may
// free memory or ask the user to), but never more than kZrkAllocRetries
// times, so that a request the system can never meet (a size read from a
// damaged file) fails instead of keeping an unattended program waiting.
bool RetryAfterFailure(size_t size, int* retries) {
    const ZrkOutOfMemoryHandler handler = g_outOfMemory.load();
    if (handler == nullptr || *retries >= kZrkAllocRetries) return false;
    ++*retries;
    return handler(size);
}

// Reporting builds texts and may itself run out of memory: a failure while
// a failure is being reported stays silent instead of recursing.
thread_local bool t_reportingNoMemory = false;

void ReportNoMemory() {
    if (t_reportingNoMemory) return;
    t_reportingNoMemory = true;
    ZrkErrorId(ZRK_NOMEM, MSG_OUT_OF_MEMORY);
    t_reportingNoMemory = false;
}

}  // namespace

ZrkOutOfMemoryHandler ZrkSetOutOfMemoryHandler(ZrkOutOfMemoryHandler handler) {
    return g_outOfMemory.exchange(handler);
}

void* ZrkAlloc(size_t size) {
    if (size == 0) size = 1;
    int retries = 0;
    do {
        if (void* p = zrkos::Realloc(nullptr, size)) return p;
    } while (RetryAfterFailure(size, &retries));
    ReportNoMemory();
    return nullptr;
}

void* ZrkRealloc(void* block, size_t size) {
    if (size == 0) size = 1;
    int retries = 0;
    do {
        if (void* p = zrkos::Realloc(block, size)) return p;
    } while (RetryAfterFailure(size, &retries));
    ReportNoMemory();
    return nullptr;
}

void ZrkFree(void* block) { zrkos::Free(block); }

// ---------------------------------------------------------------------------
// CRC-32. Slicing by 8: eight tables let the loop fold eight bytes per step.
// Where the processor multiplies carry-less (PCLMULQDQ, checked once at run
// time), runs of 64 bytes or more are folded 16 bytes at a time, four lanes
// at once, ten times the speed of the tables; the tail goes through them.

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define ZRK_CRC_CLMUL 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeCrcTables() {
    CrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

#ifdef ZRK_CRC_CLMUL
bool HasClmul() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    return (c & bit_PCLMUL) != 0 && (d & bit_SSE2) != 0;
}

#define ZRK_CLMUL_TARGET __attribute__((target("pclmul,sse2")))

ZRK_CLMUL_TARGET inline __m128i Load128(const uint8_t* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// X times the two halves of K, folded onto DATA.
ZRK_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i data) {
    const __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), data);
}

// The CRC register after folding LEN bytes (at least 64, a multiple of 16)
// at P into CRC: four 128-bit lanes folded by 512 bits at a time, then into
// one lane, to 64 bits, and Barrett-reduced to 32 (the constants are powers
// of x modulo the reflected polynomial).
ZRK_CLMUL_TARGET uint32_t ClmulCrc(const uint8_t* p, size_t len, uint32_t crc) {
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);

    __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load128(p + 16);
    __m128i x3 = Load128(p + 32);
    __m128i x4 = Load128(p + 48);
    p += 64;
    len -= 64;
    for (; len >= 64; p += 64, len -= 64) {
        x1 = Fold(x1, k1k2, Load128(p));
        x2 = Fold(x2, k1k2, Load128(p + 16));
        x3 = Fold(x3, k1k2, Load128(p + 32));
        x4 = Fold(x4, k1k2, Load128(p + 48));
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    for (; len >= 16; p += 16, len -= 16) x1 = Fold(x1, k3k4, Load128(p));

    // 128 bits to 64, then to 32.
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x, low32), k5, 0x00), _mm_srli_si128(x, 4));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, low32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), poly, 0x00);
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(_mm_xor_si128(x, t), 4)));
}
#endif

}  // namespace

uint32_t ZrkCrc32RunTable(const void* data, size_t len, uint32_t crc) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (p == nullptr) return crc;
    while (len >= 8) {
        uint32_t a = Load32(p) ^ crc;
        uint32_t b = Load32(p + 4);
        crc = kCrc[7][a & 0xFF] ^ kCrc[6][(a >> 8) & 0xFF] ^ kCrc[5][(a >> 16) & 0xFF] ^ kCrc[4][a >> 24] ^
              kCrc[3][b & 0xFF] ^ kCrc[2][(b >> 8) & 0xFF] ^ kCrc[1][(b >> 16) & 0xFF] ^ kCrc[0][b >> 24];
        p += 8;
        len -= 8;
    }
    while (len-- > 0) crc = kCrc[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

uint32_t ZrkCrc32Run(const void* data, size_t len, uint32_t crc) {
#ifdef ZRK_CRC_CLMUL
    static const bool clmul = HasClmul();
    if (clmul && len >= 64 && data != nullptr) {
        const size_t whole = len & ~size_t{15};
        crc = ClmulCrc(static_cast<const uint8_t*>(data), whole, crc);
        data = static_cast<const uint8_t*>(data) + whole;
        len -= whole;
    }
#endif
    return ZrkCrc32RunTable(data, len, crc);
}

uint32_t ZrkCrc32(const void* data, size_t len) { return ~ZrkCrc32Run(data, len, 0xFFFFFFFFu); }

// ---------------------------------------------------------------------------
// Shared helpers

namespace {

constexpr int kByteBufferSlack = 4096;
constexpr int kMemBufSlack = 32768;
constexpr int64_t kMaxSize = 0x7FFFFFFF;

// Capacity for a request of N bytes: at least 16, plus half again up to
// SLACK, never above 2^31 - 1.
int GrownCapacity(int64_t n, int slack) {
    n = std::max<int64_t>(n, 16);
    return static_cast<int>(std::min<int64_t>(n + std::min<int64_t>(n / 2, slack), kMaxSize));
}

// Reads N bytes at POS of a buffer of SIZE used bytes.
int ReadAt(const uint8_t* data, int size, int& pos, bool& error, void* out, int n) {
    if (n < 0 || size - pos < n) {
        error = true;
        return 1;
    }
    if (out != nullptr && n > 0) memcpy(out, data + pos, static_cast<size_t>(n));
    pos += n;
    return 0;
}

int ReadTextAt(const uint8_t* data, int size, int& pos, bool& error, CString& out) {
    const void* z = pos < size ? memchr(data + pos, 0, static_cast<size_t>(size - pos)) : nullptr;
    if (z == nullptr) {
        error = true;
        return 1;
    }
    int n = static_cast<int>(static_cast<const uint8_t*>(z) - (data + pos));
    out.Assign(reinterpret_cast<const char*>(data + pos), n);
    pos += n + 1;
    return 0;
}

inline int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// CByteBuffer

CByteBuffer::CByteBuffer(int capacity) {
    if (capacity > 0) Reserve(capacity);
}

CByteBuffer::CByteBuffer(const void* data, int len)
    : m_size(data != nullptr && len > 0 ? len : 0),
      m_data(const_cast<uint8_t*>(static_cast<const uint8_t*>(data))) {}

CByteBuffer::CByteBuffer(const CByteBuffer& other) { *this = other; }

CByteBuffer::CByteBuffer(CByteBuffer&& other) noexcept
    : m_error(other.m_error),
      m_pos(other.m_pos),
      m_size(other.m_size),
      m_capacity(other.m_capacity),
      m_data(other.m_data) {
    other.m_error = false;
    other.m_pos = other.m_size = other.m_capacity = 0;
    other.m_data = nullptr;
}

CByteBuffer& CByteBuffer::operator=(const CByteBuffer& other) {
    if (this == &other) return *this;
    m_pos = 0;
    m_size = 0;
    if (other.m_size > 0 && Grow(other.m_size) != 0) return *this;
    if (other.m_size > 0) memcpy(m_data, other.m_data, static_cast<size_t>(other.m_size));
    m_size = other.m_size;
    m_pos = other.m_pos;
    m_error = other.m_error;
    return *this;
}

CByteBuffer& CByteBuffer::operator=(CByteBuffer&& other) noexcept {
    if (this != &other) {
        if (m_capacity != 0) ZrkFree(m_data);
        m_error = std::exchange(other.m_error, false);
        m_pos = std::exchange(other.m_pos, 0);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_data = std::exchange(other.m_data, nullptr);
    }
    return *this;
}

CByteBuffer::~CByteBuffer() {
    if (m_capacity != 0) ZrkFree(m_data);
}

// Exactly CAPACITY owned bytes holding the used ones.
int CByteBuffer::Realloc(int capacity) {
    uint8_t* data;
    if (m_capacity != 0) {
        data = static_cast<uint8_t*>(ZrkRealloc(m_data, static_cast<size_t>(capacity)));
        if (data == nullptr) return ZRK_NOMEM;
    } else {
        data = static_cast<uint8_t*>(ZrkAlloc(static_cast<size_t>(capacity)));
        if (data == nullptr) return ZRK_NOMEM;
        if (m_size > 0) memcpy(data, m_data, static_cast<size_t>(m_size));
    }
    m_data = data;
    m_capacity = capacity;
    return 0;
}

int CByteBuffer::Grow(int64_t needed) {
    if (needed > kMaxSize) return ZRK_INTERNAL_ERROR();
    if (m_capacity != 0 && needed <= m_capacity) return 0;
    return Realloc(std::max(GrownCapacity(needed, kByteBufferSlack), m_size));
}

int CByteBuffer::Reserve(int n) {
    n = std::max(n, m_size);
    if (n == m_capacity) return 0;
    if (n == 0) {
        // Nothing used and nothing wanted: drop the block (or the borrowed bytes).
        if (m_capacity != 0) ZrkFree(m_data);
        m_data = nullptr;
        m_capacity = 0;
        return 0;
    }
    return Realloc(n);
}

int CByteBuffer::SetSize(int n) {
    if (n < 0) return ZRK_INTERNAL_ERROR();
    if (n > m_size) {
        ZRK_TRY(Grow(n));
        memset(m_data + m_size, 0, static_cast<size_t>(n - m_size));
    }
    m_size = n;
    m_pos = 0;
    return 0;
}

int CByteBuffer::Append(const void* data, int n) {
    if (n <= 0 || data == nullptr) return n < 0 ? ZRK_INTERNAL_ERROR() : 0;
    int64_t needed = static_cast<int64_t>(m_size) + n;
    if (m_capacity == 0 || needed > m_capacity) {
        // DATA may lie in the current bytes, which the growth may move.
        auto* src = static_cast<const uint8_t*>(data);
        if (m_data != nullptr && src >= m_data && src < m_data + m_size) {
            ptrdiff_t offset = src - m_data;
            ZRK_TRY(Grow(needed));
            data = m_data + offset;
        } else {
            ZRK_TRY(Grow(needed));
        }
    }
    memmove(m_data + m_size, data, static_cast<size_t>(n));
    m_size += n;
    return 0;
}

int CByteBuffer::AppendText(const char* s) {
    if (s == nullptr) s = "";
    size_t n = strlen(s) + 1;
    if (n > static_cast<size_t>(kMaxSize)) return ZRK_INTERNAL_ERROR();
    return Append(s, static_cast<int>(n));
}

int CByteBuffer::Read(void* out, int n) { return ReadAt(m_data, m_size, m_pos, m_error, out, n); }

int CByteBuffer::ReadText(CString& out) { return ReadTextAt(m_data, m_size, m_pos, m_error, out); }

void CByteBuffer::Clear() {
    m_size = 0;
    m_pos = 0;
    m_error = false;
    if (m_capacity == 0) m_data = nullptr;  // let go of borrowed bytes
}

// ---------------------------------------------------------------------------
// CMemBuf: the block is a 32-bit reference count followed by the data.

namespace {

constexpr size_t kRefSize = sizeof(int32_t);

inline int32_t* RefOf(uint8_t* data) { return reinterpret_cast<int32_t*>(data - kRefSize); }

uint8_t* NewBlock(int capacity) {
    void* block = ZrkAlloc(static_cast<size_t>(capacity) + kRefSize);
    if (block == nullptr) return nullptr;
    *static_cast<int32_t*>(block) = 1;
    return static_cast<uint8_t*>(block) + kRefSize;
}

}  // namespace

CMemBuf::CMemBuf(int capacity) {
    if (capacity > 0) Reserve(capacity);
}

CMemBuf::CMemBuf(const void* data, int len) {
    if (data != nullptr && len > 0) Append(data, len);
}

CMemBuf::CMemBuf(const CMemBuf& other)
    : m_data(other.m_data),
      m_pos(other.m_pos),
      m_size(other.m_size),
      m_capacity(other.m_capacity),
      m_error(other.m_error) {
    if (m_data != nullptr) __atomic_add_fetch(RefOf(m_data), 1, __ATOMIC_RELAXED);
}

CMemBuf::CMemBuf(CMemBuf&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_pos(std::exchange(other.m_pos, 0)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_error(std::exchange(other.m_error, false)) {}

CMemBuf& CMemBuf::operator=(const CMemBuf& other) {
    if (this == &other) return *this;
    if (other.m_data != nullptr) __atomic_add_fetch(RefOf(other.m_data), 1, __ATOMIC_RELAXED);
    Release();
    m_data = other.m_data;
    m_pos = other.m_pos;
    m_size = other.m_size;
    m_capacity = other.m_capacity;
    m_error = other.m_error;
    return *this;
}

CMemBuf& CMemBuf::operator=(CMemBuf&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_pos = std::exchange(other.m_pos, 0);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_error = std::exchange(other.m_error, false);
    }
    return *this;
}

CMemBuf::~CMemBuf() { Release(); }

void CMemBuf::Release() {
    if (m_data != nullptr && __atomic_sub_fetch(RefOf(m_data), 1, __ATOMIC_ACQ_REL) == 0)
        ZrkFree(RefOf(m_data));
    m_data = nullptr;
    m_capacity = 0;
}

int CMemBuf::RefCount() const {
    return m_data ? __atomic_load_n(RefOf(m_data), __ATOMIC_RELAXED) : 0;
}

// Makes the data private with room for NEEDED bytes (grown by the rule of
// the buffer when a new block is needed).
int CMemBuf::MakeWritable(int64_t needed) {
    if (needed > kMaxSize) return ZRK_INTERNAL_ERROR();
    bool shared = m_data != nullptr && __atomic_load_n(RefOf(m_data), __ATOMIC_ACQUIRE) > 1;
    if (m_data != nullptr && !shared && needed <= m_capacity) return 0;
    int capacity = needed <= m_capacity ? m_capacity : GrownCapacity(needed, kMemBufSlack);
    if (m_data != nullptr && !shared) {
        void* block = ZrkRealloc(RefOf(m_data), static_cast<size_t>(capacity) + kRefSize);
        if (block == nullptr) return ZRK_NOMEM;
        m_data = static_cast<uint8_t*>(block) + kRefSize;
        m_capacity = capacity;
        return 0;
    }
    uint8_t* data = NewBlock(capacity);
    if (data == nullptr) return ZRK_NOMEM;
    if (m_size > 0) memcpy(data, m_data, static_cast<size_t>(m_size));
    int size = m_size;
    Release();
    m_data = data;
    m_size = size;
    m_capacity = capacity;
    return 0;
}

int CMemBuf::Reserve(int n) {
    n = std::max(n, m_size);
    if (n == 0 || (n == m_capacity && RefCount() <= 1)) return 0;
    uint8_t* data = NewBlock(n);
    if (data == nullptr) return ZRK_NOMEM;
    if (m_size > 0) memcpy(data, m_data, static_cast<size_t>(m_size));
    int size = m_size;
    Release();
    m_data = data;
    m_size = size;
    m_capacity = n;
    return 0;
}

int CMemBuf::SetSize(int n) {
    if (n < 0) return ZRK_INTERNAL_ERROR();
    if (n != m_size || RefCount() > 1) {
        ZRK_TRY(MakeWritable(n));
        if (n > m_size) memset(m_data + m_size, 0, static_cast<size_t>(n - m_size));
    }
    m_size = n;
    m_pos = 0;
    return 0;
}

int CMemBuf::Append(const void* data, int n) {
    if (n <= 0 || data == nullptr) return n < 0 ? ZRK_INTERNAL_ERROR() : 0;
    auto* src = static_cast<const uint8_t*>(data);
    if (m_data != nullptr && src >= m_data && src < m_data + m_size) {
        // Appending a part of this buffer: hold it while the block may move.
        CMemBuf keep(*this);
        ZRK_TRY(MakeWritable(static_cast<int64_t>(m_size) + n));
        memcpy(m_data + m_size, src, static_cast<size_t>(n));
        m_size += n;
        return 0;
    }
    ZRK_TRY(MakeWritable(static_cast<int64_t>(m_size) + n));
    memcpy(m_data + m_size, src, static_cast<size_t>(n));
    m_size += n;
    return 0;
}

int CMemBuf::AppendByte(uint8_t v) { return Append(&v, 1); }

int CMemBuf::AppendWord(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    return Append(b, 2);
}

int CMemBuf::AppendDword(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    return Append(b, 4);
}

int CMemBuf::AppendText(const char* s) {
    if (s == nullptr) s = "";
    size_t n = strlen(s) + 1;
    if (n > static_cast<size_t>(kMaxSize)) return ZRK_INTERNAL_ERROR();
    return Append(s, static_cast<int>(n));
}

int CMemBuf::AppendHex(const char* hex, int len) {
    if (hex == nullptr) return 0;
    size_t n = len < 0 ? strlen(hex) : static_cast<size_t>(len);
    if (n == 0) return 0;
    size_t bytes = (n + 1) / 2;
    if (bytes > static_cast<size_t>(kMaxSize)) return ZRK_INTERNAL_ERROR();
    ZRK_TRY(MakeWritable(static_cast<int64_t>(m_size) + static_cast<int64_t>(bytes)));
    uint8_t* o = m_data + m_size;
    for (size_t i = 0; i < n; i += 2) {
        int hi = HexValue(hex[i]);
        int lo = i + 1 < n ? HexValue(hex[i + 1]) : 0;
        *o++ = static_cast<uint8_t>(hi << 4 | lo);
    }
    m_size += static_cast<int>(bytes);
    return 0;
}

int CMemBuf::Read(void* out, int n) { return ReadAt(m_data, m_size, m_pos, m_error, out, n); }

int CMemBuf::ReadByte(uint8_t& v) { return ReadAt(m_data, m_size, m_pos, m_error, &v, 1); }

int CMemBuf::ReadWord(uint16_t& v) {
    uint8_t b[2];
    if (ReadAt(m_data, m_size, m_pos, m_error, b, 2) != 0) return 1;
    v = static_cast<uint16_t>(b[0] | b[1] << 8);
    return 0;
}

int CMemBuf::ReadDword(uint32_t& v) {
    uint8_t b[4];
    if (ReadAt(m_data, m_size, m_pos, m_error, b, 4) != 0) return 1;
    v = Load32(b);
    return 0;
}

int CMemBuf::ReadText(CString& out) { return ReadTextAt(m_data, m_size, m_pos, m_error, out); }

int CMemBuf::SetPosition(int pos) {
    if (pos < 0 || pos > m_size) {
        m_error = true;
        return 1;
    }
    m_pos = pos;
    return 0;
}

void CMemBuf::Clear() {
    if (RefCount() > 1) Release();  // the other holders keep their bytes
    m_size = 0;
    m_pos = 0;
    m_error = false;
}

uint8_t* CMemBuf::MutableData() {
    if (m_data == nullptr) return nullptr;
    return MakeWritable(m_size) == 0 ? m_data : nullptr;
}

CString CMemBuf::ToHex() const {
    static const char kDigits[] = "0123456789ABCDEF";
    CString r;
    if (m_size == 0) return r;
    if (m_size > CString::MAXLEN / 2) {
        ZRK_INTERNAL_ERROR();
        return r;
    }
    char* o = r.GetBuffer(m_size * 2);
    if (o == nullptr) return r;
    for (int i = 0; i < m_size; ++i) {
        o[2 * i] = kDigits[m_data[i] >> 4];
        o[2 * i + 1] = kDigits[m_data[i] & 15];
    }
    r.ReleaseBuffer(m_size * 2);
    return r;
}
