// Tests of the LZW code stream: fixed vectors, agreement with a literal
// slot-table compressor, round trips, the output limit, rejection of corrupt
// streams, and the statuses of failed writes, reads and cancellations.

#include "zrk/comp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/membuf.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

using namespace zrklzw;

std::string Str(const CByteBuffer& b) { return std::string(reinterpret_cast<const char*>(b.Data()), b.Size()); }

std::string Hex(const std::string& s) {
    std::string h;
    char tmp[4];
    for (unsigned char c : s) {
        std::snprintf(tmp, sizeof tmp, "%02X ", c);
        h += tmp;
    }
    if (!h.empty()) h.pop_back();
    return h;
}

std::string Random(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        c = static_cast<char>(seed >> 24);
    }
    return s;
}

// Words of skewed frequency: compresses to about a third.
std::string Text(size_t n) {
    static const char* const words[] = {"the ", "archive ", "volume ", "setup ", "of ", "and ", "file ",
                                        "install ", "piece\n", "a ", "to ", "registry ", "Windows "};
    std::string s;
    uint32_t x = 7;
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        const unsigned r = (x >> 16) % 64;
        s += words[r < 40 ? r % 4 : r % 13];
    }
    s.resize(n);
    return s;
}

// ---- the code stream, written and read by the test itself -------------------

// Packs codes at the widths the stream rules give: 9 bits, one more after
// 257, 9 again after 258 (widening beyond 15 bits is packed as asked).
std::string Pack(const std::vector<int>& codes) {
    std::string s;
    uint64_t acc = 0;
    int bits = 0, width = kMinBits;
    for (int code : codes) {
        acc = acc << width | static_cast<unsigned>(code);
        bits += width;
        while (bits >= 16) {
            bits -= 16;
            s += static_cast<char>(acc >> (bits + 8));
            s += static_cast<char>(acc >> bits);
        }
        if (code == kWiden) ++width;
        if (code == kFlush) width = kMinBits;
    }
    if (bits > 0) {
        s += static_cast<char>(acc << (16 - bits) >> 8);
        s += static_cast<char>(acc << (16 - bits));
    }
    return s;
}

struct Code {
    int code;
    int width;
    bool selfRef;  // names the string being defined at this step
};

// Reads the codes of a stream up to and including 256.
std::vector<Code> Unpack(const std::string& s) {
    std::vector<Code> codes;
    uint64_t acc = 0;
    int bits = 0, width = kMinBits, next = kFirstCode;
    bool first = true;
    size_t pos = 0;
    for (;;) {
        while (bits < width && pos + 1 < s.size()) {
            acc = acc << 16 | static_cast<unsigned char>(s[pos]) << 8 | static_cast<unsigned char>(s[pos + 1]);
            pos += 2;
            bits += 16;
        }
        if (bits < width) break;
        bits -= width;
        const int code = static_cast<int>(acc >> bits & ((1u << width) - 1));
        codes.push_back({code, width, !first && code == next});
        if (code == kEnd) break;
        if (code == kWiden) {
            ++width;
        } else if (code == kFlush) {
            width = kMinBits;
            next = kFirstCode;
            first = true;
        } else if (first) {
            first = false;
        } else {
            ++next;
        }
    }
    return codes;
}

// ---- the compressor as literally described: a slot table probed by double
// hashing, a 16-bit word accumulator, blocks cut at the output limit. The
// codec's own dictionary differs; its output must not.
struct Reference {
    std::string out;
    size_t consumed = 0;
};

