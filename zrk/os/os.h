// The operating-system boundary. Everything the framework asks of the system
// goes through these functions; os_win32.cpp implements them on the Win32
// API, os_posix.cpp on POSIX.
//
// Paths are framework paths (backslash separators, "/" accepted). On POSIX a
// path keeps its backslashes in every text operation and is converted here
// only; a path beginning with a separator is absolute there.
//
// Errors: functions return 0 or a negative result code; where a caller needs
// the system's error they read LastErrno() (the C runtime's errno value, with
// access denied and sharing/lock violations mapped to 13 and file/path not
// found to 2) and LastSystemError() (GetLastError() or errno).
//
// Test builds can make some of these calls fail on demand: see faults.h.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

#include "zrk/cstring.h"
#include "zrk/result.h"

namespace zrkos {

// ---- errors ---------------------------------------------------------------
int LastErrno();
int LastSystemError();
CString ErrnoText(int err);  // strerror

// ---- memory ---------------------------------------------------------------
// The C runtime's heap: realloc (BLOCK nullptr: a new block; nullptr on
// failure, with LastSystemError() set) and free.
void* Realloc(void* block, size_t size);
void Free(void* block);

// ---- files ----------------------------------------------------------------
using Handle = intptr_t;
constexpr Handle kBadHandle = -1;

enum OpenFlags : int {
    OPEN_READ = 1,
    OPEN_WRITE = 2,
    OPEN_CREATE = 4,     // create when missing
    OPEN_TRUNCATE = 8,   // truncate to 0 bytes
    OPEN_APPEND = 16,    // position at the end after opening
    OPEN_EXCLUSIVE = 32, // no sharing with other openers
};
// Opens; on failure kBadHandle and *result is OpenResult(LastErrno()).
Handle Open(const char* path, int flags, int* result);
// The result of an open that failed with errno E: ZRK_NOTFOUND (file or path
// not found), ZRK_ACCESS (access denied or sharing violation) or ZRK_FAIL.
inline int OpenResult(int e) { return e == ENOENT ? ZRK_NOTFOUND : e == EACCES ? ZRK_ACCESS : ZRK_FAIL; }
int Close(Handle h);
// Bytes read (0 at end), or -1 on failure.
long Read(Handle h, void* buf, long n);
long Write(Handle h, const void* buf, long n);
int64_t Seek(Handle h, int64_t offset, int whence);  // whence 0 set, 1 cur, 2 end; -1 on failure

bool Exists(const char* path);        // access mode 0
bool Writable(const char* path);      // access mode 2
// Sets or clears the read-only attribute (POSIX: removes every write
// permission bit, or adds the owner's).
int SetReadOnly(const char* path, bool readOnly);
int Remove(const char* path);         // delete a file (a read-only one fails)
int MakeDir(const char* path);
int RemoveDir(const char* path);
int RenameFile(const char* from, const char* to);
int CopyFileTo(const char* from, const char* to);  // overwrites
int ChangeDir(const char* path);
CString CurrentDir();                 // with trailing backslash
// Full path of a text (relative to the current directory), "/" turned into
// "\"; an existing directory gets a trailing backslash.
CString FullPath(const char* path);
CString ShortPath(const char* path);  // 8.3 name where the system has one
// The same with the outcome: 0 and *OUT, or -496 with LastSystemError() set
// (the path does not exist, for example); *OUT is then unchanged. On POSIX
// an existing path is its own short form.
int QueryShortPath(const char* path, CString* out);

// Directory search (FindFirstFile / FindNextFile).
struct FindData {
    CString name;       // file part only
    bool isDir = false;
    uint64_t size = 0;
    int64_t writeTime = 0;  // 100 ns units since 1601-01-01 UTC
};
using FindHandle = void*;
FindHandle FindFirst(const char* pattern, FindData* out);  // nullptr when nothing
bool FindNext(FindHandle h, FindData* out);
void FindClose(FindHandle h);

// Drives.
enum DriveType : int { DRIVE_UNKNOWN_ = 0, DRIVE_NOROOT_ = 1, DRIVE_REMOVABLE_ = 2, DRIVE_FIXED_ = 3,
                       DRIVE_REMOTE_ = 4, DRIVE_CDROM_ = 5, DRIVE_RAMDISK_ = 6 };
int DriveType(const char* root);
CStringList LogicalDrives();  // "C:\" ...
bool VolumeLabel(const char* root, CString* label);
// Free bytes on the volume holding PATH (a drive path, a network path, or
// on POSIX any path); -1 on failure.
double FreeSpace(const char* path);

// Last-write time as local wall-clock time, 100 ns units since 1601-01-01.
int GetFileTimeLocal(const char* path, int64_t* t);
int SetFileTimeLocal(const char* path, int64_t t);
// Unique temporary file created by the system in DIR (GetTempFileName).
int SystemTempName(const char* dir, const char* prefix, CString* out);
// Exclusive append-open test (creates a missing file).
bool InUse(const char* path);

// ---- environment and system ------------------------------------------------
bool GetEnv(const char* name, CString* value);
int SetEnv(const char* name, const char* value);  // nullptr removes
CString ModulePath();      // full path of the running program
CString WindowsDir();      // with trailing backslash
// The Windows and system directories with a trailing backslash: 0 and *OUT,
// or -496 with LastSystemError() set. On POSIX the Windows directory is the
// one WindowsDir() gives and the system directory its "system" sub-directory.
int QueryWindowsDir(CString* out);
int QuerySystemDir(CString* out);
CString UserName();
// GetVersion(): on POSIX 0 (the framework's platform kind there is 4).
uint32_t Version();
bool IsWindows();
uint32_t TickCount();

// ---- time and locale ------------------------------------------------------
struct SystemTime {
    int year, month, day, hour, minute, second, millisecond;
};
SystemTime Now(bool universal);
// Locale information of the user's default locale (GetLocaleInfoA items:
// 0x1F short date, 0x20 long date, 0x23 24-hour flag, 0x25 hour leading zero,
// 0x1005 AM/PM before the time, 0x1E time separator). False when unknown.
bool LocaleInfo(int item, CString* value);

// ---- private-profile (ini) files ------------------------------------------
// GetPrivateProfileStringA semantics: KEY nullptr lists the keys of SECTION
// (zero-separated, double-zero ended); returns the characters copied.
int ProfileRead(const char* section, const char* key, const char* def, char* buf, int size,
                const char* file);
// WritePrivateProfileStringA: KEY nullptr removes the section, VALUE nullptr
// removes the key. 0 or -52.
int ProfileWrite(const char* section, const char* key, const char* value, const char* file);

// ---- processes --------------------------------------------------------------
// CreateProcessA of COMMANDLINE in DIR (nullptr: current). With WAIT, waits
// and stores the exit code. 0, or -52 with LastSystemError() set.
int StartProcess(const char* commandLine, const char* dir, bool wait, unsigned long* exitCode);
// ShellExecuteA "open" of a document; 0 or -52 (result below 32).
int ShellOpen(const char* file, const char* params, const char* dir);

}  // namespace zrkos

// ---- user interface and resources (os_ui_win32.cpp, os_ui_posix.cpp) ------
namespace zrkos {

// CharToOemA in place (no change on POSIX).
void CharToOem(char* s);
// SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX).
void QuietErrorBoxes();
// A task-modal message box (icon: 0 information, 1 error); on POSIX the text
// goes to stderr.
void MessageBoxTask(const char* text, const char* caption, int icon);
// LoadStringA from the program's own string table; -1 when absent.
int LoadOwnString(int id, char* buf, int size);
// Processes pending window messages (no-op on POSIX).
void PumpMessages();

// The process-wide timer window: one system timer re-armed to DELAYMS
// (negative: killed); CALLBACK runs on every timer message.
using TimerCallback = void (*)();
int TimerArm(long delayMs, TimerCallback callback);
void TimerShutdown();  // destroys the window and unregisters its class

}  // namespace zrkos

// ---- installation session ---------------------------------------------------
namespace zrkos {

// Whether the user running the program belongs to the Administrators group
// (Windows: CheckTokenMembership; POSIX: the effective user is root).
bool IsAdministrator();

}  // namespace zrkos
