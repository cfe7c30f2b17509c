// The registry text forms. The first byte picks a value type and the rest is
// both raw value data of that type and, up to its first zero byte, a text:
//   - any data turns into a text without reading past it, binary data into
//     hexadecimal digits that give the same bytes back;
//   - a text written as a string reads back as itself, written as a
//     multi-string as itself without trailing "|" (a trailing empty string
//     cannot be told from the end of the list);
//   - splitting a path loses no character, and a trimmed path is a prefix
//     without trailing backslash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "zrk/membuf.h"
#include "zrk/regtext.h"
#include "zrk/report.h"

namespace {

std::string S(const CString& s) { return std::string(s.c_str(), static_cast<size_t>(s.Length())); }

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReportScope quiet;
    if (size == 0 || size > 4096) return 0;
    const uint32_t type = data[0] % 12;
    const uint8_t* raw = data + 1;
    const int len = static_cast<int>(size - 1);

    CString text;
    if (ZrkRegDataText(type, raw, len, text) == 0 && type == ZRK_REG_BINARY) {
        Check(text.Length() == 2 * len);
        CMemBuf back;
        Check(back.AppendHex(text) == 0);
        Check(back.Size() == len && (len == 0 || std::string(back.Data(), back.Data() + len) ==
                                                     std::string(raw, raw + len)));
    }
    uint32_t number = 0;
    Check(ZrkRegDataNumber(type, raw, len, number) ==
          (len == 4 && (type == ZRK_REG_DWORD || type == ZRK_REG_DWORD_BIG_ENDIAN)));

    const std::string plain(reinterpret_cast<const char*>(raw), static_cast<size_t>(len));
    const std::string str = plain.substr(0, plain.find('\0'));
    for (int kind : {ZRK_REGSTR_PLAIN, ZRK_REGSTR_EXPAND, ZRK_REGSTR_MULTI}) {
        CMemBuf value;
        uint32_t valueType = 0;
        Check(ZrkRegStringData(str.c_str(), kind, value, valueType) == 0);
        Check(ZrkRegDataText(valueType, value.Data(), value.Size(), text) == 0);
        std::string expected = str;
        if (kind == ZRK_REGSTR_MULTI) {
            while (!expected.empty() && expected.back() == '|') expected.pop_back();
        }
        Check(S(text) == expected);
    }

    CString root, sub, parent, name;
    ZrkRegSplitRoot(str.c_str(), root, sub);
    Check((str.find('\\') == std::string::npos ? S(root) : S(root) + "\\" + S(sub)) == str &&
          root.Find('\\') < 0);
    bool hasParent = ZrkRegSplitLast(str.c_str(), parent, name);
    Check((hasParent ? S(parent) + "\\" + S(name) : S(name)) == str && name.Find('\\') < 0);
    const std::string trimmed = S(ZrkRegTrimPath(str.c_str()));
    Check(str.compare(0, trimmed.size(), trimmed) == 0 && (trimmed.empty() || trimmed.back() != '\\') &&
          str.find_first_not_of('\\', trimmed.size()) == std::string::npos);
    return 0;
}