Reference ReferenceCompress(const std::string& in, int64_t limit) {
    const int slots = 35023;
    std::vector<uint16_t> code(slots), parent(slots);
    std::vector<uint8_t> chr(slots);
    int next = 0, width = 0, threshold = 0;
    auto rebuild = [&] {
        std::fill(code.begin(), code.end(), 0xFFFF);
        next = kFirstCode;
        width = kMinBits;
        threshold = 511;
    };
    Reference ref;
    std::string block;
    int64_t totalOut = 0;
    bool reached = false;
    auto capacity = [&]() -> size_t {
        if (limit == 0 || reached) return kCompressorBlock;
        return static_cast<size_t>(std::clamp<int64_t>((limit - totalOut) & ~int64_t{1}, 2, kCompressorBlock));
    };
    size_t cap = capacity();
    auto word = [&](unsigned w) {
        block += static_cast<char>(w >> 8);
        block += static_cast<char>(w);
        if (block.size() == cap) {
            totalOut += static_cast<int64_t>(cap);
            reached = reached || (limit != 0 && totalOut >= limit);
            ref.out += block;
            block.clear();
            cap = capacity();
        }
    };
    unsigned acc = 0;
    int freeBits = 16;
    auto emit = [&](unsigned c) {
        if (width < freeBits) {
            acc |= c << (freeBits - width);
            freeBits -= width;
        } else if (width == freeBits) {
            word(acc | c);
            acc = 0;
            freeBits = 16;
        } else {
            word(acc | c >> (width - freeBits));
            freeBits = 16 - (width - freeBits);
            acc = (c << freeBits) & 0xFFFF;
        }
    };
    size_t pos = 0;
    auto readByte = [&](unsigned* c) {
        if (pos == in.size() || reached) return false;
        *c = static_cast<unsigned char>(in[pos++]);
        return true;
    };

    rebuild();
    unsigned cur = kEnd, c = 0;
    if (readByte(&c)) {
        cur = c;
        while (readByte(&c)) {
            int i = static_cast<int>(c << 7 ^ cur);
            const int step = i == 0 ? 1 : slots - i;
            while (code[i] != 0xFFFF && !(parent[i] == cur && chr[i] == c))
                if ((i -= step) < 0) i += slots;
            if (code[i] != 0xFFFF) {
                cur = code[i];
                continue;
            }
            code[i] = static_cast<uint16_t>(next++);
            parent[i] = static_cast<uint16_t>(cur);
            chr[i] = static_cast<uint8_t>(c);
            emit(cur);
            cur = c;
            if (next == 32768) {
                emit(kFlush);
                rebuild();
            } else if (next > threshold) {
                emit(kWiden);
                threshold = threshold * 2 + 1;
                ++width;
            }
        }
    }
    emit(cur);
    emit(kEnd);
    if (freeBits < 16) word(acc);
    ref.out += block;
    ref.consumed = pos;
    return ref;
}

struct Packed {
    int result;
    std::string out;
    size_t consumed;
    uint32_t crc;
};

Packed Compress(const std::string& in, int64_t limit = 0) {
    CByteBuffer out;
    Packed p{};
    p.result = ZrkLzwCompress(in.data(), in.size(), &out, limit, &p.consumed, &p.crc);
    p.out = Str(out);
    return p;
}

Packed Expand(const std::string& in, size_t maxOut = 0) {
    CByteBuffer out;
    Packed p{};
    p.result = ZrkLzwExpand(in.data(), in.size(), &out, &p.crc, maxOut);
    p.out = Str(out);
    return p;
}

// ---- fixed vectors -------------------------------------------------------------

