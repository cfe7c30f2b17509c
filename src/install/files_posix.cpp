// Shared files on a system without the Windows registry: the use counts and
// the replacement at the next restart are refused, clearly.
#include "src/infstruc/filever.h"
#include "src/install/files.h"
#include "zrk/cfile.h"
#include "zrk/report.h"
#include "zrk/result.h"

int ReadSharedFileFacts(const char* path, SharedFileFacts* facts) {
    *facts = SharedFileFacts();
    facts->size = CFile::FileSize64(path);
    CFile::LastWriteTime(path, &facts->time);
    return InfFileVersion(path, &facts->version);
}

bool SharedFilesSupported() { return false; }

int AddSharedFileUse(const char* path, bool) { return ZrkErrorId(ZRK_PRIVILEGE, MSG_NO_SHARED_FILE_COUNTS, path); }

int ReplaceSharedFileAtReboot(const char*, const char* target) {
    return ZrkErrorId(ZRK_PRIVILEGE, MSG_NO_REBOOT_REPLACE, target);
}
