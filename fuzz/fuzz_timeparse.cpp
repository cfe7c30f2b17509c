// Arbitrary text read against an arbitrary pattern: the first line of the
// input is the pattern, the rest the text. Every pattern is tried as a date
// pattern and as a duration pattern; whatever reads successfully is written
// back with the same pattern, and the rest is tried as a locale date
// pattern. Nothing may crash, hang or read outside the texts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "zrk/ctimeex.h"
#include "zrk/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    // The texts are C strings: stop at the first zero byte.
    input = input.substr(0, input.find('\0'));
    size_t eol = input.find('\n');
    std::string pattern = input.substr(0, eol);
    std::string text = eol == std::string::npos ? std::string() : input.substr(eol + 1);

    CReportScope quiet;  // bad patterns and texts are reported; drop the reports
    CFormatManager* names = ZrkFormatManager();

    CTimeFormat date("fuzz", false, names);
    if (date.SetPattern(pattern.c_str()) == 0) {
        CTimeEx value;
        CTimeError err;
        if (date.Parse(text.c_str(), &value, &err) == 0) {
            CString written = date.Format(value);
            CTimeEx again;
            date.Parse(written, &again);
        } else if (err.msgId == 572 && (err.position < 0 || static_cast<size_t>(err.position) > text.size())) {
            __builtin_trap();  // a failure must point into the text
        }
        date.Format(CTimeEx(static_cast<int64_t>(size) * 987654321987LL));
    }

    CTimeFormat span("fuzz", true, names);
    if (span.SetPattern(pattern.c_str()) == 0) {
        CTimeEx value;
        if (span.ParseSpan(text.c_str(), &value) == 0) {
            span.FormatSpan(value);
            span.FormatSpan(value, 63);
        }
    }

    CString converted;
    CFormatManager::ConvertDatePattern(text.c_str(), &converted);
    CTimeEx parsed;
    parsed.ParseSpan(text.c_str(), pattern.empty() ? nullptr : "+DHMS,,,S");
    return 0;
}
