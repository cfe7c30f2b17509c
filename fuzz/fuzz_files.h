// The two files a fuzz input stands for: after the control byte, a main file
// and, after its first line "@@@", a second file that the main file may
// include. Both are served from memory under the names given, so that no
// input reaches a real file and nothing is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zrk/cfgfile.h"

// Fills FILES from the DATA after its first byte: MAINNAME with the text up
// to the marker line, INCLUDENAME with the text after it (empty without a
// marker).
inline void FuzzSplitFiles(const uint8_t* data, size_t size, const char* mainName, const char* includeName,
                           CCfgMemoryFiles* files) {
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string include;
    const size_t marker = input.find("\n@@@\n");
    if (marker != std::string::npos) {
        include = input.substr(marker + 5);
        input.resize(marker + 1);
    }
    (*files)[CFile::Normalise(mainName).c_str()] = input;
    (*files)[CFile::Normalise(includeName).c_str()] = include;
}
