// Work that waits for the next start of Windows: files replaced or deleted
// at the restart, and the restart itself.
#pragma once

// Replaces TARGET by SOURCE at the next restart of Windows, or deletes
// SOURCE then when TARGET is null or empty. On the Windows 95 family the
// pair goes into the "rename" section of "wininit.ini" in the Windows
// directory (key TARGET, or "NUL" for a deletion; value SOURCE), on
// Windows NT to the system through MoveFileEx; the 32-bit layer on 16-bit
// Windows has neither, and nothing happens. 0, or -496 after a report
// (message 19 without a Windows directory, else message 32).
int RenameAtReboot(const char* source, const char* target);

// Enables the shutdown privilege in the process token (Windows NT needs it
// before it restarts). 0, or -53 after message 16 (the token cannot be
// opened) or 17 (the privilege cannot be enabled).
int EnableShutdownPrivilege();

// The ExitWindowsEx flags of the restart: reboot, and close by force only
// the programs that do not answer (forcing the others loses their unsaved
// work).
constexpr unsigned kRestartFlags = 0x02 /* EWX_REBOOT */ | 0x10 /* EWX_FORCEIFHUNG */;

// Restarts Windows, asking the running programs to close: on Windows NT
// after enabling the shutdown privilege (a failure there ends it, with that
// result). -496 with message 18 when Windows refuses to restart.
int RestartWindows();
