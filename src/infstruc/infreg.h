// Registry lookups of the install description: variables and detection
// rules read registry values as text. Windows reads the real registry
// (infreg_win32.cpp); elsewhere there is no registry and every lookup finds
// nothing (infreg_posix.cpp), so that descriptions can be read anywhere.
#pragma once

#include "zrk/cstring.h"

// True when lookups can find anything (Windows).
bool InfRegistryAvailable();

// Value VALUENAME (empty: the key's unnamed value) of the key KEYPATH
// ("HKEY_LOCAL_MACHINE\SOFTWARE\...") as text into *VALUE. A missing value,
// or a key that does not exist or has an unknown root, gives "" and 0 (with
// KEYMUSTOPEN a key that does not exist is reported as well). A key that
// exists but cannot be opened (access denied) is reported with message 23,
// a value that cannot be read with message 25; both give ZRK_WINERR.
int InfRegistryRead(const char* keyPath, const char* valueName, CString* value,
                    bool keyMustOpen = false);

// The registry part of a detection rule. *FOUND becomes 1 when the key opens
// and has the value VALUENAME ("(Default)" names the unnamed value, which
// counts as present when the key opens); *VALUE then holds it as text. A key
// that does not exist, or an unknown root, gives *FOUND 0 and 0: the product
// is not installed. Any other failure to open the key is reported (message
// 23) and gives *FOUND 0 and ZRK_WINERR.
int InfRegistryDetect(const char* keyPath, const char* valueName, int* found, CString* value);
