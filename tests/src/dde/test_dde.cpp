// DDE conversations between two real processes: this test program is the
// client, progmanpeer (built beside it) the Program Manager server.
//
// Every test uses service names of its own, so that tests running side by
// side never reach each other's servers, and ends every server it started
// or caused to start.
#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "testutil.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/dde.h"
#include "zrk/os/os.h"
#include "zrk/resfile.h"

namespace {

class TestApp : public CConsoleApp {
public:
    int RunApp() override { return 0; }

protected:
    void PrintLine(const char*) override {}
};

// A client that never starts a server: used to reach a server that must
// already be there.
class NoStartClient : public CDdeClient {
public:
    int StartServer(const char*) override { return ZRK_FAIL; }
};

CString BinDir() { return CFile::DirPart(zrkos::ModulePath()); }
CString PeerPath() { return BinDir() + "progmanpeer.exe"; }

CString UniqueService() {
    static int counter = 0;
    return CString::Printf("zrkpeer%lu_%d", static_cast<unsigned long>(GetCurrentProcessId()), ++counter);
}

// DDE travels between top-level windows. Under Wine without a display the
// interactive window station has no window driver and no such window can be
// made, so this process moves to a window station of its own (with a
// desktop), where windows need no display; the servers it starts inherit
// it. That also keeps other processes' windows out of the tests'
// conversations. It works only before the process's first window: a
// process that made one earlier is stuck with what it had. True when
// top-level windows can be made.
bool TopLevelWindows() {
    static int state = -1;
    if (state >= 0) return state == 1;
    const std::string name = "zrkdde" + std::to_string(GetCurrentProcessId());
    if (HWINSTA station = CreateWindowStationA(name.c_str(), 0, WINSTA_ALL_ACCESS, nullptr)) {
        if (SetProcessWindowStation(station)) {
            HDESK desktop = CreateDesktopA("Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
            if (desktop) SetThreadDesktop(desktop);
        }
    }
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    state = probe ? 1 : 0;
    if (probe) DestroyWindow(probe);
    return state == 1;
}

class DdeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TopLevelWindows()) {
            // Alone in its process (as ctest runs each test) this is the
            // environment's fault; after other tests it may be theirs.
            if (::testing::UnitTest::GetInstance()->test_to_run_count() > 1)
                GTEST_SKIP() << "no top-level windows in this process: run the DDE tests each in a process "
                                "of its own (ctest does)";
            FAIL() << "no top-level windows can be made, so DDE cannot work here";
        }
        ASSERT_TRUE(zrkos::Exists(PeerPath())) << "progmanpeer.exe is not built beside the tests";
        ini = scratch.Path("client.ini");
        app.Settings().SetFilePath(ini);
        ASSERT_EQ(ZrkStartModules(), 0);
        ASSERT_NE(ZrkDdeManager(), nullptr);
    }

    void TearDown() override {
        for (const CString& service : servers) StopServer(service);
        for (HANDLE process : processes) {
            if (WaitForSingleObject(process, 10000) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "a peer did not end after ExitProgman";
                TerminateProcess(process, 99);
            }
            CloseHandle(process);
        }
        ZrkStopModules(true);
        ZrkStopModules(false);
        ZrkSetConsoleNumbering(false);
    }

    // Asks the server of SERVICE to end, if one is there (on either topic
    // the peers of these tests serve).
    static void StopServer(const char* service) {
        CReportScope quiet;
        for (const char* topic : {"progman", "System"}) {
            NoStartClient client;
            client.SetRetries(0, 0);
            if (client.Connect(service, topic) == 0 && client.Execute("[ExitProgman(0)]") == 0) return;
        }
    }

    // Starts a peer for SERVICE on TOPIC and waits until it serves.
    void StartPeer(const CString& service, const char* topic = "progman") {
        const CString ready = scratch.Path(service + ".ready");
        CString line = CString::Printf("\"%s\" --service %s --topic %s --idle 30 --ready %s --record %s",
                                       PeerPath().c_str(), service.c_str(), topic, ready.c_str(),
                                       RecordPath(service).c_str());
        std::vector<char> cmd(line.c_str(), line.c_str() + line.Length() + 1);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            << line.c_str();
        CloseHandle(pi.hThread);
        processes.push_back(pi.hProcess);
        servers.push_back(service);
        for (int i = 0; i < 400 && !zrkos::Exists(ready); ++i) {
            DWORD code = 0;
            ASSERT_TRUE(GetExitCodeProcess(pi.hProcess, &code) && code == STILL_ACTIVE) << "the peer ended early";
            Sleep(50);
        }
        ASSERT_TRUE(zrkos::Exists(ready)) << "the peer did not register " << service.c_str();
    }

    CString RecordPath(const CString& service) const { return scratch.Path(service + ".rec"); }

    void WriteSettings(const std::string& text) { ASSERT_TRUE(WriteAll(ini, text)); }
    CString DdeServices(const char* service) const { return CProfile(ini, "DdeServices").GetText(service, ""); }

    ScratchDir scratch;
    TestApp app;
    CString ini;
    std::vector<CString> servers;    // ended through ExitProgman at the end
    std::vector<HANDLE> processes;   // peers started here, waited for
};

