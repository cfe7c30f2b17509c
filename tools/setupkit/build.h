// setupkit build: the parts of the disk builder that are plain logic (the
// generated description file, the package arguments), apart from the verb
// so that unit tests reach them.
#pragma once

#include <cstdint>
#include <vector>

#include "zrk/cstring.h"

// One member of a built package as the description is told of it.
struct SetupkitBuiltFile {
    CString name;         // member name, backslashes between directories
    uint64_t size = 0;    // bytes
    uint64_t packed = 0;  // compressed bytes of all its pieces
};

// A package as built: the disks its volumes are on, in ascending order, and
// its members in archive order.
struct SetupkitBuiltPackage {
    CString name;
    std::vector<int> disks;
    std::vector<SetupkitBuiltFile> files;
};

// The symbol a description defines to a package's name in front of the
// generated file's include, inside that package's block.
constexpr const char* kSetupkitPackageSymbol = "PACKAGE";

// BYTES in KiB, rounded up, at most the largest 32-bit value: the unit of
// the sizes in a description.
uint32_t SetupkitKiB(uint64_t bytes);

// The generated file: for each package a conditional section
//
//   #if $(PACKAGE) == NAME
//   COMPSIZE = <KiB of all its members' compressed bytes>
//   DISK = <each disk, ascending>
//   { FILE
//     FILENAME = <member>
//     UNCOMPSIZE = <KiB>
//     COMPSIZE = <KiB>
//   }
//   #endif
//
// with CR LF line ends. PLACEHOLDER writes "DISK = 0" for every package
// instead of its disks: the builder reads the description with it first to
// see that each package really takes its entries from the file.
CString SetupkitSizesText(const std::vector<SetupkitBuiltPackage>& packages, bool placeholder = false);

// Splits "NAME=DIR" at its first "=", both sides trimmed; false when a side
// is empty.
bool SetupkitSplitPackageArg(const char* arg, CString* name, CString* dir);

// Whether NAME can stand in a generated "#if": a letter or "_" first, then
// letters, digits, "_", "." and "-" (every other character ends or changes
// the comparison).
bool SetupkitIsSelectableName(const char* name);
