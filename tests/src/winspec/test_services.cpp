// Services against Wine's service manager, read back with its own
// configuration query: created, re-created, deleted while running (its
// program free afterwards); nothing on the other platform kinds.
#include "src/winspec/services.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "src/infstruc/records.h"
#include "testutil.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

const char kName[] = "ZrkTestService", kOther[] = "ZrkTestServiceOther", kDisplay[] = "Zrk test service";

// "start type, binary path" of service NAME, "" when there is none.
std::string Config(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    std::vector<char> buf(8192);
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf.data());
    DWORD needed = 0;
    std::string c;
    if (service && QueryServiceConfigA(service, q, static_cast<DWORD>(buf.size()), &needed))
        c = std::to_string(q->dwStartType) + " " + std::to_string(q->dwServiceType) + " " +
            std::to_string(q->dwErrorControl) + " " + q->lpServiceStartName + " " + q->lpDisplayName + ", " +
            q->lpBinaryPathName;
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return c;
}

// Stops and deletes NAME (left by a failed run), or with START starts it
// and waits until it runs.
void Control(const char* name, bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    SERVICE_STATUS status = {};
    if (service && (start ? StartServiceA(service, 0, nullptr) : ControlService(service, SERVICE_CONTROL_STOP, &status)))
        for (int i = 0; i < 50 && QueryServiceStatus(service, &status) &&
                        status.dwCurrentState != (start ? SERVICE_RUNNING : SERVICE_STOPPED);
             ++i)
            Sleep(100);
    if (service && !start) DeleteService(service);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

CSetRecord ServiceSet(const char* binary, const char* autoStart, const char* test = "") {
    CSetRecord set;
    auto record = std::make_unique<CServiceRecord>();
    for (const char* key : {"NAME", "DISPLAYNAME", "FULLBINNAME", "AUTOSTART"})
        record->SetKey(key, *key == 'N' ? kName : *key == 'D' ? kDisplay : *key == 'F' ? binary : autoStart);
    record->SetTestText(test);
    EXPECT_EQ(set.Services().Add(std::move(record)), 0);
    return set;
}

TEST(ApplyServices, CreatedRecreatedDeletedWhileRunningAndSkipped) {
    Control(kName, false);
    ScratchDir dir;
    ASSERT_EQ(CFile::MakeDir(dir.Path("svc dir")), 0);
    // A path with a blank: the service manager must get it in quotes.
    const CString binary = dir.Path("svc dir\\test service.exe");
    ASSERT_EQ(CFile::Copy(CFile::DirPart(zrkos::ModulePath()) + "zrk_test_service.exe", binary), 0);
    const std::string tail = " 16 0 LocalSystem Zrk test service, \"" + Str(binary) + "\"";
    struct Step {
        int kind;
        const char *autoStart, *test;
        bool install, run;
        std::string config;
    };
    const Step steps[] = {
        {ZRK_WIN95, "1", "", true, false, ""},
        {ZRK_WIN32S, "1", "", true, false, ""},
        {ZRK_WINNT, "1", "C:\\zrk-no-such-file", true, false, ""},
        {ZRK_WINNT, "1", "", true, false, "2" + tail},
        {ZRK_WINNT, "0", "", true, true, "3" + tail},  // re-created, then started
        {ZRK_WINNT, "0", "", false, false, ""},
    };
    for (const Step& s : steps) {
        CPlatformScope kind(s.kind);
        CRecordingScope reports;
        EXPECT_EQ(ApplyServices(ServiceSet(binary, s.autoStart, s.test), s.install), 0);
        EXPECT_EQ(reports.Count(), 0) << reports.LastText();
        EXPECT_EQ(Config(kName), s.config) << s.kind << s.autoStart;
        if (s.run) Control(kName, true);
    }
    // The running service was stopped before its deletion: its program is free.
    EXPECT_TRUE(DeleteFileA(binary)) << GetLastError();
}

TEST(ApplyServices, TakenDisplayNameIsReportedWithTheService) {
    Control(kName, false);
    Control(kOther, false);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    CloseServiceHandle(CreateServiceA(manager, kOther, kDisplay, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                      SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, "C:\\x.exe", nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
    CloseServiceHandle(manager);
    CPlatformScope nt(ZRK_WINNT);
    CRecordingScope reports;
    EXPECT_EQ(ApplyServices(ServiceSet("C:\\x.exe", "0"), true), ZRK_INTERNAL);
    Control(kOther, false);
    ASSERT_EQ(reports.Count(), 2);
    EXPECT_EQ(reports.entries[0].msgId, MSG_SERVICE_EXISTS.id);
    EXPECT_EQ(reports.entries[1].msgId, MSG_SERVICE_NAMED.id);
    EXPECT_EQ(Config(kName), "");
}

}  // namespace
