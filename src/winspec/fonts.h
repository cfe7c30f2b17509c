// Fonts of a set: copied into the fonts folder, listed in the [Fonts]
// section of "win.ini" and made available to the running system.
#pragma once

#include "zrk/cstring.h"

class CSetRecord;

// How long one window may take to answer the font-change broadcast before
// it is passed over.
constexpr unsigned kFontBroadcastTimeoutMs = 5000;

// Installs each "FONT" record of SET in order: its "FILENAME" is expanded
// (short names) and stored back into the record; when the file exists, the
// test holds and no font family of the face name "FONTNAME" is installed,
// the file is installed (InstallFontFile). A failure to install one font is
// kept (the first one) while the others are still installed; a failing
// test or expansion ends the operation with its status.
int InstallFonts(CSetRecord& set);

// Whether a font family named FACE (exact comparison) is installed.
bool IsFontFaceInstalled(const char* face);

// The fonts folder: the Windows directory's "Fonts" on the 4.x shell, the
// system directory on the 3.x shell, with a trailing "\". -496 with message
// 19 or 20.
int FontsFolder(CString* folder);

// A name for FILENAME in FOLDER that no file has: while the name is taken,
// the last character of the base name goes up by one ("arial.ttf",
// "ariam.ttf", "arian.ttf", ...) up to "9", "z" or "Z". False when the
// names run out.
bool FreeFontFileName(const CString& folder, const CString& fileName, CString* target);

// Copies SOURCE into the fonts folder under a free name, records it as FACE
// in "win.ini", registers it with the system and tells the top-level windows
// (those that answer in time). -496 with message 21 (no free name) or 22
// (not registered), -52 with message 440 (copy).
int InstallFontFile(const char* source, const char* face);
