// LZW compression and expansion (see comp.h for the code stream).
//
// Both hot loops keep their working state (bit accumulator, cursors, code
// width, next code) in local variables and store it back only around the
// rare calls that leave the loop (a new input chunk, a full output block):
// byte stores through uint8_t pointers may alias any member, so state kept
// in members would be reloaded after every output byte.

#include "zrk/comp.h"

#include <algorithm>
#include <cstring>

#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

using namespace zrklzw;

namespace {

constexpr int kCodes = kMaxCode + 1;

// Compressor dictionary: an open-addressed hash table of kSlots entries with
// double hashing (the table size is prime, so every probe sequence visits
// every slot and a free slot is always found: at most 32509 strings are
// defined before the dictionary is rebuilt). A slot holds, in 32 bits, the
// key (parent code << 8 | byte, 23 bits) and the low 9 bits of the string's
// code; the high 6 bits of the code sit in a byte array beside it. A lookup
// then reads one word per probe. 5 bytes a slot, 171 KiB in all.
constexpr int kSlots = 35023;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;
constexpr uint32_t kKeyMask = 0x7FFFFFu;  // never matches an empty slot:
                                          // a parent code is at most 32766
// The first slot probed is the top 15 bits of the key times this odd
// constant (Fibonacci hashing): it scatters the keys of neighbouring codes,
// which an xor of the code and the byte keeps side by side.
constexpr uint32_t kHashFactor = 0x9E3779B1u;

// Reports a failed close of a file this codec opened.
int CloseFile(CFile& file) {
    if (!file.IsOpen() || file.Close() == 0) return 0;
    const int e = zrkos::LastErrno();
    return ZrkErrorId(ZRK_FAIL, 443, file.Path().c_str(), e, zrkos::ErrnoText(e).c_str());
}

// Opens INPUT for reading and OUTPUT for writing (each at its own path);
// neither stays open on failure.
int OpenPair(CFile& input, CFile& output) {
    const CString inPath = input.Path();
    ZRK_TRY(input.Open(inPath, "r"));
    const CString outPath = output.Path();
    const int r = output.Open(outPath, "w");
    if (r != 0) input.Close();
    return r;
}

// Reads up to kInputChunk bytes of FILE into *BUFFER (allocated at the first
// call).
int ReadChunk(CFile& file, uint8_t** buffer, long* total) {
    *total = 0;
    if (*buffer == nullptr) {
        *buffer = static_cast<uint8_t*>(ZrkAlloc(kInputChunk));
        if (*buffer == nullptr) return ZRK_NOMEM;
    }
    while (*total < kInputChunk) {
        long got = 0;
        ZRK_TRY(file.Read(*buffer + *total, kInputChunk - *total, &got));
        if (got <= 0) break;
        *total += got;
    }
    return 0;
}

// Appends to OUT, growing its capacity geometrically (CByteBuffer alone
// grows by a fixed slack, which makes long outputs quadratic).
int AppendGrowing(CByteBuffer* out, const uint8_t* data, int count) {
    const int64_t needed = static_cast<int64_t>(out->Size()) + count;
    if (needed > out->Capacity()) {
        int64_t capacity = std::max<int64_t>(needed, static_cast<int64_t>(out->Capacity()) * 2);
        capacity = std::min<int64_t>(capacity, CByteBuffer::MAXSIZE);
        if (capacity >= needed) ZRK_TRY(out->Reserve(static_cast<int>(capacity)));
    }
    return out->Append(data, count);
}

}  // namespace

// ===========================================================================
// Expander
// ===========================================================================

// The expander's dictionary, indexed by code: a string is its parent's
// string followed by one byte; its length is kept so that it can be written
// straight into the output buffer, back to front. Codes below 256 are
// single bytes (length 1, no parent). The stack receives a string that does
// not fit into the rest of the output buffer.
struct CLzwExpander::Tables {
    uint16_t parent[kCodes];
    uint16_t length[kCodes];
    uint8_t suffix[kCodes];
    uint8_t stack[kCodes];
};

CLzwExpander::CLzwExpander() = default;

CLzwExpander::~CLzwExpander() {
    if (m_openedHere) {
        m_input.Close();
        m_output.Close();
    }
    ZrkFree(m_inBuffer);
    ZrkFree(m_outBuffer);
}

