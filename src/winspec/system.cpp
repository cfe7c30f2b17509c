// System facts and small services (see system.h).

#include "src/winspec/system.h"

#include <winsock2.h>
#include <windows.h>

#include <memory>
#include <new>

#include "src/infstruc/records.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

int IsAdministrator() { return zrkos::IsAdministrator() ? 1 : 0; }

int GetFileVersion(const char* path, CString* language, CString* version) {
    language->Empty();
    version->Empty();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &handle);
    if (size == 0) return 0;
    std::unique_ptr<char[]> data(new (std::nothrow) char[size]);
    if (!data) return ZRK_NOMEM;
    if (!GetFileVersionInfoA(path, 0, size, data.get())) return 0;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.get(), "\\VarFileInfo\\Translation", &value, &length) || length < 2 * sizeof(WORD))
        return 0;
    const WORD* translation = static_cast<const WORD*>(value);
    char name[128] = "";
    if (VerLanguageNameA(translation[0], name, sizeof name) > 0) *language = name;
    const CString key = CString::Printf("\\StringFileInfo\\%.4X%.4X\\FileVersion", translation[0], translation[1]);
    if (VerQueryValueA(data.get(), key.c_str(), &value, &length) && length > 0)
        *version = CString(static_cast<const char*>(value));
    return 0;
}

int ShortenExistingPath(CString& path) {
    if (!CFile::Exists(path)) return 0;
    if (zrkos::QueryShortPath(path, &path) != 0)
        return ZrkErrorId(ZRK_WINERR, MSG_NO_SHORT_NAME, path.c_str(), zrkos::LastSystemError());
    return 0;
}

namespace {

// The few socket functions the port test needs, from the library loaded at
// the first use (the console program never loads it).
struct SocketLibrary {
    bool ready = false;
    int(WINAPI* startup)(WORD, WSADATA*) = nullptr;
    hostent*(WINAPI* resolve)(const char*) = nullptr;
    SOCKET(WINAPI* open)(int, int, int) = nullptr;
    int(WINAPI* bind)(SOCKET, const sockaddr*, int) = nullptr;
    int(WINAPI* close)(SOCKET) = nullptr;
};

template <class F>
bool Resolve(HMODULE module, const char* name, F* fn) {
    *fn = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *fn != nullptr;
}

const SocketLibrary& Sockets() {
    static SocketLibrary lib = [] {
        SocketLibrary l;
        HMODULE module = LoadLibraryA("wsock32.dll");
        WSADATA data;
        l.ready = module != nullptr && Resolve(module, "WSAStartup", &l.startup) &&
                  Resolve(module, "gethostbyname", &l.resolve) && Resolve(module, "socket", &l.open) &&
                  Resolve(module, "bind", &l.bind) && Resolve(module, "closesocket", &l.close) &&
                  l.startup(MAKEWORD(1, 1), &data) == 0;
        return l;
    }();
    return lib;
}

}  // namespace

int IsPortFree(const CSetRecord& set) {
    const SocketLibrary& lib = Sockets();
    if (!lib.ready) return 0;
    const hostent* host = lib.resolve("localhost");
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr) return 0;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    // Network byte order, without the library's helper (it is not linked).
    const unsigned port = set.TcpPort();
    address.sin_port = static_cast<u_short>(((port & 0xFF) << 8) | (port >> 8));
    memcpy(&address.sin_addr, host->h_addr_list[0], sizeof address.sin_addr);
    const SOCKET s = lib.open(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return 0;
    const bool bound = lib.bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    lib.close(s);
    return bound ? 1 : 0;
}

int StartProgramManager() {
    if (ZrkShellGeneration() != 31) return 0;
    if (HWND window = FindWindowA("Progman", nullptr)) {
        ShowWindow(window, SW_RESTORE);
        return 0;
    }
    if (zrkos::StartProcess("progman", nullptr, false, nullptr) != 0)
        return ZrkErrorId(ZRK_FAIL, MSG_START_FAILED, "progman", zrkos::LastSystemError());
    return 0;
}