TEST_F(DdeTest, AMissingTopicIsSystem) {
    const CString system = UniqueService(), progman = UniqueService();
    StartPeer(system, "System");
    StartPeer(progman, "progman");
    struct Case { CString service; const char* topic; int result; const char* topicUsed; } cases[] = {
        {system, nullptr, 0, "System"}, {system, "", 0, "System"},
        {system, "progman", ZRK_FAIL, "progman"},  // refused, and no server can be started
        {progman, nullptr, ZRK_FAIL, "System"},
        {progman, "PROGMAN", 0, "PROGMAN"},        // topics compare without case
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        CDdeClient client;
        client.SetServerCommand("zrk-no-such-program.exe");
        EXPECT_EQ(client.Connect(c.service, c.topic), c.result) << c.service.c_str() << " " << (c.topic ? c.topic : "-");
        EXPECT_EQ(client.Topic(), c.topicUsed);
        EXPECT_EQ(client.IsConnected(), c.result == 0);
    }
}

TEST_F(DdeTest, StartsAMissingServerAndRecordsItsCommand) {
    // The peer started without options takes them from progmanpeer.ini in
    // its working directory.
    ASSERT_TRUE(WriteAll(scratch.Path("progmanpeer.ini"),
                         "[Peer]\r\nService=progmanpeer\r\nIdle=20\r\nRecord=" + Str(scratch.Path("plain.rec")) + "\r\n"));
    const CString fromField = UniqueService(), fromSettings = UniqueService();
    const CString quotedPeer = "\"" + PeerPath() + "\"";
    const CString fieldCommand = quotedPeer + " --idle 20 --service " + fromField;
    const CString settingsCommand = quotedPeer + " --idle 20 --service " + fromSettings;
    WriteSettings("[DdeServices]\r\n" + Str(fromSettings) + "=" + Str(settingsCommand) + "\r\n");
    struct Case {
        CString service;
        CString serverCommand;  // the client's own command, or none
        CString recorded;       // in DdeServices afterwards
    } cases[] = {
        {fromField, fieldCommand, fieldCommand}, {fromSettings, "", settingsCommand},
        {"progmanpeer", "", "progmanpeer"},  // the service name is the command
    };
    for (const Case& c : cases) {
        servers.push_back(c.service);
        CRecordingScope rec;
        CDdeClient client;
        client.SetServerCommand(c.serverCommand);
        client.SetServerDirectory(scratch.Dir());
        client.SetRetries(100, 100);
        ASSERT_EQ(client.Connect(c.service, "progman"), 0) << c.service.c_str() << ": " << rec.LastText();
        EXPECT_TRUE(rec.entries.empty()) << rec.LastText();
        EXPECT_EQ(DdeServices(c.service), c.recorded) << c.service.c_str();
        CString groups;
        EXPECT_EQ(client.Request("Groups", &groups), 0);
    }
}

// A command that fails to start ends Connect with the launcher's report and
// no retries (ten, two seconds apart, were there any); one that starts but
// serves nothing ends it with no conversation, its command recorded.
TEST_F(DdeTest, AServerThatDoesNotStartOrNeverAnswers) {
    struct Case { const char* command; int result, msgId; const char* recorded; } cases[] = {
        {"zrk-no-such-program.exe /x", ZRK_FAIL, MSG_START_FAILED, "zrk-no-such-program.exe /x"},
        {"cmd.exe /c exit 0", ZRK_PRIVILEGE, MSG_DDE_NO_CONVERSATION, "cmd.exe /c exit 0"},
    };
    for (const Case& c : cases) {
        const CString service = UniqueService();
        WriteSettings("[DdeServices]\r\n" + Str(service) + "=" + c.command + "\r\n");
        CRecordingScope rec;
        CDdeClient client;
        if (c.result == ZRK_PRIVILEGE) client.SetRetries(3, 50);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Connect(service, "progman"), c.result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
        ASSERT_EQ(rec.entries.size(), 1u) << rec.LastText();
        EXPECT_EQ(rec.entries[0].msgId, c.msgId);
        EXPECT_NE(rec.entries[0].text.find(c.result == ZRK_FAIL ? c.command : Str(service)), std::string::npos);
        EXPECT_EQ(DdeServices(service), c.recorded);
    }
}