int CLzwExpander::Open() {
    m_openedHere = false;
    if (m_input.IsOpen()) return 0;
    ZRK_TRY(OpenPair(m_input, m_output));
    m_openedHere = true;
    return 0;
}

int CLzwExpander::Close() {
    if (!m_openedHere) return 0;
    m_openedHere = false;
    int r = CloseFile(m_output);
    ZRK_KEEP(r, CloseFile(m_input));
    return r;
}

int CLzwExpander::WriteOutput(const uint8_t* data, int count) { return m_output.Write(data, count); }

int CLzwExpander::ReadInput(int* count, const uint8_t** chunk) {
    long total = 0;
    const int r = ReadChunk(m_input, &m_inBuffer, &total);
    *count = static_cast<int>(total) & ~1;
    *chunk = m_inBuffer;
    return r;
}

int CLzwExpander::Run() {
    m_error = 0;
    m_chunkLeft = 0;
    m_chunkCursor = nullptr;
    m_totalRead = 0;
    m_totalWritten = 0;
    ZRK_TRY(Open());
    m_crc = 0xFFFFFFFFu;

    int r = 0;
    if (m_outBuffer == nullptr) m_outBuffer = static_cast<uint8_t*>(ZrkAlloc(kExpanderBlock));
    Tables* tables = static_cast<Tables*>(ZrkAlloc(sizeof(Tables)));
    if (m_outBuffer == nullptr || tables == nullptr)
        r = ZRK_NOMEM;
    else
        r = Expand(*tables);
    ZrkFree(tables);

    const int closed = Close();
    return r != 0 ? r : closed;
}

bool CLzwExpander::NextChunk() {
    if (m_error != 0) return false;
    int count = 0;
    const uint8_t* chunk = nullptr;
    // A failed read, an exhausted input and a lone odd byte all leave the
    // stream without its end code.
    if (ReadInput(&count, &chunk) != 0 || count < 2 || chunk == nullptr) {
        m_error = ZRK_FAIL;
        return false;
    }
    count &= ~1;
    m_totalRead += count;
    if (m_progress) {
        m_error = m_progress(m_totalRead);
        if (m_error != 0) return false;
    }
    m_chunkCursor = chunk;
    m_chunkLeft = count;
    return true;
}

int CLzwExpander::FlushOutput(int count) {
    if (count == 0) return 0;
    m_crc = ZrkCrc32Run(m_outBuffer, static_cast<size_t>(count), m_crc);
    m_totalWritten += count;
    return WriteOutput(m_outBuffer, count);
}

