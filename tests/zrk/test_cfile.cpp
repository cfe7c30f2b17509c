// Tests of the file layer. They run natively and under Wine: paths are
// compared in their backslash form and every file lives in a scratch
// directory made from a temporary name.
#include "zrk/cfile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "testutil.h"
#include "zrk/ctimeex.h"
#include "zrk/os/faults.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

// A fresh directory per test, removed afterwards.
class FileTest : public ::testing::Test {
protected:
    CString P(const char* name) const { return m_dir + name; }
    void WriteBytes(const char* name, const std::string& bytes) { ASSERT_TRUE(WriteAll(P(name), bytes)); }
    std::string ReadBytes(const char* name) { return ReadAll(P(name)); }

    ScratchDir m_scratch;
    const CString& m_dir = m_scratch.Dir();
};

// ---- path texts ---------------------------------------------------------------

TEST(CFilePath, Parts) {
    struct Case {
        const char* path;
        const char* dir;
        const char* dirNoSlash;
        const char* file;
        const char* base;
        const char* ext;
    };
    const Case cases[] = {
        {"C:\\A\\B\\file.txt", "C:\\A\\B\\", "C:\\A\\B", "file.txt", "file", "txt"},
        {"C:\\A\\", "C:\\A\\", "C:\\A", "", "", ""},
        {"C:\\A.B\\file", "C:\\A.B\\", "C:\\A.B", "file", "file", ""},
        {"C:\\d\\archive.tar.gz", "C:\\d\\", "C:\\d", "archive.tar.gz", "archive.tar", "gz"},
        {"file.txt", "", "", "", "", "txt"},
        {"\\\\srv\\share\\x.y", "\\\\srv\\share\\", "\\\\srv\\share", "x.y", "x", "y"},
        {"a/b/c.d", "a/b/", "a/b", "c.d", "c", "d"},
        {"", "", "", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(Str(CFile::DirPart(c.path)), c.dir);
        EXPECT_EQ(Str(CFile::DirNoSlash(c.path)), c.dirNoSlash);
        EXPECT_EQ(Str(CFile::FilePart(c.path)), c.file);
        EXPECT_EQ(Str(CFile::BaseName(c.path)), c.base);
        EXPECT_EQ(Str(CFile::Extension(c.path)), c.ext);
    }
}

TEST(CFilePath, JoinAndMakePath) {
    const std::string cwd = Str(zrkos::CurrentDir());
    struct Case {
        const char* dir;
        const char* name;
        const char* ext;  // nullptr: Join, else MakePath
        std::string expected;
    };
    const Case cases[] = {
        {"C:\\A", "D:\\B", nullptr, "D:\\B"},
        {"C:\\A\\", "x.txt", nullptr, "C:\\A\\x.txt"},
        {"C:\\A", "x.txt", nullptr, "C:\\A\\x.txt"},
        {"C:/A", "b/c", nullptr, "C:\\A\\b\\c"},
        {"C:\\A\\B", "..\\x", nullptr, "C:\\A\\x"},
        {"C:\\A", "\\\\srv\\share\\x", nullptr, "\\\\srv\\share\\x"},
        {"", "x.txt", nullptr, cwd + "x.txt"},
        {"C:\\A", "name", "ext", "C:\\A\\name.ext"},
        {"C:\\A/", "name", "log", "C:\\A\\name.log"},
        {"C:\\A", "D:\\x\\n", "log", "D:\\x\\n.log"},
        {"C:\\A", "n", "", "C:\\A\\n"},
        {"", "n", "log", cwd + "n.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dir) + " + " + c.name);
        const CString got = c.ext ? CFile::MakePath(c.dir, c.name, c.ext) : CFile::Join(c.dir, c.name);
        EXPECT_EQ(Str(got), c.expected);
    }
    // A path beginning with one separator is absolute on POSIX only.
    if (!zrkos::IsWindows()) {
        EXPECT_EQ(Str(CFile::Join("\\usr", "\\etc\\x")), "\\etc\\x");
    }
}

TEST(CFilePath, RelativePath) {
    struct Case {
        const char* path;
        const char* base;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\A\\B\\f.txt", "C:\\A\\", "B\\f.txt"},
        {"C:\\A\\B\\f.txt", "C:\\A\\C\\", "..\\B\\f.txt"},
        {"c:\\a\\b\\f.txt", "C:\\A\\C\\D", "..\\..\\b\\f.txt"},
        {"C:\\A\\B\\", "C:\\A\\", "B\\"},
        {"C:\\A\\f.txt", "D:\\A\\", "C:\\A\\f.txt"},
        {"rel\\f.txt", "C:\\A\\", "rel\\f.txt"},
        {"\\\\srv\\share\\a\\f", "\\\\srv\\share\\b\\", "..\\a\\f"},
        {"\\\\srv\\share\\a\\f", "\\\\other\\share\\a\\", "\\\\srv\\share\\a\\f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " from " + c.base);
        EXPECT_EQ(Str(CFile::RelativePath(c.path, c.base)), c.expected);
    }
}

// ---- tests on paths -----------------------------------------------------------

TEST_F(FileTest, DirectoryAndFileTests) {
    WriteBytes("f.txt", "12345");
    ASSERT_EQ(zrkos::MakeDir(P("sub")), 0);
    const std::string root = zrkos::IsWindows() ? "C:\\" : "\\";
    struct Case {
        CString path;
        bool isDir, isFile;
        long size;
    };
    const Case cases[] = {
        {"C:\\*.*", false, false, -1},
        {"", false, false, -1},
        {P("s?b"), false, false, -1},
        {root.c_str(), true, false, -1},
        {m_dir, true, false, 0},
        {CFile::DirNoSlash(m_dir), true, false, 0},
        {P("sub"), true, false, 0},
        {P("sub\\"), true, false, -1},
        {P("f.txt"), false, true, 5},
        {P("missing"), false, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Str(c.path));
        EXPECT_EQ(CFile::IsDirectory(c.path), c.isDir);
        EXPECT_EQ(CFile::IsFile(c.path), c.isFile);
        if (c.size != 0) {
            EXPECT_EQ(CFile::FileSize(c.path), c.size);
        }
    }
    EXPECT_GT(CFile::FreeSpace(m_dir), 0.0);
}

TEST_F(FileTest, LastWriteTimeRoundTrip) {
    WriteBytes("t.txt", "x");
    // 2001-02-03 04:05:06.789 (Julian Day 2451944), local time.
    const int64_t when = 2451944LL * CTimeEx::kUsPerDay + ((4 * 3600 + 5 * 60 + 6) * 1000000LL) + 789000;
    ASSERT_EQ(CFile::SetLastWriteTime(P("t.txt"), CTimeEx(when)), 0);
    CTimeEx got;
    ASSERT_EQ(CFile::LastWriteTime(P("t.txt"), &got), 0);
    EXPECT_EQ(got.Value(), when);
    EXPECT_EQ(CFile::LastWriteTime(P("missing"), &got), ZRK_FAIL);
    EXPECT_EQ(CFile::SetLastWriteTime(P("missing"), CTimeEx(when)), ZRK_FAIL);
}

// ---- operations -------------------------------------------------------------------

TEST_F(FileTest, MakeAllDirsRenameAndCopy) {
    EXPECT_EQ(CFile::MakeAllDirs(P("a\\b\\c\\file.txt")), 0);
    EXPECT_TRUE(CFile::IsDirectory(P("a\\b\\c")));
    EXPECT_FALSE(CFile::Exists(P("a\\b\\c\\file.txt")));
    EXPECT_EQ(CFile::MakeAllDirs(P("a/b/d/")), 0);
    EXPECT_TRUE(CFile::IsDirectory(P("a\\b\\d")));
    EXPECT_EQ(CFile::RemoveDir(P("a\\b\\d\\ignored.txt")), 0);  // the directory part goes
    EXPECT_FALSE(CFile::Exists(P("a\\b\\d")));

    WriteBytes("a.txt", "alpha");
    WriteBytes("b.txt", "beta");
    CFile f;
    f.SetPath(P("a.txt"));
    EXPECT_EQ(f.Rename(P("c.txt")), 0);
    EXPECT_EQ(Str(f.Path()), Str(P("c.txt")));
    EXPECT_FALSE(CFile::Exists(P("a.txt")));
    EXPECT_EQ(f.CopyTo(P("a\\")), 0);  // takes the source's file part
    EXPECT_EQ(ReadBytes("a\\c.txt"), "alpha");
    EXPECT_EQ(CFile::Copy(P("b.txt"), P("a\\c.txt")), 0);  // overwrites
    EXPECT_EQ(ReadBytes("a\\c.txt"), "beta");
    CRecordingScope scope;
    EXPECT_EQ(CFile::Copy(P("missing"), P("a\\")), ZRK_FAIL);  // no message
    EXPECT_EQ(scope.entries.size(), 0u);
}

// Every failure gives one message, with the system's own error text: the
// failures the system gives on demand, and the others from the fault seam.
TEST_F(FileTest, EachFailureIsReportedOnce) {
    using zrkos::FaultError;
    using zrkos::FaultOp;
    WriteBytes("plain", "");
    WriteBytes("b.txt", "beta");
    ASSERT_EQ(zrkos::MakeDir(P("full")), 0);
    WriteBytes("full\\x", "line\n");
    CFile out, in;
    CTextFile textOut, textClose, textIn, spare;
    ASSERT_EQ(out.Open(P("w.bin"), "w"), 0);
    ASSERT_EQ(in.Open(P("b.txt"), "r"), 0);
    ASSERT_EQ(textOut.Open(P("w.txt"), "w"), 0);
    ASSERT_EQ(textOut.WriteText("x\n"), 0);
    ASSERT_EQ(textClose.Open(P("c.txt"), "w"), 0);
    ASSERT_EQ(textIn.Open(P("full\\x"), "r"), 0);
    long got = 0;
    CString line;
    const FaultOp none = FaultOp::Count;
    struct Case {
        const char* what;
        FaultOp op;  // the fault armed for the call, if any
        FaultError error;
        std::function<int()> run;
        int code;
        int msgId;
        int err;  // the errno among the message's arguments (0: none)
    };
    const Case cases[] = {
        {"chdir to a missing directory", none, {}, [&] { return CFile::ChangeDir(P("missing")); }, ZRK_FAIL, 430,
         ENOENT},
        {"mkdir over a file", none, {}, [&] { return CFile::MakeDir(P("plain")); }, ZRK_FAIL, 432, EEXIST},
        {"rmdir of a full directory", none, {}, [&] { return CFile::RemoveDir(P("full\\")); }, ZRK_FAIL, 429,
         ENOTEMPTY},
        {"a file in the way of a directory", none, {}, [&] { return CFile::MakeAllDirs(P("plain\\x\\y")); },
         ZRK_FAIL, 428, 0},
        {"rename onto a file", none, {}, [&] { return CFile::Rename(P("plain"), P("b.txt")); }, ZRK_FAIL, 431,
         EEXIST},
        {"copy into a missing directory", none, {}, [&] { return CFile::Copy(P("b.txt"), P("no\\x")); },
         ZRK_FAIL, 440, 0},
        {"mkdir, disk full", FaultOp::MakeDir, FaultError::DiskFull, [&] { return CFile::MakeDir(P("new")); },
         ZRK_FAIL, 432, ENOSPC},
        {"mkdir of a path", FaultOp::MakeDir, FaultError::AccessDenied,
         [&] { return CFile::MakeAllDirs(P("new\\x.txt")); }, ZRK_FAIL, 428, 0},
        {"rename, access denied", FaultOp::Rename, FaultError::AccessDenied,
         [&] { return CFile::Rename(P("plain"), P("other")); }, ZRK_FAIL, 431, EACCES},
        {"binary write, disk full", FaultOp::Write, FaultError::DiskFull, [&] { return out.Write("abc", 3); },
         ZRK_FAIL, 424, ENOSPC},
        {"binary read", FaultOp::Read, FaultError::AccessDenied, [&] { return in.Read(&got, 1, &got); }, ZRK_FAIL,
         420, EACCES},
        {"text write, disk full", FaultOp::Write, FaultError::DiskFull, [&] { return textOut.Flush(); }, ZRK_FAIL,
         442, ENOSPC},
        {"text close", FaultOp::Close, FaultError::DiskFull, [&] { return textClose.Close(); }, ZRK_FAIL, 443,
         ENOSPC},
        {"text read", FaultOp::Read, FaultError::AccessDenied, [&] { return textIn.ReadLine(line); }, ZRK_FAIL, 420,
         EACCES},
        {"no memory for a text buffer", FaultOp::Alloc, FaultError::NoMemory, [&] { return spare.Open(P("b.txt")); },
         ZRK_NOMEM, 401, 0},
    };
    const ZrkOutOfMemoryHandler handler = ZrkSetOutOfMemoryHandler(nullptr);  // no retries
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CRecordingScope scope;
        {
            std::optional<zrkos::CFaultScope> fault;
            if (c.op != none) fault.emplace(c.op, 1, c.error);
            if (c.op == FaultOp::Alloc) fault->SetMinimumSize(CTextFile::kDefaultBuffer);
            EXPECT_EQ(c.run(), c.code);
        }
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_EQ(scope.entries[0].code, c.code);
        if (c.err != 0) {
            EXPECT_NE(scope.entries[0].text.find(Str(zrkos::ErrnoText(c.err))), std::string::npos)
                << scope.entries[0].text;
        }
    }
    ZrkSetOutOfMemoryHandler(handler);
    EXPECT_TRUE(CFile::Exists(P("plain")));  // the refused renames left it
    EXPECT_FALSE(spare.IsOpen());
}

TEST_F(FileTest, TempNameNumbering) {
    WriteBytes("tmp0000.tmp", "");
    WriteBytes("tmp0001.tmp", "");
    EXPECT_EQ(Str(CFile::TempName(m_dir, nullptr)), Str(P("tmp0002.tmp")));
    EXPECT_EQ(Str(CFile::TempName(m_dir, "ab")), Str(P("ab0000.tmp")));
    // Without a usable directory, TMP decides.
    CString oldTmp;
    const bool hadTmp = zrkos::GetEnv("TMP", &oldTmp);
    ASSERT_EQ(zrkos::SetEnv("TMP", CFile::DirNoSlash(m_dir)), 0);
    const CString name = CFile::TempName(P("missing"), "q");
    zrkos::SetEnv("TMP", hadTmp ? oldTmp.c_str() : nullptr);
    EXPECT_EQ(Str(name), Str(P("q0000.tmp")));
}

TEST_F(FileTest, SearchOnPath) {
    ASSERT_EQ(zrkos::MakeDir(P("p1")), 0);
    ASSERT_EQ(zrkos::MakeDir(P("p2")), 0);
    WriteBytes("p2\\tool.exe", "");
    CString oldPath;
    const bool hadPath = zrkos::GetEnv("PATH", &oldPath);
    const char sep = zrkos::IsWindows() ? ';' : ':';
    const CString list = CFile::DirNoSlash(P("p1\\")) + CString(&sep, 1) + P("p2");
    ASSERT_EQ(zrkos::SetEnv("PATH", list), 0);
    CString found;
    const int r1 = CFile::SearchOnPath("tool.exe", &found);
    const CString found1 = found;
    const int r2 = CFile::SearchOnPath(P("p2\\tool.exe"), &found);
    const CString found2 = found;
    CRecordingScope scope;
    const int r3 = CFile::SearchOnPath("absent.exe", &found);
    zrkos::SetEnv("PATH", hadPath ? oldPath.c_str() : nullptr);

    EXPECT_EQ(r1, 0);
    EXPECT_EQ(Str(found1), Str(P("p2\\tool.exe")));
    EXPECT_EQ(r2, 0);
    EXPECT_EQ(Str(found2), Str(P("p2\\tool.exe")));
    EXPECT_EQ(r3, ZRK_FAIL);
    ASSERT_EQ(scope.entries.size(), 1u);
    EXPECT_EQ(scope.entries[0].msgId, MSG_NOT_IN_PATH);
    EXPECT_NE(scope.entries[0].text.find("absent.exe"), std::string::npos);
}

TEST_F(FileTest, FileListPatternsAndSorting) {
    for (const char* name : {"b.TXT", "a.txt", "c.log", "readme"}) WriteBytes(name, "");
    ASSERT_EQ(zrkos::MakeDir(P("d.txt")), 0);
    ASSERT_EQ(zrkos::MakeDir(P("Sub")), 0);
    struct Case {
        const char* patterns;
        int options;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.txt", CFileList::FILES, {"a.txt", "b.TXT"}},
        {" *.log ; *.TXT ", CFileList::FILES, {"a.txt", "b.TXT", "c.log"}},
        {"a*;*.txt", CFileList::FILES, {"a.txt", "b.TXT"}},
        {nullptr, CFileList::FILES, {"a.txt", "b.TXT", "c.log", "readme"}},
        {"*", CFileList::DIRECTORIES, {"d.txt\\", "Sub\\"}},
        {"*.txt", CFileList::FILES | CFileList::DIRECTORIES, {"a.txt", "b.TXT", "d.txt\\"}},
        {"?e*", CFileList::FILES, {"readme"}},
        {"*.none", CFileList::FILES, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.patterns ? c.patterns : "(none)");
        CFileList list(m_dir, c.patterns, c.options);
        std::vector<std::string> got;
        for (int i = 0; i < list.Count(); ++i) got.push_back(Str(list[i]));
        std::vector<std::string> expected;
        for (const std::string& n : c.names) expected.push_back(Str(m_dir) + n);
        EXPECT_EQ(got, expected);
    }
    CFileList missing(P("missing"), "*");
    EXPECT_EQ(missing.Count(), 0);
}

// ---- opening --------------------------------------------------------------------

TEST_F(FileTest, OpenFailuresGiveCodesAndMessages) {
    WriteBytes("ro.txt", "x");
    ASSERT_EQ(CFile::SetReadOnly(P("ro.txt"), true), 0);
    struct Case {
        CString path;
        const char* mode;
        int result;
        int msgId;
        int err;  // the errno among the message's arguments
    };
    const Case cases[] = {
        {P("missing.txt"), "r", ZRK_NOTFOUND, 417, 2},
        {P("nodir\\x.txt"), "w", ZRK_NOTFOUND, 418, 2},
        {P("nodir\\x.txt"), "a", ZRK_NOTFOUND, 419, 2},
        {P("ro.txt"), "w", ZRK_ACCESS, 418, 13},
        {P("ro.txt"), "r+", ZRK_ACCESS, 419, 13},
    };
    for (const Case& c : cases) {
        for (int text = 0; text < 2; ++text) {
            SCOPED_TRACE(Str(c.path) + " " + c.mode + (text ? " text" : " binary"));
            CRecordingScope scope;
            CFile bin;
            CTextFile txt;
            const int r = text ? txt.Open(c.path, c.mode) : bin.Open(c.path, c.mode);
            EXPECT_EQ(r, c.result);
            ASSERT_EQ(scope.entries.size(), 1u);
            EXPECT_EQ(scope.entries[0].msgId, c.msgId);
            EXPECT_EQ(scope.entries[0].code, c.result);
            const std::string& t = scope.entries[0].text;
            EXPECT_NE(t.find(Str(zrkos::ErrnoText(c.err))), std::string::npos) << t;
        }
    }
    CFile::SetReadOnly(P("ro.txt"), false);

    // Modes outside the table are internal errors; "a+" is binary only.
    CFile bin;
    CTextFile txt;
    EXPECT_EQ(bin.Open(P("x"), "rw"), ZRK_INTERNAL);
    EXPECT_EQ(txt.Open(P("x"), "a+"), ZRK_INTERNAL);
    EXPECT_EQ(bin.Open(P("x"), "a+"), 0);
}

// Runs only as the child process of the next test: holds the file named by
// ZRK_HOLD_FILE open without sharing, says so by creating ZRK_HOLD_READY,
// and lets go when ZRK_HOLD_RELEASE appears (or after 30 seconds).
TEST(FileHolder, DISABLED_HoldsAFileOpen) {
    CString path, ready, release;
    ASSERT_TRUE(zrkos::GetEnv("ZRK_HOLD_FILE", &path));
    ASSERT_TRUE(zrkos::GetEnv("ZRK_HOLD_READY", &ready));
    ASSERT_TRUE(zrkos::GetEnv("ZRK_HOLD_RELEASE", &release));
    CFile held;
    ASSERT_EQ(held.Open(path, "r+", true, zrkos::OPEN_EXCLUSIVE), 0);
    CFile flag;
    ASSERT_EQ(flag.Open(ready, "w"), 0);
    flag.Close();
    const int64_t until = CTimeEx::Now(true).Value() + 30 * 1000000LL;
    while (!CFile::Exists(release) && CTimeEx::Now(true).Value() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    held.Close();
}

TEST_F(FileTest, AnotherProcessHoldingAFileOpen) {
    WriteBytes("held.dat", "kept");
    zrkos::SetEnv("ZRK_HOLD_FILE", P("held.dat"));
    zrkos::SetEnv("ZRK_HOLD_READY", P("ready.flag"));
    zrkos::SetEnv("ZRK_HOLD_RELEASE", P("release.flag"));
    CString command = CString("\"") + zrkos::ModulePath() +
                      "\" --gtest_filter=FileHolder.DISABLED_HoldsAFileOpen --gtest_also_run_disabled_tests";
    ASSERT_EQ(zrkos::StartProcess(command, m_dir, false, nullptr), 0);
    auto waitFor = [](auto done) {
        const int64_t until = CTimeEx::Now(true).Value() + 30 * 1000000LL;
        while (!done() && CTimeEx::Now(true).Value() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return done();
    };
    ASSERT_TRUE(waitFor([&] { return CFile::Exists(P("ready.flag")); })) << "the holding process did not start";

    EXPECT_TRUE(CFile::InUse(P("held.dat")));
    {
        CRecordingScope scope;
        CFile f;
        EXPECT_EQ(f.Open(P("held.dat"), "w"), ZRK_ACCESS);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, MSG_OPEN_WRITE);
        EXPECT_NE(scope.entries[0].text.find(Str(zrkos::ErrnoText(13))), std::string::npos) << scope.entries[0].text;
        CTextFile t;
        EXPECT_EQ(t.Open(P("held.dat"), "r"), ZRK_ACCESS);
        EXPECT_EQ(scope.entries.back().msgId, MSG_OPEN_READ);
    }
    WriteBytes("release.flag", "");
    EXPECT_TRUE(waitFor([&] { return !CFile::InUse(P("held.dat")); })) << "the file stayed held";
    EXPECT_EQ(ReadBytes("held.dat"), "kept");  // the refused "w" truncated nothing
    zrkos::SetEnv("ZRK_HOLD_FILE", nullptr);
    zrkos::SetEnv("ZRK_HOLD_READY", nullptr);
    zrkos::SetEnv("ZRK_HOLD_RELEASE", nullptr);
}

TEST_F(FileTest, AppendOpenCreatesAndAppends) {
    CTextFile t;
    ASSERT_EQ(t.Open(P("log.txt"), "a"), 0);
    EXPECT_TRUE(CFile::Exists(P("log.txt")));
    ASSERT_EQ(t.WriteText("one\n"), 0);
    ASSERT_EQ(t.Close(), 0);
    ASSERT_EQ(t.Open(P("log.txt"), "a"), 0);
    ASSERT_EQ(t.WriteFormat("%s=%d\n", "two", 2), 0);
    ASSERT_EQ(t.Close(), 0);
    EXPECT_EQ(ReadBytes("log.txt"), "one\r\ntwo=2\r\n");

    CFile b;
    ASSERT_EQ(b.Open(P("bin.dat"), "a+"), 0);
    ASSERT_EQ(b.Write("ab", 2), 0);
    ASSERT_EQ(b.Seek(0), 0);
    char buf[2] = {0, 0};
    EXPECT_EQ(b.ReadExact(buf, 2), 0);
    EXPECT_EQ(std::string(buf, 2), "ab");
}

// ---- writing text -------------------------------------------------------------------

TEST_F(FileTest, WriteTextTurnsLfIntoCrLf) {
    struct Case {
        std::vector<const char*> pieces;
        const char* expected;
    };
    const Case cases[] = {
        {{"a\nb"}, "a\r\nb"},
        {{"a\r\nb"}, "a\r\nb"},
        {{"\n\n"}, "\r\n\r\n"},
        {{"a\r", "\nb"}, "a\r\nb"},  // the CR of an earlier write counts
        {{"a", "\n"}, "a\r\n"},
        {{"\r\r\n\n"}, "\r\r\n\r\n"},
    };
    for (int kind = 0; kind < 3; ++kind) {
        for (const Case& c : cases) {
            SCOPED_TRACE(kind);
            SCOPED_TRACE(c.expected);
            if (kind == 0) {
                CFile f;
                ASSERT_EQ(f.Open(P("out.txt"), "w"), 0);
                for (const char* p : c.pieces) ASSERT_EQ(f.WriteText(p), 0);
                ASSERT_EQ(f.Close(), 0);
            } else {
                CTextFile f;
                if (kind == 2) f.SetBufferSize(1);
                ASSERT_EQ(f.Open(P("out.txt"), "w"), 0);
                for (const char* p : c.pieces) ASSERT_EQ(f.WriteText(p), 0);
                ASSERT_EQ(f.Close(), 0);
            }
            EXPECT_EQ(ReadBytes("out.txt"), c.expected);
        }
    }
}

TEST_F(FileTest, BufferedWritesOfAnySize) {
    std::string big;
    for (int i = 0; i < 3000; ++i) big += "line " + std::to_string(i) + "\n";
    std::string expected;
    for (char c : big) {
        if (c == '\n') expected += '\r';
        expected += c;
    }
    for (int size : {3, 7, 8192}) {
        SCOPED_TRACE(size);
        CTextFile f;
        f.SetBufferSize(size);
        ASSERT_EQ(f.Open(P("big.txt"), "w"), 0);
        ASSERT_EQ(f.WriteText(big.substr(0, 10).c_str()), 0);
        ASSERT_EQ(f.WriteText(big.substr(10).c_str()), 0);
        ASSERT_EQ(f.Flush(), 0);
        EXPECT_EQ(ReadBytes("big.txt"), expected);  // everything is out after Flush
        ASSERT_EQ(f.Close(), 0);
    }
}

// ---- reading text -------------------------------------------------------------------

TEST_F(FileTest, ReadLinesAtEveryBufferSize) {
    WriteBytes("in.txt", "one\r\ntwo\n\nthree\r\r\n\rfour\r\nlast");
    const std::vector<std::string> expected = {"one", "two", "", "three\r", "\rfour", "last"};
    for (int size : {1, 2, 3, 5, 8192}) {
        SCOPED_TRACE(size);
        CTextFile f;
        f.SetBufferSize(size);
        ASSERT_EQ(f.Open(P("in.txt")), 0);
        std::vector<std::string> got;
        CString line;
        while (f.ReadLine(line, false) == 0) got.push_back(Str(line));
        EXPECT_EQ(got, expected);
        EXPECT_EQ(f.LineNumber(), 6);
        EXPECT_TRUE(f.Eof());
        CRecordingScope scope;
        EXPECT_EQ(f.ReadLine(line), ZRK_EOF);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, MSG_UNEXPECTED_EOF);
        EXPECT_NE(scope.entries[0].text.find(Str(P("in.txt"))), std::string::npos);
    }
}

TEST_F(FileTest, ReadLineEdges) {
    WriteBytes("empty.txt", "");
    WriteBytes("nl.txt", "\n");
    CTextFile f;
    CString line = "unchanged";
    ASSERT_EQ(f.Open(P("empty.txt")), 0);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.ReadLine(line, false), ZRK_EOF);
    EXPECT_EQ(f.LineNumber(), 0);

    ASSERT_EQ(f.Open(P("nl.txt")), 0);  // reopening closes the first
    EXPECT_FALSE(f.Eof());
    EXPECT_EQ(f.ReadLine(line, false), 0);
    EXPECT_EQ(Str(line), "");
    EXPECT_EQ(f.ReadLine(line, false), ZRK_EOF);

    // A file open for reading and writing has no buffer to read lines from.
    ASSERT_EQ(f.Open(P("nl.txt"), "r+"), 0);
    EXPECT_FALSE(f.Buffered());
    EXPECT_EQ(f.ReadLine(line, false), ZRK_NOBUFFER);
    f.Close();
}

TEST_F(FileTest, ReadExactBothKinds) {
    WriteBytes("six.bin", "abcdef");
    char buf[8] = {};
    CTextFile t;
    t.SetBufferSize(4);
    ASSERT_EQ(t.Open(P("six.bin")), 0);
    EXPECT_EQ(t.ReadExact(buf, 5), 0);
    EXPECT_EQ(std::string(buf, 5), "abcde");
    {
        CRecordingScope scope;
        EXPECT_EQ(t.ReadExact(buf, 2), ZRK_EOF);
        ASSERT_EQ(scope.entries.size(), 1u);
        EXPECT_EQ(scope.entries[0].msgId, MSG_UNEXPECTED_EOF);
    }

    CFile b;
    ASSERT_EQ(b.Open(P("six.bin")), 0);
    EXPECT_EQ(b.ReadExact(buf, 4), 0);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    CRecordingScope scope;
    EXPECT_EQ(b.ReadExact(buf, 8), ZRK_FAIL);
    ASSERT_EQ(scope.entries.size(), 1u);
    EXPECT_EQ(scope.entries[0].msgId, MSG_FILE_TOO_SHORT);
}

}  // namespace
