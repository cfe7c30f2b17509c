// Compiled resource files and the lookup of message texts.
#include "zrk/resfile.h"

#include <cstdio>
#include <cstring>

#include "zrk/cfile.h"
#include "zrk/msgtable.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

const ZrkMessageEntry* g_builtin = nullptr;
int g_builtinCount = 0;
bool g_consoleNumbering = false;

uint16_t Word(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Skips one name or type field of a 32-bit resource header: 0xFFFF and a
// number, or a zero-terminated UTF-16 string. Returns the number (or -1 for
// a string name) and advances POS; false when the field runs past END.
bool ReadId32(const uint8_t* base, size_t end, size_t* pos, int* id) {
    if (*pos + 2 > end) return false;
    if (Word(base + *pos) == 0xFFFF) {
        if (*pos + 4 > end) return false;
        *id = Word(base + *pos + 2);
        *pos += 4;
        return true;
    }
    while (true) {
        if (*pos + 2 > end) return false;
        uint16_t c = Word(base + *pos);
        *pos += 2;
        if (c == 0) break;
    }
    *id = -1;
    return true;
}

// The same for the 16-bit layout: 0xFF and a 16-bit number, or a
// zero-terminated byte string.
bool ReadId16(const uint8_t* base, size_t end, size_t* pos, int* id) {
    if (*pos >= end) return false;
    if (base[*pos] == 0xFF) {
        if (*pos + 3 > end) return false;
        *id = Word(base + *pos + 1);
        *pos += 3;
        return true;
    }
    while (true) {
        if (*pos >= end) return false;
        if (base[(*pos)++] == 0) break;
    }
    *id = -1;
    return true;
}

}  // namespace

void ZrkSetBuiltinMessages(const ZrkMessageEntry* table, int count) {
    g_builtin = table;
    g_builtinCount = count;
}

const ZrkMessageEntry* ZrkBuiltinMessages(int* count) {
    if (count) *count = g_builtinCount;
    return g_builtin;
}

int CResourceImage::Load(const char* path) {
    Release();
    long size = CFile::FileSize(path);
    if (size < 0 || size > kMaxSize) return ZRK_FAIL;
    CFile file;
    if (file.Open(path, "r", false) != 0) return ZRK_FAIL;
    m_data.resize(static_cast<size_t>(size));
    int r = 0;
    if (size > 0) r = file.ReadExact(m_data.data(), size, false);
    file.Close();
    if (r != 0) {
        m_data.clear();
        return ZRK_FAIL;
    }
    m_loaded = true;
    DetectLayout();
    return 0;
}

void CResourceImage::Assign(const void* data, size_t size) {
    Release();
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_data.assign(p, p + size);
    m_loaded = true;
    DetectLayout();
}

void CResourceImage::Release() {
    m_data.clear();
    m_data.shrink_to_fit();
    m_loaded = false;
    m_is32 = false;
}

void CResourceImage::DetectLayout() {
    // The 32-bit layout starts with an empty entry: no data, a 32-byte
    // header, numeric type 0 and numeric name 0.
    const uint8_t* d = m_data.data();
    m_is32 = m_data.size() >= 32 && Dword(d) == 0 && Dword(d + 4) == 32 && Word(d + 8) == 0xFFFF &&
             Word(d + 10) == 0 && Word(d + 12) == 0xFFFF && Word(d + 14) == 0;
}

bool CResourceImage::Find(int type, int name, const uint8_t** data, uint32_t* size) const {
    const uint8_t* base = m_data.data();
    const size_t end = m_data.size();
    if (m_is32) {
        size_t pos = 32;  // past the empty first entry
        while (pos + 8 <= end) {
            uint32_t dataSize = Dword(base + pos);
            uint32_t headerSize = Dword(base + pos + 4);
            if (headerSize < 16 || headerSize > end - pos || dataSize > end - pos - headerSize) return false;
            size_t field = pos + 8;
            int t = -1, n = -1;
            if (!ReadId32(base, pos + headerSize, &field, &t) || !ReadId32(base, pos + headerSize, &field, &n))
                return false;
            if (t == type && n == name) {
                *data = base + pos + headerSize;
                *size = dataSize;
                return true;
            }
            // Entries are aligned on 32-bit boundaries.
            size_t next = pos + headerSize + dataSize;
            next = (next + 3) & ~static_cast<size_t>(3);
            if (next <= pos) return false;
            pos = next;
        }
        return false;
    }
    size_t pos = 0;
    while (pos < end) {
        int t = -1, n = -1;
        if (!ReadId16(base, end, &pos, &t) || !ReadId16(base, end, &pos, &n)) return false;
        if (pos + 6 > end) return false;
        uint32_t dataSize = Dword(base + pos + 2);
        pos += 6;
        if (dataSize > end - pos) return false;
        if (t == type && n == name) {
            *data = base + pos;
            *size = dataSize;
            return true;
        }
        pos += dataSize;
    }
    return false;
}

