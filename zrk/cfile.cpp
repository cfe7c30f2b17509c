// Files, paths and the search path.
#include "zrk/cfile.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "zrk/ctimeex.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

bool IsSep(char c) { return c == '\\' || c == '/'; }

// Index of the last separator, or -1.
int LastSep(const char* p) {
    int last = -1;
    for (int i = 0; p[i]; ++i)
        if (IsSep(p[i])) last = i;
    return last;
}

bool HasDrive(const char* p) { return std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':'; }

const char* Safe(const char* s) { return s ? s : ""; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Reports MSGID with PATH, the errno of the failed system call and its text.
int ReportErrno(int code, ZrkMsg<'s', 'd', 's'> msgId, const char* path) {
    const int e = zrkos::LastErrno();
    return ZrkErrorId(code, msgId, Safe(path), e, zrkos::ErrnoText(e).c_str());
}

// 1601-01-01, the origin of the system's file times, as a date-time value.
constexpr int64_t kMicros1601 = CTimeEx::kJdnFileTimeEpoch * CTimeEx::kUsPerDay;

// The open modes: system flags and the file's mode flags (1 read, 2 write,
// 4 create/truncate).
struct ModeEntry {
    const char* mode;
    int flags;
    int modeFlags;
    bool textFile;  // allowed for the text file
};
constexpr ModeEntry kModes[] = {
    {"r", zrkos::OPEN_READ, 1, true},
    {"w", zrkos::OPEN_WRITE | zrkos::OPEN_CREATE | zrkos::OPEN_TRUNCATE, 2 | 4, true},
    {"a", zrkos::OPEN_WRITE | zrkos::OPEN_CREATE | zrkos::OPEN_APPEND, 2, true},
    {"r+", zrkos::OPEN_READ | zrkos::OPEN_WRITE, 1 | 2, true},
    {"w+", zrkos::OPEN_READ | zrkos::OPEN_WRITE | zrkos::OPEN_CREATE | zrkos::OPEN_TRUNCATE, 1 | 2 | 4, true},
    {"a+", zrkos::OPEN_READ | zrkos::OPEN_WRITE | zrkos::OPEN_CREATE | zrkos::OPEN_APPEND, 1 | 2, false},
};

// TEXT with every LF that does not follow a CR turned into CR LF; PREV is
// the byte written just before TEXT.
std::string CrLf(const char* text, char prev) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n' && prev != '\r') out += '\r';
        out += *p;
        prev = *p;
    }
    return out;
}

}  // namespace

// ---- path texts -------------------------------------------------------------

CString CFile::DirPart(const char* path) {
    const char* p = Safe(path);
    const int n = static_cast<int>(std::strlen(p));
    if (n > 0 && IsSep(p[n - 1])) return CString(p);
    const int last = LastSep(p);
    return last < 0 ? CString() : CString(p, last + 1);
}

CString CFile::DirNoSlash(const char* path) {
    CString d = DirPart(path);
    return d.IsEmpty() ? d : CString(d.c_str(), d.Length() - 1);
}

CString CFile::FilePart(const char* path) {
    const char* p = Safe(path);
    const int last = LastSep(p);
    return last < 0 ? CString() : CString(p + last + 1);
}

CString CFile::Extension(const char* path) {
    const char* p = Safe(path);
    const char* dot = std::strrchr(p, '.');
    if (!dot || dot - p < LastSep(p)) return CString();
    return CString(dot + 1);
}

CString CFile::BaseName(const char* path) {
    const CString file = FilePart(path);
    const int dot = file.ReverseFind('.');
    return dot < 0 ? file : CString(file.c_str(), dot);
}

CString CFile::MakePath(const char* dir, const char* name, const char* ext) {
    const char* n = Safe(name);
    CString s;
    if (!(HasDrive(n) && IsSep(n[2]))) {
        s = Safe(dir);
        if (!s.IsEmpty() && !IsSep(s[s.Length() - 1])) s += '\\';
    }
    s += n;
    if (ext && *ext) {
        s += '.';
        s += ext;
    }
    return Normalise(s);
}