int CLzwExpander::Expand(Tables& t) {
    uint16_t* const parent = t.parent;
    uint16_t* const length = t.length;
    uint8_t* const suffix = t.suffix;
    for (int c = 0; c < 256; ++c) length[c] = 1;

    uint8_t* const outStart = m_outBuffer;
    uint8_t* const outEnd = outStart + kExpanderBlock;
    uint8_t* out = outStart;

    // Bits not yet used are the low NBITS bits of BITS, the next code's
    // first bit the highest of them.
    uint64_t bits = 0;
    int nbits = 0;
    const uint8_t* in = nullptr;
    int inLeft = 0;

    // A code of WIDTH bits; 256 when the input ends or the run must stop
    // (m_error says which).
    auto readCode = [&](int width) -> unsigned {
        if (nbits < width) {
            for (;;) {
                while (nbits <= 48 && inLeft >= 2) {
                    bits = (bits << 16) | static_cast<unsigned>(in[0] << 8 | in[1]);
                    in += 2;
                    inLeft -= 2;
                    nbits += 16;
                }
                if (nbits >= width) break;
                if (!NextChunk()) return kEnd;
                in = m_chunkCursor;
                inLeft = m_chunkLeft;
            }
        }
        nbits -= width;
        return static_cast<unsigned>(bits >> nbits) & ((1u << width) - 1);
    };
    // Writes the full output block; false when the run must stop.
    auto flush = [&]() -> bool {
        const int r = FlushOutput(static_cast<int>(out - outStart));
        out = outStart;
        if (r != 0 && m_error == 0) m_error = r;
        return r == 0;
    };

    int status = 0;
    for (bool restart = true; restart;) {
        restart = false;
        // A fresh dictionary: the first code is a byte or the end.
        int width = kMinBits;
        unsigned next = kFirstCode;
        unsigned old = readCode(width);
        if (old == kEnd) break;
        if (old > 255) {
            status = ZRK_FAIL;
            break;
        }
        if (out == outEnd && !flush()) break;
        *out++ = static_cast<uint8_t>(old);

        for (;;) {
            const unsigned code = readCode(width);
            if (code < 256) {
                // A single byte: the most frequent case on data that does
                // not compress well.
                if (next > kMaxCode) {
                    status = ZRK_FAIL;
                    break;
                }
                if (out == outEnd && !flush()) break;
                *out++ = static_cast<uint8_t>(code);
                parent[next] = static_cast<uint16_t>(old);
                suffix[next] = static_cast<uint8_t>(code);
                length[next] = static_cast<uint16_t>(length[old] + 1);
                ++next;
                old = code;
                continue;
            }
            if (code == kEnd) break;
            if (code == kFlush) {
                restart = true;
                break;
            }
            if (code == kWiden) {
                if (width == kMaxBits) {
                    status = ZRK_FAIL;
                    break;
                }
                ++width;
                continue;
            }
            // A dictionary string, or (code == next) the string being
            // defined at this very step: OLD's string and its first byte.
            if (code > next || next > kMaxCode) {
                status = ZRK_FAIL;
                break;
            }
            const int len = code < next ? length[code] : length[old] + 1;
            uint8_t* const dest = outEnd - out >= len ? out : t.stack;
            uint8_t* q = dest + len;
            unsigned c = code;
            if (code == next) {
                --q;
                c = old;
            }
            while (c > 255) {
                *--q = suffix[c];
                c = parent[c];
            }
            *--q = static_cast<uint8_t>(c);
            if (code == next) dest[len - 1] = static_cast<uint8_t>(c);

            if (dest == out) {
                out += len;
            } else {
                const uint8_t* s = dest;
                int left = len;
                while (left > 0) {
                    if (out == outEnd && !flush()) break;
                    const int n = std::min(left, static_cast<int>(outEnd - out));
                    std::memcpy(out, s, static_cast<size_t>(n));
                    out += n;
                    s += n;
                    left -= n;
                }
                if (left > 0) break;
            }
            parent[next] = static_cast<uint16_t>(old);
            suffix[next] = static_cast<uint8_t>(c);
            length[next] = static_cast<uint16_t>(length[old] + 1);
            ++next;
            old = code;
        }
    }

    if (status == 0) status = m_error;
    if (status != 0) return status;
    ZRK_TRY(FlushOutput(static_cast<int>(out - outStart)));
    m_crc = ~m_crc;
    return 0;
}

// ===========================================================================
// Compressor
// ===========================================================================

struct CLzwCompressor::Coder {
    uint32_t slot[kSlots];
    uint8_t codeHigh[kSlots];
};

CLzwCompressor::CLzwCompressor() = default;

CLzwCompressor::~CLzwCompressor() {
    if (m_openedHere) {
        m_input.Close();
        m_output.Close();
    }
    ZrkFree(m_inBuffer);
    ZrkFree(m_outBuffer);
}

int CLzwCompressor::Open() {
    m_openedHere = false;
    if (m_input.IsOpen()) return 0;
    ZRK_TRY(OpenPair(m_input, m_output));
    m_openedHere = true;
    return 0;
}

int CLzwCompressor::Close() {
    if (!m_openedHere) return 0;
    m_openedHere = false;
    int r = CloseFile(m_output);
    ZRK_KEEP(r, CloseFile(m_input));
    return r;
}

int CLzwCompressor::WriteOutput(const uint8_t* data, int count) { return m_output.Write(data, count); }

int CLzwCompressor::ReadInput(int* count, const uint8_t** chunk) {
    long total = 0;
    const int r = ReadChunk(m_input, &m_inBuffer, &total);
    *count = static_cast<int>(total);
    *chunk = m_inBuffer;
    return r;
}

int CLzwCompressor::Run() {
    m_totalIn = 0;
    m_totalOut = 0;
    m_writeError = 0;
    m_limitReached = false;
    m_stop = false;
    m_chunkLeft = 0;
    m_chunkCursor = m_chunkStart = nullptr;
    ZRK_TRY(Open());
    m_crc = 0xFFFFFFFFu;

    int r = 0;
    if (m_outBuffer == nullptr) m_outBuffer = static_cast<uint8_t*>(ZrkAlloc(kCompressorBlock));
    Coder* coder = static_cast<Coder*>(ZrkAlloc(sizeof(Coder)));
    if (m_outBuffer == nullptr || coder == nullptr)
        r = ZRK_NOMEM;
    else
        r = Compress(*coder);
    ZrkFree(coder);
    m_crc = ~m_crc;

    const int closed = Close();
    return r != 0 ? r : closed;
}

