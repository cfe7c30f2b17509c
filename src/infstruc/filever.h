// The version text of a Windows program or library, read from the version
// resource of its PE image without the system's help, so that detection
// rules decide the same way wherever a description is checked.
//
// The text is the "FileVersion" string of the string table that the first
// "\VarFileInfo\Translation" entry names (the first string table when there
// is no such entry or table). A file that is not a PE image, or has no
// version resource, gives an empty text and 0; so does a damaged image
// (every offset and length in it is checked against the bytes read).
#pragma once

#include <cstddef>

#include "zrk/cstring.h"

// 0 with the version (possibly empty), or the status of a file that cannot
// be opened or read (reported).
int InfFileVersion(const char* path, CString* version);

// The same on a file image held in memory.
void InfFileVersionOfImage(const unsigned char* data, size_t size, CString* version);