bool CFile::IsAbsolute(const char* path) {
    const char* p = Safe(path);
    if (HasDrive(p) && IsSep(p[2])) return true;
    if (IsSep(p[0]) && IsSep(p[1])) return true;
    return !zrkos::IsWindows() && IsSep(p[0]);
}

CString CFile::Join(const char* dir, const char* name) {
    if (IsAbsolute(name)) return ConvertSlashes(name);
    CString s = Safe(dir);
    if (!s.IsEmpty() && !IsSep(s[s.Length() - 1])) s += '\\';
    s += Safe(name);
    return Normalise(s);
}

CString CFile::ConvertSlashes(const char* path, char c) {
    std::string s = Safe(path);
    for (char& ch : s)
        if (ch == '/') ch = c;
    return CString(s.c_str(), static_cast<int>(s.size()));
}

CString CFile::Normalise(const char* path) { return zrkos::FullPath(Safe(path)); }

namespace {

// Splits a path into its root (a drive "C:", a network root "\\server\share",
// or "\") and its components; false when the path has no root.
bool SplitRooted(const char* path, std::string* root, std::vector<std::string>* parts, bool* trailing) {
    const std::string p = Safe(path);
    size_t i = 0;
    if (HasDrive(p.c_str())) {
        *root = p.substr(0, 2);
        i = 2;
    } else if (p.size() >= 2 && IsSep(p[0]) && IsSep(p[1])) {
        // Server and share belong to the root.
        i = 2;
        for (int k = 0; k < 2 && i <= p.size(); ++k) {
            while (i < p.size() && !IsSep(p[i])) ++i;
            if (k == 0 && i < p.size()) ++i;
        }
        *root = p.substr(0, i);
    } else if (!p.empty() && IsSep(p[0])) {
        *root = "\\";
    } else {
        return false;
    }
    for (char& c : *root)
        if (c == '/') c = '\\';
    *trailing = !p.empty() && IsSep(p.back());
    while (i < p.size()) {
        size_t j = i;
        while (j < p.size() && !IsSep(p[j])) ++j;
        if (j > i) parts->push_back(p.substr(i, j - i));
        i = j + 1;
    }
    return true;
}

}  // namespace

CString CFile::RelativePath(const char* path, const char* base) {
    std::string pathRoot, baseRoot;
    std::vector<std::string> p, b;
    bool pathTrailing = false, baseTrailing = false;
    if (!SplitRooted(path, &pathRoot, &p, &pathTrailing) || !SplitRooted(base, &baseRoot, &b, &baseTrailing) ||
        !EqualNoCase(pathRoot, baseRoot))
        return CString(Safe(path));
    // Only the path's directories can be shared with the base.
    const size_t dirs = pathTrailing ? p.size() : (p.empty() ? 0 : p.size() - 1);
    size_t k = 0;
    while (k < dirs && k < b.size() && EqualNoCase(p[k], b[k])) ++k;
    std::string out;
    for (size_t i = k; i < b.size(); ++i) out += "..\\";
    for (size_t i = k; i < p.size(); ++i) {
        out += p[i];
        if (i + 1 < p.size() || pathTrailing) out += '\\';
    }
    return CString(out.c_str(), static_cast<int>(out.size()));
}

// ---- tests ------------------------------------------------------------------

bool CFile::Exists(const char* path) { return zrkos::Exists(Safe(path)); }

bool CFile::Writable(const char* path) { return zrkos::Writable(Safe(path)); }

bool CFile::InUse(const char* path) {
    const char* p = Safe(path);
    const size_t n = std::strlen(p);
    if (n > 0 && IsSep(p[n - 1])) return false;
    return zrkos::InUse(p);
}

bool CFile::IsDirectory(const char* path) {
    const char* p = Safe(path);
    if (!*p || std::strpbrk(p, "*?")) return false;
    const size_t n = std::strlen(p);
    // A drive root has no entry of its own: ask for the drive's type.
    bool root = n == 3 && HasDrive(p) && IsSep(p[2]);
    if (!zrkos::IsWindows()) root = root || std::strspn(p, "\\/") == n;
    if (root) {
        const int type = zrkos::DriveType(p);
        return type != zrkos::DRIVE_UNKNOWN_ && type != zrkos::DRIVE_NOROOT_;
    }
    const std::string s(p, IsSep(p[n - 1]) ? n - 1 : n);
    zrkos::FindData fd;
    zrkos::FindHandle h = zrkos::FindFirst(s.c_str(), &fd);
    if (!h) return false;
    zrkos::FindClose(h);
    return fd.isDir;
}

