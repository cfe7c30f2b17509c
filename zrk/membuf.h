// Memory: allocation, growable byte buffers and the CRC-32.
//
// CByteBuffer is a plain buffer that owns its bytes (or reads bytes it does
// not own, when its capacity is 0). CMemBuf shares its bytes between copies
// through a reference count kept in front of them, and makes a private copy
// before the first modification of shared bytes.
//
// Both buffers keep a read position and an error flag: a read that cannot be
// satisfied reads nothing, sets the flag and returns 1, so that a reader can
// decode a whole record and test the flag once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zrk/cstring.h"

// Runs when the system has no memory for a request of SIZE bytes; true asks
// for another attempt (after memory was freed, or the user was asked to).
using ZrkOutOfMemoryHandler = bool (*)(size_t size);
// Installs the out-of-memory handler (nullptr: none); returns the old one.
ZrkOutOfMemoryHandler ZrkSetOutOfMemoryHandler(ZrkOutOfMemoryHandler handler);
// Further attempts of one allocation at most, whatever the handler asks.
constexpr int kZrkAllocRetries = 3;

// Allocates SIZE bytes. When the system has no memory left, retries while
// the out-of-memory handler asks to (kZrkAllocRetries times at most), then
// reports message 401 with ZRK_NOMEM and returns nullptr.
void* ZrkAlloc(size_t size);
// Resizes a block of ZrkAlloc (nullptr allocates). On failure retries and
// reports as ZrkAlloc does, returns nullptr and leaves BLOCK untouched.
void* ZrkRealloc(void* block, size_t size);
void ZrkFree(void* block);

// The reflected CRC-32 of IEEE 802.3 (polynomial 0xEDB88320).
// ZrkCrc32: one-shot (register starts at 0xFFFFFFFF, result inverted).
// ZrkCrc32Run: continues a running register without inverting, so that
//   ZrkCrc32(ab) == ~ZrkCrc32Run(b, ZrkCrc32Run(a, 0xFFFFFFFF)).
uint32_t ZrkCrc32(const void* data, size_t len);
uint32_t ZrkCrc32Run(const void* data, size_t len, uint32_t running);
// ZrkCrc32Run through the tables alone, without the processor's carry-less
// multiplication that ZrkCrc32Run uses where it can (tests compare the two).
uint32_t ZrkCrc32RunTable(const void* data, size_t len, uint32_t running);

// A plain growable byte buffer.
class CByteBuffer {
public:
    static constexpr int MAXSIZE = 0x7FFFFFFF;

    explicit CByteBuffer(int capacity = 0);
    // Reads LEN bytes at DATA without owning them (capacity 0); the first
    // modification copies them into an owned block.
    CByteBuffer(const void* data, int len);
    CByteBuffer(const CByteBuffer& other);
    CByteBuffer(CByteBuffer&& other) noexcept;
    CByteBuffer& operator=(const CByteBuffer& other);
    CByteBuffer& operator=(CByteBuffer&& other) noexcept;
    ~CByteBuffer();

    // Exactly N bytes of capacity (never fewer than the used bytes, which are
    // kept). 0, or ZRK_NOMEM.
    int Reserve(int n);
    // N used bytes (grown if needed, new bytes zero); the read position
    // returns to 0.
    int SetSize(int n);
    int Append(const void* data, int n);
    // S and its terminating zero byte.
    int AppendText(const char* s);
    // Reads N bytes into OUT (nullptr: skips them). Fewer than N unread: reads
    // nothing, sets the error flag and returns 1.
    int Read(void* out, int n);
    // Reads a zero-terminated text; without a zero byte before the end reads
    // nothing, sets the error flag and returns 1.
    int ReadText(CString& out);
    void Clear();  // used size and read position 0, error flag off

    const uint8_t* Data() const { return m_data; }
    uint8_t* Data() { return m_data; }  // owned bytes only (see Owned)
    int Size() const { return m_size; }
    int Capacity() const { return m_capacity; }
    bool Owned() const { return m_capacity != 0; }
    int Position() const { return m_pos; }
    int Remaining() const { return m_size - m_pos; }
    bool Error() const { return m_error; }
    void ClearError() { m_error = false; }

private:
    int Grow(int64_t needed);
    int Realloc(int capacity);

    bool m_error = false;
    int m_pos = 0;
    int m_size = 0;
    int m_capacity = 0;
    uint8_t* m_data = nullptr;
};

// A shared, copy-on-write byte buffer with typed little-endian reads and
// writes, a hexadecimal form and a CRC-32.
class CMemBuf {
public:
    static constexpr int MAXSIZE = 0x7FFFFFFF;

    explicit CMemBuf(int capacity = 0);
    CMemBuf(const void* data, int len);
    CMemBuf(const CMemBuf& other);  // shares the bytes
    CMemBuf(CMemBuf&& other) noexcept;
    CMemBuf& operator=(const CMemBuf& other);
    CMemBuf& operator=(CMemBuf&& other) noexcept;
    ~CMemBuf();

    int Reserve(int n);
    int SetSize(int n);
    int Append(const void* data, int n);
    int AppendByte(uint8_t v);
    int AppendWord(uint16_t v);   // 2 bytes, little-endian
    int AppendDword(uint32_t v);  // 4 bytes, little-endian
    int AppendText(const char* s);  // with its zero byte
    // Appends the bytes written as hexadecimal digit pairs in HEX (LEN -1: up
    // to the zero byte). A character that is not a digit counts as 0; a lone
    // last digit is the high half of a byte.
    int AppendHex(const char* hex, int len = -1);

    // Reads: 0, or 1 with the error flag set and nothing read.
    int Read(void* out, int n);
    int ReadByte(uint8_t& v);
    int ReadWord(uint16_t& v);
    int ReadDword(uint32_t& v);
    int ReadText(CString& out);

    void Rewind() { m_pos = 0; }
    // 0, or 1 with the error flag set when POS lies outside 0..Size().
    int SetPosition(int pos);
    int Position() const { return m_pos; }
    int Remaining() const { return m_size - m_pos; }
    void Clear();  // used size and read position 0, error flag off

    // Two upper-case hexadecimal digits per used byte.
    CString ToHex() const;
    uint32_t Crc32() const { return ZrkCrc32(m_data, static_cast<size_t>(m_size)); }

    const uint8_t* Data() const { return m_data; }
    // Writable bytes (a private copy when shared); nullptr when it cannot be
    // made private.
    uint8_t* MutableData();
    int Size() const { return m_size; }
    int Capacity() const { return m_capacity; }
    bool Error() const { return m_error; }
    void ClearError() { m_error = false; }
    int RefCount() const;

private:
    int MakeWritable(int64_t needed);
    void Release();

    uint8_t* m_data = nullptr;  // a 32-bit reference count lies in front
    int m_pos = 0;
    int m_size = 0;
    int m_capacity = 0;
    bool m_error = false;
};
