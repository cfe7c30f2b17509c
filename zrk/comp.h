// LZW compression and expansion of archive pieces.
//
// The code stream: codes of 9 to 15 bits, packed most significant bit first
// into 16-bit words that are stored high byte first (a stream always has an
// even number of bytes; the last word is padded with zero bits).
//
//   0-255        a single byte of that value
//   256          end of stream
//   257          widen: from the next code on, codes are one bit wider
//   258          flush: the dictionary is rebuilt, codes are 9 bits again
//                and the next code is a single byte or the end
//   259-32767    dictionary strings, assigned in increasing order
//
// Every stream is independent: the dictionary starts empty for each run.
//
// Both classes read and write through virtual operations, so that the
// archive code can feed them from an open volume or collect their output in
// its own buffers. The base versions use the two CFile objects of the class.
// Each Run allocates its tables and frees them before it returns; an object
// may run any number of times. A run never throws; it returns a status and
// reports nothing of its own but a failed close of a file it opened: a
// damaged stream is ZRK_BADDATA, which the caller reports as it sees fit;
// a failed open, read or write was reported by the file layer and an
// allocation failure by the allocator, and their status comes back as is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "zrk/cfile.h"
#include "zrk/membuf.h"

// Called with a running count of bytes (compressed bytes read by the
// expander, uncompressed bytes consumed by the compressor); a non-zero
// result ends the run with that status (2: cancelled by the user).
using ZrkLzwProgress = std::function<int(int64_t count)>;

namespace zrklzw {
constexpr int kEnd = 256;
constexpr int kWiden = 257;
constexpr int kFlush = 258;
constexpr int kFirstCode = 259;
constexpr int kMaxCode = 32767;
constexpr int kMinBits = 9;
constexpr int kMaxBits = 15;
constexpr int kInputChunk = 16384;         // bytes taken at a time (progress per chunk)
constexpr int kExpanderBlock = 131072;     // expanded bytes gathered between writes
constexpr int kCompressorBlock = 32768;    // compressed bytes written at a time

// Tests: how many probe steps the compressor's hash table takes before a
// string goes to its overflow table instead (0 to 3, the default 3; 0
// sends every collision there, which ordinary data never does).
void SetProbeStepsForTest(int steps);
}  // namespace zrklzw

class CLzwExpander {
public:
    CLzwExpander();
    virtual ~CLzwExpander();
    CLzwExpander(const CLzwExpander&) = delete;
    CLzwExpander& operator=(const CLzwExpander&) = delete;

    // Expands one stream from the input to the output. 0; ZRK_BADDATA for
    // a stream that ends before code 256 or is not valid; ZRK_NOMEM; the
    // status of a failed open, read, write or close; the non-zero status of
    // the progress callback.
    int Run();

    void SetProgress(ZrkLzwProgress progress) { m_progress = std::move(progress); }

    // The file objects of the base operations. When Input is already open
    // at Run (an archive volume positioned at a piece), Run reads from it and
    // opens and closes neither file; otherwise Run opens Input (its path) for
    // reading and Output for writing, and closes both.
    CFile& Input() { return m_input; }
    CFile& Output() { return m_output; }

    // After a successful run, the CRC-32 of every byte written.
    uint32_t Crc() const { return m_crc; }
    // Compressed bytes read (whole chunks) and expanded bytes produced.
    int64_t TotalRead() const { return m_totalRead; }
    int64_t TotalWritten() const { return m_totalWritten; }

protected:
    virtual int Open();
    virtual int Close();
    // Takes COUNT expanded bytes; a non-zero status ends the run with it
    // (no further write is attempted).
    virtual int WriteOutput(const uint8_t* data, int count);
    // Delivers the next chunk of compressed bytes: *COUNT bytes at *CHUNK,
    // valid until the next call. An odd count loses its last byte; a count
    // of 0 means the input is exhausted. A non-zero status is a read failure.
    virtual int ReadInput(int* count, const uint8_t** chunk);

private:
    struct Tables;
    int Expand(Tables& t);
    // Fetches a chunk when the current one is used up. False when the run
    // must end (m_error tells why).
    bool NextChunk();
    // Folds COUNT expanded bytes at DATA into the CRC and writes them.
    int FlushOutput(const uint8_t* data, int count);

    ZrkLzwProgress m_progress;
    int m_error = 0;
    int m_chunkLeft = 0;
    const uint8_t* m_chunkCursor = nullptr;
    int64_t m_totalRead = 0;
    int64_t m_totalWritten = 0;
    uint8_t* m_outBuffer = nullptr;
    uint32_t m_crc = 0;
    CFile m_input;
    CFile m_output;
    bool m_openedHere = false;
    bool m_quietClose = false;  // the run failed: a failed close is not reported
    uint8_t* m_inBuffer = nullptr;
};

