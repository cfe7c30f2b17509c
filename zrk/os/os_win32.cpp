// The operating-system boundary on Win32 (the ANSI functions throughout).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zrk/os/os.h"
#include "zrk/result.h"
#include "zrk/os/faults.h"

namespace zrkos {

namespace {

thread_local DWORD t_lastError = 0;

void SaveError() { t_lastError = GetLastError(); }
void SetError(DWORD err) { t_lastError = err; }

int64_t FromFileTime(const FILETIME& ft) {
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
}

FILETIME ToFileTime(int64_t t) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) & 0xFFFFFFFFu);
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
    return ft;
}

std::string Slashes(const char* path) {
    std::string s = path ? path : "";
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

bool IsDirectory(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

// ---- errors ---------------------------------------------------------------

int LastSystemError() { return static_cast<int>(t_lastError); }

// The C runtime's errno for a system error, as the runtime maps them.
int LastErrno() {
    switch (t_lastError) {
    case 0:
        return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_FAIL_I24:
    case ERROR_DRIVE_LOCKED:
    case ERROR_SEEK_ON_DEVICE:
    case ERROR_NOT_LOCKED:
    case ERROR_LOCK_FAILED:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_INVALID_HANDLE:
    case ERROR_INVALID_TARGET_HANDLE:
    case ERROR_DIRECT_ACCESS_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_INVALID_BLOCK:
    case ERROR_ARENA_TRASHED:
        return ENOMEM;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_BROKEN_PIPE:
        return EPIPE;
    case ERROR_BAD_FORMAT:
    case ERROR_BAD_EXE_FORMAT:
        return ENOEXEC;
    default:
        return EINVAL;
    }
}

CString ErrnoText(int err) { return CString(std::strerror(err)); }

// ---- memory ---------------------------------------------------------------

void* Realloc(void* block, size_t size) {
    if (const int err = ZRK_FAULT_ALLOC(size)) {
        SetError(static_cast<DWORD>(err));
        return nullptr;
    }
    void* p = std::realloc(block, size);
    if (p == nullptr) SetError(ERROR_NOT_ENOUGH_MEMORY);
    return p;
}

void Free(void* block) { std::free(block); }

// ---- files ----------------------------------------------------------------

Handle Open(const char* path, int flags, int* result) {
    *result = 0;
    if (const int err = ZRK_FAULT(Open)) {
        SetError(static_cast<DWORD>(err));
        *result = OpenResult(LastErrno());
        return kBadHandle;
    }
    DWORD access = 0;
    if (flags & OPEN_READ) access |= GENERIC_READ;
    if (flags & (OPEN_WRITE | OPEN_TRUNCATE | OPEN_APPEND)) access |= GENERIC_WRITE;
    if (access == 0) access = GENERIC_READ;
    const DWORD share = (flags & OPEN_EXCLUSIVE) ? 0 : (FILE_SHARE_READ | FILE_SHARE_WRITE);
    DWORD disposition;
    if (flags & OPEN_CREATE)
        disposition = (flags & OPEN_TRUNCATE) ? CREATE_ALWAYS : OPEN_ALWAYS;
    else
        disposition = (flags & OPEN_TRUNCATE) ? TRUNCATE_EXISTING : OPEN_EXISTING;
    // A read-only file refuses writers. Windows does so itself; Wine running
    // as root would let the write through, so the attribute is asked first.
    if (access & GENERIC_WRITE) {
        const DWORD a = GetFileAttributesA(path);
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY) && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
            SetError(ERROR_ACCESS_DENIED);
            *result = ZRK_ACCESS;
            return kBadHandle;
        }
    }
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SaveError();
        *result = OpenResult(LastErrno());
        return kBadHandle;
    }
    if (flags & OPEN_APPEND) {
        LARGE_INTEGER zero;
        zero.QuadPart = 0;
        if (!SetFilePointerEx(h, zero, nullptr, FILE_END)) {
            SaveError();
            CloseHandle(h);
            *result = ZRK_FAIL;
            return kBadHandle;
        }
    }
    return reinterpret_cast<Handle>(h);
}

// A failing close of the seam closes the handle all the same.
int Close(Handle h) {
    if (h == kBadHandle || !CloseHandle(reinterpret_cast<HANDLE>(h))) {
        SaveError();
        return ZRK_FAIL;
    }
    if (const int err = ZRK_FAULT(Close)) {
        SetError(static_cast<DWORD>(err));
        return ZRK_FAIL;
    }
    return 0;
}

