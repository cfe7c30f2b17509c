// The text forms of registry paths and values.
//
// The installer addresses registry keys by text
// ("HKEY_LOCAL_MACHINE\Software\Co\App") and hands values around as text:
// strings as they are, several strings joined with "|", numbers in decimal,
// binary data as upper-case hexadecimal digit pairs. This file converts between those texts and the
// registry's own data, without calling the system, so that the conversions
// build (and are fuzzed) on every platform; src/winspec/regkey.cpp does the
// system calls.
#pragma once

#include <cstdint>

#include "zrk/cstring.h"
#include "zrk/membuf.h"

// Value types, numbered as the registry numbers them.
enum ZrkRegType : uint32_t {
    ZRK_REG_NONE = 0,
    ZRK_REG_SZ = 1,
    ZRK_REG_EXPAND_SZ = 2,
    ZRK_REG_BINARY = 3,
    ZRK_REG_DWORD = 4,
    ZRK_REG_DWORD_BIG_ENDIAN = 5,
    ZRK_REG_LINK = 6,
    ZRK_REG_MULTI_SZ = 7,
    ZRK_REG_QWORD = 11,
};

// The kinds of string a caller writes.
enum ZrkRegStringKind : int {
    ZRK_REGSTR_PLAIN = 0,     // a string
    ZRK_REGSTR_EXPAND = 1,    // an expandable string ("%VAR%" left to the reader)
    ZRK_REGSTR_MULTI = 2,     // several strings, "|" between them in the text
};

// Splits PATH at its first backslash: ROOT receives the part before it,
// SUBKEY the rest. A path without a backslash is a bare root (SUBKEY empty).
void ZrkRegSplitRoot(const char* path, CString& root, CString& subkey);

// Splits PATH at its last backslash: PARENT receives the part before it, NAME
// the part after. A bare root has no parent: false, PARENT empty and NAME the
// whole path.
bool ZrkRegSplitLast(const char* path, CString& parent, CString& name);

// PATH without trailing backslashes ("A\B\\" gives "A\B"), so that its last
// component is a name and its parent a shorter path.
CString ZrkRegTrimPath(const char* path);

// The value data and type for TEXT written as a string of KIND: the text and
// a zero byte for plain and expandable strings; for a multi-string every "|"
// becomes a zero byte and a second zero byte ends the data. 0, ZRK_NOMEM, or
// ZRK_INTERNAL for an unknown KIND. DATA is replaced.
int ZrkRegStringData(const char* text, int kind, CMemBuf& data, uint32_t& type);

// The text form of value data of TYPE (DATA may be null when LEN is 0):
//   strings          the characters up to the first zero byte or the end;
//   multi-strings    the strings with "|" between them (trailing zero bytes
//                    dropped, every other zero byte a "|");
//   numbers          decimal (32-bit little- and big-endian, 64-bit), when the
//                    data has the number's size;
//   anything else    the bytes as upper-case hexadecimal digit pairs.
// 0, or ZRK_NOMEM / ZRK_INTERNAL when the text cannot be made. TEXT is replaced.
int ZrkRegDataText(uint32_t type, const uint8_t* data, int len, CString& text);

// The 32-bit number held in value data of TYPE: true for a 4-byte value of
// type ZRK_REG_DWORD or ZRK_REG_DWORD_BIG_ENDIAN, false for anything else.
bool ZrkRegDataNumber(uint32_t type, const uint8_t* data, int len, uint32_t& value);
