// A registry key addressed by a textual path.
//
// A path is a root name, then sub-key names, each after a backslash:
// "HKEY_LOCAL_MACHINE\Software\Co\App". The root names are
//   HKEY_LOCAL_MACHINE  HKEY_CURRENT_USER  HKEY_CLASSES_ROOT  HKEY_USERS
//   HKEY_CURRENT_CONFIG
// compared exactly (case-sensitive); a path that is only a root name opens the
// root itself. Keys are always opened and created with full access.
//
// Values travel as text (zrk/regtext.h): multi-strings with "|" between the
// strings, numbers in decimal, binary data as upper-case hexadecimal digit
// pairs.
//
// Every failure of the system is reported here, once, with the message below
// and the system's error number, and returned as ZRK_WINERR:
//   23 open (path)        24 close            25 read (value name)
//   26 delete value       27 delete key       28 list
//   29 create (sub-key)   30 write (value name)
#pragma once

#include <cstdint>

#include "zrk/cstring.h"
#include "zrk/membuf.h"
#include "zrk/regtext.h"

// The system's key handle type, without pulling <windows.h> into every user
// of this header (the same declaration <windows.h> makes).
struct HKEY__;
typedef struct HKEY__* HKEY;

class CRegistryKey {
public:
    CRegistryKey() = default;
    // Closes the held key; a failure is reported (message 24).
    ~CRegistryKey();
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    // The predefined key of ROOTNAME, or nullptr when it names none.
    static HKEY RootKey(const char* rootName);

    // Closes the held key and opens PATH. With REPORT false a failure returns
    // ZRK_WINERR without a message. An empty path is a caller's mistake: an
    // internal error (ZRK_INTERNAL), with message 23 when reporting.
    int Open(const char* path, bool report = true);
    // Open without a report; true when the key could be opened (it stays open).
    bool Exists(const char* path);
    // Closes the held key, if any (predefined root keys are only forgotten).
    int Close();
    bool IsOpen() const { return m_key != nullptr; }
    HKEY Handle() const { return m_key; }
    // Takes over KEY (closing the held key first); returns the close result.
    int Attach(HKEY key);
    // Gives up the held key without closing it.
    HKEY Detach();

    // Creates (or opens) SUBKEY below the held key, with the class "REG_SZ"
    // and full access. The new key goes to TARGET (closing what it held), or
    // without TARGET replaces the key held here.
    int CreateKey(const char* subkey, CRegistryKey* target = nullptr);

    // Value NAME (empty or nullptr: the key's default value) in its text form.
    // A missing value reads as "" without an error.
    int ReadString(const char* name, CString& text);
    // A missing value, or one that is not a 32-bit number, reads as
    // DEFAULTVALUE without an error.
    int ReadNumber(const char* name, uint32_t& value, uint32_t defaultValue);
    // The bytes of a binary value; a missing value, or one that is not binary,
    // gives an empty buffer without an error. BUFFER is replaced.
    int ReadBinary(const char* name, CMemBuf& buffer);

    // KIND: ZRK_REGSTR_PLAIN, ZRK_REGSTR_EXPAND or ZRK_REGSTR_MULTI ("|"
    // between the strings).
    int WriteString(const char* name, const char* text, int kind = ZRK_REGSTR_PLAIN);
    int WriteNumber(const char* name, uint32_t value);
    int WriteBinary(const char* name, const void* bytes, int length);
    // Binary data from hexadecimal digit pairs ("0A0B": two bytes).
    int WriteHex(const char* name, const char* hex);

    // An empty name does nothing (the default value is never deleted this
    // way); a missing value is not an error.
    int DeleteValue(const char* name);
    // Deletes SUBKEY of the held key; it must have no sub-keys of its own. An
    // empty name does nothing; a missing key is not an error.
    int DeleteKey(const char* subkey);

    // Append the names of the held key's values or sub-keys to NAMES.
    int ListValueNames(CStringList& names);
    int ListSubkeys(CStringList& names);

    // Deletes the key at PATH when it holds no value and no sub-key, then its
    // parent on the same terms, and so on upwards; a root is never deleted. A
    // key that cannot be opened ends the walk with 0. Uses this object (it
    // holds no key afterwards).
    int DeleteKeyIfEmpty(const char* path);

private:
    // Reads value NAME: its type and bytes, or MISSING when there is none.
    int Query(const char* name, uint32_t& type, CMemBuf& data, bool& missing);
    int SetValue(const char* name, uint32_t type, const void* data, int length);
    int List(bool values, CStringList& names);

    HKEY m_key = nullptr;
};