long Read(Handle h, void* buf, long n) {
    if (const int err = ZRK_FAULT(Read)) {
        SetError(static_cast<DWORD>(err));
        return -1;
    }
    if (n < 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(h), buf, static_cast<DWORD>(n), &got, nullptr)) {
        if (GetLastError() == ERROR_BROKEN_PIPE || GetLastError() == ERROR_HANDLE_EOF) return 0;
        SaveError();
        return -1;
    }
    return static_cast<long>(got);
}

long Write(Handle h, const void* buf, long n) {
    if (const int err = ZRK_FAULT(Write)) {
        SetError(static_cast<DWORD>(err));
        return -1;
    }
    if (n < 0) {
        SetError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    DWORD put = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(h), buf, static_cast<DWORD>(n), &put, nullptr)) {
        SaveError();
        return -1;
    }
    if (static_cast<long>(put) != n) SetError(ERROR_DISK_FULL);
    return static_cast<long>(put);
}

int64_t Seek(Handle h, int64_t offset, int whence) {
    LARGE_INTEGER dist, pos;
    dist.QuadPart = offset;
    const DWORD method = whence == 1 ? FILE_CURRENT : whence == 2 ? FILE_END : FILE_BEGIN;
    if (!SetFilePointerEx(reinterpret_cast<HANDLE>(h), dist, &pos, method)) {
        SaveError();
        return -1;
    }
    return pos.QuadPart;
}

bool Exists(const char* path) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    SaveError();
    return false;
}