namespace {

// The entry the system finds for a path without wildcards.
bool FindEntry(const char* path, zrkos::FindData* fd) {
    const char* p = Safe(path);
    if (!*p || std::strpbrk(p, "*?")) return false;
    zrkos::FindHandle h = zrkos::FindFirst(p, fd);
    if (!h) return false;
    zrkos::FindClose(h);
    return true;
}

}  // namespace

bool CFile::IsFile(const char* path) {
    zrkos::FindData fd;
    return FindEntry(path, &fd) && !fd.isDir;
}

int64_t CFile::FileSize64(const char* path) {
    zrkos::FindData fd;
    if (!FindEntry(path, &fd)) return -1;
    return static_cast<int64_t>(fd.size);
}

long CFile::FileSize(const char* path) {
    const int64_t size = FileSize64(path);
    return size > LONG_MAX ? LONG_MAX : static_cast<long>(size);
}

double CFile::FreeSpace(const char* path) { return zrkos::FreeSpace(Safe(path)); }

int CFile::LastWriteTime(const char* path, CTimeEx* when) {
    int64_t ticks = 0;
    if (zrkos::GetFileTimeLocal(Safe(path), &ticks) != 0) return ZRK_FAIL;
    // 100 ns units to whole milliseconds, then to microseconds of the value type.
    int64_t ms = ticks / 10000;
    if (ticks < 0 && ms * 10000 != ticks) --ms;
    when->SetValue(kMicros1601 + ms * 1000);
    return 0;
}

int CFile::SetLastWriteTime(const char* path, const CTimeEx& when) {
    std::string p = Safe(path);
    if (!p.empty() && IsSep(p.back())) {
        // Only Windows NT can set the time of a directory; elsewhere this is
        // quietly left alone.
        if (zrkos::IsWindows() && (zrkos::Version() & 0x80000000u) != 0) return 0;
        if (p.size() > 1 && !(p.size() == 3 && HasDrive(p.c_str()))) p.pop_back();
    }
    const int64_t ticks = (when.Value() - kMicros1601) * 10;
    return zrkos::SetFileTimeLocal(p.c_str(), ticks) == 0 ? 0 : ZRK_FAIL;
}

// ---- operations -----------------------------------------------------------

int CFile::ChangeDir(const char* path) {
    if (zrkos::ChangeDir(Safe(path)) != 0) return ReportErrno(ZRK_FAIL, MSG_DIR_CHANGE, path);
    return 0;
}

int CFile::MakeDir(const char* path) {
    if (zrkos::MakeDir(Safe(path)) != 0) return ReportErrno(ZRK_FAIL, MSG_DIR_CREATE_ERROR, path);
    return 0;
}

int CFile::MakeAllDirs(const char* path) {
    const CString part = DirPart(path);
    if (part.IsEmpty()) return 0;
    const std::string d = Normalise(part).c_str();
    // Start behind the root: the drive, the server and share of a network
    // path, or the leading separator.
    size_t i = 0;
    if (d.size() >= 2 && IsSep(d[0]) && IsSep(d[1])) {
        i = 2;
        for (int k = 0; k < 2; ++k) {
            while (i < d.size() && !IsSep(d[i])) ++i;
            if (i < d.size()) ++i;
        }
    } else if (HasDrive(d.c_str())) {
        i = d.size() > 2 && IsSep(d[2]) ? 3 : 2;
    } else if (!d.empty() && IsSep(d[0])) {
        i = 1;
    }
    while (i < d.size()) {
        size_t j = i;
        while (j < d.size() && !IsSep(d[j])) ++j;
        if (j > i) {
            const std::string dir = d.substr(0, j);
            if (!IsDirectory(dir.c_str())) {
                if (zrkos::Exists(dir.c_str()) || (zrkos::MakeDir(dir.c_str()) != 0 && !IsDirectory(dir.c_str())))
                    return ZrkErrorId(ZRK_FAIL, MSG_DIR_CREATE, dir.c_str());
            }
        }
        i = j + 1;
    }
    return 0;
}