bool CResourceImage::StringText(int id, CString* text) const {
    if (id < 0) return false;
    const uint8_t* block = nullptr;
    uint32_t size = 0;
    if (!Find(6, id / 16 + 1, &block, &size)) return false;
    const int entry = id % 16;
    uint32_t pos = 0;
    for (int i = 0; i < 16; ++i) {
        uint32_t length;
        if (m_is32) {
            if (pos + 2 > size) return false;
            length = Word(block + pos);
            pos += 2;
            if (length > (size - pos) / 2) return false;
            if (i == entry) {
                if (length == 0) return false;
                char* out = text->GetBuffer(static_cast<int>(length));
                for (uint32_t k = 0; k < length; ++k) out[k] = static_cast<char>(block[pos + 2 * k]);
                text->ReleaseBuffer(static_cast<int>(length));
                return true;
            }
            pos += length * 2;
        } else {
            if (pos + 1 > size) return false;
            length = block[pos];
            pos += 1;
            if (length > size - pos) return false;
            if (i == entry) {
                if (length == 0) return false;
                text->Assign(reinterpret_cast<const char*>(block + pos), static_cast<int>(length));
                return true;
            }
            pos += length;
        }
    }
    return false;
}

CResourceImage& ZrkResourceImage() {
    static CResourceImage image;
    return image;
}

void ZrkSetConsoleNumbering(bool on) { g_consoleNumbering = on; }
bool ZrkConsoleNumbering() { return g_consoleNumbering; }

int ZrkConsoleMessageId(int id) {
    // The installer's own messages (below 400) have the same number in both
    // programs; of the framework's, the DDE messages sit 320 lower in the
    // console program and all others 64.
    if (id < 400) return id;
    if (id >= 960 && id < 1000) return id - 320;
    return id - 64;
}

namespace {

// LoadStringA from the program's own string table, retrying with larger
// buffers while the text fills the buffer.
bool OwnString(int id, CString* text) {
    char small[128];
    int n = zrkos::LoadOwnString(id, small, sizeof small);
    if (n <= 0) return false;
    if (n < 127) {
        *text = CString(small, n);
        return true;
    }
    for (int size = 1024; size <= 32024; size *= 2) {
        char* buf = text->GetBuffer(size);
        n = zrkos::LoadOwnString(id, buf, size);
        if (n < 0) n = 0;
        text->ReleaseBuffer(n);
        if (n < size - 1) return n > 0;
    }
    return true;
}

}  // namespace

bool ZrkFindMessageText(int msgId, CString* text) {
    const int resId = g_consoleNumbering ? ZrkConsoleMessageId(msgId) : msgId;
    CResourceImage& image = ZrkResourceImage();
    if (image.IsLoaded()) return image.StringText(resId, text);
    if (g_builtin) {
        for (int i = 0; i < g_builtinCount; ++i) {
            if (g_builtin[i].id == msgId) {
                *text = g_builtin[i].text;
                return true;
            }
        }
        return false;
    }
    return OwnString(resId, text);
}

CString ZrkMessageText(int msgId) {
    CString text;
    if (!ZrkFindMessageText(msgId, &text)) {
        ZRK_INTERNAL_ERROR();
        return CString();
    }
    return text;
}

int ZrkLoadProgramResources(const char* modulePath) {
    CString path = CFile::MakePath(CFile::DirPart(modulePath), CFile::BaseName(modulePath), "res");
    CResourceImage& image = ZrkResourceImage();
    if (!CFile::Exists(path)) {
        if (g_builtin) return 0;
        CString probe;
        const int probeId = g_consoleNumbering ? ZrkConsoleMessageId(400) : 400;
        if (OwnString(probeId, &probe)) return 0;
        // Without any texts the program cannot say anything useful later
        // either; say at least which file is missing.
    } else if (image.Load(path) == 0) {
        return 0;
    }
    char text[1100];
    std::snprintf(text, sizeof text, "ZRK: Unable to load resource file %.1000s !", path.c_str());
    if (g_consoleNumbering) {
        CString line(text);
        line.ToOem();
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    } else {
        zrkos::MessageBoxTask(text, "ZRK", 1);
    }
    return ZRK_FAIL;
}

void ZrkReleaseProgramResources() { ZrkResourceImage().Release(); }
