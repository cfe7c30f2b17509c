// The operating-system boundary on POSIX systems.
//
// Framework paths use backslashes; they are turned into "/" here, right
// before a system call, and every path handed back (full paths, the current
// directory, the module path) uses backslashes again. A path beginning with
// a separator is absolute.
//
// Where Windows behaves in a way the framework relies on, the behaviour is
// reproduced: share modes through advisory locks (a normal open shares, an
// exclusive open shares nothing), the read-only attribute (a file without
// any write permission bit cannot be opened for writing, even by root),
// MoveFile refusing to replace an existing target, and the private-profile
// (ini) functions.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/time.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "zrk/os/os.h"
#include "zrk/result.h"
#include "zrk/os/faults.h"

namespace zrkos {

namespace {

thread_local int t_lastError = 0;

// Remembers errno of the call that just failed.
void SaveErrno() { t_lastError = errno; }
void SetError(int err) { t_lastError = err; }

std::string Native(const char* path) {
    std::string s = path ? path : "";
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

CString Framework(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return CString(path.c_str(), static_cast<int>(path.size()));
}

bool StatPath(const std::string& p, struct stat* st) {
    if (::stat(p.c_str(), st) == 0) return true;
    SaveErrno();
    return false;
}

bool IsDirNative(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The Windows read-only attribute: a regular file that nobody may write.
bool ReadOnlyFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

// 100 ns units between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDiff = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;

// A broken-down wall-clock time (taken as if it were UTC) as 100 ns units
// since 1601-01-01.
int64_t TicksFromTm(const struct tm& tm, long nsec) {
    const int64_t days = DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    const int64_t secs = days * 86400 + tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    return secs * kTicksPerSecond + kEpochDiff + nsec / 100;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

// ---- errors ---------------------------------------------------------------

int LastSystemError() { return t_lastError; }

int LastErrno() {
    switch (t_lastError) {
    case ENOTDIR:
    case ENAMETOOLONG:
        return ENOENT;
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EWOULDBLOCK:
        return EACCES;
    default:
        return t_lastError;
    }
}

CString ErrnoText(int err) { return CString(std::strerror(err)); }

// ---- memory ---------------------------------------------------------------

void* Realloc(void* block, size_t size) {
    if (const int err = ZRK_FAULT_ALLOC(size)) {
        SetError(err);
        return nullptr;
    }
    void* p = std::realloc(block, size);
    if (p == nullptr) SaveErrno();
    return p;
}

void Free(void* block) { std::free(block); }

// ---- files ----------------------------------------------------------------

namespace {

// The operations themselves; the public ones below put the fault seam in
// front of them, and CopyFileTo uses them directly, as CopyFile is one call
// on Windows.
Handle OpenFile(const char* path, int flags, int* result) {
    const std::string p = Native(path);
    int oflags = O_CLOEXEC;
    const bool writing = (flags & (OPEN_WRITE | OPEN_TRUNCATE | OPEN_APPEND)) != 0;
    if ((flags & OPEN_READ) && writing)
        oflags |= O_RDWR;
    else if (writing)
        oflags |= O_WRONLY;
    else
        oflags |= O_RDONLY;
    if (flags & OPEN_CREATE) oflags |= O_CREAT;

    struct stat st;
    if (::stat(p.c_str(), &st) == 0) {
        // Windows refuses to open a directory as a file, and to write a file
        // whose read-only attribute is set, whoever asks.
        if (S_ISDIR(st.st_mode) || (writing && ReadOnlyFile(st))) {
            SetError(EACCES);
            *result = ZRK_ACCESS;
            return kBadHandle;
        }
    }
    int fd;
    do {
        fd = ::open(p.c_str(), oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        SaveErrno();
        *result = OpenResult(LastErrno());
        return kBadHandle;
    }
    // Share modes: every opener takes a shared lock, an exclusive opener an
    // exclusive one; a conflict is a sharing violation. The lock is taken
    // before truncating, so that a refused open leaves the file alone.
    if (::flock(fd, ((flags & OPEN_EXCLUSIVE) ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0 &&
        errno != ENOLCK && errno != EINVAL && errno != ENOTSUP) {
        SaveErrno();
        ::close(fd);
        *result = ZRK_ACCESS;
        return kBadHandle;
    }
    if ((flags & OPEN_TRUNCATE) && ::ftruncate(fd, 0) != 0) {
        SaveErrno();
        ::close(fd);
        *result = ZRK_FAIL;
        return kBadHandle;
    }
    if ((flags & OPEN_APPEND) && ::lseek(fd, 0, SEEK_END) < 0) {
        SaveErrno();
        ::close(fd);
        *result = ZRK_FAIL;
        return kBadHandle;
    }
    return fd;
}

int CloseFile(Handle h) {
    if (h == kBadHandle) return ZRK_FAIL;
    if (::close(static_cast<int>(h)) != 0 && errno != EINTR) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

long ReadFile(Handle h, void* buf, long n) {
    if (n < 0) {
        SetError(EINVAL);
        return -1;
    }
    ssize_t got;
    do {
        got = ::read(static_cast<int>(h), buf, static_cast<size_t>(n));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        SaveErrno();
        return -1;
    }
    return static_cast<long>(got);
}

long WriteFile(Handle h, const void* buf, long n) {
    if (n < 0) {
        SetError(EINVAL);
        return -1;
    }
    const char* p = static_cast<const char*>(buf);
    long done = 0;
    while (done < n) {
        const ssize_t put = ::write(static_cast<int>(h), p + done, static_cast<size_t>(n - done));
        if (put < 0) {
            if (errno == EINTR) continue;
            SaveErrno();
            return -1;
        }
        done += static_cast<long>(put);
    }
    return done;
}

}  // namespace

Handle Open(const char* path, int flags, int* result) {
    *result = 0;
    if (const int err = ZRK_FAULT(Open)) {
        SetError(err);
        *result = OpenResult(LastErrno());
        return kBadHandle;
    }
    return OpenFile(path, flags, result);
}

// A failing close of the seam closes the handle all the same, as the
// system does.
int Close(Handle h) {
    const int r = CloseFile(h);
    if (h == kBadHandle || r != 0) return r;
    if (const int err = ZRK_FAULT(Close)) {
        SetError(err);
        return ZRK_FAIL;
    }
    return 0;
}

long Read(Handle h, void* buf, long n) {
    if (const int err = ZRK_FAULT(Read)) {
        SetError(err);
        return -1;
    }
    return ReadFile(h, buf, n);
}

long Write(Handle h, const void* buf, long n) {
    if (const int err = ZRK_FAULT(Write)) {
        SetError(err);
        return -1;
    }
    return WriteFile(h, buf, n);
}

int64_t Seek(Handle h, int64_t offset, int whence) {
    const int w = whence == 1 ? SEEK_CUR : whence == 2 ? SEEK_END : SEEK_SET;
    const off_t r = ::lseek(static_cast<int>(h), static_cast<off_t>(offset), w);
    if (r < 0) {
        SaveErrno();
        return -1;
    }
    return static_cast<int64_t>(r);
}

bool Exists(const char* path) {
    if (::access(Native(path).c_str(), F_OK) == 0) return true;
    SaveErrno();
    return false;
}

bool Writable(const char* path) {
    const std::string p = Native(path);
    struct stat st;
    if (!StatPath(p, &st)) return false;
    if (ReadOnlyFile(st)) {
        SetError(EACCES);
        return false;
    }
    if (::access(p.c_str(), W_OK) == 0) return true;
    SaveErrno();
    return false;
}

int SetReadOnly(const char* path, bool readOnly) {
    const std::string p = Native(path);
    struct stat st;
    if (!StatPath(p, &st)) return ZRK_FAIL;
    const mode_t mode = readOnly ? (st.st_mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH))
                                 : (st.st_mode | S_IWUSR);
    if (::chmod(p.c_str(), mode & 07777) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

int Remove(const char* path) {
    const std::string p = Native(path);
    struct stat st;
    // DeleteFile removes neither directories nor read-only files.
    if (::stat(p.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || ReadOnlyFile(st))) {
        SetError(EACCES);
        return ZRK_FAIL;
    }
    if (::unlink(p.c_str()) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

int MakeDir(const char* path) {
    if (const int err = ZRK_FAULT(MakeDir)) {
        SetError(err);
        return ZRK_FAIL;
    }
    if (::mkdir(Native(path).c_str(), 0777) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

int RemoveDir(const char* path) {
    if (::rmdir(Native(path).c_str()) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

int RenameFile(const char* from, const char* to) {
    if (const int err = ZRK_FAULT(Rename)) {
        SetError(err);
        return ZRK_FAIL;
    }
    const std::string f = Native(from), t = Native(to);
    struct stat st;
    if (::lstat(f.c_str(), &st) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    // MoveFile never replaces an existing target.
    struct stat tst;
    if (::lstat(t.c_str(), &tst) == 0) {
        SetError(EEXIST);
        return ZRK_FAIL;
    }
    if (::rename(f.c_str(), t.c_str()) == 0) return 0;
    if (errno != EXDEV || !S_ISREG(st.st_mode)) {
        SaveErrno();
        return ZRK_FAIL;
    }
    // A file moves to another file system as MoveFile does it: copy, then
    // delete the source.
    if (CopyFileTo(from, to) != 0) return ZRK_FAIL;
    if (::unlink(f.c_str()) != 0) {
        SaveErrno();
        ::unlink(t.c_str());
        return ZRK_FAIL;
    }
    return 0;
}

int CopyFileTo(const char* from, const char* to) {
    int r = 0;
    const std::string f = Native(from);
    struct stat st;
    if (!StatPath(f, &st)) return ZRK_FAIL;
    if (S_ISDIR(st.st_mode)) {
        SetError(EACCES);
        return ZRK_FAIL;
    }
    // Copying a file onto itself would truncate it first.
    struct stat tst;
    if (::stat(Native(to).c_str(), &tst) == 0 && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
        SetError(EACCES);
        return ZRK_FAIL;
    }
    Handle in = OpenFile(from, OPEN_READ, &r);
    if (in == kBadHandle) return ZRK_FAIL;
    Handle out = OpenFile(to, OPEN_WRITE | OPEN_CREATE | OPEN_TRUNCATE, &r);
    if (out == kBadHandle) {
        const int saved = t_lastError;
        CloseFile(in);
        SetError(saved);
        return ZRK_FAIL;
    }
    std::vector<char> buf(65536);
    int result = 0;
    for (;;) {
        const long got = ReadFile(in, buf.data(), static_cast<long>(buf.size()));
        if (got < 0) {
            result = ZRK_FAIL;
            break;
        }
        if (got == 0) break;
        if (WriteFile(out, buf.data(), got) != got) {
            result = ZRK_FAIL;
            break;
        }
    }
    // CopyFile keeps the last-write time and the attributes.
    if (result == 0) {
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        ::futimens(static_cast<int>(out), times);
        ::fchmod(static_cast<int>(out), st.st_mode & 07777);
    }
    const int saved = t_lastError;
    CloseFile(in);
    if (CloseFile(out) != 0 && result == 0) return ZRK_FAIL;
    SetError(saved);
    return result;
}

int ChangeDir(const char* path) {
    if (::chdir(Native(path).c_str()) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

CString CurrentDir() {
    std::vector<char> buf(PATH_MAX + 1);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) {
            SaveErrno();
            return CString("\\");
        }
        buf.resize(buf.size() * 2);
    }
    std::string cwd = buf.data();
    if (cwd.empty() || cwd.back() != '/') cwd += '/';
    return Framework(cwd);
}

CString FullPath(const char* path) {
    std::string p = Native(path);
    if (p.empty()) return CString("");
    // A Windows path with a drive ("C:\...") or a network path ("\\server\...")
    // keeps its root, so that such paths read from descriptions work the same
    // in every text operation; anything else not beginning with a separator
    // is relative to the current directory.
    std::string root;
    size_t start = 0;
    if (p.size() >= 3 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':' && p[2] == '/') {
        root = p.substr(0, 2);
        start = 2;
    } else if (p.size() >= 2 && p[0] == '/' && p[1] == '/' && (p.size() == 2 || p[2] != '/')) {
        root = "/";
        start = 1;
    } else if (p[0] != '/') {
        const CString cwd = CurrentDir();
        p = Native(cwd.c_str()) + p;
    }
    const bool trailing = p.back() == '/';
    // Resolve "." and ".." and collapse repeated separators, as the system's
    // full-path function does.
    std::vector<std::string> parts;
    size_t i = start;
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        const std::string part = p.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out = root;
    for (const std::string& part : parts) out += "/" + part;
    if (out.size() == root.size() || trailing || IsDirNative(out)) out += '/';
    return Framework(out);
}

CString ShortPath(const char* path) { return CString(path ? path : ""); }

int QueryShortPath(const char* path, CString* out) {
    if (!path || !*path) {
        SetError(ENOENT);
        return -496;
    }
    if (!Exists(path)) return -496;
    *out = CString(path);
    return 0;
}

// ---- directory search -----------------------------------------------------

namespace {

struct FindState {
    DIR* dir = nullptr;
    std::string dirPath;  // native, with trailing "/" (or empty for ".")
    std::string pattern;
    bool single = false;  // a pattern without wildcards: one entry at most
};

bool WildMatchNoCase(const char* s, const char* p) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*s) {
        if (*p == '*') {
            star = p++;
            resume = s;
        } else if (*p == '?' ||
                   std::tolower(static_cast<unsigned char>(*p)) == std::tolower(static_cast<unsigned char>(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

// Matching as FindFirstFile does it: "*.*" matches every name, and a
// pattern ending in ".*" also matches a name without an extension.
bool FindMatch(const std::string& name, const std::string& pattern) {
    if (pattern == "*" || pattern == "*.*") return true;
    if (WildMatchNoCase(name.c_str(), pattern.c_str())) return true;
    if (pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0 &&
        name.find('.') == std::string::npos)
        return WildMatchNoCase(name.c_str(), pattern.substr(0, pattern.size() - 2).c_str());
    return false;
}

bool Fill(const std::string& full, const std::string& name, FindData* out) {
    struct stat st;
    if (::stat(full.c_str(), &st) != 0 && ::lstat(full.c_str(), &st) != 0) return false;
    out->name = CString(name.c_str(), static_cast<int>(name.size()));
    out->isDir = S_ISDIR(st.st_mode);
    out->size = out->isDir ? 0 : static_cast<uint64_t>(st.st_size);
    out->writeTime = static_cast<int64_t>(st.st_mtim.tv_sec) * kTicksPerSecond + st.st_mtim.tv_nsec / 100 +
                     kEpochDiff;
    return true;
}

bool NextEntry(FindState* fs, FindData* out) {
    if (fs->single) return false;
    for (;;) {
        errno = 0;
        struct dirent* e = ::readdir(fs->dir);
        if (!e) {
            SetError(errno ? errno : ENOENT);
            return false;
        }
        const std::string name = e->d_name;
        if (!FindMatch(name, fs->pattern)) continue;
        if (Fill(fs->dirPath + name, name, out)) return true;
    }
}

}  // namespace

FindHandle FindFirst(const char* pattern, FindData* out) {
    const std::string p = Native(pattern);
    const size_t slash = p.rfind('/');
    const std::string dirPath = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    if (name.empty()) {
        SetError(ENOENT);
        return nullptr;
    }
    auto* fs = new FindState;
    fs->dirPath = dirPath;
    fs->pattern = name;
    if (name.find_first_of("*?") == std::string::npos) {
        fs->single = true;
        if (!Fill(p, name, out)) {
            SaveErrno();
            delete fs;
            return nullptr;
        }
        return fs;
    }
    fs->dir = ::opendir(dirPath.empty() ? "." : dirPath.c_str());
    if (!fs->dir) {
        SaveErrno();
        delete fs;
        return nullptr;
    }
    if (!NextEntry(fs, out)) {
        const int saved = t_lastError;
        FindClose(fs);
        SetError(saved);
        return nullptr;
    }
    return fs;
}

bool FindNext(FindHandle h, FindData* out) {
    if (!h) return false;
    return NextEntry(static_cast<FindState*>(h), out);
}

void FindClose(FindHandle h) {
    auto* fs = static_cast<FindState*>(h);
    if (!fs) return;
    if (fs->dir) ::closedir(fs->dir);
    delete fs;
}

// ---- drives ---------------------------------------------------------------

// There are no drive letters: the one root is a fixed drive, and any other
// existing directory counts as the root of one.
int DriveType(const char* root) {
    return IsDirNative(Native(root)) ? DRIVE_FIXED_ : DRIVE_NOROOT_;
}

CStringList LogicalDrives() {
    CStringList list;
    list.Add("\\");
    return list;
}

bool VolumeLabel(const char*, CString*) {
    SetError(ENOSYS);
    return false;
}

double FreeSpace(const char* path) {
    // The volume of the nearest existing directory along the path.
    std::string p = Native(path);
    if (p.empty()) p = ".";
    for (;;) {
        struct statvfs vs;
        if (::statvfs(p.c_str(), &vs) == 0)
            return static_cast<double>(vs.f_bavail) * static_cast<double>(vs.f_frsize);
        if (errno != ENOENT && errno != ENOTDIR) break;
        while (!p.empty() && p.back() == '/') p.pop_back();
        const size_t slash = p.rfind('/');
        if (slash == std::string::npos) {
            p = ".";
        } else if (slash == 0) {
            p = "/";
        } else {
            p.resize(slash);
        }
    }
    SaveErrno();
    return -1;
}

int GetFileTimeLocal(const char* path, int64_t* t) {
    struct stat st;
    if (!StatPath(Native(path), &st)) return ZRK_FAIL;
    struct tm tm;
    const time_t secs = st.st_mtim.tv_sec;
    if (!::localtime_r(&secs, &tm)) {
        SaveErrno();
        return ZRK_FAIL;
    }
    *t = TicksFromTm(tm, st.st_mtim.tv_nsec);
    return 0;
}

int SetFileTimeLocal(const char* path, int64_t t) {
    // Local wall-clock ticks to a point in time.
    const int64_t rel = t - kEpochDiff;
    const int64_t secsWall = FloorDiv(rel, kTicksPerSecond);
    const long nsec = static_cast<long>((rel - secsWall * kTicksPerSecond) * 100);
    const int64_t days = FloorDiv(secsWall, 86400);
    const int64_t rest = secsWall - days * 86400;
    struct tm tm {};
    CivilFromDays(days, &tm.tm_year, &tm.tm_mon, &tm.tm_mday);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_hour = static_cast<int>(rest / 3600);
    tm.tm_min = static_cast<int>(rest / 60 % 60);
    tm.tm_sec = static_cast<int>(rest % 60);
    tm.tm_isdst = -1;
    errno = 0;
    const time_t when = ::mktime(&tm);
    if (when == static_cast<time_t>(-1) && errno != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = when;
    times[1].tv_nsec = nsec;
    const std::string p = Native(path);
    if (IsDirNative(p)) {
        if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0) {
            SaveErrno();
            return ZRK_FAIL;
        }
        return 0;
    }
    // The file is opened for writing, which a read-only file refuses.
    int r = 0;
    const Handle h = OpenFile(path, OPEN_WRITE, &r);
    if (h == kBadHandle) return ZRK_FAIL;
    int result = 0;
    if (::futimens(static_cast<int>(h), times) != 0) {
        SaveErrno();
        result = ZRK_FAIL;
    }
    CloseFile(h);
    return result;
}

int SystemTempName(const char* dir, const char* prefix, CString* out) {
    // As GetTempFileName: the directory, up to three characters of the
    // prefix, four hexadecimal digits and ".tmp"; the file is created.
    std::string d = Native(dir);
    if (d.empty()) d = ".";
    if (d.back() != '/') d += '/';
    std::string pre = prefix ? prefix : "";
    if (pre.size() > 3) pre.resize(3);
    unsigned start = static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(TickCount());
    for (unsigned i = 0; i < 0x10000; ++i) {
        const unsigned n = ((start + i) & 0xFFFF) == 0 ? 1 : ((start + i) & 0xFFFF);
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp", n);
        const std::string full = d + pre + name;
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *out = FullPath(Framework(full).c_str());
            return 0;
        }
        if (errno != EEXIST) break;
    }
    SaveErrno();
    return ZRK_FAIL;
}

bool InUse(const char* path) {
    int r = 0;
    const Handle h = OpenFile(path, OPEN_WRITE | OPEN_CREATE | OPEN_APPEND | OPEN_EXCLUSIVE, &r);
    if (h == kBadHandle) return true;
    CloseFile(h);
    return false;
}

// ---- environment and system ------------------------------------------------

bool GetEnv(const char* name, CString* value) {
    const char* v = std::getenv(name);
    if (!v) return false;
    *value = v;
    return true;
}

int SetEnv(const char* name, const char* value) {
    const int r = value ? ::setenv(name, value, 1) : ::unsetenv(name);
    if (r != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    return 0;
}

CString ModulePath() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) {
        SaveErrno();
        return CString("");
    }
    return Framework(std::string(buf.data(), static_cast<size_t>(n)));
}

// There is no Windows directory; the user's home directory takes its place.
CString WindowsDir() {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) {
        home = h;
    } else if (struct passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    } else {
        home = "/tmp";
    }
    if (home.back() != '/') home += '/';
    return Framework(home);
}

int QueryWindowsDir(CString* out) {
    *out = WindowsDir();
    return 0;
}

int QuerySystemDir(CString* out) {
    *out = WindowsDir() + "system\\";
    return 0;
}

CString UserName() {
    if (struct passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return CString(pw->pw_name);
    if (const char* u = std::getenv("USER")) return CString(u);
    return CString("");
}

uint32_t Version() { return 0; }

bool IsWindows() { return false; }

uint32_t TickCount() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

// ---- time and locale ------------------------------------------------------

SystemTime Now(bool universal) {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tm {};
    if (universal)
        ::gmtime_r(&ts.tv_sec, &tm);
    else
        ::localtime_r(&ts.tv_sec, &tm);
    return SystemTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                      static_cast<int>(ts.tv_nsec / 1000000)};
}

bool LocaleInfo(int, CString*) { return false; }

// ---- private-profile (ini) files ------------------------------------------
//
// The file is read as lines. A section starts at a line "[name]" (leading
// blanks allowed) and runs to the next such line; inside it an entry is a
// line "key=value". Names compare without regard to case and without their
// surrounding blanks; the first section and the first key of a name win.
// Writing keeps every other line as it was and writes lines ended by CR LF.

namespace {

struct IniFile {
    std::vector<std::string> lines;
};

std::string ProfilePath(const char* file) {
    std::string p = file ? file : "";
    // A bare name lives in the Windows directory, as with the system's
    // functions.
    if (p.find_first_of("\\/") == std::string::npos) p = Native(WindowsDir().c_str()) + p;
    return Native(p.c_str());
}

bool LoadIni(const std::string& path, IniFile* ini) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        SaveErrno();
        return false;
    }
    std::string data;
    char buf[8192];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    std::fclose(f);
    size_t i = 0;
    while (i < data.size()) {
        size_t j = data.find('\n', i);
        const size_t end = j == std::string::npos ? data.size() : j;
        std::string line = data.substr(i, end - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ini->lines.push_back(line);
        if (j == std::string::npos) break;
        i = j + 1;
    }
    return true;
}

bool SaveIni(const std::string& path, const IniFile& ini) {
    std::string data;
    for (const std::string& line : ini.lines) data += line + "\r\n";
    // Written to a neighbour first and then moved over the file, so that a
    // failed write never leaves half a file behind.
    const std::string tmp = path + ".~zrk" + std::to_string(::getpid());
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) {
        SaveErrno();
        return false;
    }
    const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    if (!ok) SaveErrno();
    if (std::fclose(f) != 0 || !ok) {
        if (ok) SaveErrno();
        ::unlink(tmp.c_str());
        return false;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) ::chmod(tmp.c_str(), st.st_mode & 07777);
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        SaveErrno();
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The section name of a header line, or false when the line is none.
bool SectionHeader(const std::string& line, std::string* name) {
    const std::string t = TrimBlanks(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    *name = TrimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// The key and value of an entry line, or false for a line without "=".
bool EntryLine(const std::string& line, std::string* key, std::string* value) {
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = TrimBlanks(line.substr(0, eq));
    if (value) *value = TrimBlanks(line.substr(eq + 1));
    return true;
}

// Index of the header line of SECTION, or -1.
int FindSection(const IniFile& ini, const char* section) {
    std::string name;
    for (size_t i = 0; i < ini.lines.size(); ++i)
        if (SectionHeader(ini.lines[i], &name) && EqualNoCase(name, section)) return static_cast<int>(i);
    return -1;
}

// End (exclusive) of the section whose header is at HEADER.
int SectionEnd(const IniFile& ini, int header) {
    std::string name;
    size_t i = static_cast<size_t>(header) + 1;
    while (i < ini.lines.size() && !SectionHeader(ini.lines[i], &name)) ++i;
    return static_cast<int>(i);
}

int FindKey(const IniFile& ini, int header, int end, const char* key) {
    std::string k;
    for (int i = header + 1; i < end; ++i)
        if (EntryLine(ini.lines[static_cast<size_t>(i)], &k, nullptr) && EqualNoCase(k, key)) return i;
    return -1;
}

// Copies a zero-separated list into BUF with the system's truncation rule:
// a list that does not fit is cut, ends with two zero bytes and yields
// SIZE - 2.
int CopyList(const std::vector<std::string>& items, char* buf, int size) {
    if (size <= 0) return 0;
    if (size == 1) {
        buf[0] = 0;
        return 0;
    }
    int pos = 0;
    for (const std::string& item : items) {
        const int len = static_cast<int>(item.size());
        if (pos + len + 1 > size - 1) {
            // Cut: as much of this item as fits, then the two zero bytes.
            const int room = size - 2 - pos;
            if (room > 0) std::memcpy(buf + pos, item.data(), static_cast<size_t>(room));
            buf[size - 2] = 0;
            buf[size - 1] = 0;
            return size - 2;
        }
        std::memcpy(buf + pos, item.data(), static_cast<size_t>(len));
        pos += len;
        buf[pos++] = 0;
    }
    buf[pos] = 0;
    return pos;
}

// Copies one value with the truncation rule of a single value: SIZE - 1
// characters and the terminator when it does not fit.
int CopyValue(const std::string& value, char* buf, int size) {
    if (size <= 0) return 0;
    const int len = static_cast<int>(value.size());
    const int n = len < size - 1 ? len : size - 1;
    std::memcpy(buf, value.data(), static_cast<size_t>(n));
    buf[n] = 0;
    return n;
}

}  // namespace

int ProfileRead(const char* section, const char* key, const char* def, char* buf, int size, const char* file) {
    if (!buf || size <= 0) return 0;
    IniFile ini;
    const bool loaded = LoadIni(ProfilePath(file), &ini);
    std::string name;
    if (!section) {
        std::vector<std::string> names;
        if (loaded)
            for (const std::string& line : ini.lines)
                if (SectionHeader(line, &name)) names.push_back(name);
        return CopyList(names, buf, size);
    }
    const int header = loaded ? FindSection(ini, section) : -1;
    if (!key) {
        std::vector<std::string> keys;
        if (header >= 0) {
            const int end = SectionEnd(ini, header);
            std::string k;
            for (int i = header + 1; i < end; ++i)
                // Comment entries (";...") can be read but are not listed.
                if (EntryLine(ini.lines[static_cast<size_t>(i)], &k, nullptr) && !k.empty() && k[0] != ';')
                    keys.push_back(k);
        }
        return CopyList(keys, buf, size);
    }
    if (header >= 0) {
        const int line = FindKey(ini, header, SectionEnd(ini, header), key);
        if (line >= 0) {
            std::string k, value;
            EntryLine(ini.lines[static_cast<size_t>(line)], &k, &value);
            // A value in matching quotes is handed out without them.
            if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
                value = value.substr(1, value.size() - 2);
            return CopyValue(value, buf, size);
        }
    }
    // The default loses its trailing blanks.
    std::string d = def ? def : "";
    while (!d.empty() && (d.back() == ' ' || d.back() == '\t')) d.pop_back();
    return CopyValue(d, buf, size);
}

int ProfileWrite(const char* section, const char* key, const char* value, const char* file) {
    if (!section) {
        SetError(EINVAL);
        return ZRK_FAIL;
    }
    const std::string path = ProfilePath(file);
    IniFile ini;
    if (!LoadIni(path, &ini)) {
        if (t_lastError != ENOENT) return ZRK_FAIL;
        if (!key || !value) return 0;  // nothing to remove from a missing file
    }
    // A file whose read-only attribute is set is not written.
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && ReadOnlyFile(st)) {
        SetError(EACCES);
        return ZRK_FAIL;
    }
    int header = FindSection(ini, section);
    if (!key) {
        if (header < 0) return 0;
        const int end = SectionEnd(ini, header);
        ini.lines.erase(ini.lines.begin() + header, ini.lines.begin() + end);
        return SaveIni(path, ini) ? 0 : ZRK_FAIL;
    }
    if (header < 0) {
        if (!value) return 0;
        if (!ini.lines.empty() && !TrimBlanks(ini.lines.back()).empty()) ini.lines.emplace_back();
        ini.lines.push_back(std::string("[") + section + "]");
        ini.lines.push_back(std::string(key) + "=" + value);
        return SaveIni(path, ini) ? 0 : ZRK_FAIL;
    }
    const int end = SectionEnd(ini, header);
    const int line = FindKey(ini, header, end, key);
    if (!value) {
        if (line < 0) return 0;
        ini.lines.erase(ini.lines.begin() + line);
        return SaveIni(path, ini) ? 0 : ZRK_FAIL;
    }
    if (line >= 0) {
        std::string k;
        EntryLine(ini.lines[static_cast<size_t>(line)], &k, nullptr);
        ini.lines[static_cast<size_t>(line)] = k + "=" + value;
    } else {
        // A new key goes after the section's last non-blank line.
        int at = end;
        while (at > header + 1 && TrimBlanks(ini.lines[static_cast<size_t>(at - 1)]).empty()) --at;
        ini.lines.insert(ini.lines.begin() + at, std::string(key) + "=" + value);
    }
    return SaveIni(path, ini) ? 0 : ZRK_FAIL;
}

// ---- processes --------------------------------------------------------------

namespace {

// Splits a command line into words: blanks separate, and double or single
// quotes group (the quotes themselves are dropped). The program word is a
// framework path, so its backslashes become "/"; the arguments stay as given.
std::vector<std::string> SplitCommandLine(const char* commandLine) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (const char* p = commandLine ? commandLine : ""; *p; ++p) {
        const char c = *p;
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    if (!words.empty())
        for (char& c : words[0])
            if (c == '\\') c = '/';
    return words;
}

}  // namespace

int StartProcess(const char* commandLine, const char* dir, bool wait, unsigned long* exitCode) {
    std::string d = dir && *dir ? Native(dir) : std::string();
    if (!d.empty() && !IsDirNative(d)) {
        SetError(ENOENT);
        return ZRK_FAIL;
    }
    std::vector<std::string> words = SplitCommandLine(commandLine);
    if (words.empty()) {
        SetError(ENOENT);
        return ZRK_FAIL;
    }
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    // A close-on-exec pipe tells the parent whether the program started: it
    // reads nothing when exec succeeded, the child's errno when it failed.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        SaveErrno();
        return ZRK_FAIL;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        SaveErrno();
        ::close(report[0]);
        ::close(report[1]);
        return ZRK_FAIL;
    }
    if (pid == 0) {
        ::close(report[0]);
        // Without waiting, a second child runs the program and the first ends
        // at once, so that no zombie is left behind.
        if (!wait) {
            const pid_t grandchild = ::fork();
            if (grandchild < 0) {
                int err = errno;
                (void)!::write(report[1], &err, sizeof err);
                ::_exit(127);
            }
            if (grandchild != 0) ::_exit(0);
        }
        if (!d.empty() && ::chdir(d.c_str()) != 0) {
            int err = errno;
            (void)!::write(report[1], &err, sizeof err);
            ::_exit(127);
        }
        ::execvp(argv[0], argv.data());
        int err = errno;
        (void)!::write(report[1], &err, sizeof err);
        ::_exit(127);
    }
    ::close(report[1]);
    int childErr = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &childErr, sizeof childErr);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            SaveErrno();
            return ZRK_FAIL;
        }
    }
    if (got == static_cast<ssize_t>(sizeof childErr)) {
        SetError(childErr);
        return ZRK_FAIL;
    }
    if (wait && exitCode)
        *exitCode = WIFEXITED(status) ? static_cast<unsigned long>(WEXITSTATUS(status))
                                      : static_cast<unsigned long>(128 + WTERMSIG(status));
    return 0;
}

int ShellOpen(const char* file, const char* params, const char* dir) {
    // The desktop's opener stands in for the shell's "open" verb.
    if (::access("/usr/bin/xdg-open", X_OK) != 0) {
        SetError(ENOENT);
        return ZRK_FAIL;
    }
    // The document is passed as one quoted word.
    std::string cmd = "/usr/bin/xdg-open \"";
    for (const char* p = file ? file : ""; *p; ++p)
        if (*p != '"') cmd += *p;
    cmd += "\"";
    (void)params;  // xdg-open takes no parameters for the document
    return StartProcess(cmd.c_str(), dir, false, nullptr);
}

#ifdef ZRK_FAULTS
int PlatformError(FaultError error, FaultOp) {
    switch (error) {
    case FaultError::DiskFull:
        return ENOSPC;
    case FaultError::AccessDenied:
        return EACCES;
    case FaultError::NoMemory:
        return ENOMEM;
    case FaultError::IoError:
        break;
    }
    return EIO;
}
#endif

}  // namespace zrkos

// ---- installation session ---------------------------------------------------
namespace zrkos {

bool IsAdministrator() { return ::geteuid() == 0; }

}  // namespace zrkos