int CFile::RemoveDir(const char* path) {
    const CString dir = DirNoSlash(path);
    if (zrkos::RemoveDir(dir) != 0) return ReportErrno(ZRK_FAIL, MSG_DIR_REMOVE, dir);
    return 0;
}

int CFile::Rename(const char* from, const char* to) {
    if (zrkos::RenameFile(Safe(from), Safe(to)) != 0) {
        const int e = zrkos::LastErrno();
        return ZrkErrorId(ZRK_FAIL, MSG_RENAME_FAILED, Safe(from), Safe(to), e, zrkos::ErrnoText(e).c_str());
    }
    return 0;
}

int CFile::Copy(const char* source, const char* target) {
    if (!IsFile(source)) return ZRK_FAIL;
    CString t = Safe(target);
    if (!t.IsEmpty() && IsSep(t[t.Length() - 1])) t += FilePart(source);
    if (zrkos::CopyFileTo(Safe(source), t) != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_COPY_FAILED, Safe(source), t.c_str(), zrkos::LastSystemError());
    return 0;
}

int CFile::RemoveFile(const char* path) { return zrkos::Remove(Safe(path)) == 0 ? 0 : ZRK_FAIL; }

int CFile::SetReadOnly(const char* path, bool readOnly) {
    return zrkos::SetReadOnly(Safe(path), readOnly) == 0 ? 0 : ZRK_FAIL;
}

CString CFile::TempName(const char* dir, const char* prefix) {
    const char* pre = prefix && *prefix ? prefix : "tmp";
    CString d;
    if (dir && *dir && IsDirectory(dir)) {
        d = dir;
    } else {
        // The usual places for temporary files; POSIX systems add their own.
        const char* vars[] = {"TMP", "TEMP", "TMPDIR"};
        const int count = zrkos::IsWindows() ? 2 : 3;
        CString value;
        for (int i = 0; i < count && d.IsEmpty(); ++i)
            if (zrkos::GetEnv(vars[i], &value) && !value.IsEmpty() && IsDirectory(value)) d = value;
        if (d.IsEmpty() && !zrkos::IsWindows() && IsDirectory("\\tmp")) d = "\\tmp";
    }
    if (d.IsEmpty()) {
        CString name;
        if (zrkos::SystemTempName(".", pre, &name) == 0) return name;
        d = zrkos::CurrentDir();
    }
    for (int n = 0; n < 9999; ++n) {
        const CString candidate = Join(d, CString::Printf("%s%04d.tmp", pre, n));
        if (!Exists(candidate)) return candidate;
    }
    return Join(d, "tmp");
}

int CFile::SearchOnPath(const char* name, CString* found, bool report) {
    const char* n = Safe(name);
    if (*n) {
        const CString full = Normalise(n);
        if (Exists(full)) {
            *found = full;
            return 0;
        }
        const CString file = FilePart(full);
        CString path;
        if (!file.IsEmpty() && zrkos::GetEnv("PATH", &path)) {
            CStringList dirs;
            dirs.AddSplit(path, zrkos::IsWindows() ? ';' : ':', true);
            for (int i = 0; i < dirs.Count(); ++i) {
                if (dirs[i].IsEmpty()) continue;
                const CString candidate = Join(dirs[i], file);
                if (IsFile(candidate)) {
                    *found = candidate;
                    return 0;
                }
            }
        }
    }
    if (report) return ZrkErrorId(ZRK_FAIL, MSG_NOT_IN_PATH, n);
    return ZRK_FAIL;
}

CStringList CFile::Drives() {
    CStringList out;
    const CStringList roots = zrkos::LogicalDrives();
    for (int i = 0; i < roots.Count(); ++i) {
        CString text = roots[i];
        const int type = zrkos::DriveType(roots[i]);
        CString label;
        if (type != zrkos::DRIVE_REMOVABLE_ && type != zrkos::DRIVE_REMOTE_ && zrkos::VolumeLabel(roots[i], &label)) {
            text += " [";
            text += label;
            text += "]";
        }
        out.Add(text);
    }
    return out;
}