void CLzwCompressor::SizeBlock() {
    int64_t capacity = kCompressorBlock;
    if (m_outputLimit != 0 && !m_limitReached) {
        // The block that fills exactly at the limit (an odd limit: one byte
        // past it).
        capacity = (m_outputLimit - m_totalOut) & ~int64_t{1};
        capacity = std::clamp<int64_t>(capacity, 2, kCompressorBlock);
    }
    m_outEnd = m_outBuffer + capacity;
}

void CLzwCompressor::FlushBlock(uint8_t* end) {
    const int count = static_cast<int>(end - m_outBuffer);
    m_totalOut += count;
    if (m_outputLimit != 0 && m_totalOut >= m_outputLimit) {
        m_limitReached = true;
        m_stop = true;
    }
    if (m_writeError == 0) {
        m_writeError = WriteOutput(m_outBuffer, count);
        // Nothing more can be written: take no more input.
        if (m_writeError != 0) m_stop = true;
    }
    SizeBlock();
}

int CLzwCompressor::NextChunk(bool* ended) {
    *ended = false;
    const size_t used = static_cast<size_t>(m_chunkCursor - m_chunkStart);
    if (used > 0) {
        m_crc = ZrkCrc32Run(m_chunkStart, used, m_crc);
        m_totalIn += static_cast<int64_t>(used);
    }
    m_chunkStart = m_chunkCursor;
    if (m_progress) ZRK_TRY(m_progress(m_totalIn));
    if (m_stop || AtEnd()) {
        *ended = true;
        return 0;
    }
    int count = 0;
    const uint8_t* chunk = nullptr;
    if (ReadInput(&count, &chunk) != 0) return ZRK_FAIL;
    if (count <= 0) {
        *ended = true;
        return 0;
    }
    if (chunk == nullptr) return ZRK_INTERNAL_ERROR();
    m_chunkStart = m_chunkCursor = chunk;
    m_chunkLeft = count;
    return 0;
}

int CLzwCompressor::Compress(Coder& coder) {
    // Both arrays are addressed through CODER, so that the hot loop needs one
    // register for them.
    std::memset(coder.slot, 0xFF, sizeof coder.slot);

    SizeBlock();
    uint8_t* out = m_outBuffer;
    uint8_t* outEnd = m_outEnd;
    // Bits waiting for their word: the low ACCBITS (< 16) bits of ACC.
    uint32_t acc = 0;
    int accBits = 0;
    int width = kMinBits;
    unsigned next = kFirstCode;  // codes are widened when it reaches 1 << width

    // Whether a code completes a word follows no pattern a branch predictor
    // could learn, so the word is stored every time and kept only when it is
    // complete (a block always has room for one more word).
    auto put = [&](unsigned code) {
        acc = (acc << width) | code;
        accBits += width;
        const unsigned word = acc << (32 - accBits) >> 16;  // the oldest 16 bits
        out[0] = static_cast<uint8_t>(word >> 8);
        out[1] = static_cast<uint8_t>(word);
        const int complete = accBits >= 16;
        out += 2 * complete;
        accBits -= 16 * complete;
        if (out == outEnd) {
            FlushBlock(out);
            out = m_outBuffer;
            outEnd = m_outEnd;
        }
    };

    bool ended = false;
    ZRK_TRY(NextChunk(&ended));
    unsigned cur = kEnd;  // the current string: the empty input's end code
    if (!ended) {
        cur = *m_chunkCursor++;
        --m_chunkLeft;
    }
    while (!ended) {
        const uint8_t* p = m_chunkCursor;
        const uint8_t* const end = p + m_chunkLeft;
        while (p < end) {
            const unsigned ch = *p++;
            const uint32_t key = cur << 8 | ch;
            int i = static_cast<int>(key * kHashFactor >> 17);
            uint32_t slot = coder.slot[i];
            if ((slot & kKeyMask) != key && slot != kEmpty) {
                const int step = i == 0 ? 1 : kSlots - i;
                do {
                    i -= step;
                    if (i < 0) i += kSlots;
                    slot = coder.slot[i];
                } while ((slot & kKeyMask) != key && slot != kEmpty);
            }
            if (slot != kEmpty) {
                cur = slot >> 23 | static_cast<unsigned>(coder.codeHigh[i]) << 9;
                continue;
            }

            // A new string: define it, emit the current one, go on from CH.
            coder.slot[i] = key | next << 23;
            coder.codeHigh[i] = static_cast<uint8_t>(next >> 9);
            ++next;
            put(cur);
            cur = ch;
            if (next >> width != 0) {
                if (next > kMaxCode) {
                    put(kFlush);
                    std::memset(coder.slot, 0xFF, sizeof coder.slot);
                    width = kMinBits;
                    next = kFirstCode;
                } else {
                    put(kWiden);
                    ++width;
                }
            }
            if (m_stop) break;
        }
        m_chunkLeft = static_cast<int>(end - p);
        m_chunkCursor = p;
        // A failed read or a cancellation ends the stream unfinished.
        ZRK_TRY(NextChunk(&ended));
    }

    put(cur);
    put(kEnd);
    if (accBits > 0) {
        const unsigned word = acc << (16 - accBits);
        out[0] = static_cast<uint8_t>(word >> 8);
        out[1] = static_cast<uint8_t>(word);
        out += 2;
    }
    const int count = static_cast<int>(out - m_outBuffer);
    if (count > 0) {
        m_totalOut += count;
        if (m_writeError == 0) m_writeError = WriteOutput(m_outBuffer, count);
    }
    return m_writeError;
}

