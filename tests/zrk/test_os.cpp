// Tests of the operating-system boundary. The same tests run natively
// (os_posix.cpp) and under Wine (os_win32.cpp against the real Win32
// functions), so they pin down the Windows behaviour the POSIX side copies.
#include "zrk/os/os.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/faults.h"
#include "zrk/result.h"

namespace {

class OsTest : public ::testing::Test {
protected:
    CString P(const char* name) const { return m_scratch.Path(name); }

    void WriteRaw(const char* name, const std::string& bytes) { ASSERT_TRUE(WriteAll(P(name), bytes)); }
    std::string ReadRaw(const char* name) { return ReadAll(P(name)); }

    ScratchDir m_scratch;
    const CString& m_dir = m_scratch.Dir();
};

// ---- files ------------------------------------------------------------------------

TEST_F(OsTest, ShareModesAndErrors) {
    using namespace zrkos;
    WriteRaw("f.bin", "0123456789");
    struct Case {
        int first, second;
        int result;  // of the second open
    };
    const Case cases[] = {
        {OPEN_READ, OPEN_READ, 0},
        {OPEN_READ | OPEN_WRITE, OPEN_READ, 0},
        {OPEN_READ | OPEN_EXCLUSIVE, OPEN_READ, -56},
        {OPEN_READ, OPEN_WRITE | OPEN_EXCLUSIVE, -56},
        {OPEN_READ | OPEN_EXCLUSIVE, OPEN_WRITE | OPEN_CREATE | OPEN_TRUNCATE, -56},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " then " + std::to_string(c.second));
        int r1 = 0, r2 = 0;
        Handle a = Open(P("f.bin"), c.first, &r1);
        ASSERT_NE(a, kBadHandle);
        Handle b = Open(P("f.bin"), c.second, &r2);
        EXPECT_EQ(r2, c.result);
        if (b != kBadHandle) {
            Close(b);
        } else {
            EXPECT_EQ(LastErrno(), 13);
        }
        Close(a);
    }
    EXPECT_EQ(ReadRaw("f.bin"), "0123456789");  // the refused truncation did not happen

    struct Missing {
        CString path;
        int flags;
        int result, err;
    };
    WriteRaw("ro.bin", "x");
    ASSERT_EQ(SetReadOnly(P("ro.bin"), true), 0);
    const Missing missing[] = {
        {P("none.bin"), OPEN_READ, -57, 2},
        {P("nodir\\x.bin"), OPEN_WRITE | OPEN_CREATE, -57, 2},
        {m_dir, OPEN_READ, -56, 13},  // a directory is no file
        {P("ro.bin"), OPEN_WRITE, -56, 13},
    };
    for (const Missing& m : missing) {
        SCOPED_TRACE(Str(m.path));
        int r = 0;
        EXPECT_EQ(Open(m.path, m.flags, &r), kBadHandle);
        EXPECT_EQ(r, m.result);
        EXPECT_EQ(LastErrno(), m.err);
    }
    EXPECT_FALSE(Writable(P("ro.bin")));
    EXPECT_TRUE(Writable(m_dir));
    SetReadOnly(P("ro.bin"), false);
}

