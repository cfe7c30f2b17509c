// Tests of the LZW code stream: agreement with a literal slot-table
// compressor, streams written code by code, the output limit, chunking,
// and what a failure returns and reports.

#include "zrk/comp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/membuf.h"
#include "zrk/os/faults.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

using namespace zrklzw;

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

uint32_t Crc(const std::string& s) { return ZrkCrc32(s.data(), s.size()); }

// Packs codes at the widths the stream rules give: 9 bits, one more after
// 257, 9 again after 258 (widening beyond 15 bits is packed as asked).
std::string Pack(const std::vector<int>& codes) {
    std::string s;
    uint64_t acc = 0;
    int bits = 0, width = kMinBits;
    for (int code : codes) {
        acc = acc << width | static_cast<unsigned>(code);
        bits += width;
        for (; bits >= 8; bits -= 8) s += static_cast<char>(acc >> (bits - 8));
        if (code == kWiden) ++width;
        if (code == kFlush) width = kMinBits;
    }
    if (bits > 0) s += static_cast<char>(acc << (8 - bits));
    if (s.size() % 2 != 0) s += '\0';
    return s;
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

// ---- round trips and agreement with the literal compressor ------------------

TEST(Lzw, RoundTripsAgreeWithTheSlotTableCompressor) {
    std::string allBytes;
    for (int i = 0; i < 256 * 3; ++i) allBytes += static_cast<char>(i * 7);
    // Among them: widening to 15 bits, flushes (random bytes define a code
    // every two bytes or so), codes naming the string being defined (a run).
    const struct {
        const char* name;
        std::string input;
    } cases[] = {
        {"empty", ""},
        {"one byte", "Q"},
        {"identical", std::string(40000, 'z')},
        {"all bytes", allBytes},
        {"text", Text(300000)},
        {"random", Random(100000, 99)},
        {"random then text", Random(50000, 5) + Text(120000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string want = ReferenceCompress(c.input, 0).out;
        // With few or no probe steps, colliding strings go to the overflow
        // table: the stream must not change.
        for (int steps : {0, 1, 3}) {
            SetProbeStepsForTest(steps);
            EXPECT_TRUE(Compress(c.input).out == want) << steps << " probe steps";
        }
        const Packed p = Compress(c.input);
        ASSERT_EQ(p.result, 0);
        EXPECT_EQ(p.consumed, c.input.size());
        EXPECT_EQ(p.crc, Crc(c.input));
        const Packed back = Expand(p.out);
        ASSERT_EQ(back.result, 0);
        EXPECT_TRUE(back.out == c.input);
        EXPECT_EQ(back.crc, Crc(c.input));
    }
    // Two vectors pin the literal compressor itself.
    EXPECT_EQ(Compress("").out, std::string("\x80\x40\x00\x00", 4));  // 256, 256 at 9 bits
    EXPECT_EQ(Compress("a").out, std::string("\x30\xC0\x00\x00", 4));
}

// ---- streams written code by code --------------------------------------------

TEST(Lzw, StreamsExpandOrAreRejectedSilently) {
    // 'a' then 32509 more bytes defines codes 259..32767; one more byte would
    // define 32768.
    std::vector<int> full(1 + 32509, 'a');
    std::vector<int> fullOk = full;
    fullOk.push_back(kEnd);
    std::vector<int> fullByString = full;
    fullByString.insert(fullByString.end(), {259, kEnd});
    full.insert(full.end(), {'a', kEnd});
    std::vector<int> fifteen = {'a', kWiden, kWiden, kWiden, kWiden, kWiden, kWiden};  // 15 bits
    std::vector<int> tooWide = fifteen;
    fifteen.insert(fifteen.end(), {'b', 259, kEnd});
    tooWide.insert(tooWide.end(), {kWiden, kEnd});  // 16 bits

    const struct {
        const char* name;
        std::string stream;
        int result;
        std::string output;
        size_t maxOut = 0;
    } cases[] = {
        {"the end code first", Pack({kEnd}), 0, ""},
        {"what follows the end", Pack({kEnd, 400, 3}), 0, ""},
        {"the end right after a flush", Pack({'x', kFlush, kEnd}), 0, "x"},
        {"the string being defined", Pack({'a', 'b', 260, kEnd}), 0, "abbb"},
        {"it again after a string", Pack({'a', 'b', 259, 261, kEnd}), 0, "abababa"},
        {"it right after the first byte", Pack({'a', 259, kEnd}), 0, "aaa"},
        {"15 bits", Pack(fifteen), 0, "ab" + std::string("ab")},
        {"codes up to 32767", Pack(fullOk), 0, std::string(32510, 'a')},
        {"a dictionary code first", Pack({300, kEnd}), ZRK_BADDATA, ""},
        {"widen first", Pack({kWiden, 'a', kEnd}), ZRK_BADDATA, ""},
        {"flush first", Pack({kFlush, 'a', kEnd}), ZRK_BADDATA, ""},
        {"a dictionary code after a flush", Pack({'a', 'b', kFlush, 259, kEnd}), ZRK_BADDATA, "ab"},
        {"a code above the next code", Pack({'a', 'b', 261, kEnd}), ZRK_BADDATA, ""},
        {"a width past 15 bits", Pack(tooWide), ZRK_BADDATA, ""},
        {"a byte defining past 32767", Pack(full), ZRK_BADDATA, ""},
        {"a string defining past 32767", Pack(fullByString), ZRK_BADDATA, ""},
        {"no end code", Pack({'a', 'b', 'c'}), ZRK_BADDATA, ""},
        {"no input", "", ZRK_BADDATA, ""},
        {"a lone byte", "\x80", ZRK_BADDATA, ""},
        {"more than the bound", Pack({'a', 259, 260, 261, kEnd}), ZRK_BADDATA, "", 9},
        {"just the bound", Pack({'a', 259, 260, 261, kEnd}), 0, std::string(10, 'a'), 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRecordingScope rec;
        const Packed p = Expand(c.stream, c.maxOut);
        EXPECT_EQ(p.result, c.result);
        if (c.result == 0) {
            EXPECT_TRUE(p.out == c.output);
            EXPECT_EQ(p.crc, Crc(c.output));
        }
        EXPECT_EQ(rec.entries.size(), 0u);  // the caller gives damaged data its meaning
    }
}

// ---- the codecs over strings ----------------------------------------------------

// Either codec over a string, read in chunks of a chosen size, its writes
// recorded; with faults injected on request.
struct Fault {
    const char* name;
    int failWriteAt;   // the n-th write fails with -57 (0: none)
    int failReadAt;    // the n-th read fails with -56 (0: none)
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
    int progressCalls = 0;

protected:
    int Open() override { return 0; }
    int Close() override { return 0; }
    int ReadInput(int* count, const uint8_t** chunk) override {
        if (++m_reads == m_fault.failReadAt) return ZRK_ACCESS;
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
    int m_reads = 0;
    int64_t m_lastProgress = 0;
};

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

        const Reference ref = ReferenceCompress(input, c.limit);
        EXPECT_TRUE(comp.out == ref.out);
        EXPECT_EQ(comp.TotalIn(), static_cast<int64_t>(ref.consumed));

        // The piece holds exactly the consumed prefix, checksummed alike.
        const std::string prefix = input.substr(0, static_cast<size_t>(comp.TotalIn()));
        EXPECT_EQ(comp.Crc(), Crc(prefix));
        const Packed back = Expand(comp.out);
        ASSERT_EQ(back.result, 0);
        EXPECT_TRUE(back.out == prefix);
    }
    // A limit beyond the whole stream changes nothing.
    const Packed whole = Compress(input, 0);
    const Packed loose = Compress(input, static_cast<int64_t>(whole.out.size()) + 10);
    EXPECT_TRUE(loose.out == whole.out);
    EXPECT_EQ(loose.consumed, input.size());
}

TEST(Lzw, ChunkBoundariesDoNotMatter) {
    const std::string input = Text(60000) + std::string(5000, 'q') + Random(40000, 8);
    const std::string stream = Compress(input).out;
    for (size_t chunk : {2, 4, 6, 10, 16384, 100000}) {
        SCOPED_TRACE(chunk);
        MemoryCodec<CLzwExpander> exp(stream, chunk);
        ASSERT_EQ(exp.Run(), 0);
        EXPECT_TRUE(exp.out == input);
        EXPECT_EQ(exp.Crc(), Crc(input));
        EXPECT_EQ(exp.TotalWritten(), static_cast<int64_t>(input.size()));
    }
    for (size_t chunk : {1, 7, 16384, 100000}) {
        SCOPED_TRACE(chunk);
        MemoryCodec<CLzwCompressor> comp(input, chunk);
        ASSERT_EQ(comp.Run(), 0);
        EXPECT_TRUE(comp.out == stream);
        EXPECT_EQ(comp.Crc(), Crc(input));
    }
}

TEST(Lzw, FailuresAndCancellationEndTheRunWithTheirStatus) {
    const std::string input = Random(100000, 1) + Text(200000);
    const std::string stream = Compress(input).out;
    const Fault faults[] = {
        {"write fails", 1, 0, 0, ZRK_NOTFOUND},
        {"later write fails", 2, 0, 0, ZRK_NOTFOUND},
        {"read fails", 0, 2, 0, ZRK_ACCESS},  // passed up as it is
        {"cancelled", 0, 0, 2, ZRK_CANCEL},
        {"cancelled at once", 0, 0, 1, ZRK_CANCEL},
    };
    for (const Fault& f : faults) {
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
    // Without faults, the expander reports progress once a chunk read.
    MemoryCodec<CLzwExpander> exp(stream);
    ASSERT_EQ(exp.Run(), 0);
    EXPECT_EQ(exp.progressCalls, static_cast<int>((stream.size() + kInputChunk - 1) / kInputChunk));
    EXPECT_EQ(exp.TotalRead(), static_cast<int64_t>(stream.size()));
}

// ---- files --------------------------------------------------------------------------

TEST(Lzw, FilesThroughTheBaseOperations) {
    ScratchDir dir;
    const std::string input = Text(700000) + Random(500000, 4);
    ASSERT_TRUE(WriteAll(dir.Path("in.txt"), input));
    const std::string stream = Compress(input).out;

    // The file compressor codes on a thread of its own, reading ahead: its stream, CRC and progress
    // calls (one a chunk, one at the end) are those of the in-memory form, with a limit or a
    // cancellation (at the 40th call) too. The last run leaves the whole stream.
    for (const auto& [limit, cancelAt] : {std::pair<int64_t, int>{100000, 0}, {0, 40}, {0, 0}}) {
        SCOPED_TRACE(limit + cancelAt);
        CLzwCompressor comp;
        comp.Input().SetPath(dir.Path("in.txt"));
        comp.Output().SetPath(dir.Path("in.lzw"));
        comp.SetOutputLimit(limit);
        std::vector<int64_t> counts;
        comp.SetProgress([&counts, cancel = cancelAt](int64_t count) {
            counts.push_back(count);
            return static_cast<int>(counts.size()) == cancel ? ZRK_CANCEL : 0;
        });
        const Packed want = Compress(input, limit);
        ASSERT_EQ(comp.Run(), cancelAt ? ZRK_CANCEL : 0);
        const int64_t chunks = (static_cast<int64_t>(want.consumed) + kInputChunk - 1) / kInputChunk;
        ASSERT_EQ(static_cast<int64_t>(counts.size()), cancelAt ? cancelAt : chunks + 1);
        for (size_t k = 0; k < counts.size(); ++k)
            EXPECT_EQ(counts[k], std::min<int64_t>(k * kInputChunk, static_cast<int64_t>(want.consumed)));
        if (cancelAt) continue;
        EXPECT_TRUE(ReadAll(dir.Path("in.lzw")) == want.out);
        EXPECT_EQ(comp.Crc(), want.crc);
    }
    CLzwExpander exp;
    exp.Input().SetPath(dir.Path("in.lzw"));
    exp.Output().SetPath(dir.Path("out.txt"));
    ASSERT_EQ(exp.Run(), 0);
    EXPECT_FALSE(exp.Output().IsOpen());
    EXPECT_TRUE(ReadAll(dir.Path("out.txt")) == input);

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
    EXPECT_EQ(piece.Crc(), Crc(input));
}

// A failure of the system is reported once, by the layer that met it (the
// file layer, the allocator, or the codec for a file it closes), and its
// status comes back unchanged: the codec adds no report of its own.
TEST(Lzw, SystemFailuresOfTheFileCodecsAreReportedOnce) {
    using zrkos::FaultError;
    using zrkos::FaultOp;
    ScratchDir dir;
    const std::string input = Text(50000) + Random(40000, 4);
    ASSERT_TRUE(WriteAll(dir.Path("in.txt"), input));
    ASSERT_TRUE(WriteAll(dir.Path("in.lzw"), Compress(input).out));
    const struct {
        const char* what;
        bool expand;
        FaultOp op;
        int nth;
        FaultError error;
        int code;
        int msgId;
        bool closeFailsToo = false;  // and then the close: still one report
    } cases[] = {
        {"compress: a read fails", false, FaultOp::Read, 2, FaultError::IoError, ZRK_FAIL, MSG_READ_FAILED},
        {"compress: a write fails", false, FaultOp::Write, 1, FaultError::DiskFull, ZRK_FAIL, MSG_WRITE_FAILED},
        {"compress: the output's close fails", false, FaultOp::Close, 1, FaultError::IoError, ZRK_FAIL,
         MSG_CLOSE_FAILED},
        {"compress: the output cannot be created", false, FaultOp::Open, 2, FaultError::AccessDenied, ZRK_ACCESS,
         MSG_OPEN_WRITE},
        {"expand: a read fails", true, FaultOp::Read, 2, FaultError::IoError, ZRK_FAIL, MSG_READ_FAILED},
        {"expand: a write fails", true, FaultOp::Write, 1, FaultError::DiskFull, ZRK_FAIL, MSG_WRITE_FAILED},
        {"expand: a write and the close fail", true, FaultOp::Write, 1, FaultError::DiskFull, ZRK_FAIL,
         MSG_WRITE_FAILED, true},
        {"expand: the output's close fails", true, FaultOp::Close, 1, FaultError::IoError, ZRK_FAIL,
         MSG_CLOSE_FAILED},
        {"expand: the input cannot be opened", true, FaultOp::Open, 1, FaultError::AccessDenied, ZRK_ACCESS,
         MSG_OPEN_READ},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<CLzwExpander> exp;
        std::unique_ptr<CLzwCompressor> comp;
        CRecordingScope rec;
        int r;
        {
            zrkos::CFaultScope fault(c.op, c.nth, c.error);
            std::optional<zrkos::CFaultScope> close;
            if (c.closeFailsToo) close.emplace(FaultOp::Close, 1, FaultError::IoError);
            if (c.expand) {
                exp = std::make_unique<CLzwExpander>();
                exp->Input().SetPath(dir.Path("in.lzw"));
                exp->Output().SetPath(dir.Path("out.txt"));
                r = exp->Run();
            } else {
                comp = std::make_unique<CLzwCompressor>();
                comp->Input().SetPath(dir.Path("in.txt"));
                comp->Output().SetPath(dir.Path("out.lzw"));
                r = comp->Run();
            }
            EXPECT_GE(fault.Fired(), 1);
        }
        EXPECT_EQ(r, c.code);
        ASSERT_EQ(rec.entries.size(), 1u) << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId);
        EXPECT_EQ(rec.entries[0].code, c.code);
        // Neither file stays open.
        CLzwExpander* e = exp.get();
        CLzwCompressor* k = comp.get();
        EXPECT_FALSE(e ? e->Input().IsOpen() || e->Output().IsOpen() : k->Input().IsOpen() || k->Output().IsOpen());
    }
    // Each large allocation of either codec fails in turn: one "out of
    // memory", from the allocator.
    for (bool expand : {false, true}) {
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(expand ? "expand" : "compress") + ", large allocation " + std::to_string(n));
            CRecordingScope rec;
            zrkos::CFaultScope fault(FaultOp::Alloc, n, FaultError::NoMemory, zrkos::CFaultScope::kEvery);
            fault.SetMinimumSize(4096);
            int r;
            if (expand) {
                CLzwExpander exp;
                exp.Input().SetPath(dir.Path("in.lzw"));
                exp.Output().SetPath(dir.Path("out.txt"));
                r = exp.Run();
            } else {
                CLzwCompressor comp;
                comp.Input().SetPath(dir.Path("in.txt"));
                comp.Output().SetPath(dir.Path("out.lzw"));
                r = comp.Run();
            }
            if (fault.Fired() == 0) {
                EXPECT_EQ(r, 0);
                EXPECT_GE(n, 3);
                break;
            }
            EXPECT_EQ(r, ZRK_NOMEM);
            ASSERT_EQ(rec.entries.size(), 1u) << rec.LastText();
            EXPECT_EQ(rec.entries[0].msgId, MSG_OUT_OF_MEMORY);
            EXPECT_EQ(rec.entries[0].code, ZRK_NOMEM);
        }
    }
}

}  // namespace