// ===========================================================================
// In-memory forms
// ===========================================================================

namespace {

// Compresses a byte range into a byte buffer.
class CBufferCompressor : public CLzwCompressor {
public:
    CBufferCompressor(const uint8_t* data, size_t size, CByteBuffer* out)
        : m_data(data), m_size(size), m_out(out) {}

protected:
    int Open() override { return 0; }
    int Close() override { return 0; }
    int ReadInput(int* count, const uint8_t** chunk) override {
        const size_t n = std::min<size_t>(m_size - m_pos, kInputChunk);
        *chunk = m_data + m_pos;
        *count = static_cast<int>(n);
        m_pos += n;
        return 0;
    }
    bool AtEnd() override { return m_pos == m_size; }
    int WriteOutput(const uint8_t* data, int count) override { return AppendGrowing(m_out, data, count); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    CByteBuffer* m_out;
};

// Expands a byte range into a byte buffer of bounded size.
class CBufferExpander : public CLzwExpander {
public:
    CBufferExpander(const uint8_t* data, size_t size, CByteBuffer* out, size_t maxOut)
        : m_data(data), m_size(size), m_out(out), m_maxOut(maxOut) {}

protected:
    int Open() override { return 0; }
    int Close() override { return 0; }
    int ReadInput(int* count, const uint8_t** chunk) override {
        const size_t n = std::min<size_t>(m_size - m_pos, kInputChunk);
        *chunk = m_data + m_pos;
        *count = static_cast<int>(n);
        m_pos += n;
        return 0;
    }
    int WriteOutput(const uint8_t* data, int count) override {
        if (m_maxOut != 0 && static_cast<size_t>(m_out->Size()) + static_cast<size_t>(count) > m_maxOut)
            return ZRK_FAIL;
        return AppendGrowing(m_out, data, count);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    CByteBuffer* m_out;
    size_t m_maxOut;
};

}  // namespace

int ZrkLzwCompress(const void* data, size_t size, CByteBuffer* out, int64_t limit, size_t* consumed,
                   uint32_t* crc) {
    out->Clear();
    CBufferCompressor compressor(static_cast<const uint8_t*>(data), data ? size : 0, out);
    compressor.SetOutputLimit(limit);
    const int r = compressor.Run();
    if (consumed) *consumed = static_cast<size_t>(compressor.TotalIn());
    if (crc) *crc = compressor.Crc();
    return r;
}

int ZrkLzwExpand(const void* data, size_t size, CByteBuffer* out, uint32_t* crc, size_t maxOut) {
    out->Clear();
    CBufferExpander expander(static_cast<const uint8_t*>(data), data ? size : 0, out, maxOut);
    const int r = expander.Run();
    if (crc) *crc = expander.Crc();
    return r;
}
