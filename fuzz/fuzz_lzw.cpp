// Arbitrary bytes as an LZW code stream: expansion must end with success or
// ZRK_BADDATA, never overrun its tables, and a successful run's CRC must be
// that of its output. The same bytes as plain data must survive a round
// trip, and a piece cut at an output limit must expand to exactly the bytes
// it consumed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zrk/comp.h"
#include "zrk/membuf.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

// Streams of a few KiB can expand to tens of MiB; this bounds the work.
constexpr size_t kMaxExpanded = 16u << 20;

void Check(bool ok) {
    if (!ok) std::abort();
}

bool Same(const CByteBuffer& buf, const uint8_t* data, size_t size) {
    return static_cast<size_t>(buf.Size()) == size && (size == 0 || std::memcmp(buf.Data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReportScope quiet;

    // The bytes as a stream: expanded, or refused as damaged data.
    CByteBuffer out;
    uint32_t crc = 0;
    const int r = ZrkLzwExpand(data, size, &out, &crc, kMaxExpanded);
    Check(r == 0 || r == ZRK_BADDATA);
    if (r == 0) Check(crc == ZrkCrc32(out.Data(), static_cast<size_t>(out.Size())));

    // Fewer probe steps send more strings to the compressor's overflow
    // table, which ordinary data hardly reaches.
    zrklzw::SetProbeStepsForTest(size > 0 ? data[size - 1] % 4 : 3);

    // The bytes as data: compress, expand, compare.
    CByteBuffer packed, back;
    size_t consumed = 0;
    uint32_t packedCrc = 0;
    Check(ZrkLzwCompress(data, size, &packed, 0, &consumed, &packedCrc) == 0);
    Check(consumed == size);
    Check(packedCrc == ZrkCrc32(data, size));
    Check(ZrkLzwExpand(packed.Data(), static_cast<size_t>(packed.Size()), &back, &crc) == 0);
    Check(Same(back, data, size));
    Check(crc == packedCrc);

    // A limit somewhere inside the stream: the piece holds a prefix.
    if (packed.Size() > 4) {
        const int64_t limit = 2 + (size > 0 ? data[0] % (packed.Size() - 2) : 0);
        Check(ZrkLzwCompress(data, size, &packed, limit, &consumed, &packedCrc) == 0);
        Check(consumed <= size);
        Check(packed.Size() >= limit && packed.Size() <= limit + 9);
        Check(ZrkLzwExpand(packed.Data(), static_cast<size_t>(packed.Size()), &back, &crc) == 0);
        Check(Same(back, data, consumed));
        Check(crc == packedCrc);
    }
    return 0;
}