TEST_F(OsTest, FullPath) {
    const std::string cwd = Str(zrkos::CurrentDir());
    ASSERT_FALSE(cwd.empty());
    EXPECT_EQ(cwd.back(), '\\');
    ASSERT_EQ(zrkos::MakeDir(P("sub")), 0);
    struct Case {
        CString in;
        std::string expected;
    };
    const Case cases[] = {
        {"a\\..\\b", cwd + "b"},
        {"x/y", cwd + "x\\y"},
        {"C:\\A\\.\\B\\..\\c", "C:\\A\\c"},
        {"C:/A/b", "C:\\A\\b"},
        {CFile::DirNoSlash(m_dir), Str(m_dir)},
        {P("sub"), Str(P("sub\\"))},
        {P("sub\\..\\sub"), Str(P("sub\\"))},
        {P("nofile.txt"), Str(P("nofile.txt"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Str(c.in));
        EXPECT_EQ(Str(zrkos::FullPath(c.in)), c.expected);
    }
}

TEST_F(OsTest, RenameDoesNotReplace) {
    WriteRaw("a", "A");
    WriteRaw("b", "B");
    EXPECT_EQ(zrkos::RenameFile(P("a"), P("b")), -52);
    EXPECT_EQ(zrkos::LastErrno(), 17);  // EEXIST
    EXPECT_EQ(ReadRaw("b"), "B");
    EXPECT_EQ(zrkos::RenameFile(P("a"), P("c")), 0);
    EXPECT_EQ(ReadRaw("c"), "A");
    EXPECT_EQ(zrkos::CopyFileTo(P("c"), P("b")), 0);
    EXPECT_EQ(ReadRaw("b"), "A");
    EXPECT_EQ(zrkos::CopyFileTo(P("b"), P("b")), -52);  // not onto itself
    EXPECT_EQ(ReadRaw("b"), "A");
    EXPECT_EQ(zrkos::Remove(m_dir), -52);  // directories are not deleted as files
}

TEST_F(OsTest, FindMatchesAsWindowsDoes) {
    WriteRaw("noext", "");
    WriteRaw("a.TXT", "12");
    WriteRaw("b.log", "");
    struct Case {
        const char* pattern;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"*.*", {".", "..", "a.TXT", "b.log", "noext"}},
        {"*", {".", "..", "a.TXT", "b.log", "noext"}},
        {"*.txt", {"a.TXT"}},
        {"noext.*", {"noext"}},
        {"?.log", {"b.log"}},
        {"a.TXT", {"a.TXT"}},
        {"zz*", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        std::vector<std::string> got;
        zrkos::FindData fd;
        zrkos::FindHandle h = zrkos::FindFirst(P(c.pattern), &fd);
        if (h) {
            do {
                got.push_back(Str(fd.name));
                if (fd.name == "a.TXT") {
                    EXPECT_EQ(fd.size, 2u);
                }
                EXPECT_EQ(fd.isDir, fd.name == "." || fd.name == "..");
            } while (zrkos::FindNext(h, &fd));
            zrkos::FindClose(h);
        }
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, c.names);
    }
}

// ---- the fault seam ------------------------------------------------------------------

// Each hooked operation fails the calls the seam names, with the error the
// C runtime maps the platform's own code to, and runs normally otherwise.
TEST_F(OsTest, FaultSeamFailsTheCallsItNames) {
    using namespace zrkos;
    WriteRaw("f.bin", "0123456789");
    WriteRaw("r1", "");
    int r = 0;
    const Handle h = Open(P("f.bin"), OPEN_READ | OPEN_WRITE, &r);
    ASSERT_NE(h, kBadHandle);
    char buf[4];
    bool renamed = false;
    struct Case {
        const char* what;
        FaultOp op;
        FaultError error;
        int err;
        std::function<bool()> fails;
    };
    const Case cases[] = {
        {"open", FaultOp::Open, FaultError::AccessDenied, EACCES,
         [&] {
             int res = 0;
             const Handle x = Open(P("f.bin"), OPEN_READ, &res);
             if (x == kBadHandle) return res == ZRK_ACCESS;
             return Close(x) != 0;
         }},
        {"read", FaultOp::Read, FaultError::AccessDenied, EACCES,
         [&] { return Seek(h, 0, 0) != 0 || Read(h, buf, 4) != 4; }},
        {"write", FaultOp::Write, FaultError::DiskFull, ENOSPC, [&] { return Write(h, "ab", 2) != 2; }},
        {"close", FaultOp::Close, FaultError::DiskFull, ENOSPC,
         [&] {
             int res = 0;
             return Close(Open(P("r1"), OPEN_READ, &res)) != 0;
         }},
        {"rename", FaultOp::Rename, FaultError::AccessDenied, EACCES,
         [&] {
             if (RenameFile(P(renamed ? "r2" : "r1"), P(renamed ? "r1" : "r2")) != 0) return true;
             renamed = !renamed;
             return false;
         }},
        {"make directory", FaultOp::MakeDir, FaultError::DiskFull, ENOSPC,
         [&] { return MakeDir(P("d")) != 0 || RemoveDir(P("d")) != 0; }},
        {"allocation", FaultOp::Alloc, FaultError::NoMemory, ENOMEM,
         [&] {
             void* p = Realloc(nullptr, 16);
             Free(p);
             return p == nullptr;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CFaultScope fault(c.op, 2, c.error, 2);
        std::string seen;
        for (int i = 0; i < 4; ++i) {
            const bool failed = c.fails();
            seen += failed ? 'F' : '-';
            if (failed) {
                EXPECT_EQ(LastErrno(), c.err);
            }
        }
        EXPECT_EQ(seen, "-FF-");
        EXPECT_EQ(fault.Fired(), 2);
    }
    EXPECT_TRUE(Exists(P("r1")));  // a failed rename left the file alone

    // The innermost scope decides; the outer one counts again when it ends.
    {
        CFaultScope outer(FaultOp::Write, 1, FaultError::DiskFull, CFaultScope::kEvery);
        {
            CFaultScope inner(FaultOp::Write, 1, FaultError::AccessDenied);
            EXPECT_EQ(Write(h, "x", 1) == -1 && LastErrno() == EACCES, true);
        }
        EXPECT_EQ(Write(h, "x", 1) == -1 && LastErrno() == ENOSPC && outer.Calls() == 1, true);
    }
    EXPECT_EQ(Write(h, "x", 1), 1);
    Close(h);
}

// ---- private-profile files ------------------------------------------------------

class ProfileTest : public OsTest {
protected:
    std::string Read(const char* section, const char* key, const char* def, int size = 256, int* n = nullptr) {
        std::vector<char> buf(static_cast<size_t>(size) + 1, '#');
        const int r = zrkos::ProfileRead(section, key, def, buf.data(), size, P("p.ini"));
        if (n) *n = r;
        return std::string(buf.data(), static_cast<size_t>(r));
    }
    // A zero-separated list as "a|b|c".
    std::string List(const char* section) {
        std::vector<char> buf(1024);
        const int r = zrkos::ProfileRead(section, nullptr, "", buf.data(), 1024, P("p.ini"));
        std::string out;
        for (int i = 0; i < r; ++i) out += buf[static_cast<size_t>(i)] ? buf[static_cast<size_t>(i)] : '|';
        return out;
    }
    int Write(const char* section, const char* key, const char* value) {
        return zrkos::ProfileWrite(section, key, value, P("p.ini"));
    }
};

TEST_F(ProfileTest, Reading) {
    WriteRaw("p.ini",
             "; top comment\r\n"
             "[First]\r\n"
             "Alpha = one \r\n"
             "beta=\"quoted value\"\r\n"
             "Gamma=\r\n"
             ";note=1\r\n"
             "plain\r\n"
             "\r\n"
             "  [ Second ]  \r\n"
             "x=1\n"
             "x=2\n");
    struct Case {
        const char* section;
        const char* key;
        const char* def;
        std::string expected;
    };
    const Case cases[] = {
        {"first", "ALPHA", "d", "one"},
        {"First", "beta", "d", "quoted value"},
        {"First", "gamma", "d", ""},
        {"First", "missing", "def  ", "def"},
        {"First", "missing", nullptr, ""},
        {"Nope", "x", "d", "d"},
        {"second", "X", "d", "1"},  // the first of two keys
        {"First", ";note", "d", "1"},  // readable, but never listed
        {"First", "plain", "d", "d"},  // a line without "=" is no entry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        int n = -1;
        EXPECT_EQ(Read(c.section, c.key, c.def, 256, &n), c.expected);
        EXPECT_EQ(n, static_cast<int>(c.expected.size()));
    }
    EXPECT_EQ(List("FIRST"), "Alpha|beta|Gamma|");
    EXPECT_EQ(List(nullptr), "First|Second|");
    EXPECT_EQ(List("Nope"), "");

    // A value cut to the buffer: size - 1 characters.
    int n = 0;
    EXPECT_EQ(Read("First", "alpha", "", 3, &n), "on");
    EXPECT_EQ(n, 2);
    // A list cut to the buffer: size - 2, the cut text ending in a zero byte.
    std::vector<char> buf(9, '#');
    n = zrkos::ProfileRead("First", nullptr, "", buf.data(), 8, P("p.ini"));
    EXPECT_EQ(n, 6);
    EXPECT_EQ(std::string(buf.data(), 7), std::string("Alpha\0\0", 7));
    EXPECT_EQ(buf[8], '#');
    n = zrkos::ProfileRead("First", nullptr, "", buf.data(), 6, P("p.ini"));
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::string(buf.data(), 5), std::string("Alph\0", 5));

    // A missing file reads as defaults.
    EXPECT_EQ(zrkos::ProfileRead("First", "alpha", "dflt", buf.data(), 8, P("none.ini")), 4);
    EXPECT_EQ(std::string(buf.data()), "dflt");
}

TEST_F(ProfileTest, WritingAndDeleting) {
    WriteRaw("p.ini",
             "; keep me\r\n"
             "[First]\r\n"
             "Alpha=one\r\n"
             "beta=two\r\n"
             "[Second]\r\n"
             "x=1\r\n");
    EXPECT_EQ(Write("first", "ALPHA", "uno"), 0);
    EXPECT_EQ(Read("First", "alpha", ""), "uno");
    EXPECT_EQ(Write("First", "delta", "4"), 0);
    EXPECT_EQ(List("First"), "Alpha|beta|delta|");
    EXPECT_EQ(Write("Third", "k", "v"), 0);
    EXPECT_EQ(Read("third", "K", ""), "v");
    EXPECT_EQ(Write("First", "beta", nullptr), 0);  // removes the key
    EXPECT_EQ(List("First"), "Alpha|delta|");
    EXPECT_EQ(Write("First", "nothere", nullptr), 0);
    EXPECT_EQ(Write("SECOND", nullptr, nullptr), 0);  // removes the section
    EXPECT_EQ(Read("Second", "x", "gone"), "gone");
    EXPECT_EQ(List(nullptr), "First|Third|");
    EXPECT_EQ(Read("First", "delta", ""), "4");

    const std::string raw = ReadRaw("p.ini");
    EXPECT_NE(raw.find("; keep me\r\n"), std::string::npos) << raw;
    for (size_t i = 0; i < raw.size(); ++i)
        if (raw[i] == '\n') {
            EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << "bare LF at " << i << " in " << raw;
        }

    // A missing file is created; a missing directory is a failure.
    EXPECT_EQ(zrkos::ProfileWrite("S", "k", "v", P("new.ini")), 0);
    EXPECT_NE(ReadRaw("new.ini").find("k=v"), std::string::npos);
    EXPECT_EQ(zrkos::ProfileWrite("S", "k", "v", P("nodir\\x.ini")), -52);
}

// ---- processes -------------------------------------------------------------------------

TEST(Os, StartProcessWaitsForExitCode) {
    const char* cmd = zrkos::IsWindows() ? "cmd /c exit 3" : "sh -c 'exit 3'";
    unsigned long code = 0;
    ASSERT_EQ(zrkos::StartProcess(cmd, nullptr, true, &code), 0);
    EXPECT_EQ(code, 3u);
    EXPECT_EQ(zrkos::StartProcess(cmd, "\\no\\such\\directory", true, &code), -52);
}

}  // namespace