// ---- the binary file ------------------------------------------------------

CFile::~CFile() { Close(); }

int CFile::OpenMode(const char* path, const char* mode, bool report, int extra, bool textFile, int* modeFlags) {
    Close();
    const char* m = mode && *mode ? mode : "r";
    const ModeEntry* entry = nullptr;
    for (const ModeEntry& e : kModes)
        if (std::strcmp(e.mode, m) == 0 && (e.textFile || !textFile)) entry = &e;
    if (!entry) return ZRK_INTERNAL_ERROR();
    m_path = Normalise(path);
    m_lastByte = 0;
    int result = 0;
    m_handle = zrkos::Open(m_path, entry->flags | extra, &result);
    if (m_handle == zrkos::kBadHandle) {
        if (result == 0) result = ZRK_FAIL;
        if (report) {
            const int e = zrkos::LastErrno();
            const CString text = zrkos::ErrnoText(e);
            if (std::strcmp(m, "r") == 0)
                ZrkErrorId(result, MSG_OPEN_READ, m_path.c_str(), e, text.c_str());
            else if (std::strcmp(m, "w") == 0)
                ZrkErrorId(result, MSG_OPEN_WRITE, m_path.c_str(), e, text.c_str());
            else
                ZrkErrorId(result, MSG_OPEN_MODE, m_path.c_str(), m, e, text.c_str());
        }
        return result;
    }
    if (modeFlags) *modeFlags = entry->modeFlags;
    return 0;
}

int CFile::Open(const char* path, const char* mode, bool report, int extra) {
    return OpenMode(path, mode, report, extra, false, nullptr);
}

int CFile::Read(void* buf, long n, long* got) {
    *got = 0;
    if (n <= 0) return 0;
    const long r = zrkos::Read(m_handle, buf, n);
    if (r < 0) return ReportErrno(ZRK_FAIL, MSG_READ_FAILED, m_path);
    *got = r;
    return 0;
}

int CFile::ReadExact(void* buf, long n, bool report) {
    char* p = static_cast<char*>(buf);
    long done = 0;
    while (done < n) {
        long got = 0;
        ZRK_TRY(Read(p + done, n - done, &got));
        if (got == 0) break;
        done += got;
    }
    if (done < n) return report ? ZrkErrorId(ZRK_FAIL, MSG_FILE_TOO_SHORT, n, m_path.c_str()) : ZRK_FAIL;
    return 0;
}

int CFile::Write(const void* data, long n) {
    if (n <= 0) return 0;
    if (zrkos::Write(m_handle, data, n) != n) return ReportErrno(ZRK_FAIL, MSG_WRITE_FAILED, m_path);
    m_lastByte = static_cast<const char*>(data)[n - 1];
    return 0;
}

int CFile::WriteText(const char* text) {
    const std::string out = CrLf(Safe(text), m_lastByte);
    return Write(out.data(), static_cast<long>(out.size()));
}

int CFile::WriteFormat(const char* fmt, ...) {
    CString text;
    va_list args;
    va_start(args, fmt);
    int r = text.FormatV(fmt, args);
    va_end(args);
    ZRK_KEEP(r, WriteText(text));
    return r;
}

int CFile::Seek(int64_t offset, int whence, int64_t* pos) {
    const int64_t at = zrkos::Seek(m_handle, offset, whence);
    if (at < 0) return ReportErrno(ZRK_FAIL, MSG_READ_FAILED, m_path);
    if (pos) *pos = at;
    return 0;
}

int CFile::Close() {
    if (m_handle == zrkos::kBadHandle) return 0;
    const int r = zrkos::Close(m_handle);
    m_handle = zrkos::kBadHandle;
    return r == 0 ? 0 : ZRK_FAIL;
}

int CFile::Rename(const char* newName) {
    ZRK_TRY(Rename(m_path, newName));
    m_path = Normalise(newName);
    return 0;
}

int CFile::CopyTo(const char* target) { return Copy(m_path, target); }

// ---- the text file --------------------------------------------------------

CTextFile::~CTextFile() { Close(true); }

