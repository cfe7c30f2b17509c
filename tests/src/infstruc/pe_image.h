// PE images with a version resource, built in memory: the tests of version
// texts and of shared files read them as files and through the system.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testpe {

// Writes V little-endian into the BYTES bytes of S at AT.
inline void Put(std::string& s, size_t at, uint32_t v, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void Pad4(std::string& s) { s.resize((s.size() + 3) & ~size_t{3}, '\0'); }

inline std::string Utf16(const std::string& text) {
    std::string out;
    for (char c : text) out += std::string(1, c) + '\0';
    return out + std::string(2, '\0');
}

// One block of a version resource: length, value length, type, key, value,
// children, each at a 4-byte boundary.
inline std::string VersionBlock(const std::string& key, uint16_t type, const std::string& value, uint16_t valueLength,
                         const std::vector<std::string>& children) {
    std::string b(6, '\0');
    b += Utf16(key);
    Pad4(b);
    b += value;
    for (const std::string& child : children) {
        Pad4(b);
        b += child;
    }
    Put(b, 0, static_cast<uint32_t>(b.size()), 2);
    Put(b, 2, valueLength, 2);
    Put(b, 4, type, 2);
    return b;
}

// VS_VERSIONINFO with string tables (key, FileVersion) and, when LANGUAGE is
// not 0, a translation entry.
inline std::string VersionInfo(const std::vector<std::pair<std::string, std::string>>& tables, uint16_t language,
                        uint16_t codePage) {
    std::string fixed(52, '\0');
    Put(fixed, 0, 0xFEEF04BD);
    Put(fixed, 4, 0x00010000);
    std::vector<std::string> stringTables;
    for (const auto& [key, version] : tables) {
        const std::string text = Utf16(version);
        stringTables.push_back(VersionBlock(key, 1, "", 0,
                                            {VersionBlock("CompanyName", 1, Utf16("Vendrix"), 8, {}),
                                             VersionBlock("FileVersion", 1, text, static_cast<uint16_t>(text.size() / 2), {})}));
    }
    std::vector<std::string> children = {VersionBlock("StringFileInfo", 1, "", 0, stringTables)};
    if (language) {
        std::string translation(4, '\0');
        Put(translation, 0, language | static_cast<uint32_t>(codePage) << 16);
        children.push_back(VersionBlock("VarFileInfo", 1, "", 0, {VersionBlock("Translation", 0, translation, 4, {})}));
    }
    return VersionBlock("VS_VERSION_INFO", 0, fixed, 52, children);
}

// A minimal PE image (PE32, or PE32+ when WIDE) whose only section holds a
// resource tree with one version resource.
inline std::string PeImage(const std::string& versionInfo, bool wide) {
    const uint32_t sectionRva = 0x1000, rawOffset = 0x200;
    // Resource tree: type 16, name 1, language 0x409, then the data entry.
    std::string rsrc(0x58, '\0');
    for (uint32_t level = 0; level < 3; ++level) {
        const size_t at = 0x18 * level;
        Put(rsrc, at + 0x0E, 1, 2);
        Put(rsrc, at + 0x10, level == 0 ? 16 : level == 1 ? 1 : 0x409);
        Put(rsrc, at + 0x14, level < 2 ? 0x80000000u | (0x18 * (level + 1)) : 0x48);
    }
    Put(rsrc, 0x48, sectionRva + 0x58);
    Put(rsrc, 0x4C, static_cast<uint32_t>(versionInfo.size()));
    rsrc += versionInfo;
    const uint32_t rsrcSize = static_cast<uint32_t>(rsrc.size());
    rsrc.resize((rsrc.size() + 0x1FF) & ~size_t{0x1FF}, '\0');

    const uint32_t optionalSize = wide ? 240 : 224;
    const size_t coff = 0x44, opt = coff + 20, section = opt + optionalSize, directories = opt + (wide ? 112 : 96);
    std::string image(rawOffset, '\0');
    image.replace(0, 2, "MZ");
    Put(image, 0x3C, 0x40);
    image.replace(0x40, 2, "PE");
    Put(image, coff, wide ? 0x8664 : 0x14C, 2);
    Put(image, coff + 2, 1, 2);
    Put(image, coff + 16, optionalSize, 2);
    Put(image, coff + 18, 0x2102, 2);
    Put(image, opt, wide ? 0x20B : 0x10B, 2);
    Put(image, opt + (wide ? 24 : 28), 0x10000000);  // image base
    Put(image, opt + 32, 0x1000);                    // section alignment
    Put(image, opt + 36, 0x200);                     // file alignment
    Put(image, opt + 40, 4, 2);                      // system version
    Put(image, opt + 48, 4, 2);                      // subsystem version
    Put(image, opt + 56, 0x2000);                    // size of image
    Put(image, opt + 60, rawOffset);                 // size of headers
    Put(image, opt + 68, 2, 2);                      // Windows GUI
    Put(image, opt + 72, 0x100000);                  // stack reserve
    Put(image, directories - 4, 16);
    Put(image, directories + 2 * 8, sectionRva);  // the resource directory
    Put(image, directories + 2 * 8 + 4, rsrcSize);
    image.replace(section, 5, ".rsrc");
    Put(image, section + 8, rsrcSize);
    Put(image, section + 12, sectionRva);
    Put(image, section + 16, static_cast<uint32_t>(rsrc.size()));
    Put(image, section + 20, rawOffset);
    Put(image, section + 36, 0x40000040);
    return image + rsrc;
}

}  // namespace testpe

using testpe::PeImage;
using testpe::VersionInfo;
