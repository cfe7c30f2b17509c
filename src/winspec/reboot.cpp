// Renames at the next restart and the restart itself (see reboot.h).

#include "src/winspec/reboot.h"

#include <windows.h>

#include "zrk/cstring.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

int SystemError() { return static_cast<int>(GetLastError()); }

// The Windows 95 family runs the "rename" section of "wininit.ini" once at
// the next start; a key is written once, so a later request for the same
// target replaces an earlier one.
int RenameInWininit(const char* source, const char* target) {
    CString dir;
    if (zrkos::QueryWindowsDir(&dir) != 0)
        return ZrkErrorId(ZRK_WINERR, MSG_NO_WINDOWS_DIR, zrkos::LastSystemError());
    const CString file = dir + "wininit.ini";
    if (!WritePrivateProfileStringA("rename", target, source, file))
        return ZrkErrorId(ZRK_WINERR, MSG_REBOOT_RENAME, target, SystemError());
    return 0;
}

}  // namespace

int RenameAtReboot(const char* source, const char* target) {
    const bool remove = target == nullptr || *target == '\0';
    switch (ZrkPlatformKind()) {
    case ZRK_WIN95:
        return RenameInWininit(source, remove ? "NUL" : target);
    case ZRK_WINNT:
        if (!MoveFileExA(source, remove ? nullptr : target,
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT))
            return ZrkErrorId(ZRK_WINERR, MSG_REBOOT_RENAME, remove ? source : target, SystemError());
        return 0;
    default:
        return 0;
    }
}

int EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return ZrkErrorId(ZRK_PRIVILEGE, MSG_NO_PROCESS_TOKEN, SystemError());
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    int r = 0;
    // AdjustTokenPrivileges succeeds without assigning a privilege the
    // token does not hold: only its last error tells.
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) ||
        GetLastError() != ERROR_SUCCESS)
        r = ZrkErrorId(ZRK_PRIVILEGE, MSG_NO_SHUTDOWN_PRIVILEGE, SystemError());
    CloseHandle(token);
    return r;
}

int RestartWindows() {
    if (ZrkPlatformKind() == ZRK_WINNT) ZRK_TRY(EnableShutdownPrivilege());
    // Programs that answer are asked to close and may keep their unsaved
    // work by refusing; only those that hang are closed by force.
    if (!ExitWindowsEx(kRestartFlags, SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED))
        return ZrkErrorId(ZRK_WINERR, MSG_RESTART_FAILED, SystemError());
    return 0;
}
