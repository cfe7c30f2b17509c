// Tests of allocation, the byte buffers and the CRC-32.

#include "zrk/membuf.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/app.h"
#include "zrk/os/faults.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

std::vector<uint8_t> Bytes(const uint8_t* p, int n) { return std::vector<uint8_t>(p, p + n); }

// Bit-at-a-time CRC-32 register update, the definition the fast one must meet.
uint32_t ReferenceRun(const uint8_t* p, size_t n, uint32_t crc) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

std::vector<uint8_t> Pseudorandom(size_t n) {
    std::vector<uint8_t> v(n);
    uint32_t x = 12345;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

TEST(Crc32Test, KnownValues) {
    struct Case {
        const char* text;
        uint32_t crc;
    };
    const Case cases[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
    };
    for (const Case& c : cases) EXPECT_EQ(ZrkCrc32(c.text, strlen(c.text)), c.crc) << c.text;
}

// Both paths, the processor's carry-less multiplication (where it has it) and
// the tables, meet the definition at every length and alignment.
TEST(Crc32Test, BothPathsMeetTheBitwiseDefinition) {
    const std::vector<uint8_t> data = Pseudorandom(320);
    for (uint32_t start : {0xFFFFFFFFu, 0x12345678u})
        for (size_t offset = 0; offset < 8; ++offset)
            for (size_t len = 0; len <= 300; ++len) {
                const uint8_t* p = data.data() + offset;
                const uint32_t want = ReferenceRun(p, len, start);
                ASSERT_EQ(ZrkCrc32Run(p, len, start), want) << offset << '+' << len;
                ASSERT_EQ(ZrkCrc32RunTable(p, len, start), want) << offset << '+' << len;
            }
}

TEST(Crc32Test, RunningOverPiecesEqualsOneShot) {
    std::vector<uint8_t> data = Pseudorandom(4099);
    uint32_t whole = ZrkCrc32(data.data(), data.size());
    const size_t pieces[] = {1, 3, 7, 8, 9, 64, 1000, 4099};
    for (size_t piece : pieces) {
        uint32_t run = 0xFFFFFFFFu;
        for (size_t at = 0; at < data.size(); at += piece)
            run = ZrkCrc32Run(data.data() + at, std::min(piece, data.size() - at), run);
        EXPECT_EQ(~run, whole) << piece;
    }
    CMemBuf buf(data.data(), static_cast<int>(data.size()));
    EXPECT_EQ(buf.Crc32(), whole);
}

TEST(ByteBufferTest, ReadNeedsEnoughUnreadBytes) {
    struct Case { int size, skip /* read first */, n, result; bool error; int position /* afterwards */; } cases[] = {
        {10, 7, 4, 1, true, 7},  // 3 unread: nothing read
        {10, 7, 3, 0, false, 10}, {10, 10, 1, 1, true, 10}, {0, 0, 0, 0, false, 0}, {10, 0, -1, 1, true, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> src = Pseudorandom(static_cast<size_t>(c.size));
        CByteBuffer b;
        ASSERT_EQ(b.Append(src.data(), c.size), 0);
        ASSERT_EQ(b.Read(nullptr, c.skip), 0);
        uint8_t out[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(b.Read(out, c.n), c.result) << c.size << '/' << c.skip << '/' << c.n;
        EXPECT_EQ(b.Error(), c.error);
        EXPECT_EQ(b.Position(), c.position);
        if (c.result != 0) {
            EXPECT_EQ(out[0], 0xEE) << "a failed read must not write";
        } else if (c.n > 0) {
            EXPECT_EQ(Bytes(out, c.n), Bytes(src.data() + c.skip, c.n));
        }
    }
}

// Both buffers grow to n + min(n / 2, limit) for a request of n (at least
// 16): the limit is 4096 for the plain buffer, 32768 for the shared one.
TEST(ByteBufferTest, GrowthRules) {
    struct Case { int total, plain, shared; } cases[] = {{1, 24, 24}, {25, 37, 37}, {100000, 104096, 132768}};
    for (const Case& c : cases) {
        std::vector<uint8_t> src = Pseudorandom(static_cast<size_t>(c.total));
        CByteBuffer b;
        ASSERT_EQ(b.Append(src.data(), c.total), 0);
        EXPECT_EQ(b.Capacity(), c.plain) << c.total;
        CMemBuf m;
        ASSERT_EQ(m.SetSize(c.total), 0);
        EXPECT_EQ(m.Capacity(), c.shared) << c.total;
    }
    CByteBuffer b;
    b.Append("abc", 3);
    EXPECT_EQ(b.Reserve(1), 0);  // never below the used bytes
    EXPECT_EQ(b.Capacity(), 3);
    EXPECT_EQ(Str(b), "abc");
}

TEST(ByteBufferTest, SetSizeTextsAndBorrowedBytes) {
    CByteBuffer b;
    b.Append("xy", 2);
    b.Read(nullptr, 1);
    ASSERT_EQ(b.SetSize(6), 0);
    EXPECT_EQ(b.Position(), 0);
    EXPECT_EQ(Str(b), std::string("xy\0\0\0\0", 6));
    EXPECT_EQ(b.SetSize(-1), ZRK_INTERNAL);

    CByteBuffer t;
    t.AppendText("one");
    t.AppendText("");
    t.Append("two", 3);  // no terminating zero
    CString s;
    EXPECT_EQ(t.ReadText(s), 0);
    EXPECT_EQ(Str(s), "one");
    EXPECT_EQ(t.ReadText(s), 0);
    EXPECT_EQ(Str(s), "");
    EXPECT_EQ(t.ReadText(s), 1);
    EXPECT_TRUE(t.Error());
    EXPECT_EQ(t.Position(), 5);

    const char borrowed[] = "borrowed";
    CByteBuffer r(borrowed, 8);
    EXPECT_FALSE(r.Owned());
    char out[4];
    EXPECT_EQ(r.Read(out, 4), 0);
    EXPECT_EQ(r.Append("!", 1), 0);  // copies into an owned block first
    EXPECT_EQ(Str(r), "borrowed!");
    EXPECT_EQ(std::string(borrowed), "borrowed");
    EXPECT_EQ(r.Position(), 4);
}

TEST(MemBufTest, TypedValuesAreLittleEndian) {
    CMemBuf b;
    b.AppendByte(0x12);
    b.AppendWord(0x3456);
    b.AppendDword(0x789ABCDEu);
    b.AppendText("hi");
    EXPECT_EQ(Str(b), std::string("\x12\x56\x34\xDE\xBC\x9A\x78hi\0", 10));

    uint8_t v8 = 0;
    uint16_t v16 = 0;
    uint32_t v32 = 0;
    CString s;
    EXPECT_EQ(b.ReadByte(v8) | b.ReadWord(v16) | b.ReadDword(v32) | b.ReadText(s), 0);
    EXPECT_EQ(v8, 0x12);
    EXPECT_EQ(v16, 0x3456);
    EXPECT_EQ(v32, 0x789ABCDEu);
    EXPECT_EQ(Str(s), "hi");

    b.SetPosition(7);
    EXPECT_EQ(b.ReadDword(v32), 1);  // 3 unread bytes
    EXPECT_TRUE(b.Error());
    EXPECT_EQ(b.Position(), 7);
    EXPECT_EQ(v32, 0x789ABCDEu);
    b.ClearError();
    EXPECT_EQ(b.SetPosition(11), 1);
    EXPECT_TRUE(b.Error());

    CMemBuf unterminated("ab", 2);
    EXPECT_EQ(unterminated.ReadText(s), 1);
    EXPECT_EQ(unterminated.Position(), 0);
}

TEST(MemBufTest, CopyOnWrite) {
    CMemBuf a("abcd", 4);
    struct Edit { const char* name; void (*apply)(CMemBuf&); } edits[] = {
        {"Append", [](CMemBuf& b) { b.Append("x", 1); }},
        {"AppendHex", [](CMemBuf& b) { b.AppendHex("FF"); }},
        {"SetSize", [](CMemBuf& b) { b.SetSize(2); }},
        {"MutableData", [](CMemBuf& b) { b.MutableData()[0] = 'Z'; }},
        {"Clear", [](CMemBuf& b) { b.Clear(); }},
        {"Reserve", [](CMemBuf& b) { b.Reserve(1000); b.MutableData()[1] = 'Y'; }},
    };
    for (const Edit& e : edits) {
        CMemBuf b = a;
        EXPECT_EQ(a.Data(), b.Data()) << e.name;
        e.apply(b);
        EXPECT_EQ(a.RefCount(), 1) << e.name;
        EXPECT_EQ(Str(a), "abcd") << e.name;
    }
    CMemBuf reader = a;  // reads do not copy
    uint8_t v;
    reader.ReadByte(v);
    EXPECT_EQ(reader.Data(), a.Data());
    EXPECT_EQ(a.Position(), 0);

    // Both buffers grow while reading their own bytes.
    CMemBuf self("0123456789abcdef", 16);
    ASSERT_EQ(self.Append(self.Data() + 8, 8), 0);
    EXPECT_EQ(Str(self), "0123456789abcdef89abcdef");
    CByteBuffer plain;
    plain.Append("0123456789abcdef", 16);
    ASSERT_EQ(plain.Append(plain.Data() + 8, 8), 0);
    EXPECT_EQ(Str(plain), "0123456789abcdef89abcdef");
}

TEST(MemBufTest, Hex) {
    struct Case { const char* hex; int len; std::string bytes; const char* back; /* ToHex of the result */ } cases[] = {
        {"0123456789abcdefABCDEF", -1, "\x01\x23\x45\x67\x89\xAB\xCD\xEF\xAB\xCD\xEF", "0123456789ABCDEFABCDEF"},
        {"zz1G", -1, std::string("\0\x10", 2), "0010"},  // other characters count as 0
        {"ABCD", 2, "\xAB", "AB"}, {"ABC", -1, "\xAB\xC0", "ABC0"}, {"", -1, "", ""},
    };
    for (const Case& c : cases) {
        CMemBuf b;
        EXPECT_EQ(b.AppendHex(c.hex, c.len), 0);
        EXPECT_EQ(Str(b), c.bytes) << c.hex;
        EXPECT_EQ(Str(b.ToHex()), c.back) << c.hex;
    }
    std::vector<uint8_t> data = Pseudorandom(777);
    CMemBuf src(data.data(), static_cast<int>(data.size()));
    CMemBuf back;
    back.AppendHex(src.ToHex());
    EXPECT_EQ(Bytes(back.Data(), back.Size()), data);
}

// The failures come from the fault seam: an impossible size would make the
// address sanitizer's allocator abort.
TEST(AllocTest, RetriesAFewTimesThenReportsOnce) {
    ZrkInstallOutOfMemoryHandler(false);  // the console program's: wait, retry
    void* block = ZrkAlloc(8);
    std::memcpy(block, "kept", 5);
    struct Case {
        const char* what;
        bool handler, resize;
        int failures;  // consecutive failed attempts
    };
    const Case cases[] = {
        {"the last retry succeeds", true, false, kZrkAllocRetries},
        {"no more retries", true, false, kZrkAllocRetries + 1},
        {"no more retries to resize", true, true, kZrkAllocRetries + 1},
        {"no handler, no retry", false, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ZrkOutOfMemoryHandler app = c.handler ? nullptr : ZrkSetOutOfMemoryHandler(nullptr);
        CRecordingScope scope;
        void* p;
        {
            zrkos::CFaultScope fault(zrkos::FaultOp::Alloc, 1, zrkos::FaultError::NoMemory, c.failures);
            p = c.resize ? ZrkRealloc(block, 1 << 20) : ZrkAlloc(64);
        }
        if (!c.handler) ZrkSetOutOfMemoryHandler(app);
        const bool got = p != nullptr;
        ZrkFree(p);
        if (c.failures <= kZrkAllocRetries && c.handler) {
            EXPECT_TRUE(got && scope.entries.empty());
            continue;
        }
        EXPECT_FALSE(got);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, MSG_OUT_OF_MEMORY);
        EXPECT_EQ(scope.entries[0].code, ZRK_NOMEM);
    }
    EXPECT_STREQ(static_cast<const char*>(block), "kept");  // a failed resize keeps the block
    ZrkFree(block);
}

}  // namespace
