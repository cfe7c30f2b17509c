// System facts under Wine: version resources read through the system's
// version functions, short paths, the TCP port test against a socket that
// holds the port, and the restart's flags.
#include "src/winspec/system.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "src/infstruc/pe_image.h"
#include "src/infstruc/records.h"
#include "src/winspec/reboot.h"
#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/report.h"

namespace {

TEST(GetFileVersion, LanguageAndVersionOfTheFirstTranslation) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* language;
        const char* version;
    };
    using testpe::PeImage;
    using testpe::VersionInfo;
    const Case cases[] = {
        {"English", PeImage(VersionInfo({{"040904B0", "10.0.2"}}, 0x409, 0x4B0), false), "English", "10.0.2"},
        {"German first", PeImage(VersionInfo({{"040904B0", "1.0"}, {"040704B0", "2.0"}}, 0x407, 0x4B0), false),
         "German", "2.0"},
        {"text file", "just text\r\n", "", ""},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        ASSERT_TRUE(WriteAll(dir.Path("file.dll"), c.bytes));
        CString language = "stale", version = "stale";
        CRecordingScope reports;
        EXPECT_EQ(GetFileVersion(dir.Path("file.dll"), &language, &version), 0) << c.what;
        EXPECT_EQ(Str(language), c.language) << c.what;
        EXPECT_EQ(Str(version), c.version) << c.what;
        EXPECT_EQ(reports.Count(), 0);
    }
}

TEST(ShortenExistingPath, ExistingPathShortenedMissingPathKept) {
    ScratchDir dir;
    const CString existing = dir.Path("a rather long file name.text"), missing = dir.Path("missing long name.text");
    ASSERT_TRUE(WriteAll(existing, "x"));
    char expected[MAX_PATH] = "";
    ASSERT_NE(GetShortPathNameA(existing, expected, sizeof expected), 0u);
    CString path = existing;
    EXPECT_EQ(ShortenExistingPath(path), 0);
    EXPECT_EQ(Str(path), expected);
    EXPECT_NE(Str(path), Str(existing));
    path = missing;
    EXPECT_EQ(ShortenExistingPath(path), 0);
    EXPECT_EQ(Str(path), Str(missing));
}

template <class F>
F Fn(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// A socket listening on a port of 127.0.0.1 that the system chose, through
// the library the port test loads.
TEST(IsPortFree, TakenPortIsNotFree) {
    HMODULE ws = LoadLibraryA("wsock32.dll");
    WSADATA data;
    ASSERT_EQ(Fn<int(WINAPI*)(WORD, WSADATA*)>(ws, "WSAStartup")(MAKEWORD(1, 1), &data), 0);
    const SOCKET s = Fn<SOCKET(WINAPI*)(int, int, int)>(ws, "socket")(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = 0x0100007F;
    int size = sizeof address;
    ASSERT_EQ(Fn<int(WINAPI*)(SOCKET, const sockaddr*, int)>(ws, "bind")(s, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(Fn<int(WINAPI*)(SOCKET, int)>(ws, "listen")(s, 1), 0);
    ASSERT_EQ(Fn<int(WINAPI*)(SOCKET, sockaddr*, int*)>(ws, "getsockname")(s, reinterpret_cast<sockaddr*>(&address), &size), 0);
    CSetRecord set;
    set.SetTcpPort(static_cast<uint16_t>(((address.sin_port & 0xFF) << 8) | (address.sin_port >> 8)));
    CRecordingScope reports;
    EXPECT_EQ(IsPortFree(set), 0) << set.TcpPort();
    Fn<int(WINAPI*)(SOCKET)>(ws, "closesocket")(s);
    EXPECT_EQ(IsPortFree(set), 1) << set.TcpPort();
    EXPECT_EQ(reports.Count(), 0);
}

TEST(RestartWindows, ForcesOnlyHungPrograms) {
    EXPECT_EQ(kRestartFlags & EWX_REBOOT, static_cast<unsigned>(EWX_REBOOT));
    EXPECT_EQ(kRestartFlags & EWX_FORCEIFHUNG, static_cast<unsigned>(EWX_FORCEIFHUNG));
    EXPECT_EQ(kRestartFlags & EWX_FORCE, 0u);
}

}  // namespace
