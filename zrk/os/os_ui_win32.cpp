// User interface services on Win32: message boxes, the program's own string
// table, the OEM conversion and the process's timer window.
#include <windows.h>
// windows.h maps CharToOem to CharToOemA; ours is a function of its own.
#undef CharToOem

#include "zrk/os/os.h"
#include "zrk/result.h"

namespace zrkos {

void CharToOem(char* s) {
    if (s && *s) ::CharToOemA(s, s);
}

void QuietErrorBoxes() { ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

void MessageBoxTask(const char* text, const char* caption, int icon) {
    ::MessageBoxA(nullptr, text, caption, MB_TASKMODAL | (icon ? MB_ICONHAND : MB_ICONINFORMATION));
}

int LoadOwnString(int id, char* buf, int size) {
    if (size <= 0) return -1;
    buf[0] = '\0';
    int n = ::LoadStringA(::GetModuleHandleA(nullptr), static_cast<UINT>(id), buf, size);
    return n > 0 ? n : -1;
}

void PumpMessages() {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

namespace {

const char kTimerClass[] = "TimerWnd";
HWND g_timerWnd = nullptr;
bool g_classOwned = false;  // registered by us, so ours to unregister
TimerCallback g_callback = nullptr;

LRESULT CALLBACK TimerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == 1) {
        if (g_callback) g_callback();
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

bool EnsureWindow() {
    if (g_timerWnd) return true;
    HINSTANCE inst = ::GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = TimerProc;
    wc.hInstance = inst;
    wc.lpszClassName = kTimerClass;
    if (::RegisterClassA(&wc)) {
        g_classOwned = true;
    } else if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    // A message-only window: never shown, and it needs no display.
    g_timerWnd = ::CreateWindowA(kTimerClass, "Vendrix - TimerWnd", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst, nullptr);
    return g_timerWnd != nullptr;
}

}  // namespace

int TimerArm(long delayMs, TimerCallback callback) {
    g_callback = callback;
    if (delayMs < 0) {
        if (g_timerWnd) ::KillTimer(g_timerWnd, 1);
        return 0;
    }
    if (!EnsureWindow()) return ZRK_FAIL;
    if (delayMs < USER_TIMER_MINIMUM) delayMs = USER_TIMER_MINIMUM;
    return ::SetTimer(g_timerWnd, 1, static_cast<UINT>(delayMs), nullptr) ? 0 : ZRK_FAIL;
}

void TimerShutdown() {
    if (g_timerWnd) {
        ::KillTimer(g_timerWnd, 1);
        ::DestroyWindow(g_timerWnd);
        g_timerWnd = nullptr;
    }
    if (g_classOwned) {
        ::UnregisterClassA(kTimerClass, ::GetModuleHandleA(nullptr));
        g_classOwned = false;
    }
    g_callback = nullptr;
}

}  // namespace zrkos
