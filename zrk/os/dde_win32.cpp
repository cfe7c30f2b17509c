// DDE conversations on Win32: the DDEML calls, ANSI throughout.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <dde.h>
#include <ddeml.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "zrk/os/dde_os.h"

namespace zrkos {

namespace {

// The process's instance and the handler its callback feeds. DDEML calls
// back on the thread that initialised the instance only.
DWORD g_instance = 0;
DdeHandler g_handler = nullptr;

struct Registered {
    DWORD instance;
    HSZ name;
};
std::vector<Registered> g_services;

CString HszText(HSZ hsz) {
    if (!hsz || !g_instance) return CString();
    const DWORD n = DdeQueryStringA(g_instance, hsz, nullptr, 0, CP_WINANSI);
    if (n == 0) return CString();
    std::vector<char> buf(n + 1, '\0');
    const DWORD got = DdeQueryStringA(g_instance, hsz, buf.data(), n + 1, CP_WINANSI);
    return CString(buf.data(), static_cast<int>(strnlen(buf.data(), got)));
}

// The text of a data handle (DdeDataText).
bool DataText(HDDEDATA data, CString* out) {
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::vector<char> buf(size + 1, '\0');
    if (size > 0 && DdeGetData(data, reinterpret_cast<LPBYTE>(buf.data()), size, 0) != size) return false;
    *out = DdeDataText(buf.data(), size);
    return true;
}

HDDEDATA TextData(const CString& text, HSZ item) {
    // The terminating zero travels with the text.
    return DdeCreateDataHandle(g_instance,
                               reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                               static_cast<DWORD>(text.Length()) + 1, 0, item, CF_TEXT, 0);
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conv, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                           ULONG_PTR, ULONG_PTR) {
    if (!g_handler || !DdeOffered(type)) return nullptr;

    DdeIncoming in;
    in.type = type;
    in.format = format;
    in.conv = reinterpret_cast<DdeConv>(conv);
    in.topic = HszText(hsz1);
    in.item = HszText(hsz2);
    if (data && DdeCarriesData(type)) in.hasData = DataText(data, &in.data);

    CString reply;
    const bool handled = g_handler(in, &reply) == 0;
    switch (DdeAnswerFor(type, format, handled)) {
    case DDE_ANSWER_TRUE:
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(TRUE));
    case DDE_ANSWER_FALSE:
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(FALSE));
    case DDE_ANSWER_ACK:
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FACK));
    case DDE_ANSWER_NOT_PROCESSED:
        return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(DDE_FNOTPROCESSED));
    case DDE_ANSWER_TEXT:
        return TextData(reply, hsz2);
    case DDE_ANSWER_NONE:
        break;
    }
    return nullptr;
}

// A string handle that frees itself.
class Hsz {
public:
    Hsz(DWORD instance, const char* text)
        : m_instance(instance), m_hsz(DdeCreateStringHandleA(instance, text ? text : "", CP_WINANSI)) {}
    ~Hsz() {
        if (m_hsz) DdeFreeStringHandle(m_instance, m_hsz);
    }
    Hsz(const Hsz&) = delete;
    Hsz& operator=(const Hsz&) = delete;
    HSZ Get() const { return m_hsz; }

private:
    DWORD m_instance;
    HSZ m_hsz;
};

// Wine's DDEML server follows the data of a request with a positive
// acknowledgement, which real servers never send. Left in the queue it would
// be taken for the answer to the conversation's next transaction, so
// whatever acknowledgement waits between two synchronous transactions is a
// stray and is dropped; after a request answered by a Wine server, the
// stray is awaited (it is posted just after the data, so it may not be
// there yet).
bool RunningOnWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

constexpr DWORD kStrayAckWait = 1000;  // ms; it normally follows at once

void DropAck(const MSG& msg) {
    UINT_PTR lo = 0, hi = 0;
    if (UnpackDDElParam(WM_DDE_ACK, msg.lParam, &lo, &hi)) FreeDDElParam(WM_DDE_ACK, msg.lParam);
    // An item's atom comes back with it; anything else is not ours.
    if (hi >= 0xC000 && hi <= 0xFFFF) GlobalDeleteAtom(static_cast<ATOM>(hi));
}

// Drops the acknowledgements queued for the conversation; with WAITMS,
// waits that long for one to arrive when none is there.
void DropStrayAcks(HCONV conv, DWORD waitMs) {
    CONVINFO ci;
    std::memset(&ci, 0, sizeof ci);
    ci.cb = sizeof ci;
    if (!DdeQueryConvInfo(conv, QID_SYNC, &ci) || !ci.hwnd) return;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        bool dropped = false;
        while (PeekMessageA(&msg, ci.hwnd, WM_DDE_ACK, WM_DDE_ACK, PM_REMOVE)) {
            DropAck(msg);
            dropped = true;
        }
        const DWORD spent = GetTickCount() - start;
        if (dropped || spent >= waitMs) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, waitMs - spent, QS_POSTMESSAGE);
    }
}

}  // namespace