int CTextFile::Open(const char* path, const char* mode, bool report, int extra) {
    if (IsOpen()) Close(report);
    m_buffer.reset();
    m_filled = m_pos = 0;
    m_origin = 0;
    m_lines = 0;
    m_lastByte = 0;
    m_mode = 0;
    ZRK_TRY(m_file.OpenMode(path, mode, report, extra, true, &m_mode));
    // Only a file used in one direction gets a buffer.
    if ((m_mode & 3) == 1 || (m_mode & 3) == 2) {
        m_buffer.reset(static_cast<char*>(ZrkAlloc(static_cast<size_t>(m_bufSize))));
        if (!m_buffer) {
            m_file.Close();
            return ZRK_NOMEM;
        }
    }
    const int64_t at = zrkos::Seek(m_file.m_handle, 0, 1);
    m_origin = at < 0 ? 0 : at;
    return 0;
}

int CTextFile::Refill(long* got) {
    *got = 0;
    m_origin += m_filled;
    m_filled = m_pos = 0;
    const long r = zrkos::Read(m_file.m_handle, m_buffer.get(), m_bufSize);
    if (r < 0) return ReportErrno(ZRK_FAIL, MSG_READ_FAILED, Path());
    m_filled = r;
    *got = r;
    return 0;
}

int CTextFile::ReadLine(CString& line, bool report) {
    if (!m_buffer || (m_mode & 1) == 0) return ZRK_NOBUFFER;
    std::string acc;
    bool any = false, lf = false;
    while (!lf) {
        if (m_pos >= m_filled) {
            long got = 0;
            ZRK_TRY(Refill(&got));
            if (got == 0) break;
        }
        const char* start = m_buffer.get() + m_pos;
        const long avail = m_filled - m_pos;
        const char* nl = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(avail)));
        const long take = nl ? static_cast<long>(nl - start) : avail;
        acc.append(start, static_cast<size_t>(take));
        m_pos += take + (nl ? 1 : 0);
        any = true;
        lf = nl != nullptr;
    }
    if (!any) return report ? ZrkErrorId(ZRK_EOF, MSG_UNEXPECTED_EOF, Path().c_str()) : ZRK_EOF;
    if (lf && !acc.empty() && acc.back() == '\r') acc.pop_back();
    ++m_lines;
    line = CString(acc.data(), static_cast<int>(acc.size()));
    return 0;
}

int CTextFile::ReadExact(void* buf, long n, bool report) {
    char* p = static_cast<char*>(buf);
    long done = 0;
    if (!m_buffer || (m_mode & 1) == 0) {
        while (done < n) {
            const long got = zrkos::Read(m_file.m_handle, p + done, n - done);
            if (got < 0) return ReportErrno(ZRK_FAIL, MSG_READ_FAILED, Path());
            if (got == 0) break;
            done += got;
        }
    } else {
        while (done < n) {
            if (m_pos >= m_filled) {
                long got = 0;
                ZRK_TRY(Refill(&got));
                if (got == 0) break;
            }
            long take = m_filled - m_pos;
            if (take > n - done) take = n - done;
            std::memcpy(p + done, m_buffer.get() + m_pos, static_cast<size_t>(take));
            m_pos += take;
            done += take;
        }
    }
    if (done < n) return report ? ZrkErrorId(ZRK_EOF, MSG_UNEXPECTED_EOF, Path().c_str()) : ZRK_EOF;
    return 0;
}

bool CTextFile::Eof() {
    if (!IsOpen()) return true;
    if (m_buffer && (m_mode & 1) != 0) {
        if (m_pos < m_filled) return false;
        long got = 0;
        return Refill(&got) != 0 || got == 0;
    }
    const int64_t here = zrkos::Seek(m_file.m_handle, 0, 1);
    const int64_t end = zrkos::Seek(m_file.m_handle, 0, 2);
    if (here >= 0) zrkos::Seek(m_file.m_handle, here, 0);
    return here < 0 || end < 0 || here + (m_buffer ? m_filled : 0) >= end;
}

int CTextFile::WriteRaw(const char* data, long n, bool report) {
    if (n <= 0) return 0;
    if (zrkos::Write(m_file.m_handle, data, n) != n) return report ? ReportErrno(ZRK_FAIL, MSG_TEXT_WRITE_FAILED, Path()) : ZRK_FAIL;
    return 0;
}

