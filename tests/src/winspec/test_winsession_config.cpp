// The Windows session's configuration steps 2 and 5 on a description
// without archives: a rename joins the file list, a service is created
// (read back from the service manager) and removed again.
#include "src/winspec/winsession.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "src/winspec/services.h"
#include "testutil.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

bool ServiceExists(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return service != nullptr;
}

TEST(WinSession, RenamesAndServicesRunAsConfigurationSteps) {
    ScratchDir dir;
    const std::string d = Str(dir.Dir());
    ASSERT_TRUE(WriteAll(dir.Path("old.txt"), "content"));
    ASSERT_TRUE(WriteAll(dir.Path("setup.ans"), "[Install]\r\nPath=" + d + "dest\r\nGroup=(No Group)\r\n"));
    ASSERT_TRUE(WriteAll(dir.Path("setup.inf"),
                         "VERSION = 1.0\r\n{ SET\r\n APPNAME = Plain Tool\r\n APPSHORTNAME = PLAINT\r\n"
                         " { RENAME\r\n  OLD = " + d + "old.txt\r\n  NEW = $User$\\new.txt\r\n }\r\n"
                         " { SERVICE\r\n  NAME = ZrkSessionService\r\n  DISPLAYNAME = Zrk session service\r\n"
                         "  FULLBINNAME = $User$\\svc.exe\r\n }\r\n}\r\n"));
    CPlatformScope nt(ZRK_WINNT);
    CWinSession session;
    session.SetAnswerProfile(dir.Path("setup.ans"));
    CRecordingScope reports;
    ASSERT_EQ(session.LoadDescription(dir.Path("setup.inf")), 0) << reports.LastText();
    CString record;
    ASSERT_EQ(session.PrepareInstallation(&record), 0) << reports.LastText();
    const int result = session.RunEngineTask();
    const bool created = ServiceExists("ZrkSessionService");
    EXPECT_EQ(ApplyServices(*session.Product(), false), 0);
    EXPECT_EQ(result, 0) << reports.LastText();
    EXPECT_TRUE(created);
    EXPECT_FALSE(ServiceExists("ZrkSessionService"));
    EXPECT_EQ(ReadAll(dir.Path("dest\\new.txt")), "content");
    EXPECT_GE(session.FileList().Find(dir.Path("dest\\new.txt")), 0) << Str(session.FileList().Join("|"));
}

}  // namespace
