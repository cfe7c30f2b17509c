// LZW compression and expansion (see comp.h for the code stream).
//
// Both hot loops keep their working state (bit accumulator, cursors, code
// width, next code) in local variables and store it back only around the
// rare calls that leave the loop (a new input chunk, a full output block):
// byte stores through uint8_t pointers may alias any member, so state kept
// in members would be reloaded after every output byte.

#include "zrk/comp.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <typeinfo>

#include "zrk/os/memhint.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

using namespace zrklzw;

namespace {

constexpr int kCodes = kMaxCode + 1;

// The coding loop puts up to two codes (four bytes, a word past the block
// and the next one begun) before it checks whether the block is full: each
// output block has that room after its end.
constexpr int kBlockSlack = 4;
constexpr int kBlockSize = kCompressorBlock + kBlockSlack;

// Compressor dictionary. A string is its parent's string followed by one
// byte. A two-byte string (its parent a byte) is found in a direct table
// indexed by the two bytes. A longer one is found in an open-addressed hash
// table of 2^17 slots, never more than a quarter full (at most 32509 strings
// are defined before the dictionary is rebuilt).
//
// The slot of a longer string is chosen by a hash of its bytes, rolled on
// byte by byte from the start of the string, not by its parent's code: the
// slots a walk down the dictionary will read follow from the input alone,
// so the processor reads them while it still checks the earlier ones, rather
// than waiting for each code before it can find the next slot. A slot holds
// the code, the parent's code and the number of steps (linear probing) from
// the string's first slot:
//
//   code | parent << 15 | steps << 30      (0: free)
//
// The first slot and the parent identify the string: the hash step is one to
// one in the byte (its low 8 bits are the byte's), so two children of one
// parent never share a first slot. A string more than kMaxSteps steps from
// its first slot, which ordinary data hardly ever produces, goes into an
// overflow table that holds whole keys.
constexpr int kDictBits = 17;
constexpr uint32_t kDictMask = (1u << kDictBits) - 1;
constexpr uint32_t kCodeMask = 0x7FFF;
constexpr int kParentShift = 15;
constexpr int kStepShift = 30;
constexpr uint32_t kMaxSteps = 3;
constexpr int kOverflowBits = 16;  // 65536 slots: room for every string
uint32_t g_maxSteps = kMaxSteps;

// Random values of the bytes: the hash of a one-byte string, and what a byte
// adds to a string's hash (its low 8 bits the byte itself).
struct HashTables {
    uint32_t seed[256];
    uint32_t mix[256];
};

constexpr HashTables MakeHashTables() {
    HashTables t{};
    uint32_t x = 2463534242u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (uint32_t c = 0; c < 256; ++c) {
        t.seed[c] = next();
        t.mix[c] = (next() & ~0xFFu) | c;
    }
    return t;
}

constexpr HashTables kHash = MakeHashTables();

// The hash of a string of hash H followed by BYTE.
inline uint32_t HashStep(uint32_t h, unsigned byte) { return (h << 5 | h >> 27) ^ kHash.mix[byte]; }

// Closes a file this codec opened, reporting a failure unless QUIET (the
// run failed already and reported why: one failure, one report).
int CloseFile(CFile& file, bool quiet) {
    if (!file.IsOpen() || file.Close() == 0) return 0;
    if (quiet) return ZRK_FAIL;
    const int e = zrkos::LastErrno();
    return ZrkErrorId(ZRK_FAIL, MSG_CLOSE_FAILED, file.Path().c_str(), e, zrkos::ErrnoText(e).c_str());
}

// Opens OUTPUT (at its path) for writing.
int OpenOutput(CFile& output) {
    const CString path = output.Path();
    return output.Open(path, "w");
}

// Opens INPUT for reading and OUTPUT for writing (each at its own path);
// neither stays open on failure.
int OpenPair(CFile& input, CFile& output) {
    const CString inPath = input.Path();
    ZRK_TRY(input.Open(inPath, "r"));
    const int r = OpenOutput(output);
    if (r != 0) input.Close();
    return r;
}

// Reads SIZE bytes of FILE into BUFFER, fewer at its end.
int ReadFull(CFile& file, uint8_t* buffer, long size, long* total) {
    *total = 0;
    while (*total < size) {
        long got = 0;
        ZRK_TRY(file.Read(buffer + *total, size - *total, &got));
        if (got <= 0) break;
        *total += got;
    }
    return 0;
}

// Reads up to kInputChunk bytes of FILE into *BUFFER (allocated at the first
// call).
int ReadChunk(CFile& file, uint8_t** buffer, long* total) {
    *total = 0;
    if (*buffer == nullptr) {
        *buffer = static_cast<uint8_t*>(ZrkAlloc(kInputChunk));
        if (*buffer == nullptr) return ZRK_NOMEM;
    }
    return ReadFull(file, *buffer, kInputChunk, total);
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

// The expander writes each string straight into a window that keeps the
// last kHistory bytes of output: a dictionary string whose earlier
// occurrence is still there is copied from it, 16 bytes at a time; an older
// one is written back to front along its parents. The window is written out
// whenever kWindowBlock new bytes have gathered behind the history, and the
// history then moves to its front; kRoom past that point holds the longest
// string and the overshoot of the last 16-byte copy.
namespace {

constexpr int kHistoryBits = 17;
constexpr size_t kHistory = size_t{1} << kHistoryBits;
constexpr size_t kWindowBlock = kExpanderBlock;
constexpr size_t kRoom = kCodes + 64;
constexpr size_t kWindowSize = kHistory + kWindowBlock + kRoom;

// The eight bytes at P as a big-endian number (one load and a byte swap
// where the compiler sees the pattern).
inline uint64_t LoadBigEndian64(const uint8_t* p) {
    return uint64_t{p[0]} << 56 | uint64_t{p[1]} << 48 | uint64_t{p[2]} << 40 | uint64_t{p[3]} << 32 |
           uint64_t{p[4]} << 24 | uint64_t{p[5]} << 16 | uint64_t{p[6]} << 8 | uint64_t{p[7]};
}

// Copies at least COUNT bytes from S to D, 16 at a time. Every byte to copy
// lies before D, so an overlap with the bytes already written beyond the
// string does not matter.
inline void CopyForward(uint8_t* d, const uint8_t* s, size_t count) {
    size_t k = 0;
    do {
        uint8_t chunk[16];
        std::memcpy(chunk, s + k, 16);
        std::memcpy(d + k, chunk, 16);
        k += 16;
    } while (k < count);
}

}  // namespace

// The expander's dictionary, indexed by code. A string is its parent's
// string followed by one byte (suffix). It first occurred in the output at
// the start of the string emitted just before the step that defined it, and
// is one byte longer than that one: START holds that output position (its
// low 32 bits: one dictionary's output never reaches 2^32 bytes, so the
// distance back from a later position is exact) and LENGTH the length.
// Codes below 256 are single bytes. 288 KiB in all.
struct CLzwExpander::Tables {
    uint32_t start[kCodes];
    uint16_t length[kCodes];
    uint16_t parent[kCodes];
    uint8_t suffix[kCodes];
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
    int r = CloseFile(m_output, m_quietClose);
    ZRK_KEEP(r, CloseFile(m_input, m_quietClose));
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

    // A failed allocation was reported by the allocator: no further one is
    // tried, so that the run reports it once.
    int r = ZRK_NOMEM;
    if (m_outBuffer == nullptr) m_outBuffer = static_cast<uint8_t*>(ZrkAlloc(kWindowSize));
    Tables* tables = m_outBuffer ? static_cast<Tables*>(ZrkAlloc(sizeof(Tables))) : nullptr;
    if (tables != nullptr) r = Expand(*tables);
    ZrkFree(tables);

    m_quietClose = r != 0;
    const int closed = Close();
    return r != 0 ? r : closed;
}

bool CLzwExpander::NextChunk() {
    if (m_error != 0) return false;
    int count = 0;
    const uint8_t* chunk = nullptr;
    // A failed read was reported where it failed; an exhausted input or a
    // lone odd byte leaves the stream without its end code: damaged data.
    const int r = ReadInput(&count, &chunk);
    if (r != 0 || count < 2 || chunk == nullptr) {
        m_error = r != 0 ? r : ZRK_BADDATA;
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

int CLzwExpander::FlushOutput(const uint8_t* data, int count) {
    if (count == 0) return 0;
    m_crc = ZrkCrc32Run(data, static_cast<size_t>(count), m_crc);
    m_totalWritten += count;
    return WriteOutput(data, count);
}

int CLzwExpander::Expand(Tables& t) {
    uint32_t* const start = t.start;
    uint16_t* const length = t.length;
    uint16_t* const parent = t.parent;
    uint8_t* const suffix = t.suffix;

    uint8_t* const window = m_outBuffer;
    uint8_t* const full = window + kHistory + kWindowBlock;
    uint8_t* out = window;
    uint8_t* unwritten = window;  // the first byte not yet written out
    uint32_t base = 0;            // output position of window[0]

    // The stream is a sequence of bytes, most significant bit first. BITS
    // holds the next NBITS bits at its top; while 8 bytes of the chunk are
    // left it is refilled with whole bytes, without a branch, to at least 56.
    uint64_t bits = 0;
    int nbits = 0;
    const uint8_t* in = nullptr;
    const uint8_t* inEnd = nullptr;

    // Near the end of a chunk: byte by byte, fetching the next chunk when
    // WIDTH bits are not there; false when the run must stop (m_error says
    // why).
    auto refill = [&](int width) -> bool {
        for (;;) {
            while (nbits <= 56 && in < inEnd) {
                bits |= uint64_t{*in++} << (56 - nbits);
                nbits += 8;
            }
            if (nbits >= width) return true;
            if (!NextChunk()) return false;
            in = m_chunkCursor;
            inEnd = in + m_chunkLeft;
        }
    };
    // A code of WIDTH bits; 256 when the input ends or the run must stop.
    // Inlined: a call per code costs a fifth of the expander's time.
    auto readCode = [&](int width) __attribute__((always_inline)) -> unsigned {
        if (inEnd - in >= 8) {
            bits |= LoadBigEndian64(in) >> nbits;
            in += (63 - nbits) >> 3;
            nbits |= 56;
        } else if (nbits < width && !refill(width)) {
            return kEnd;
        }
        const unsigned code = static_cast<unsigned>(bits >> (64 - width));
        bits <<= width;
        nbits -= width;
        return code;
    };
    // Writes out the bytes gathered behind the history and moves the last
    // kHistory bytes to the front; false when the run must stop.
    auto flush = [&]() -> bool {
        const int r = FlushOutput(unwritten, static_cast<int>(out - unwritten));
        if (r != 0) {
            if (m_error == 0) m_error = r;
            return false;
        }
        const size_t keep = std::min(static_cast<size_t>(out - window), kHistory);
        std::memmove(window, out - keep, keep);
        base += static_cast<uint32_t>(out - keep - window);
        out = unwritten = window + keep;
        return true;
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
            status = ZRK_BADDATA;
            break;
        }
        if (out >= full && !flush()) break;
        uint32_t last = base + static_cast<uint32_t>(out - window);  // start of the latest string
        size_t lastLength = 1;
        *out++ = static_cast<uint8_t>(old);

        for (;;) {
            const unsigned code = readCode(width);
            if (out >= full && !flush()) break;
            const uint32_t here = base + static_cast<uint32_t>(out - window);
            size_t len;
            unsigned first;
            if (code < 256) {
                // A single byte: the most frequent case on data that does
                // not compress well.
                *out = static_cast<uint8_t>(code);
                len = 1;
                first = code;
            } else if (code - kFirstCode < next - kFirstCode) {
                // A dictionary string: from the window while it is there,
                // else back to front along its parents.
                len = length[code];
                const uint32_t back = here - start[code];
                if (back <= kHistory) {
                    const uint8_t* const s = out - back;
                    CopyForward(out, s, len);
                    first = *s;
                } else {
                    uint8_t* q = out + len;
                    unsigned c = code;
                    while (c > 255) {
                        *--q = suffix[c];
                        c = parent[c];
                    }
                    *--q = static_cast<uint8_t>(c);
                    first = c;
                }
            } else if (code == next && next <= kMaxCode) {
                // The string being defined at this very step: the latest
                // string and its first byte.
                const uint8_t* const s = out - lastLength;
                CopyForward(out, s, lastLength);
                first = *s;
                out[lastLength] = static_cast<uint8_t>(first);
                len = lastLength + 1;
            } else if (code == kEnd) {
                break;
            } else if (code == kFlush) {
                restart = true;
                break;
            } else if (code == kWiden) {
                if (width == kMaxBits) {
                    status = ZRK_BADDATA;
                    break;
                }
                ++width;
                continue;
            } else {
                // Above the next code (or the end's code while reading ended).
                status = ZRK_BADDATA;
                break;
            }
            if (next > kMaxCode) {
                status = ZRK_BADDATA;
                break;
            }
            // NEXT is the latest string and the first byte of this one.
            start[next] = last;
            length[next] = static_cast<uint16_t>(lastLength + 1);
            parent[next] = static_cast<uint16_t>(old);
            suffix[next] = static_cast<uint8_t>(first);
            ++next;
            last = here;
            lastLength = len;
            out += len;
            old = code;
        }
    }

    if (status == 0) status = m_error;
    if (status != 0) return status;
    ZRK_TRY(FlushOutput(unwritten, static_cast<int>(out - unwritten)));
    m_crc = ~m_crc;
    return 0;
}

// ===========================================================================
// Compressor
// ===========================================================================

void zrklzw::SetProbeStepsForTest(int steps) {
    g_maxSteps = static_cast<uint32_t>(std::clamp(steps, 0, static_cast<int>(kMaxSteps)));
}

struct CLzwCompressor::Coder {
    uint32_t slot[size_t{1} << kDictBits];
    // The code of the two-byte string a, b at a << 8 | b; 0 for none.
    uint16_t pair[1 << 16];
    // generation << 38 | code << 23 | parent << 8 | byte, filled at random
    // (linear probing), cleared at its first use in a run.
    uint64_t overflow[size_t{1} << kOverflowBits];
    uint64_t overflowGeneration;
    bool overflowUsed;

    void Start() {
        overflowGeneration = 0;
        overflowUsed = false;
        Rebuild();
    }

    // An empty dictionary.
    void Rebuild() {
        std::memset(pair, 0, sizeof pair);
        std::memset(slot, 0, sizeof slot);
        ++overflowGeneration;
    }

    // Finds the string (PARENT, BYTE) of hash HASH past its first slot,
    // which holds another string. Returns its code; or, when it is not
    // there, defines it as NEXT and returns 0.
    unsigned Probe(unsigned parent, unsigned byte, uint32_t hash, unsigned next) {
        uint32_t i = hash & kDictMask;
        for (uint32_t steps = 1; steps <= g_maxSteps; ++steps) {
            i = (i + 1) & kDictMask;
            const uint32_t s = slot[i];
            const uint32_t key = parent << kParentShift | steps << kStepShift;
            if (s == 0) {
                slot[i] = key | next;
                return 0;
            }
            if ((s & ~kCodeMask) == key) return s & kCodeMask;
        }
        return Overflow(parent << 8 | byte, next);
    }

    unsigned Overflow(uint32_t key, unsigned next) {
        if (!overflowUsed) {
            std::memset(overflow, 0, sizeof overflow);
            overflowUsed = true;
        }
        const uint64_t want = overflowGeneration << 38 | key;
        constexpr uint64_t codeBits = uint64_t{kCodeMask} << 23;
        for (uint32_t i = (key * 0x9E3779B1u) >> (32 - kOverflowBits);; i = (i + 1) & ((1u << kOverflowBits) - 1)) {
            const uint64_t e = overflow[i];
            if ((e & ~codeBits) == want) return static_cast<unsigned>(e >> 23) & kCodeMask;
            if (e >> 38 != overflowGeneration) {
                overflow[i] = want | uint64_t{next} << 23;
                return 0;
            }
        }
    }
};

// The hand-over between the calling thread of a piped run and its coding
// thread. The coding thread takes its input in batches of kBatch bytes read
// ahead (three in turn), splits them into the chunks a plain run reads, and
// hands back, in the order a plain run meets them, one event per chunk it
// ends (its bytes are then folded into the CRC and progress is reported),
// each full output block (written, its buffer returned) and each used-up
// batch (read again). Each side wakes the other only when that one waits
// and has something to do: the calling thread mostly for used-up batches.
struct CLzwCompressor::Pipe {
    static constexpr int kBatch = 16 * kInputChunk;
    static constexpr int kBatches = 3;
    static constexpr int kBlocks = 8;
    static constexpr int kEvents = 256;
    static constexpr size_t kMemory = size_t{kBatches} * kBatch + size_t{kBlocks} * kBlockSize;

    enum Kind : int { kChunk, kBlock, kBatchDone, kEnd };
    struct Event {
        const uint8_t* data;
        int count;
        Kind kind;
    };
    struct Batch {
        uint8_t* data;
        int count;   // 0: the input has ended
        int status;  // a failed read (count 0)
    };

    std::mutex mutex;
    std::condition_variable callerWake;
    std::condition_variable coderWake;
    bool callerWaits = false;
    bool coderWaits = false;
    Event events[kEvents];
    int eventHead = 0;
    int eventCount = 0;
    Batch batches[kBatches];
    int batchHead = 0;
    int batchCount = 0;
    uint8_t* freeBlocks[kBlocks];
    int freeCount = 0;
    std::atomic<bool> stopInput{false};  // a write failed: take no more input
    std::atomic<int> cancel{0};          // the progress callback ended the run
    // The coding thread's current batch.
    uint8_t* batch = nullptr;
    uint8_t* batchAt = nullptr;
    int batchLeft = 0;

    // Coding thread: waits (under LOCK) after waking the calling thread.
    void CoderWait(std::unique_lock<std::mutex>& lock) {
        if (callerWaits) callerWake.notify_one();
        coderWaits = true;
        coderWake.wait(lock);
        coderWaits = false;
    }
    void Post(const Event& e) {
        std::unique_lock lock(mutex);
        while (eventCount == kEvents) CoderWait(lock);
        events[(eventHead + eventCount++) % kEvents] = e;
        const bool urgent = e.kind == kBatchDone || e.kind == kEnd || (e.kind == kBlock && freeCount <= kBlocks / 2);
        if (urgent && callerWaits) callerWake.notify_one();
    }
    uint8_t* TakeBlock() {
        std::unique_lock lock(mutex);
        while (freeCount == 0) CoderWait(lock);
        return freeBlocks[--freeCount];
    }
    Batch TakeBatch() {
        std::unique_lock lock(mutex);
        while (batchCount == 0) CoderWait(lock);
        --batchCount;
        return batches[batchHead++ % kBatches];
    }

    // Calling thread.
    Event NextEvent() {
        std::unique_lock lock(mutex);
        while (eventCount == 0) {
            callerWaits = true;
            callerWake.wait(lock);
            callerWaits = false;
        }
        --eventCount;
        const Event e = events[eventHead++ % kEvents];
        if (coderWaits) coderWake.notify_one();
        return e;
    }
    void GiveBlock(const uint8_t* block) {
        std::lock_guard lock(mutex);
        freeBlocks[freeCount++] = const_cast<uint8_t*>(block);
        if (coderWaits) coderWake.notify_one();
    }
    void GiveBatch(const Batch& b) {
        std::lock_guard lock(mutex);
        batches[(batchHead + batchCount++) % kBatches] = b;
        if (coderWaits) coderWake.notify_one();
    }
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
    int r = CloseFile(m_output, m_quietClose);
    ZRK_KEEP(r, CloseFile(m_input, m_quietClose));
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
    // Only the base operations on files of their own are piped (RunPiped):
    // they read a file this run opens and closes, so that reading ahead
    // changes nothing outside, and create the output once coding has begun.
    const bool piped = !m_input.IsOpen() && typeid(*this) == typeid(CLzwCompressor);
    if (piped) {
        const CString inPath = m_input.Path();
        ZRK_TRY(m_input.Open(inPath, "r"));
        m_openedHere = true;
    } else {
        ZRK_TRY(Open());
    }
    m_crc = 0xFFFFFFFFu;

    int r = ZRK_NOMEM;  // as for the expander: one failed allocation, one report
    if (m_outBuffer == nullptr) m_outBuffer = static_cast<uint8_t*>(ZrkAlloc(kBlockSize));
    // The dictionary is read at random, byte after byte: in a huge page
    // where the system has them, its lookups miss the address translation
    // caches far less often (7% of the time on executables).
    static_assert(sizeof(Coder) <= zrkos::kHugePage);
    void* block = m_outBuffer ? ZrkAlloc(2 * zrkos::kHugePage) : nullptr;
    if (block != nullptr) {
        const uintptr_t at = (reinterpret_cast<uintptr_t>(block) + zrkos::kHugePage - 1) & ~(zrkos::kHugePage - 1);
        zrkos::AdviseHugePages(reinterpret_cast<void*>(at), zrkos::kHugePage);
        Coder& coder = *reinterpret_cast<Coder*>(at);
        if (piped) {
            uint8_t* const memory = static_cast<uint8_t*>(ZrkAlloc(Pipe::kMemory));
            if (memory != nullptr) {
                Pipe pipe;
                uint8_t* const ownBuffer = m_outBuffer;
                m_outBuffer = memory + size_t{Pipe::kBatches} * Pipe::kBatch;
                for (int i = 1; i < Pipe::kBlocks; ++i)
                    pipe.freeBlocks[pipe.freeCount++] = m_outBuffer + i * kBlockSize;
                r = RunPiped(coder, pipe, memory);
                m_outBuffer = ownBuffer;
                ZrkFree(memory);
            }
        } else {
            r = Compress(coder);
        }
    }
    ZrkFree(block);
    m_crc = ~m_crc;

    m_quietClose = r != 0;
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
    EmitBlock(count);
    SizeBlock();
}

void CLzwCompressor::EmitBlock(int count) {
    if (m_pipe != nullptr) {
        m_pipe->Post({m_outBuffer, count, Pipe::kBlock});
        m_outBuffer = m_pipe->TakeBlock();
        if (m_pipe->stopInput.load(std::memory_order_relaxed)) m_stop = true;
        return;
    }
    if (m_writeError == 0) {
        m_writeError = WriteOutput(m_outBuffer, count);
        // Nothing more can be written: take no more input.
        if (m_writeError != 0) m_stop = true;
    }
}

int CLzwCompressor::RunPiped(Coder& coder, Pipe& pipe, uint8_t* batches) {
    m_pipe = &pipe;
    int coded = 0;
    std::thread coding;
    try {
        coding = std::thread([&] {
            coded = Compress(coder);
            pipe.Post({nullptr, 0, Pipe::kEnd});
        });
    } catch (...) {  // no thread to be had: code here
        m_pipe = nullptr;
        ZRK_TRY(OpenOutput(m_output));
        return Compress(coder);
    }

    // Reads the next batch into DATA; once the input has ended or must not
    // be read on, an empty batch (only one) ends it.
    bool inputEnded = false;
    int cancelled = 0;  // the status that ended the run here: a cancellation, a failed creation
    auto feed = [&](uint8_t* data) {
        if (inputEnded) return;
        Pipe::Batch b{data, 0, 0};
        if (cancelled == 0 && m_writeError == 0) {
            long total = 0;
            b.status = ReadFull(m_input, data, Pipe::kBatch, &total);
            if (b.status == 0) b.count = static_cast<int>(total);
        }
        inputEnded = b.count == 0;
        pipe.GiveBatch(b);
    };
    for (int i = 0; i < Pipe::kBatches; ++i) feed(batches + static_cast<size_t>(i) * Pipe::kBatch);
    // Creating the output (truncating an old one takes a while) overlaps
    // the coding; when it fails, the run ends as if cancelled.
    if (const int opened = OpenOutput(m_output); opened != 0) {
        cancelled = opened;
        pipe.cancel.store(cancelled, std::memory_order_relaxed);
    }

    for (;;) {
        const Pipe::Event e = pipe.NextEvent();
        if (e.kind == Pipe::kEnd) break;
        if (e.kind == Pipe::kBatchDone) {
            feed(const_cast<uint8_t*>(e.data));
        } else if (e.kind == Pipe::kBlock) {
            if (cancelled == 0 && m_writeError == 0) {
                m_writeError = WriteOutput(e.data, e.count);
                if (m_writeError != 0) pipe.stopInput.store(true, std::memory_order_relaxed);
            }
            pipe.GiveBlock(e.data);
        } else if (cancelled == 0) {
            if (e.count > 0) {
                m_crc = ZrkCrc32Run(e.data, static_cast<size_t>(e.count), m_crc);
                m_totalIn += e.count;
            }
            if (m_progress) {
                cancelled = m_progress(m_totalIn);
                pipe.cancel.store(cancelled, std::memory_order_relaxed);
            }
        }
    }
    coding.join();
    m_pipe = nullptr;
    // What a plain run would have ended with: a cancellation ends it at
    // once; a failed write stops the input before a later read could fail.
    return cancelled != 0 ? cancelled : m_writeError != 0 ? m_writeError : coded;
}

int CLzwCompressor::NextChunk(bool* ended) {
    *ended = false;
    const size_t used = static_cast<size_t>(m_chunkCursor - m_chunkStart);
    if (m_pipe != nullptr) {
        Pipe& p = *m_pipe;
        p.Post({m_chunkStart, static_cast<int>(used), Pipe::kChunk});
        m_chunkStart = m_chunkCursor;
        if (const int r = p.cancel.load(std::memory_order_relaxed)) return r;
        if (m_stop || p.stopInput.load(std::memory_order_relaxed)) {
            *ended = true;
            return 0;
        }
        if (p.batchLeft == 0) {
            if (p.batch != nullptr) p.Post({p.batch, 0, Pipe::kBatchDone});
            const Pipe::Batch b = p.TakeBatch();
            if (b.status != 0) return b.status;
            p.batch = p.batchAt = b.data;
            p.batchLeft = b.count;
            if (b.count == 0) {
                *ended = true;
                return 0;
            }
        }
        const int n = std::min(p.batchLeft, kInputChunk);
        m_chunkStart = m_chunkCursor = p.batchAt;
        m_chunkLeft = n;
        p.batchAt += n;
        p.batchLeft -= n;
        return 0;
    }
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
    ZRK_TRY(ReadInput(&count, &chunk));
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
    coder.Start();

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
    // complete. Up to two codes are put before the block is checked (see
    // kBlockSlack).
    auto put = [&](unsigned code) {
        acc = (acc << width) | code;
        accBits += width;
        const unsigned word = acc << (32 - accBits) >> 16;  // the oldest 16 bits
        out[0] = static_cast<uint8_t>(word >> 8);
        out[1] = static_cast<uint8_t>(word);
        const int complete = accBits >= 16;
        out += 2 * complete;
        accBits -= 16 * complete;
    };
    // Once the block is full: writes it, and moves the words past its end
    // to the next one. Returns whether to take no more input.
    auto flush = [&] {
        uint8_t rest[kBlockSlack];
        const size_t restCount = static_cast<size_t>(out - outEnd);
        std::memcpy(rest, outEnd, kBlockSlack);
        FlushBlock(outEnd);
        out = m_outBuffer;
        outEnd = m_outEnd;
        std::memcpy(out, rest, kBlockSlack);
        out += restCount;
        if (out >= outEnd) {  // a block of two bytes, at the limit
            FlushBlock(outEnd);
            out = m_outBuffer;
            outEnd = m_outEnd;
        }
        return m_stop;
    };

    bool ended = false;
    ZRK_TRY(NextChunk(&ended));
    unsigned cur = kEnd;  // the current string: the empty input's end code
    uint32_t hash = 0;    // the hash of its bytes, once it has two or more
    if (!ended) {
        cur = *m_chunkCursor++;
        --m_chunkLeft;
    }
    while (!ended) {
        const uint8_t* p = m_chunkCursor;
        const uint8_t* const end = p + m_chunkLeft;
        uint32_t* const slot = coder.slot;
        uint16_t* const pair = coder.pair;
        while (p < end) {
            unsigned ch = *p++;
            if (cur < 256) {
                uint16_t& e = pair[cur << 8 | ch];
                if (e == 0) {
                    e = static_cast<uint16_t>(next);
                    goto emit;
                }
                hash = HashStep(kHash.seed[cur], ch);
                cur = e;
                if (p == end) break;
                ch = *p++;
            }
            // Down the dictionary from a string of two or more bytes: the
            // loop most input bytes take.
            for (;;) {
                const uint32_t h = HashStep(hash, ch);
                const uint32_t i = h & kDictMask;
                const uint32_t s = slot[i];
                const uint32_t key = cur << kParentShift;
                unsigned code;
                if ((s & ~kCodeMask) == key) [[likely]] {
                    code = s & kCodeMask;
                } else if (s == 0) {
                    slot[i] = key | next;
                    break;
                } else if (code = coder.Probe(cur, ch, h, next); code == 0) {
                    break;
                }
                cur = code;
                hash = h;
                if (p == end) goto chunkEnd;
                ch = *p++;
            }

        emit:
            // A new string: it was defined as NEXT; emit the current one and
            // go on from CH.
            ++next;
            put(cur);
            cur = ch;
            if (next >> width != 0) {
                if (next > kMaxCode) {
                    put(kFlush);
                    coder.Rebuild();
                    width = kMinBits;
                    next = kFirstCode;
                } else {
                    put(kWiden);
                    ++width;
                }
            }
            if (out >= outEnd && flush()) break;
        }
    chunkEnd:
        m_chunkLeft = static_cast<int>(end - p);
        m_chunkCursor = p;
        // A failed read or a cancellation ends the stream unfinished.
        ZRK_TRY(NextChunk(&ended));
    }

    put(cur);
    put(kEnd);
    if (out >= outEnd) flush();
    if (accBits > 0) {
        const unsigned word = acc << (16 - accBits);
        out[0] = static_cast<uint8_t>(word >> 8);
        out[1] = static_cast<uint8_t>(word);
        out += 2;
    }
    const int count = static_cast<int>(out - m_outBuffer);
    if (count > 0) {
        m_totalOut += count;
        EmitBlock(count);
    }
    // A piped run's writes and their status belong to the calling thread.
    return m_pipe != nullptr ? 0 : m_writeError;
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
            return ZRK_BADDATA;
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