int CTextFile::FlushBuffer(bool report) {
    if (!m_buffer || (m_mode & 2) == 0 || m_filled == 0) return 0;
    const long n = m_filled;
    m_filled = 0;
    m_origin += n;
    return WriteRaw(m_buffer.get(), n, report);
}

int CTextFile::Flush() { return FlushBuffer(true); }

int CTextFile::Write(const void* data, long n) {
    if (n <= 0) return 0;
    const char* p = static_cast<const char*>(data);
    m_lastByte = p[n - 1];
    if (!m_buffer || (m_mode & 2) == 0) return WriteRaw(p, n, true);
    while (n > 0) {
        if (m_filled == m_bufSize) ZRK_TRY(FlushBuffer(true));
        // Data larger than the whole buffer goes straight to the file.
        if (m_filled == 0 && n >= m_bufSize) {
            ZRK_TRY(WriteRaw(p, n, true));
            m_origin += n;
            return 0;
        }
        long take = m_bufSize - m_filled;
        if (take > n) take = n;
        std::memcpy(m_buffer.get() + m_filled, p, static_cast<size_t>(take));
        m_filled += take;
        p += take;
        n -= take;
    }
    return 0;
}

int CTextFile::WriteText(const char* text) {
    const std::string out = CrLf(Safe(text), m_lastByte);
    return Write(out.data(), static_cast<long>(out.size()));
}

int CTextFile::WriteFormatV(const char* fmt, va_list args) {
    CString text;
    int r = text.FormatV(fmt, args);
    ZRK_KEEP(r, WriteText(text));
    return r;
}

int CTextFile::WriteFormat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const int r = WriteFormatV(fmt, args);
    va_end(args);
    return r;
}

int CTextFile::Close(bool report) {
    if (!IsOpen()) return 0;
    int r = FlushBuffer(report);
    if (zrkos::Close(m_file.m_handle) != 0) {
        const int c = report ? ReportErrno(ZRK_FAIL, MSG_CLOSE_FAILED, Path()) : ZRK_FAIL;
        ZRK_KEEP(r, c);
    }
    m_file.m_handle = zrkos::kBadHandle;
    m_buffer.reset();
    m_filled = m_pos = 0;
    return r;
}

// ---- directory listing ----------------------------------------------------

CFileList::CFileList(const char* dir, const char* patterns, int options)
    : m_dir(Safe(dir)), m_patterns(Safe(patterns)), m_options(options) {}

void CFileList::Produce() {
    m_produced = true;
    CStringList patterns;
    patterns.AddSplit(m_patterns, ';', true);
    for (int i = patterns.Count() - 1; i >= 0; --i)
        if (patterns[i].IsEmpty()) patterns.RemoveAt(i);
    if (patterns.Count() == 0) patterns.Add("*");

    CString base = m_dir.IsEmpty() ? zrkos::CurrentDir() : CFile::Normalise(m_dir);
    if (!base.IsEmpty() && !IsSep(base[base.Length() - 1])) base += '\\';
    const CString search = base + "*.*";
    // A name that matches several patterns is listed once.
    std::unordered_set<std::string> seen;
    for (int i = 0; i < patterns.Count(); ++i) {
        zrkos::FindData fd;
        zrkos::FindHandle h = zrkos::FindFirst(search, &fd);
        if (!h) continue;
        do {
            if (fd.name == "." || fd.name == "..") continue;
            if ((m_options & (fd.isDir ? DIRECTORIES : FILES)) == 0) continue;
            if (!fd.name.Match(patterns[i], true, false)) continue;
            CString full = base + fd.name;
            if (fd.isDir) full += '\\';
            std::string key = full.c_str();
            for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (seen.insert(key).second) m_items.Add(full);
        } while (zrkos::FindNext(h, &fd));
        zrkos::FindClose(h);
    }
    m_items.Sort(true, true);
}

int CFileList::Count() {
    if (!m_produced) Produce();
    return m_items.Count();
}

const CString& CFileList::Item(int index) {
    static const CString kEmpty;
    if (!m_produced) Produce();
    if (index < 0 || index >= m_items.Count()) return kEmpty;
    return m_items[index];
}