TEST(Lzw, FixedVectors) {
    const struct {
        std::string input;
        std::string stream;
    } cases[] = {
        {"", "80 40 00 00"},  // 256 and 256 at 9 bits
        {"a", "30 C0 00 00"},
        {"ab", "30 98 A0 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const Packed p = Compress(c.input);
        ASSERT_EQ(p.result, 0);
        EXPECT_EQ(Hex(p.out), c.stream);
        EXPECT_EQ(p.crc, ZrkCrc32(c.input.data(), c.input.size()));
        const Packed back = Expand(p.out);
        ASSERT_EQ(back.result, 0);
        EXPECT_EQ(back.out, c.input);
        EXPECT_EQ(back.crc, ZrkCrc32(c.input.data(), c.input.size()));
    }
    EXPECT_EQ(Expand(Pack({kEnd})).crc, 0u);
}

TEST(Lzw, StreamsEndAtTheirEndCode) {
    // 256 first, whatever follows it; 256 right after a rebuild.
    const struct {
        std::vector<int> codes;
        std::string output;
    } cases[] = {
        {{kEnd}, ""},
        {{kEnd, 400, 3}, ""},
        {{'x', kFlush, kEnd}, "x"},
    };
    for (const auto& c : cases) {
        const Packed p = Expand(Pack(c.codes));
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(p.out, c.output);
    }
}

// ---- round trips and agreement with the literal compressor ------------------

TEST(Lzw, RoundTripsAgreeWithTheSlotTableCompressor) {
    std::string allBytes;
    for (int i = 0; i < 256 * 3; ++i) allBytes += static_cast<char>(i * 7);
    const struct {
        const char* name;
        std::string input;
        int widens;       // at least this many 257s
        int selfRefs;     // codes naming the string being defined, at least
        int flushes;      // 258s, at least
    } cases[] = {
        {"empty", "", 0, 0, 0},
        {"one byte", "Q", 0, 0, 0},
        {"identical", std::string(40000, 'z'), 1, 100, 0},
        {"all bytes", allBytes, 1, 0, 0},
        {"text", Text(300000), 6, 1, 0},
        {"random", Random(100000, 99), 6, 0, 2},
        {"random then text", Random(50000, 5) + Text(120000), 6, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // With few or no probe steps, colliding strings go to the overflow
        // table: the stream must not change.
        for (int steps : {1, 0}) {
            SetProbeStepsForTest(steps);
            EXPECT_TRUE(Compress(c.input).out == ReferenceCompress(c.input, 0).out) << steps << " probe steps";
        }
        SetProbeStepsForTest(3);
        const Packed p = Compress(c.input);
        ASSERT_EQ(p.result, 0);
        EXPECT_EQ(p.consumed, c.input.size());
        EXPECT_EQ(p.crc, ZrkCrc32(c.input.data(), c.input.size()));
        EXPECT_EQ(p.out.size() % 2, 0u);
        EXPECT_TRUE(p.out == ReferenceCompress(c.input, 0).out) << "stream differs from the slot table's";

        const std::vector<Code> codes = Unpack(p.out);
        ASSERT_FALSE(codes.empty());
        EXPECT_EQ(codes.back().code, kEnd);
        int widens = 0, selfRefs = 0, flushes = 0;
        for (size_t i = 0; i < codes.size(); ++i) {
            widens += codes[i].code == kWiden;
            selfRefs += codes[i].selfRef;
            if (codes[i].code == kFlush) {
                ++flushes;
                // The dictionary is full at 15 bits; the next code is a byte
                // at 9 bits.
                EXPECT_EQ(codes[i].width, kMaxBits);
                ASSERT_LT(i + 1, codes.size());
                EXPECT_EQ(codes[i + 1].width, kMinBits);
                EXPECT_LT(codes[i + 1].code, 256);
            }
        }
        EXPECT_GE(widens, c.widens);
        EXPECT_GE(selfRefs, c.selfRefs);
        EXPECT_GE(flushes, c.flushes);

        const Packed back = Expand(p.out);
        ASSERT_EQ(back.result, 0);
        EXPECT_TRUE(back.out == c.input);
        EXPECT_EQ(back.crc, ZrkCrc32(c.input.data(), c.input.size()));
    }
}

// ---- the codecs over strings ----------------------------------------------------

// Either codec over a string, read in chunks of a chosen size, its writes
// recorded; with faults injected on request.
struct Fault {
    const char* name;
    int failWriteAt;   // the n-th write fails with -57 (0: none)
    int failReadAt;    // the n-th read fails (0: none)
    int cancelAt;      // the n-th progress call returns 2 (0: none)
    int result;
};

template <class Base>
class MemoryCodec : public Base {
public:
    MemoryCodec(const std::string& in, size_t chunk = kInputChunk, Fault fault = {})
        : m_in(in), m_chunk(chunk), m_fault(fault) {
        this->SetProgress([this](int64_t count) {
            EXPECT_GE(count, m_lastProgress);
            m_lastProgress = count;
            return ++progressCalls == m_fault.cancelAt ? ZRK_CANCEL : 0;
        });
    }
    std::vector<int> blocks;
    std::string out;
    int reads = 0, progressCalls = 0;

protected:
    int Open() override { return 0; }
    int Close() override { return 0; }
    int ReadInput(int* count, const uint8_t** chunk) override {
        if (++reads == m_fault.failReadAt) return ZRK_ACCESS;
        const size_t n = std::min(m_in.size() - m_pos, m_chunk);
        *chunk = reinterpret_cast<const uint8_t*>(m_in.data()) + m_pos;
        *count = static_cast<int>(n);
        m_pos += n;
        return 0;
    }
    int WriteOutput(const uint8_t* data, int count) override {
        blocks.push_back(count);
        if (m_fault.failWriteAt != 0 && static_cast<int>(blocks.size()) >= m_fault.failWriteAt) return ZRK_NOTFOUND;
        out.append(reinterpret_cast<const char*>(data), count);
        return 0;
    }

private:
    const std::string& m_in;
    size_t m_chunk;
    Fault m_fault;
    size_t m_pos = 0;
    int64_t m_lastProgress = 0;
};

// ---- the output limit ------------------------------------------------------------

TEST(Lzw, OutputLimitCutsThePieceAtTheLimit) {
    const std::string input = Random(30000, 3) + Text(400000);
    const struct {
        int64_t limit;
        std::vector<int> fullBlocks;  // the blocks before the tail
    } cases[] = {
        {1000, {1000}},
        {1001, {1000, 2}},  // odd: the second block passes the limit by one
        {2, {2}},
        {-5, {2}},          // a limit already passed: one word
        {40000, {32768, 7232}},
        {70000, {32768, 32768, 4464}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        MemoryCodec<CLzwCompressor> comp(input);
        comp.SetOutputLimit(c.limit);
        ASSERT_EQ(comp.Run(), 0);
        EXPECT_TRUE(comp.LimitReached());
        ASSERT_EQ(comp.blocks.size(), c.fullBlocks.size() + 1);
        EXPECT_TRUE(std::equal(c.fullBlocks.begin(), c.fullBlocks.end(), comp.blocks.begin()));
        // The tail: what was left of the last word, a control code of the
        // same step, the pending string, 256: at most 61 bits.
        EXPECT_LE(comp.blocks.back(), 8);
        EXPECT_EQ(comp.TotalOut(), static_cast<int64_t>(comp.out.size()));
        ASSERT_LT(comp.TotalIn(), static_cast<int64_t>(input.size()));

        const Reference ref = ReferenceCompress(input, c.limit);
        EXPECT_TRUE(comp.out == ref.out);
        EXPECT_EQ(comp.TotalIn(), static_cast<int64_t>(ref.consumed));

        // The piece holds exactly the consumed prefix, checksummed alike.
        const std::string prefix = input.substr(0, static_cast<size_t>(comp.TotalIn()));
        EXPECT_EQ(comp.Crc(), ZrkCrc32(prefix.data(), prefix.size()));
        const Packed back = Expand(comp.out);
        ASSERT_EQ(back.result, 0);
        EXPECT_TRUE(back.out == prefix);
        EXPECT_EQ(back.crc, comp.Crc());
    }
    // A limit beyond the whole stream changes nothing.
    const Packed whole = Compress(input, 0);
    const Packed loose = Compress(input, static_cast<int64_t>(whole.out.size()) + 10);
    EXPECT_TRUE(loose.out == whole.out);
    EXPECT_EQ(loose.consumed, input.size());
}

// ---- chunking -----------------------------------------------------------------------

TEST(Lzw, ChunkBoundariesDoNotMatter) {
    const std::string input = Text(60000) + std::string(5000, 'q') + Random(40000, 8);
    const std::string stream = Compress(input).out;
    for (size_t chunk : {2, 4, 6, 10, 16384, 100000}) {
        SCOPED_TRACE(chunk);
        MemoryCodec<CLzwExpander> exp(stream, chunk);
        ASSERT_EQ(exp.Run(), 0);
        EXPECT_TRUE(exp.out == input);
        EXPECT_EQ(exp.Crc(), ZrkCrc32(input.data(), input.size()));
        EXPECT_EQ(exp.TotalWritten(), static_cast<int64_t>(input.size()));
    }
    // The compressor does not care how its input is cut either.
    for (size_t chunk : {1, 7, 16384, 100000}) {
        SCOPED_TRACE(chunk);
        MemoryCodec<CLzwCompressor> comp(input, chunk);
        ASSERT_EQ(comp.Run(), 0);
        EXPECT_TRUE(comp.out == stream);
        EXPECT_EQ(comp.Crc(), ZrkCrc32(input.data(), input.size()));
    }
}

// ---- corrupt streams -------------------------------------------------------------------

TEST(Lzw, CorruptStreamsAreRejected) {
    // 'a' then 32509 more bytes defines codes 259..32767; one more byte would
    // define 32768.
    std::vector<int> full(1 + 32509, 'a');
    std::vector<int> fullOk = full;
    fullOk.push_back(kEnd);
    std::vector<int> fullByString = full;
    fullByString.insert(fullByString.end(), {259, kEnd});
    full.push_back('a');
    full.push_back(kEnd);
    std::vector<int> tooWide = {'a', kWiden, kWiden, kWiden, kWiden, kWiden, kWiden};  // 15 bits
    std::vector<int> fifteen = tooWide;
    fifteen.insert(fifteen.end(), {'b', 259, kEnd});
    tooWide.push_back(kWiden);  // 16 bits
    tooWide.push_back(kEnd);

    const struct {
        const char* name;
        std::string stream;
        int result;
    } cases[] = {
        {"dictionary code first", Pack({300, kEnd}), ZRK_BADDATA},
        {"widen first", Pack({kWiden, 'a', kEnd}), ZRK_BADDATA},
        {"flush first", Pack({kFlush, 'a', kEnd}), ZRK_BADDATA},
        {"dictionary code after a flush", Pack({'a', 'b', kFlush, 259, kEnd}), ZRK_BADDATA},
        {"code above the next code", Pack({'a', 'b', 261, kEnd}), ZRK_BADDATA},
        {"width past 15 bits", Pack(tooWide), ZRK_BADDATA},
        {"15 bits are fine", Pack(fifteen), 0},
        {"byte defining past 32767", Pack(full), ZRK_BADDATA},
        {"string defining past 32767", Pack(fullByString), ZRK_BADDATA},
        {"codes up to 32767 are fine", Pack(fullOk), 0},
        {"no end code", Pack({'a', 'b', 'c'}), ZRK_BADDATA},
        {"empty input", "", ZRK_BADDATA},
        {"one byte", "\x80", ZRK_BADDATA},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingScope rec;
        EXPECT_EQ(Expand(c.stream).result, c.result);
        EXPECT_EQ(rec.entries.size(), 0u);  // the caller gives damaged data its meaning
    }
    // The string being defined is OLD's string plus its first byte.
    EXPECT_EQ(Expand(Pack({'a', 'b', 260, kEnd})).result, 0);
    EXPECT_EQ(Expand(Pack({'a', 'b', 260, kEnd})).out, "abbb");
    EXPECT_EQ(Expand(Pack({'a', 'b', 259, 261, kEnd})).out, "abababa");
    EXPECT_EQ(Expand(Pack({'a', 259, kEnd})).out, "aaa");
}

TEST(Lzw, ExpansionCanBeBounded) {
    const std::string stream = Compress(std::string(50000, 'x')).out;
    EXPECT_EQ(Expand(stream, 1000).result, ZRK_BADDATA);
    EXPECT_EQ(Expand(stream, 50000).result, 0);
}

// ---- failures, progress and cancellation ------------------------------------------------

const Fault kFaults[] = {
    {"write fails", 1, 0, 0, ZRK_NOTFOUND},
    {"later write fails", 2, 0, 0, ZRK_NOTFOUND},
    {"read fails", 0, 2, 0, ZRK_ACCESS},  // passed up as it is
    {"cancelled", 0, 0, 2, ZRK_CANCEL},
    {"cancelled at once", 0, 0, 1, ZRK_CANCEL},
};

TEST(Lzw, FailuresAndCancellationEndTheRunWithTheirStatus) {
    const std::string input = Random(100000, 1) + Text(200000);
    const std::string stream = Compress(input).out;
    for (const Fault& f : kFaults) {
        SCOPED_TRACE(f.name);
        MemoryCodec<CLzwCompressor> comp(input, kInputChunk, f);
        EXPECT_EQ(comp.Run(), f.result);
        MemoryCodec<CLzwExpander> exp(stream, kInputChunk, f);
        EXPECT_EQ(exp.Run(), f.result);
        if (f.failWriteAt) {
            // A failed write is not retried: no further writes, and no more
            // input is consumed than the next chunk boundary.
            EXPECT_EQ(comp.blocks.size(), static_cast<size_t>(f.failWriteAt));
            EXPECT_EQ(exp.blocks.size(), static_cast<size_t>(f.failWriteAt));
            EXPECT_LT(comp.TotalIn(), static_cast<int64_t>(input.size()));
        }
        if (f.cancelAt) {
            EXPECT_EQ(comp.progressCalls, f.cancelAt);
            EXPECT_EQ(exp.progressCalls, f.cancelAt);
        }
    }
    // Without faults, progress counts the input: the compressor's last call
    // reports every byte, the expander's every chunk read.
    MemoryCodec<CLzwCompressor> comp(input);
    ASSERT_EQ(comp.Run(), 0);
    EXPECT_EQ(comp.TotalIn(), static_cast<int64_t>(input.size()));
    MemoryCodec<CLzwExpander> exp(stream);
    ASSERT_EQ(exp.Run(), 0);
    EXPECT_EQ(exp.progressCalls, static_cast<int>((stream.size() + kInputChunk - 1) / kInputChunk));
    EXPECT_EQ(exp.TotalRead(), static_cast<int64_t>(stream.size()));
}

// ---- files ------------------------------------------------------------------------------

TEST(Lzw, FilesThroughTheBaseOperations) {
    ScratchDir dir;
    const std::string input = Text(50000) + Random(20000, 4);
    ASSERT_TRUE(WriteAll(dir.Path("in.txt"), input));

    CLzwCompressor comp;
    comp.Input().SetPath(dir.Path("in.txt"));
    comp.Output().SetPath(dir.Path("in.lzw"));
    ASSERT_EQ(comp.Run(), 0);
    EXPECT_FALSE(comp.Input().IsOpen());
    const std::string stream = ReadAll(dir.Path("in.lzw"));
    EXPECT_TRUE(stream == Compress(input).out);

    CLzwExpander exp;
    exp.Input().SetPath(dir.Path("in.lzw"));
    exp.Output().SetPath(dir.Path("out.txt"));
    ASSERT_EQ(exp.Run(), 0);
    EXPECT_FALSE(exp.Output().IsOpen());
    EXPECT_TRUE(ReadAll(dir.Path("out.txt")) == input);
    EXPECT_EQ(exp.Crc(), ZrkCrc32(input.data(), input.size()));

    // An input that is already open (a volume positioned at a piece) is read
    // from where it stands and left open, as is the output.
    ASSERT_TRUE(WriteAll(dir.Path("volume"), "HEADER" + stream + "NEXT"));
    CLzwExpander piece;
    ASSERT_EQ(piece.Input().Open(dir.Path("volume"), "r"), 0);
    ASSERT_EQ(piece.Input().Seek(6), 0);
    ASSERT_EQ(piece.Output().Open(dir.Path("member"), "w"), 0);
    ASSERT_EQ(piece.Run(), 0);
    EXPECT_TRUE(piece.Input().IsOpen());
    EXPECT_TRUE(piece.Output().IsOpen());
    EXPECT_EQ(piece.Output().Close(), 0);
    EXPECT_TRUE(ReadAll(dir.Path("member")) == input);

    // A missing input: the open's status, reported once, nothing created.
    CRecordingScope rec;
    CLzwExpander missing;
    missing.Input().SetPath(dir.Path("absent.lzw"));
    missing.Output().SetPath(dir.Path("absent.txt"));
    EXPECT_EQ(missing.Run(), ZRK_NOTFOUND);
    ASSERT_EQ(rec.Count(ZRK_KIND_ERROR), 1);
    EXPECT_EQ(rec.entries.back().msgId, 417);  // unable to open for reading
    EXPECT_FALSE(CFile::Exists(dir.Path("absent.txt")));
    // An output that cannot be created leaves the input closed, so that the
    // next run opens both again.
    CLzwCompressor blocked;
    blocked.Input().SetPath(dir.Path("in.txt"));
    blocked.Output().SetPath(dir.Path("no such dir\\out.lzw"));
    EXPECT_NE(blocked.Run(), 0);
    EXPECT_FALSE(blocked.Input().IsOpen());
    blocked.Output().SetPath(dir.Path("again.lzw"));
    EXPECT_EQ(blocked.Run(), 0);
    EXPECT_TRUE(ReadAll(dir.Path("again.lzw")) == stream);
}

}  // namespace
