// Version resources of PE images.
//
// The path through an image: the DOS header's "MZ" and the offset of the PE
// header (0x3C); the PE signature, the file header (section count, size of
// the optional header) and the optional header, whose third data directory
// is the resource directory; the section table, which maps a relative
// virtual address (RVA) to a file offset. In the resource tree the type 16
// (RT_VERSION) leads through its first name and its first language to a
// data entry with the RVA and size of the VS_VERSIONINFO block.
//
// Every block of VS_VERSIONINFO is: length (2 bytes, the whole block with
// its children), value length, type (0 binary, 1 text), a zero-terminated
// UTF-16 key, padding to 4 bytes, the value, padding to 4 bytes, children.
#include "src/infstruc/filever.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zrk/cfile.h"
#include "zrk/result.h"

namespace {

// The largest version block read (real ones are a few kilobytes).
constexpr uint32_t kMaxVersionBlock = 64 * 1024;
constexpr uint32_t kRtVersion = 16;

// Random access to the bytes of an image.
class CImage {
public:
    virtual ~CImage() = default;
    // False when the range is not entirely inside the image or unreadable.
    virtual bool Read(uint64_t offset, void* buffer, size_t size) = 0;

    bool U16(uint64_t offset, uint16_t* value) {
        unsigned char b[2];
        if (!Read(offset, b, 2)) return false;
        *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
        return true;
    }
    bool U32(uint64_t offset, uint32_t* value) {
        unsigned char b[4];
        if (!Read(offset, b, 4)) return false;
        *value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                 (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
        return true;
    }
};

class CMemoryImage : public CImage {
public:
    CMemoryImage(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}
    bool Read(uint64_t offset, void* buffer, size_t size) override {
        if (offset > m_size || size > m_size - offset) return false;
        if (size) std::memcpy(buffer, m_data + offset, size);
        return true;
    }

private:
    const unsigned char* m_data;
    size_t m_size;
};

class CFileImage : public CImage {
public:
    explicit CFileImage(CFile& file) : m_file(file) {}
    bool Read(uint64_t offset, void* buffer, size_t size) override {
        if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
        if (m_file.Seek(static_cast<int64_t>(offset), 0) != 0) return false;
        long got = 0;
        return m_file.Read(buffer, static_cast<long>(size), &got) == 0 && static_cast<size_t>(got) == size;
    }

private:
    CFile& m_file;
};

struct Section {
    uint32_t address, virtualSize, rawSize, rawOffset;
};

// The file offset of RVA holding at least SIZE bytes, from the section
// table.
bool MapRva(const std::vector<Section>& sections, uint32_t rva, uint32_t size, uint64_t* offset) {
    for (const Section& s : sections) {
        const uint64_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva < s.address || rva - s.address >= span) continue;
        const uint64_t inside = rva - s.address;
        if (inside + size > s.rawSize) return false;
        *offset = uint64_t{s.rawOffset} + inside;
        return true;
    }
    return false;
}

// The first entry of the resource directory at DIR (relative to the
// resource section start BASE) whose id is ID (any entry when ANY); its
// offset field into *TARGET.
bool FindEntry(CImage& image, uint64_t base, uint32_t dir, bool any, uint32_t id, uint32_t* target) {
    uint16_t named = 0, ids = 0;
    if (!image.U16(base + dir + 12, &named) || !image.U16(base + dir + 14, &ids)) return false;
    const uint32_t count = uint32_t{named} + ids;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t entry = base + dir + 16 + uint64_t{i} * 8;
        uint32_t name = 0, offset = 0;
        if (!image.U32(entry, &name) || !image.U32(entry + 4, &offset)) return false;
        if (any || (!(name & 0x80000000u) && name == id)) {
            *target = offset;
            return true;
        }
    }
    return false;
}

// The VS_VERSIONINFO block of IMAGE into BLOCK; false when there is none.
bool VersionBlock(CImage& image, std::vector<unsigned char>* block) {
    uint16_t mz = 0;
    uint32_t pe = 0, signature = 0;
    if (!image.U16(0, &mz) || mz != 0x5A4D || !image.U32(0x3C, &pe)) return false;
    if (!image.U32(pe, &signature) || signature != 0x00004550) return false;
    uint16_t sectionCount = 0, optionalSize = 0, magic = 0;
    if (!image.U16(pe + 6, &sectionCount) || !image.U16(pe + 20, &optionalSize)) return false;
    const uint64_t optional = uint64_t{pe} + 24;
    if (!image.U16(optional, &magic)) return false;
    uint64_t dirs = 0, countAt = 0;
    if (magic == 0x10B) {
        countAt = optional + 92;
        dirs = optional + 96;
    } else if (magic == 0x20B) {
        countAt = optional + 108;
        dirs = optional + 112;
    } else {
        return false;
    }
    uint32_t dirCount = 0, rsrcRva = 0, rsrcSize = 0;
    if (!image.U32(countAt, &dirCount) || dirCount < 3) return false;
    if (dirs + 3 * 8 > optional + optionalSize) return false;
    if (!image.U32(dirs + 16, &rsrcRva) || !image.U32(dirs + 20, &rsrcSize) || rsrcRva == 0) return false;

    std::vector<Section> sections;
    const uint64_t table = optional + optionalSize;
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = table + uint64_t{i} * 40;
        Section s{};
        if (!image.U32(at + 8, &s.virtualSize) || !image.U32(at + 12, &s.address) ||
            !image.U32(at + 16, &s.rawSize) || !image.U32(at + 20, &s.rawOffset))
            return false;
        sections.push_back(s);
    }
    uint64_t base = 0;
    if (!MapRva(sections, rsrcRva, 16, &base)) return false;

    // Type, name, language: two directories, then a data entry.
    uint32_t next = 0;
    if (!FindEntry(image, base, 0, false, kRtVersion, &next) || !(next & 0x80000000u)) return false;
    if (!FindEntry(image, base, next & 0x7FFFFFFFu, true, 0, &next) || !(next & 0x80000000u)) return false;
    if (!FindEntry(image, base, next & 0x7FFFFFFFu, true, 0, &next) || (next & 0x80000000u)) return false;
    uint32_t dataRva = 0, dataSize = 0;
    if (!image.U32(base + next, &dataRva) || !image.U32(base + next + 4, &dataSize)) return false;
    if (dataSize < 6) return false;
    if (dataSize > kMaxVersionBlock) dataSize = kMaxVersionBlock;
    uint64_t dataAt = 0;
    if (!MapRva(sections, dataRva, dataSize, &dataAt)) return false;
    block->resize(dataSize);
    return image.Read(dataAt, block->data(), dataSize);
}