// A running server is reached at once, without consulting DdeServices.
// Commands and answers cross between the processes byte for byte; what the
// peer makes of them is tested natively (tests/zrk/test_dde.cpp).
TEST_F(DdeTest, ConnectsAtOnceAndKeepsQuotesCommasAndHighBytes) {
    const CString service = UniqueService();
    StartPeer(service);
    // A command that cannot start: consulting it would fail the connection.
    WriteSettings("[DdeServices]\r\n" + Str(service) + "=zrk-no-such-program.exe\r\n");
    CRecordingScope rec;
    CDdeClient client;
    ASSERT_EQ(client.Connect(service, "progman"), 0) << rec.LastText();
    const char* commands[] = {
        "[CreateGroup(\"Caf\xe9, \"\"Bar\"\"\")]",
        "[AddItem(\"C:\\\xe9t\xe9.exe /a \"\"b\"\"\",\"T\xeetle, one\")] [ShowGroup(\"CAF\xe9, \"\"bar\"\"\",7)]",
    };
    std::string record;
    for (const char* command : commands) {
        EXPECT_EQ(client.Execute(command), 0) << command;
        record += std::string(command) + "\r\n";
    }
    CString answer;
    EXPECT_EQ(client.Request("Caf\xe9, \"Bar\"", &answer), 0);
    EXPECT_EQ(Str(answer), "\"Caf\xe9, \"\"Bar\"\"\",\"Caf\xe9, \"\"Bar\"\".grp\",1,7\r\n"
                           "\"T\xeetle, one\",\"C:\\\xe9t\xe9.exe /a \"\"b\"\"\",,,0,0,0,0,0\r\n");
    // The server saw every command byte for byte.
    EXPECT_EQ(ReadAll(RecordPath(service)), record);
    EXPECT_EQ(rec.entries.size(), 0u) << rec.LastText();
    EXPECT_EQ(DdeServices(service), "zrk-no-such-program.exe");
    EXPECT_EQ(client.Disconnect(), 0);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(DdeTest, RefusedTransactionsAreReportedAsNotProcessed) {
    const CString service = UniqueService();
    StartPeer(service);
    CDdeClient client;
    ASSERT_EQ(client.Connect(service, "progman"), 0);

    // Both programs' texts: the interactive program's resource file holds it
    // at 980, the console program's at 660.
    struct Case { const char* resFile; bool console; int resId; bool execute; const char* text; } cases[] = {
        {"setup.res", false, 980, true, "[DeleteGroup(\"No such, \xe9\")]"},
        {"quietinst.res", true, 660, false, "No such group"},
    };
    for (const Case& c : cases) {
        CResourceImage& image = ZrkResourceImage();
        ASSERT_EQ(image.Load(BinDir() + c.resFile), 0) << c.resFile;
        ZrkSetConsoleNumbering(c.console);
        CString format;
        ASSERT_TRUE(image.StringText(c.resId, &format)) << c.resFile << " has no text " << c.resId;

        CRecordingScope rec;
        CString answer = "stale";
        const int r = c.execute ? client.Execute(c.text) : client.Request(c.text, &answer);
        image.Release();
        ZrkSetConsoleNumbering(false);

        EXPECT_EQ(r, ZRK_PRIVILEGE) << c.text;
        ASSERT_EQ(rec.entries.size(), 1u) << c.text;
        EXPECT_EQ(rec.entries[0].msgId, MSG_DDE_NOT_PROCESSED);
        EXPECT_EQ(rec.entries[0].code, ZRK_PRIVILEGE);
        format.Replace("%s", c.text);
        EXPECT_EQ(rec.entries[0].text, Str(format));
        if (!c.execute) {
            EXPECT_TRUE(answer.IsEmpty());
        }
        EXPECT_TRUE(client.IsConnected()) << "a refusal does not end the conversation";
    }
}

TEST_F(DdeTest, AServerThatEndsEndsTheConversation) {
    const CString service = UniqueService();
    StartPeer(service);
    CDdeClient client;
    ASSERT_EQ(client.Connect(service, "progman"), 0);
    ASSERT_EQ(client.Execute("[ExitProgman(1)]"), 0);
    ASSERT_EQ(WaitForSingleObject(processes.back(), 10000), WAIT_OBJECT_0) << "the peer did not end";

    // Whether or not the library told us, the next transactions fail with
    // the service named, and the dead conversation is let go.
    CRecordingScope rec;
    EXPECT_EQ(client.Execute("[Reload()]"), ZRK_PRIVILEGE);
    EXPECT_FALSE(client.IsConnected());
    CString answer;
    EXPECT_EQ(client.Request("Groups", &answer), ZRK_PRIVILEGE);
    ASSERT_EQ(rec.entries.size(), 2u);
    for (const auto& e : rec.entries) {
        EXPECT_EQ(e.msgId, MSG_DDE_NO_CONVERSATION);
        EXPECT_NE(e.text.find(Str(service)), std::string::npos) << e.text;
    }
    EXPECT_EQ(client.Disconnect(), 0);
}

// The manager alone, in this process: its own service is offered to its own
// clients, and its plain handlers refuse every transaction.
TEST_F(DdeTest, ThePlainManagerAcceptsItsServicesAndHandlesNothing) {
    CDdeManager* manager = ZrkDdeManager();
    const CString service = UniqueService();
    ASSERT_EQ(manager->RegisterService(service), 0);
    EXPECT_EQ(manager->RegisterService(service), 0);  // once is enough
    EXPECT_EQ(manager->Services().Count(), 1);

    CRecordingScope rec;
    auto client = std::make_unique<CDdeClient>();
    client->SetRetries(0, 0);
    client->SetServerCommand("zrk-no-such-program.exe");
    ASSERT_EQ(client->Connect(service, "any topic"), 0) << rec.LastText();
    EXPECT_EQ(client->Execute("[CreateGroup(x)]"), ZRK_PRIVILEGE);
    CString answer;
    EXPECT_EQ(client->Request("Groups", &answer), ZRK_PRIVILEGE);
    ASSERT_EQ(rec.entries.size(), 2u);
    EXPECT_EQ(rec.entries[0].msgId, MSG_DDE_NOT_PROCESSED);
    EXPECT_EQ(rec.entries[1].msgId, MSG_DDE_NOT_PROCESSED);
    EXPECT_EQ(manager->Clients().size(), 1u);

    // Ending the manager ends the client's conversation; the client then
    // has no manager to work with.
    EXPECT_EQ(manager->End(), 0);
    EXPECT_EQ(ZrkDdeManager(), nullptr);
    EXPECT_FALSE(client->IsConnected());
    EXPECT_EQ(client->Execute("[Reload()]"), ZRK_PRIVILEGE);
    EXPECT_EQ(rec.entries.back().msgId, MSG_DDE_NOT_INITIALISED);
    client.reset();
}

// Incoming transactions on a conversation a client of this process holds go
// to that client; connections to a registered name are accepted (the rest
// of the dispatch is tested natively).
TEST_F(DdeTest, TransactionsGoToTheClientOfTheirConversation) {
    class RecordingClient : public CDdeClient {
    public:
        std::string seen;
        int OnAdviseData(const char* item, const CString& data) override {
            seen += std::string("data ") + item + "=" + data.c_str() + ";";
            return 0;
        }
        int OnDisconnect() override {
            seen += "gone;";
            return 0;
        }
    };
    CDdeManager* manager = ZrkDdeManager();
    const CString service = UniqueService();
    ASSERT_EQ(manager->RegisterService(service), 0);
    RecordingClient client;
    ASSERT_EQ(client.Connect(service, "topic"), 0);

    const zrkos::DdeConv mine = client.Conversation(), other = mine + 1;
    struct Case {
        unsigned type;
        zrkos::DdeConv conv;
        const char* item;
        int result;
        const char* clientSaw;
    } cases[] = {
        {zrkos::DDE_CONNECT, 0, service, 0, ""}, {zrkos::DDE_ADVDATA, mine, "price", 0, "data price=12;"},
        {zrkos::DDE_ADVDATA, other, "price", ZRK_DDE_NOT_HANDLED, ""}, {zrkos::DDE_DISCONNECT, mine, "", 0, "gone;"},
    };
    for (const Case& c : cases) {
        zrkos::DdeIncoming in;
        in.type = c.type;
        in.format = zrkos::kDdeTextFormat;
        in.conv = c.conv;
        in.topic = "topic";
        in.item = c.item;
        in.data = "12";
        in.hasData = true;
        client.seen.clear();
        CRecordingScope rec;
        CString reply;
        EXPECT_EQ(manager->Dispatch(in, &reply), c.result) << c.type;
        EXPECT_EQ(client.seen, c.clientSaw) << c.type;
        EXPECT_EQ(rec.entries.size(), 0u) << c.type;
    }
    // The server said goodbye: the client no longer holds a conversation.
    EXPECT_FALSE(client.IsConnected());
}

}  // namespace
