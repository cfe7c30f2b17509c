// The text forms of registry paths and values (see regtext.h).

#include "zrk/regtext.h"

#include <cstring>

#include "zrk/result.h"

namespace {

// The decimal digits of V.
CString Decimal(uint64_t v) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    CString r;
    for (int i = n - 1; i >= 0; --i) r.Append(digits[i]);
    return r;
}

uint64_t LittleEndian(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

}  // namespace

void ZrkRegSplitRoot(const char* path, CString& root, CString& subkey) {
    const char* p = path != nullptr ? path : "";
    const char* sep = std::strchr(p, '\\');
    if (sep == nullptr) {
        root = p;
        subkey.Empty();
        return;
    }
    root.Assign(p, static_cast<int>(sep - p));
    subkey = sep + 1;
}

bool ZrkRegSplitLast(const char* path, CString& parent, CString& name) {
    const char* p = path != nullptr ? path : "";
    const char* sep = std::strrchr(p, '\\');
    if (sep == nullptr) {
        parent.Empty();
        name = p;
        return false;
    }
    parent.Assign(p, static_cast<int>(sep - p));
    name = sep + 1;
    return true;
}

CString ZrkRegTrimPath(const char* path) {
    const char* p = path != nullptr ? path : "";
    size_t n = std::strlen(p);
    while (n > 0 && p[n - 1] == '\\') --n;
    return CString(p, static_cast<int>(n));
}

int ZrkRegStringData(const char* text, int kind, CMemBuf& data, uint32_t& type) {
    const char* t = text != nullptr ? text : "";
    data.Clear();
    switch (kind) {
        case ZRK_REGSTR_PLAIN: type = ZRK_REG_SZ; break;
        case ZRK_REGSTR_EXPAND: type = ZRK_REG_EXPAND_SZ; break;
        case ZRK_REGSTR_MULTI: type = ZRK_REG_MULTI_SZ; break;
        default: return ZRK_INTERNAL_ERROR();
    }
    size_t n = std::strlen(t);
    // The registry measures data in 32-bit sizes; two bytes go after the text.
    if (n > static_cast<size_t>(CMemBuf::MAXSIZE) - 2) return ZRK_INTERNAL_ERROR();
    ZRK_TRY(data.Append(t, static_cast<int>(n)));
    ZRK_TRY(data.AppendByte(0));
    if (kind != ZRK_REGSTR_MULTI) return 0;
    ZRK_TRY(data.AppendByte(0));
    uint8_t* bytes = data.MutableData();
    if (bytes == nullptr) return ZRK_NOMEM;
    for (size_t i = 0; i < n; ++i) {
        if (bytes[i] == '|') bytes[i] = 0;
    }
    return 0;
}

int ZrkRegDataText(uint32_t type, const uint8_t* data, int len, CString& text) {
    text.Empty();
    if (len < 0 || (len > 0 && data == nullptr)) return ZRK_INTERNAL_ERROR();
    const char* chars = reinterpret_cast<const char*>(data);
    switch (type) {
        case ZRK_REG_SZ:
        case ZRK_REG_EXPAND_SZ: {
            // Data written by other programs need not end with a zero byte.
            const void* zero = len > 0 ? std::memchr(chars, 0, static_cast<size_t>(len)) : nullptr;
            int n = zero != nullptr ? static_cast<int>(static_cast<const char*>(zero) - chars) : len;
            text.Assign(chars, n);
            return 0;
        }
        case ZRK_REG_MULTI_SZ: {
            int n = len;
            while (n > 0 && data[n - 1] == 0) --n;
            if (n == 0) return 0;
            char* o = text.GetBuffer(n);
            if (o == nullptr) return ZRK_NOMEM;
            for (int i = 0; i < n; ++i) o[i] = data[i] == 0 ? '|' : chars[i];
            text.ReleaseBuffer(n);
            return 0;
        }
        case ZRK_REG_DWORD:
        case ZRK_REG_DWORD_BIG_ENDIAN:
        case ZRK_REG_QWORD: {
            uint32_t v32 = 0;
            if (ZrkRegDataNumber(type, data, len, v32)) {
                text = Decimal(v32);
                return 0;
            }
            if (type == ZRK_REG_QWORD && len == 8) {
                text = Decimal(LittleEndian(data, 8));
                return 0;
            }
            break;  // a number of the wrong size shows its bytes
        }
        default:
            break;
    }
    if (len == 0) return 0;
    if (len > CString::MAXLEN / 2) return ZRK_INTERNAL_ERROR();
    CMemBuf bytes(data, len);
    text = bytes.ToHex();
    return text.Length() == 2 * len ? 0 : ZRK_NOMEM;
}

bool ZrkRegDataNumber(uint32_t type, const uint8_t* data, int len, uint32_t& value) {
    if (len != 4 || data == nullptr) return false;
    if (type == ZRK_REG_DWORD) {
        value = static_cast<uint32_t>(LittleEndian(data, 4));
        return true;
    }
    if (type == ZRK_REG_DWORD_BIG_ENDIAN) {
        value = static_cast<uint32_t>(data[0]) << 24 | static_cast<uint32_t>(data[1]) << 16 |
                static_cast<uint32_t>(data[2]) << 8 | data[3];
        return true;
    }
    return false;
}
