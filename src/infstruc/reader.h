// Reading the top level of "setup.inf": header keys, "PACKAGE" and "SET"
// blocks.
//
// The header keys belong to the installation session, which gives each its
// meaning; the reader accepts the known ones and keeps every occurrence with
// its place, in file order. Any other key or block at the top level is an
// unexpected entry (reported by the configuration reader with file and line)
// and stops the reading with ZRK_INTERNAL.
#pragma once

#include <vector>

#include "src/infstruc/records.h"
#include "zrk/cstring.h"

class CCfgFile;

// One header key as read.
struct CInfHeaderKey {
    CString name;   // as written in the file
    CString value;
    CInfPlace place;
};

// The header keys the reader accepts (upper case), ending with nullptr.
extern const char* const kInfHeaderKeys[];
// True when NAME (any case) is a header key.
bool InfIsHeaderKey(const char* name);

// A description as read: the header keys, the packages and the sets, each in
// file order. The lists own their records.
class CInfDescription {
public:
    std::vector<CInfHeaderKey> header;
    CInfList<CPackage> packages;
    CInfList<CSetRecord> sets;

    // The value of the last occurrence of header key NAME (any case), or ""
    // when it was not given.
    CString HeaderValue(const char* name) const;
    // Index of the package named NAME (exact), -1 when none.
    int FindPackage(const char* name) const;
    void Clear();
};

// How a description is read.
struct CInfReadOptions {
    // Symbols defined in the reader after it is opened (VALUES may be
    // shorter: missing values are empty).
    CStringList defineNames;
    CStringList defineValues;
};

// The options of the reader that reads descriptions: environment variables
// count as defined symbols, "$(NAME)" references are substituted.
void InfPrepareReader(CCfgFile& reader);

// Reads the items of READER (already open) up to its end into DESC,
// appending. With EXTERNALSET every "SET" block is read into that set,
// adding to it (the description of an external package). Reading stops at
// the first failure, whose status is returned; the record being read then is
// not added.
int InfReadDescription(CCfgFile& reader, CInfDescription& desc, CSetRecord* externalSet = nullptr);

// Opens PATH with a reader prepared by InfPrepareReader, defines the
// options' symbols, reads it into DESC and closes it. The first failure's
// status.
int InfLoadDescription(const char* path, CInfDescription& desc, const CInfReadOptions& options = {},
                       CSetRecord* externalSet = nullptr);
