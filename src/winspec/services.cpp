// Services of a set (see services.h).

#include "src/winspec/services.h"

#include <windows.h>

#include "src/infstruc/conditions.h"
#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "zrk/platform.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

CString SystemText(DWORD error) {
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                   sizeof text, nullptr);
    CString s(text, static_cast<int>(n));
    return s.TrimRight();
}

// Reports the failure of one service: what went wrong (already reported by
// the caller when REPORTED), then which service it was.
int ServiceFailure(const CServiceRecord& record, DWORD error, bool reported = false) {
    if (!reported) {
        if (error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME)
            ZrkErrorId(ZRK_INTERNAL, MSG_SERVICE_EXISTS, record.Name().c_str());
        else
            ZrkErrorId(ZRK_INTERNAL, MSG_SERVICE_FAILED, static_cast<int>(error), SystemText(error).c_str());
    }
    return ZrkErrorId(ZRK_INTERNAL, MSG_SERVICE_NAMED, record.DisplayName().c_str());
}

// Asks a running service to stop and waits, at most kServiceStopWaitMs, for
// it to stop: a service deleted while it runs is only marked for deletion,
// its program stays in use and the name cannot be created again.
int StopService(const CServiceRecord& record, SC_HANDLE service) {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service, &status)) return ServiceFailure(record, GetLastError());
    if (status.dwCurrentState == SERVICE_STOPPED) return 0;
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        // Stopped meanwhile, or already stopping: wait below.
        if (error != ERROR_SERVICE_NOT_ACTIVE && error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
            return ServiceFailure(record, error);
    }
    const DWORD start = GetTickCount();
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
        if (GetTickCount() - start >= kServiceStopWaitMs) {
            ZrkErrorId(ZRK_INTERNAL, MSG_SERVICE_STOP_TIMEOUT, record.Name().c_str(),
                       static_cast<int>(kServiceStopWaitMs / 1000));
            return ServiceFailure(record, 0, true);
        }
        Sleep(100);
    }
    return 0;
}

int DeleteExisting(const CServiceRecord& record, SC_HANDLE manager) {
    SC_HANDLE service = OpenServiceA(manager, record.Name(), SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        const DWORD error = GetLastError();
        return error == ERROR_SERVICE_DOES_NOT_EXIST ? 0 : ServiceFailure(record, error);
    }
    int r = StopService(record, service);
    if (r == 0 && !DeleteService(service)) r = ServiceFailure(record, GetLastError());
    CloseServiceHandle(service);
    return r;
}

int MaintainService(const CServiceRecord& record, const CString& binary, bool install) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return ServiceFailure(record, GetLastError());
    int r = DeleteExisting(record, manager);
    if (r == 0 && install) {
        // A path with blanks and without quotes would start the first
        // program that a prefix of it names.
        const CString command = binary.StartsWith("\"") ? binary : "\"" + binary + "\"";
        SC_HANDLE service =
            CreateServiceA(manager, record.Name(), record.DisplayName(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                           record.AutoStart() ? SERVICE_AUTO_START : SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                           command, nullptr, nullptr, nullptr, nullptr, nullptr);
        if (service == nullptr)
            r = ServiceFailure(record, GetLastError());
        else
            CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return r;
}

}  // namespace

int ApplyServices(const CSetRecord& set, bool install) {
    const CInfList<CServiceRecord>& records = set.Services();
    for (int i = 0; i < records.Count(); ++i) {
        const CServiceRecord& record = records[i];
        int holds = 0;
        ZRK_TRY(EvaluateTest(record, &set, &holds));
        if (!holds || record.BinaryPath().IsEmpty()) continue;
        CString binary = record.BinaryPath();
        ZRK_TRY(ExpandVariables(&set, binary, true));
        if (ZrkPlatformKind() != ZRK_WINNT) continue;
        ZRK_TRY(MaintainService(record, binary, install));
    }
    return 0;
}