class CLzwCompressor {
public:
    CLzwCompressor();
    virtual ~CLzwCompressor();
    CLzwCompressor(const CLzwCompressor&) = delete;
    CLzwCompressor& operator=(const CLzwCompressor&) = delete;

    // Compresses the input into one stream. 0, or the first failure:
    // ZRK_NOMEM, the status of a failed open, read, write or close, the
    // non-zero status of the progress callback. Afterwards TotalIn, TotalOut
    // and Crc describe the stream. A run of this class itself on files it
    // opens codes on a second thread; the progress callback, every file
    // operation and every report stay on the calling thread.
    int Run();

    void SetProgress(ZrkLzwProgress progress) { m_progress = std::move(progress); }

    // With a limit (non-zero), the compressor stops taking input once its
    // output has reached LIMIT bytes: every output block is cut so that one
    // fills exactly at the limit, and the stream then ends with the pending
    // string, code 256 and the last word, a few bytes past the limit. A
    // limit of 2 or less ends the stream after its first word.
    void SetOutputLimit(int64_t limit) { m_outputLimit = limit; }
    int64_t OutputLimit() const { return m_outputLimit; }

    // Input and output files of the base operations. When Input is already
    // open at Run, neither file is opened nor closed by Run; otherwise Run
    // opens Input (its path) for reading and Output for writing.
    CFile& Input() { return m_input; }
    CFile& Output() { return m_output; }

    // Uncompressed bytes consumed, compressed bytes produced, CRC-32 of the
    // consumed bytes.
    int64_t TotalIn() const { return m_totalIn; }
    int64_t TotalOut() const { return m_totalOut; }
    uint32_t Crc() const { return m_crc; }
    // Whether the last run stopped at its output limit.
    bool LimitReached() const { return m_limitReached; }

protected:
    virtual int Open();
    virtual int Close();
    // Takes COUNT compressed bytes (always an even count); a non-zero status
    // is kept as the run's result and no more input is taken.
    virtual int WriteOutput(const uint8_t* data, int count);
    // Delivers the next chunk of input: *COUNT bytes at *CHUNK, valid until
    // the next call; 0 bytes at the end. A non-zero status is a read failure.
    virtual int ReadInput(int* count, const uint8_t** chunk);
    // True when the input is known to be exhausted without reading.
    virtual bool AtEnd() { return false; }

private:
    struct Coder;
    struct Pipe;
    int Compress(Coder& c);
    // A run of the base operations on files it opened: the coding loop runs
    // on a thread of its own while the calling thread reads ahead, computes
    // the CRC, reports progress and writes, in the order a plain run would.
    int RunPiped(Coder& coder, Pipe& pipe, uint8_t* batches);
    // Hands a finished block of COUNT bytes at m_outBuffer on.
    void EmitBlock(int count);
    // Accounts for the consumed bytes of the current chunk, reports progress
    // and fetches the next chunk; *ENDED when the input has ended.
    int NextChunk(bool* ended);
    // Writes a full output block and sizes the next one.
    void FlushBlock(uint8_t* end);
    void SizeBlock();

    ZrkLzwProgress m_progress;
    int m_chunkLeft = 0;
    const uint8_t* m_chunkCursor = nullptr;
    const uint8_t* m_chunkStart = nullptr;
    bool m_limitReached = false;
    bool m_stop = false;  // take no more input: limit reached or write failed
    int64_t m_outputLimit = 0;
    int64_t m_totalIn = 0;
    int64_t m_totalOut = 0;
    uint32_t m_crc = 0;
    CFile m_input;
    CFile m_output;
    bool m_openedHere = false;
    bool m_quietClose = false;
    uint8_t* m_inBuffer = nullptr;
    uint8_t* m_outBuffer = nullptr;
    uint8_t* m_outEnd = nullptr;  // end of the current (possibly cut) block
    int m_writeError = 0;
    Pipe* m_pipe = nullptr;  // while a run is piped
};

// In-memory forms for tools and tests, built on the classes above.
//
// Compresses SIZE bytes at DATA into OUT (its contents replaced). LIMIT as
// SetOutputLimit; *CONSUMED receives the input bytes the stream holds and
// *CRC their CRC-32.
int ZrkLzwCompress(const void* data, size_t size, CByteBuffer* out, int64_t limit = 0,
                   size_t* consumed = nullptr, uint32_t* crc = nullptr);
// Expands the stream at DATA into OUT (its contents replaced); *CRC receives
// the CRC-32 of the expanded bytes. MAXOUT (0: none) bounds the expanded
// size: a stream that expands to more fails with ZRK_BADDATA.
int ZrkLzwExpand(const void* data, size_t size, CByteBuffer* out, uint32_t* crc = nullptr,
                 size_t maxOut = 0);
