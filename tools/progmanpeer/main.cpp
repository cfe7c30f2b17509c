// progmanpeer: a Program Manager DDE server for tests.
//
// Wine has no Program Manager DDE server; this program is one, built on the
// framework's DDE server side. It registers a service ("progman") with one
// topic ("progman"), keeps groups and items as the Program Manager's
// execute commands change them (progman.h), answers requests for "Groups"
// and for a group's name in the Program Manager's text formats, and appends
// every execute command it receives, refused or not, to a record file: the
// command's bytes as received, then CR LF.
//
//   progmanpeer [--service NAME] [--topic NAME] [--idle SECONDS]
//               [--ready FILE] [--record FILE | FILE]
//
// Without options the settings file (progmanpeer.ini, searched from the
// current directory as the framework does) gives them in the section
// "Peer": Service, Topic, Idle, Ready, Record. The ready file is created
// once the service is registered. The server ends by itself after IDLE
// seconds (default 60) without a transaction, or after the command
// [ExitProgman()], so that no test leaves it running.
//
// DDE needs Windows: elsewhere the program says so and exits with 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "progman.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/dde.h"
#include "zrk/os/dde_os.h"
#include "zrk/os/os.h"

namespace {

struct Options {
    CString service, topic, ready, record;
    long idleSeconds = -1;  // -1: from the settings, else 60
    bool valid = true;
};

Options g_options;

class CProgmanServer : public CDdeManager {
public:
    CString topic = "progman";
    CString record;
    CProgmanState state;
    uint32_t lastActivity = zrkos::TickCount();

    void Touch() { lastActivity = zrkos::TickCount(); }

    int OnConnect(const char*, const char* requested) override {
        Touch();
        return topic.CompareNoCase(requested) == 0 ? 0 : ZRK_DDE_NOT_HANDLED;
    }
    int OnConnectConfirm(zrkos::DdeConv, const char*, const char*) override {
        Touch();
        return 0;
    }
    int OnDisconnect(zrkos::DdeConv) override {
        Touch();
        return 0;
    }
    int OnExecute(zrkos::DdeConv, const char*, const CString& command) override {
        Touch();
        Record(command);
        return state.Execute(command) ? 0 : ZRK_DDE_NOT_HANDLED;
    }
    int OnRequest(zrkos::DdeConv, const char*, const char* item, CString* data) override {
        Touch();
        return state.Request(item, data) ? 0 : ZRK_DDE_NOT_HANDLED;
    }

private:
    void Record(const CString& command) {
        if (record.IsEmpty()) return;
        CFile file;
        if (file.Open(record, "a") != 0) return;
        file.Write(command.c_str(), command.Length());
        file.Write("\r\n", 2);
        file.Close();
    }
};

class CPeerApp : public CConsoleApp {
public:
    int RunApp() override {
        auto* server = static_cast<CProgmanServer*>(ZrkDdeManager());
        if (!server) return ZRK_INTERNAL_ERROR();

        // The command line wins over the settings file.
        CProfile peer(Settings());
        peer.SetSection("Peer");
        CString service = Pick(g_options.service, peer.GetText("Service", "progman"));
        server->topic = Pick(g_options.topic, peer.GetText("Topic", "progman"));
        server->record = Pick(g_options.record, peer.GetText("Record", ""));
        const CString ready = Pick(g_options.ready, peer.GetText("Ready", ""));
        long idle = g_options.idleSeconds >= 0 ? g_options.idleSeconds : peer.GetInt("Idle", 60);
        if (idle <= 0) idle = 60;

        // A fresh record for this run, before any client can reach us.
        if (!server->record.IsEmpty()) {
            CFile file;
            ZRK_TRY(file.Open(server->record, "w"));
            ZRK_TRY(file.Close());
        }
        ZRK_TRY(server->RegisterService(service));
        if (!ready.IsEmpty()) {
            CFile file;
            ZRK_TRY(file.Open(ready, "w"));
            ZRK_TRY(file.Close());
        }

        const uint32_t idleMs = static_cast<uint32_t>(idle) * 1000u;
        server->Touch();
        while (!server->state.ExitRequested() && zrkos::TickCount() - server->lastActivity < idleMs)
            zrkos::DdeWait(100);
        return 0;
    }

private:
    static CString Pick(const CString& given, const CString& setting) { return given.IsEmpty() ? setting : given; }
};

Options ParseArguments(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(a, "--service") == 0 && hasValue) {
            o.service = argv[++i];
        } else if (std::strcmp(a, "--topic") == 0 && hasValue) {
            o.topic = argv[++i];
        } else if (std::strcmp(a, "--ready") == 0 && hasValue) {
            o.ready = argv[++i];
        } else if (std::strcmp(a, "--record") == 0 && hasValue) {
            o.record = argv[++i];
        } else if (std::strcmp(a, "--idle") == 0 && hasValue) {
            char* end = nullptr;
            o.idleSeconds = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || o.idleSeconds <= 0) o.valid = false;
        } else if (a[0] != '-' && o.record.IsEmpty()) {
            o.record = a;
        } else {
            o.valid = false;
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    if (!CDdeManager::Available()) {
        std::fprintf(stderr, "progmanpeer: DDE needs Windows\n");
        return 1;
    }
    g_options = ParseArguments(argc, argv);
    if (!g_options.valid) {
        std::fprintf(stderr,
                     "usage: progmanpeer [--service NAME] [--topic NAME] [--idle SECONDS] [--ready FILE] "
                     "[--record FILE | FILE]\n");
        return 2;
    }
    CDdeManager::SetFactory([]() -> CDdeManager* { return new CProgmanServer(); });
    const int r = ZrkConsoleMain(argc, argv, []() -> CApp* { return new CPeerApp(); });
    return r == 0 ? 0 : 1;
}