// As the runtime's access test with mode 2: a directory always, a file unless
// it is read-only.
bool Writable(const char* path) {
    const DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        SaveError();
        return false;
    }
    if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0 && (a & FILE_ATTRIBUTE_READONLY) != 0) {
        SetError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

int SetReadOnly(const char* path, bool readOnly) {
    const DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) {
        SaveError();
        return ZRK_FAIL;
    }
    DWORD b = readOnly ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    if (b == 0) b = FILE_ATTRIBUTE_NORMAL;
    if (b != a && !SetFileAttributesA(path, b)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int Remove(const char* path) {
    if (!DeleteFileA(path)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int MakeDir(const char* path) {
    if (const int err = ZRK_FAULT(MakeDir)) {
        SetError(static_cast<DWORD>(err));
        return ZRK_FAIL;
    }
    if (!CreateDirectoryA(path, nullptr)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int RemoveDir(const char* path) {
    if (!RemoveDirectoryA(path)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int RenameFile(const char* from, const char* to) {
    if (const int err = ZRK_FAULT(Rename)) {
        SetError(static_cast<DWORD>(err));
        return ZRK_FAIL;
    }
    if (!MoveFileA(from, to)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int CopyFileTo(const char* from, const char* to) {
    if (!CopyFileA(from, to, FALSE)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

int ChangeDir(const char* path) {
    if (!SetCurrentDirectoryA(path)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

CString CurrentDir() {
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetCurrentDirectoryA(static_cast<DWORD>(buf.size()), buf.data());
    }
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return CString("");
    }
    std::string s(buf.data(), n);
    if (s.back() != '\\') s += '\\';
    return CString(s.c_str(), static_cast<int>(s.size()));
}

CString FullPath(const char* path) {
    const std::string in = Slashes(path);
    if (in.empty()) return CString("");
    std::vector<char> buf(MAX_PATH + 1);
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(in.c_str(), static_cast<DWORD>(buf.size()), buf.data(), &filePart);
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetFullPathNameA(in.c_str(), static_cast<DWORD>(buf.size()), buf.data(), &filePart);
    }
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return CString(in.c_str(), static_cast<int>(in.size()));
    }
    std::string s(buf.data(), n);
    for (char& c : s)
        if (c == '/') c = '\\';
    if (s.back() != '\\' && IsDirectory(s.c_str())) s += '\\';
    return CString(s.c_str(), static_cast<int>(s.size()));
}

CString ShortPath(const char* path) {
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetShortPathNameA(path, buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetShortPathNameA(path, buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return CString(path ? path : "");
    }
    return CString(buf.data(), static_cast<int>(n));
}

int QueryShortPath(const char* path, CString* out) {
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetShortPathNameA(path ? path : "", buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetShortPathNameA(path ? path : "", buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return -496;
    }
    *out = CString(buf.data(), static_cast<int>(n));
    return 0;
}

// ---- directory search -----------------------------------------------------

namespace {

void Fill(const WIN32_FIND_DATAA& fd, FindData* out) {
    out->name = fd.cFileName;
    out->isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    out->size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    out->writeTime = FromFileTime(fd.ftLastWriteTime);
}

}  // namespace

FindHandle FindFirst(const char* pattern, FindData* out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) {
        SaveError();
        return nullptr;
    }
    Fill(fd, out);
    return h;
}

bool FindNext(FindHandle h, FindData* out) {
    if (!h) return false;
    WIN32_FIND_DATAA fd;
    if (!FindNextFileA(static_cast<HANDLE>(h), &fd)) {
        SaveError();
        return false;
    }
    Fill(fd, out);
    return true;
}

void FindClose(FindHandle h) {
    if (h) ::FindClose(static_cast<HANDLE>(h));
}

// ---- drives ---------------------------------------------------------------

int DriveType(const char* root) { return static_cast<int>(GetDriveTypeA(root)); }

CStringList LogicalDrives() {
    CStringList list;
    std::vector<char> buf(512);
    DWORD n = GetLogicalDriveStringsA(static_cast<DWORD>(buf.size()), buf.data());
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetLogicalDriveStringsA(static_cast<DWORD>(buf.size()), buf.data());
    }
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return list;
    }
    for (const char* p = buf.data(); *p; p += std::strlen(p) + 1) list.Add(p);
    return list;
}

bool VolumeLabel(const char* root, CString* label) {
    char name[MAX_PATH + 1];
    if (!GetVolumeInformationA(root, name, sizeof name, nullptr, nullptr, nullptr, nullptr, 0)) {
        SaveError();
        return false;
    }
    *label = name;
    return true;
}

// The root of the volume holding PATH: "X:\" for a drive path,
// "\\server\share\" for a network path, empty (the current drive) otherwise.
static std::string VolumeRoot(const char* path) {
    const std::string p = Slashes(path);
    if (p.size() >= 2 && p[1] == ':') return p.substr(0, 2) + "\\";
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        const size_t server = p.find('\\', 2);
        if (server == std::string::npos) return p + "\\";
        const size_t share = p.find('\\', server + 1);
        if (share == std::string::npos) return p + "\\";
        return p.substr(0, share + 1);
    }
    return std::string();
}

double FreeSpace(const char* path) {
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    const std::string root = VolumeRoot(path);
    if (!GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &totalClusters)) {
        SaveError();
        return -1;
    }
    return static_cast<double>(sectorsPerCluster) * static_cast<double>(bytesPerSector) *
           static_cast<double>(freeClusters);
}

int GetFileTimeLocal(const char* path, int64_t* t) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) {
        SaveError();
        return ZRK_FAIL;
    }
    FILETIME local;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local)) {
        SaveError();
        return ZRK_FAIL;
    }
    *t = FromFileTime(local);
    return 0;
}

int SetFileTimeLocal(const char* path, int64_t t) {
    const FILETIME local = ToFileTime(t);
    FILETIME utc;
    if (!LocalFileTimeToFileTime(&local, &utc)) {
        SaveError();
        return ZRK_FAIL;
    }
    // Directories open only with backup semantics (Windows NT).
    const DWORD flags = IsDirectory(path) ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL;
    HANDLE h = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SaveError();
        return ZRK_FAIL;
    }
    int result = 0;
    if (!SetFileTime(h, nullptr, nullptr, &utc)) {
        SaveError();
        result = ZRK_FAIL;
    }
    CloseHandle(h);
    return result;
}

int SystemTempName(const char* dir, const char* prefix, CString* out) {
    char buf[MAX_PATH + 1];
    if (GetTempFileNameA(dir, prefix ? prefix : "", 0, buf) == 0) {
        SaveError();
        return ZRK_FAIL;
    }
    *out = FullPath(buf);
    return 0;
}

bool InUse(const char* path) {
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        SaveError();
        return true;
    }
    CloseHandle(h);
    return false;
}

// ---- environment and system ------------------------------------------------

bool GetEnv(const char* name, CString* value) {
    char small[512];
    SetLastError(0);  // an empty variable also returns 0
    DWORD n = GetEnvironmentVariableA(name, small, sizeof small);
    if (n == 0) {
        const DWORD err = GetLastError();
        SaveError();
        if (err == ERROR_ENVVAR_NOT_FOUND) return false;
        *value = "";
        return true;
    }
    if (n < sizeof small) {
        *value = CString(small, static_cast<int>(n));
        return true;
    }
    std::vector<char> buf(n + 1);
    n = GetEnvironmentVariableA(name, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) {
        SaveError();
        return false;
    }
    *value = CString(buf.data(), static_cast<int>(n));
    return true;
}

int SetEnv(const char* name, const char* value) {
    if (!SetEnvironmentVariableA(name, value)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

CString ModulePath() {
    std::vector<char> buf(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) {
            SaveError();
            return CString("");
        }
        if (n < buf.size() - 1) return CString(buf.data(), static_cast<int>(n));
        buf.resize(buf.size() * 2);
    }
}

CString WindowsDir() {
    char buf[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) {
        SaveError();
        return CString("C:\\WINDOWS\\");
    }
    std::string s(buf, n);
    if (s.back() != '\\') s += '\\';
    return CString(s.c_str(), static_cast<int>(s.size()));
}

namespace {

// A directory from GetWindowsDirectoryA or GetSystemDirectoryA.
int QueryDir(UINT (WINAPI* query)(LPSTR, UINT), CString* out) {
    char buf[MAX_PATH + 1];
    const UINT n = query(buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) {
        if (n != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
        SaveError();
        return -496;
    }
    std::string s(buf, n);
    if (s.back() != '\\') s += '\\';
    *out = CString(s.c_str(), static_cast<int>(s.size()));
    return 0;
}

}  // namespace

int QueryWindowsDir(CString* out) { return QueryDir(GetWindowsDirectoryA, out); }
int QuerySystemDir(CString* out) { return QueryDir(GetSystemDirectoryA, out); }

CString UserName() {
    char buf[257];  // UNLEN + 1
    DWORD n = sizeof buf;
    if (!GetUserNameA(buf, &n)) {
        SaveError();
        return CString("");
    }
    return CString(buf);
}

uint32_t Version() { return static_cast<uint32_t>(GetVersion()); }

bool IsWindows() { return true; }

uint32_t TickCount() { return static_cast<uint32_t>(GetTickCount()); }

// ---- time and locale ------------------------------------------------------

SystemTime Now(bool universal) {
    SYSTEMTIME st;
    if (universal)
        GetSystemTime(&st);
    else
        GetLocalTime(&st);
    return SystemTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

bool LocaleInfo(int item, CString* value) {
    char buf[256];
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, static_cast<LCTYPE>(item), buf, sizeof buf);
    if (n <= 0) {
        SaveError();
        return false;
    }
    *value = buf;
    return true;
}

// ---- private-profile (ini) files ------------------------------------------

int ProfileRead(const char* section, const char* key, const char* def, char* buf, int size, const char* file) {
    if (!buf || size <= 0) return 0;
    return static_cast<int>(
        GetPrivateProfileStringA(section, key, def ? def : "", buf, static_cast<DWORD>(size), file));
}

int ProfileWrite(const char* section, const char* key, const char* value, const char* file) {
    if (!WritePrivateProfileStringA(section, key, value, file)) {
        SaveError();
        return ZRK_FAIL;
    }
    return 0;
}

// ---- processes --------------------------------------------------------------

int StartProcess(const char* commandLine, const char* dir, bool wait, unsigned long* exitCode) {
    // CreateProcessA may write into the command line: hand it a copy.
    const std::string line = commandLine ? commandLine : "";
    std::vector<char> cmd(line.begin(), line.end());
    cmd.push_back(0);
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, dir && *dir ? dir : nullptr, &si,
                        &pi)) {
        SaveError();
        return ZRK_FAIL;
    }
    CloseHandle(pi.hThread);
    int result = 0;
    if (wait) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        if (!GetExitCodeProcess(pi.hProcess, &code)) {
            SaveError();
            result = ZRK_FAIL;
        } else if (exitCode) {
            *exitCode = code;
        }
    }
    CloseHandle(pi.hProcess);
    return result;
}

int ShellOpen(const char* file, const char* params, const char* dir) {
    HINSTANCE r = ShellExecuteA(nullptr, "open", file, params && *params ? params : nullptr,
                                dir && *dir ? dir : nullptr, SW_SHOWNORMAL);
    const INT_PTR code = reinterpret_cast<INT_PTR>(r);
    if (code <= 32) {
        SetError(static_cast<DWORD>(code));
        return ZRK_FAIL;
    }
    return 0;
}

#ifdef ZRK_FAULTS
int PlatformError(FaultError error, FaultOp op) {
    switch (error) {
    case FaultError::DiskFull:
        return ERROR_DISK_FULL;
    case FaultError::AccessDenied:
        return ERROR_ACCESS_DENIED;
    case FaultError::NoMemory:
        return ERROR_NOT_ENOUGH_MEMORY;
    case FaultError::IoError:
        break;
    }
    return op == FaultOp::Write ? ERROR_WRITE_FAULT : ERROR_READ_FAULT;
}
#endif

}  // namespace zrkos

// ---- installation session ---------------------------------------------------
namespace zrkos {

bool IsAdministrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
        return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, admins, &member)) member = FALSE;
    FreeSid(admins);
    return member != FALSE;
}

}  // namespace zrkos
