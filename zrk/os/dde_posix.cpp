// DDE conversations on POSIX: there is no DDE here. Every call fails the
// way DDEML fails without an initialised instance; the framework's DDE
// manager checks DdeAvailable() first and says so itself.
#include <chrono>
#include <thread>

#include "zrk/os/dde_os.h"

namespace zrkos {

bool DdeAvailable() { return false; }

unsigned DdeStart(DdeHandler, uint32_t* instance) {
    *instance = 0;
    return DDE_ERR_DLL_NOT_INITIALIZED;
}

bool DdeEnd(uint32_t) { return false; }

unsigned DdeLastError(uint32_t) { return DDE_ERR_DLL_NOT_INITIALIZED; }

bool DdeNameService(uint32_t, const char*, bool) { return false; }

DdeConv DdeConnectTo(uint32_t, const char*, const char*) { return 0; }

bool DdeDisconnectConv(DdeConv) { return false; }

bool DdeConvAlive(DdeConv) { return false; }

bool DdeExecuteText(uint32_t, DdeConv, const char*, unsigned) { return false; }

bool DdeRequestText(uint32_t, DdeConv, const char*, unsigned, CString*) { return false; }

void DdeWait(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace zrkos
