// The files of a directory tree as archive members: shared by "setupkit
// archive" and "setupkit build".
#pragma once

#include <vector>

#include "zrk/cstring.h"

struct SetupkitTreeFile {
    CString name;  // relative to the tree's directory, backslashes between directories
    CString path;
};

// Every file below DIR (which ends with a separator), in ascending byte
// order of their names, so that the same tree always gives the same
// archive. Empty directories give nothing. Message 546 for a name longer
// than a member name may be (also the end of a directory loop on POSIX).
int SetupkitCollectFiles(const CString& dir, std::vector<SetupkitTreeFile>* files);