// One block of the version tree inside [begin, end) of the data.
struct Block {
    size_t begin = 0, end = 0;  // the block with its children
    uint16_t valueLength = 0, type = 0;
    std::string key;            // ANSI form of the UTF-16 key
    size_t value = 0;           // offset of the value
    size_t children = 0;        // offset of the first child
};

size_t Align4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

uint16_t Get16(const std::vector<unsigned char>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

// UTF-16 text from AT up to its zero (or LIMIT) as ANSI: characters beyond
// one byte become "?". *AFTER receives the offset after the zero.
std::string Text16(const std::vector<unsigned char>& d, size_t at, size_t limit, size_t* after) {
    std::string s;
    while (at + 2 <= limit) {
        const uint16_t c = Get16(d, at);
        at += 2;
        if (c == 0) break;
        s.push_back(c < 256 ? static_cast<char>(c) : '?');
    }
    *after = at;
    return s;
}

// The block at AT, which must lie inside [AT, LIMIT).
bool ParseBlock(const std::vector<unsigned char>& d, size_t at, size_t limit, Block* b) {
    if (at + 6 > limit) return false;
    const uint16_t length = Get16(d, at);
    if (length < 6 || at + length > limit) return false;
    b->begin = at;
    b->end = at + length;
    b->valueLength = Get16(d, at + 2);
    b->type = Get16(d, at + 4);
    size_t after = 0;
    b->key = Text16(d, at + 6, b->end, &after);
    b->value = Align4(after);
    if (b->value > b->end) b->value = b->end;
    // Text values count characters, binary ones bytes.
    const size_t valueBytes = b->type == 1 ? size_t{b->valueLength} * 2 : b->valueLength;
    b->children = Align4(b->value + valueBytes);
    if (b->children > b->end) b->children = b->end;
    return true;
}

bool SameNoCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

// The children of PARENT, in order.
std::vector<Block> Children(const std::vector<unsigned char>& d, const Block& parent) {
    std::vector<Block> out;
    size_t at = parent.children;
    while (at < parent.end) {
        Block child;
        if (!ParseBlock(d, at, parent.end, &child)) break;
        out.push_back(child);
        at = Align4(child.end);
    }
    return out;
}

std::string VersionText(const std::vector<unsigned char>& d) {
    Block root;
    if (!ParseBlock(d, 0, d.size(), &root) || root.key != "VS_VERSION_INFO") return {};
    std::string wanted;  // the first translation as eight hexadecimal digits
    std::vector<Block> tables;
    for (const Block& info : Children(d, root)) {
        if (info.key == "VarFileInfo") {
            for (const Block& var : Children(d, info)) {
                if (var.key != "Translation" || var.value + 4 > var.end || !wanted.empty()) continue;
                char hex[9];
                std::snprintf(hex, sizeof hex, "%04X%04X", Get16(d, var.value), Get16(d, var.value + 2));
                wanted = hex;
            }
        } else if (info.key == "StringFileInfo") {
            for (const Block& table : Children(d, info)) tables.push_back(table);
        }
    }
    const Block* chosen = nullptr;
    for (const Block& table : tables)
        if (!chosen && SameNoCase(table.key, wanted.c_str())) chosen = &table;
    if (!chosen && !tables.empty()) chosen = &tables[0];
    if (!chosen) return {};
    for (const Block& entry : Children(d, *chosen)) {
        if (entry.key != "FileVersion") continue;
        size_t after = 0;
        return Text16(d, entry.value, entry.end, &after);
    }
    return {};
}

void VersionOf(CImage& image, CString* version) {
    std::vector<unsigned char> block;
    if (VersionBlock(image, &block)) *version = VersionText(block).c_str();
}

}  // namespace

void InfFileVersionOfImage(const unsigned char* data, size_t size, CString* version) {
    version->Empty();
    CMemoryImage image(data, size);
    VersionOf(image, version);
}

int InfFileVersion(const char* path, CString* version) {
    version->Empty();
    CFile file;
    ZRK_TRY(file.Open(path, "r"));
    CFileImage image(file);
    VersionOf(image, version);
    return file.Close();
}
