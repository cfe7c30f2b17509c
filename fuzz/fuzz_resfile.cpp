// Arbitrary bytes as a compiled resource file: every lookup must stay
// inside the image.
#include <cstddef>
#include <cstdint>

#include "zrk/resfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CResourceImage image;
    image.Assign(data, size);
    CString text;
    for (int id : {0, 1, 15, 16, 400, 402, 415, 560, 980, 65535}) image.StringText(id, &text);
    const uint8_t* found = nullptr;
    uint32_t length = 0;
    if (image.Find(6, 26, &found, &length)) {
        volatile uint8_t sink = 0;
        for (uint32_t i = 0; i < length; ++i) sink = sink ^ found[i];
        (void)sink;
    }
    return 0;
}
