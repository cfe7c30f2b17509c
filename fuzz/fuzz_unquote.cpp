// Arbitrary text unquoted, and the quote of any text unquoted back to that
// text: Unquote must never read past the text, and the two must be inverse.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zrk/cstring.h"
#include "zrk/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReportScope quiet;
    const std::string input(reinterpret_cast<const char*>(data), size);

    CString text(input.data(), static_cast<int>(input.size()));
    const CString before = text;
    if (text.Unquote() != 0 && !(text == before)) std::abort();  // a failure leaves the text alone

    // Quote and Unquote are inverse on texts without a zero byte.
    const std::string plain = input.substr(0, input.find('\0'));
    for (bool onlyWhenNeeded : {false, true}) {
        CString quoted = CString::Quote(plain.c_str(), onlyWhenNeeded, true);
        if (!onlyWhenNeeded || quoted.StartsWith("\"")) {
            if (quoted.Unquote() != 0) std::abort();
            if (std::string(quoted.c_str(), static_cast<size_t>(quoted.Length())) != plain) std::abort();
        }
    }
    return 0;
}
