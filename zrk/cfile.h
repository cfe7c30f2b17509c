// Files, paths and the search path.
//
// Paths are texts with the backslash as separator; "/" is accepted on input.
// A normalised path is the full path the system computes for a text, with
// "/" turned into "\" and a trailing "\" when it names an existing
// directory.
//
// CFile is the unbuffered binary file and carries the path operations (as
// static members working on a path text, and a few that work on the file's
// own path). CTextFile is the buffered text file with a line counter.
//
// Every failure is reported where it is detected (message id, arguments as
// noted) and returns a result code: -52 unless stated otherwise.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>

#include "zrk/cstring.h"
#include "zrk/membuf.h"
#include "zrk/os/os.h"

class CTextFile;
class CTimeEx;

class CFile {
public:
    CFile() = default;
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // ---- path texts ------------------------------------------------------
    // Directory with its trailing backslash ("" when the path has none).
    static CString DirPart(const char* path);
    // The same without the final backslash.
    static CString DirNoSlash(const char* path);
    // Text after the last backslash ("" when the path ends with one).
    static CString FilePart(const char* path);
    // File part without its extension.
    static CString BaseName(const char* path);
    // Text after the last "." that follows the last backslash.
    static CString Extension(const char* path);
    // DIR \ NAME . EXT, normalised; NAME alone (with EXT) when it starts
    // with a drive and separator. No "." when EXT is empty or null.
    static CString MakePath(const char* dir, const char* name, const char* ext);
    // DIR \ NAME, normalised; NAME alone when it is absolute.
    static CString Join(const char* dir, const char* name);
    // Every "/" turned into C.
    static CString ConvertSlashes(const char* path, char c = '\\');
    // The normalised path of a text.
    static CString Normalise(const char* path);
    // PATH relative to the directory BASE when both lie on the same drive
    // (or root); PATH unchanged otherwise.
    static CString RelativePath(const char* path, const char* base);
    // True for a path with a drive, ":" and separator, or two leading
    // separators; on POSIX also for any path that begins with a separator.
    static bool IsAbsolute(const char* path);

    // ---- tests -------------------------------------------------------------
    static bool Exists(const char* path);
    static bool Writable(const char* path);
    // True when another opener holds the file (exclusive append-open test,
    // which creates a missing file). False for a path ending in "\".
    static bool InUse(const char* path);
    static bool IsDirectory(const char* path);
    static bool IsFile(const char* path);
    // Size in bytes, -1 when not found; sizes beyond LONG_MAX give LONG_MAX.
    static long FileSize(const char* path);
    static int64_t FileSize64(const char* path);
    // Free bytes on the volume holding PATH; -1 on failure.
    static double FreeSpace(const char* path);

    // Last-write time as a local date-time value, milliseconds kept. Setting
    // opens the file for writing; a directory ("\" at the end) is set only
    // on Windows NT and left alone elsewhere. -52 without message.
    static int LastWriteTime(const char* path, CTimeEx* when);
    static int SetLastWriteTime(const char* path, const CTimeEx& when);

    // ---- operations ----------------------------------------------------------
    static int ChangeDir(const char* path);      // message 430
    static int MakeDir(const char* path);        // one level; message 432
    static int MakeAllDirs(const char* path);    // the directory part; message 428
    static int RemoveDir(const char* path);      // the directory part; message 429
    static int Rename(const char* from, const char* to);  // message 431
    static int Copy(const char* source, const char* target);  // message 440
    static int RemoveFile(const char* path);     // -52, no message
    // Sets or clears the read-only attribute; -52, no message.
    static int SetReadOnly(const char* path, bool readOnly);

    // Temporary file name in DIR (or TMP, TEMP; see cfile.cpp), PREFIX
    // defaulting to "tmp". The file is not created.
    static CString TempName(const char* dir, const char* prefix);
    // The normalised NAME when it exists, else the first directory of PATH
    // holding its file part. -52 when none (message 434 when REPORT).
    static int SearchOnPath(const char* name, CString* found, bool report = true);
    // The drive roots, "C:\ [label]" for fixed drives with a volume label.
    static CStringList Drives();