bool DdeAvailable() { return true; }

unsigned DdeStart(DdeHandler handler, uint32_t* instance) {
    DWORD id = 0;
    g_handler = handler;
    const UINT r = DdeInitializeA(&id, Callback, APPCLASS_STANDARD, 0);
    if (r != DMLERR_NO_ERROR) {
        g_handler = nullptr;
        return r;
    }
    g_instance = id;
    *instance = id;
    return 0;
}

bool DdeEnd(uint32_t instance) {
    if (!DdeUninitialize(instance)) return false;
    // The string handles of names still registered went with the instance.
    for (size_t i = g_services.size(); i-- > 0;)
        if (g_services[i].instance == instance) g_services.erase(g_services.begin() + static_cast<std::ptrdiff_t>(i));
    if (instance == g_instance) {
        g_instance = 0;
        g_handler = nullptr;
    }
    return true;
}

unsigned DdeLastError(uint32_t instance) { return DdeGetLastError(instance); }

bool DdeNameService(uint32_t instance, const char* service, bool registering) {
    // A registered name keeps its string handle until it is unregistered.
    if (registering) {
        HSZ name = DdeCreateStringHandleA(instance, service ? service : "", CP_WINANSI);
        if (!name) return false;
        if (!::DdeNameService(instance, name, nullptr, DNS_REGISTER)) {
            DdeFreeStringHandle(instance, name);
            return false;
        }
        g_services.push_back(Registered{instance, name});
        return true;
    }
    Hsz name(instance, service);
    if (!name.Get()) return false;
    if (!::DdeNameService(instance, name.Get(), nullptr, DNS_UNREGISTER)) return false;
    for (size_t i = 0; i < g_services.size(); ++i) {
        if (g_services[i].instance == instance && DdeCmpStringHandles(g_services[i].name, name.Get()) == 0) {
            DdeFreeStringHandle(instance, g_services[i].name);
            g_services.erase(g_services.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return true;
}

DdeConv DdeConnectTo(uint32_t instance, const char* service, const char* topic) {
    Hsz s(instance, service);
    Hsz t(instance, topic);
    if (!s.Get() || !t.Get()) return 0;
    return reinterpret_cast<DdeConv>(DdeConnect(instance, s.Get(), t.Get(), nullptr));
}

bool DdeDisconnectConv(DdeConv conv) { return DdeDisconnect(reinterpret_cast<HCONV>(conv)) != FALSE; }

bool DdeConvAlive(DdeConv conv) {
    CONVINFO ci;
    std::memset(&ci, 0, sizeof ci);
    ci.cb = sizeof ci;
    if (!DdeQueryConvInfo(reinterpret_cast<HCONV>(conv), QID_SYNC, &ci)) return false;
    return (ci.wStatus & ST_CONNECTED) != 0;
}

bool DdeExecuteText(uint32_t, DdeConv conv, const char* command, unsigned timeoutMs) {
    const char* text = command ? command : "";
    DropStrayAcks(reinterpret_cast<HCONV>(conv), 0);
    DWORD result = 0;
    HDDEDATA r = DdeClientTransaction(reinterpret_cast<LPBYTE>(const_cast<char*>(text)),
                                      static_cast<DWORD>(std::strlen(text)) + 1, reinterpret_cast<HCONV>(conv),
                                      nullptr, CF_TEXT, XTYP_EXECUTE, timeoutMs, &result);
    return r != nullptr;
}

bool DdeRequestText(uint32_t instance, DdeConv conv, const char* item, unsigned timeoutMs, CString* out) {
    Hsz name(instance, item);
    if (!name.Get()) return false;
    DropStrayAcks(reinterpret_cast<HCONV>(conv), 0);
    DWORD result = 0;
    HDDEDATA data = DdeClientTransaction(nullptr, 0, reinterpret_cast<HCONV>(conv), name.Get(), CF_TEXT,
                                         XTYP_REQUEST, timeoutMs, &result);
    if (!data) return false;
    const bool ok = DataText(data, out);
    DdeFreeDataHandle(data);
    if (RunningOnWine()) DropStrayAcks(reinterpret_cast<HCONV>(conv), kStrayAckWait);
    return ok;
}

void DdeWait(unsigned ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        const DWORD spent = GetTickCount() - start;
        if (spent >= ms) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - spent, QS_ALLINPUT);
    }
}

}  // namespace zrkos
