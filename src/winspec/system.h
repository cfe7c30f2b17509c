// Facts about the system and small services around the installation: the
// administrator test, version resources, short paths, the TCP port test and
// the Program Manager of the 3.x shell.
#pragma once

#include "zrk/cstring.h"

class CSetRecord;

// 1 when the user running the installer belongs to the local Administrators
// group, else 0 (also when the token cannot be read).
int IsAdministrator();

// The display name of the first language of PATH's version resource and the
// "FileVersion" text of that language and code page. Both start empty and
// stay so for a file without a version resource (result 0); -51 when the
// resource cannot be held in memory.
int GetFileVersion(const char* path, CString* language, CString* version);

// Replaces an existing PATH by its short (8.3) form; a missing path is left
// as it is. -496 with message 31 when the system cannot give the short form.
int ShortenExistingPath(CString& path);

// 1 when the set's TCP port can be bound on "localhost" (the port is free),
// 0 when resolving, creating the socket or binding fails. The socket
// library is loaded by name at the first use; no failure is reported.
int IsPortFree(const CSetRecord& set);

// On the 3.x shell, starts the Program Manager or restores its window;
// nothing on the 4.x shell. -52 with message 445 when it cannot start.
int StartProgramManager();