    // ---- the file ------------------------------------------------------------
    // Modes "r" (default), "w", "a", "r+", "w+", "a+". EXTRA adds zrkos open
    // flags (OPEN_EXCLUSIVE). Failures: -57 not found, -56 denied or shared,
    // -52 else; messages 417 ("r"), 418 ("w"), 419 (others) when REPORT.
    int Open(const char* path, const char* mode = "r", bool report = true, int extra = 0);
    // Reads up to N bytes; *GOT receives the count (0 at end). Message 420.
    int Read(void* buf, long n, long* got);
    // Reads exactly N bytes; a short read gives message 421 when REPORT.
    int ReadExact(void* buf, long n, bool report = true);
    int Write(const void* data, long n);       // message 424
    // Writes TEXT with every LF not preceded by CR written as CR LF.
    int WriteText(const char* text);
    int WriteFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // WHENCE 0 start, 1 current, 2 end; the new position in *POS.
    int Seek(int64_t offset, int whence = 0, int64_t* pos = nullptr);
    int Close();  // -52 without message on failure

    // Rename or copy the file named by this object's path; Rename makes the
    // new normalised name this object's path.
    int Rename(const char* newName);
    int CopyTo(const char* target);
    void SetPath(const char* path) { m_path = path; }

    const CString& Path() const { return m_path; }
    bool IsOpen() const { return m_handle != zrkos::kBadHandle; }
    zrkos::Handle GetHandle() const { return m_handle; }

private:
    friend class CTextFile;
    // Opens with the mode table; TEXTFILE refuses "a+". MODEFLAGS gets
    // 1 read, 2 write, 4 create/truncate.
    int OpenMode(const char* path, const char* mode, bool report, int extra, bool textFile, int* modeFlags);

    CString m_path;
    zrkos::Handle m_handle = zrkos::kBadHandle;
    char m_lastByte = 0;  // last byte written (CR LF across writes)
};

// A buffered text file. The buffer (8192 bytes unless changed before
// opening) exists for files opened read-only or write-only; files opened
// for both use the system directly and cannot read lines (-55).
class CTextFile {
public:
    static constexpr int kDefaultBuffer = 8192;

    CTextFile() = default;
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Takes effect at the next Open.
    void SetBufferSize(int size) { m_bufSize = size > 0 ? size : kDefaultBuffer; }
    int BufferSize() const { return m_bufSize; }

    // Modes "r" (default), "w", "a", "r+", "w+"; messages as CFile::Open.
    // A file that is open is closed first. No memory for the buffer: the
    // file is closed again and the result is ZRK_NOMEM (reported by the
    // allocator).
    int Open(const char* path, const char* mode = "r", bool report = true, int extra = 0);
    // The next line without its LF and one CR before it. -58 at the end
    // (message 441 when REPORT), -55 without a buffer, -52 on a read failure
    // (message 420).
    int ReadLine(CString& line, bool report = true);
    // Exactly N bytes; -58 and message 441 when the file ends first.
    int ReadExact(void* buf, long n, bool report = true);
    // True when everything is read and a refill finds nothing more.
    bool Eof();
    int Write(const void* data, long n);
    // Every LF not already preceded by CR is written as CR LF.
    int WriteText(const char* text);
    int WriteFormat(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    int WriteFormatV(const char* fmt, va_list args);
    // Writes the buffer out; message 442 on a write failure.
    int Flush();
    // Flushes and closes; message 443 (and 442) when REPORT.
    int Close(bool report = true);

    const CString& Path() const { return m_file.m_path; }
    bool IsOpen() const { return m_file.IsOpen(); }
    int LineNumber() const { return m_lines; }
    bool Buffered() const { return m_buffer != nullptr; }

private:
    int FlushBuffer(bool report);
    int WriteRaw(const char* data, long n, bool report);
    // Refills an exhausted read buffer; *GOT receives the bytes read.
    int Refill(long* got);

    struct FreeBuffer {
        void operator()(char* p) const { ZrkFree(p); }
    };

    CFile m_file;
    int m_mode = 0;  // 1 read, 2 write, 4 create/truncate
    int m_bufSize = kDefaultBuffer;
    std::unique_ptr<char, FreeBuffer> m_buffer;
    long m_filled = 0;
    long m_pos = 0;
    int64_t m_origin = 0;
    int m_lines = 0;
    char m_lastByte = 0;
};

// The files and directories in a directory that match a list of patterns,
// as full paths sorted without regard to case; directories end with "\".
class CFileList {
public:
    enum : int { FILES = 1, DIRECTORIES = 2 };

    // PATTERNS: ";"-separated wildcards ("*" when empty); OPTIONS: FILES,
    // DIRECTORIES or both.
    CFileList(const char* dir, const char* patterns = nullptr, int options = FILES);

    int Count();
    const CString& Item(int index);  // empty text outside the list
    const CString& operator[](int index) { return Item(index); }

private:
    void Produce();

    CString m_dir;
    CString m_patterns;
    int m_options;
    bool m_produced = false;
    CStringList m_items;
};
