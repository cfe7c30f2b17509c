// DDE without a conversation partner, on every platform: the DDE error
// report, the dispatch of incoming transactions to the server handlers, the
// answers the library gets back, and the Program Manager command language
// as the test peer (tools/progmanpeer) speaks it. Conversations between two
// processes are tested under Windows (tests/src/dde/test_dde.cpp).
#include "zrk/dde.h"

#include <gtest/gtest.h>

#include <string>

#include "testutil.h"
#include "tools/progmanpeer/progman.h"
#include "zrk/report.h"

namespace {

using namespace zrkos;

// The DDE error report: each library error with what is known about the
// failure.
TEST(DdeMessages, TheErrorReportNamesWhatIsKnown) {
    CDdeManager manager;
    struct Case {
        unsigned error;
        const char* service;
        const char* topic;
        const char* subject;
        int msgId;
        std::string text;
    } cases[] = {
        {0, "svc", "top", "cmd", MSG_DDE_NO_ERROR, "A DDE operation failed without an error from the DDE library"},
        {0x4003, nullptr, nullptr, nullptr, MSG_DDE_NOT_INITIALISED, "The DDE library is not initialised (instance 0)"},
        {0x4006, "svc", "top", nullptr, MSG_DDE_INVALID_PARAMETER,
         "Invalid DDE parameter (instance 0, service \"svc\", topic \"top\")"},
        {0x4006, "svc", nullptr, "cmd", MSG_DDE_ERROR, "DDE error 0x4006 (cmd)"},
        {0x4009, "svc", nullptr, "[A(\"x, y\")]", MSG_DDE_NOT_PROCESSED, "The DDE server did not process \"[A(\"x, y\")]\""},
        {0x4009, "svc", "top", nullptr, MSG_DDE_ERROR, "DDE error 0x4009 (svc)"},
        {0x400A, "svc", "top", nullptr, MSG_DDE_NO_CONVERSATION,
         "No DDE conversation could be established with the service \"svc\""},
        {0x400A, nullptr, nullptr, "item", MSG_DDE_ERROR, "DDE error 0x400a (item)"},
        {0x4005, "svc", nullptr, "cmd", MSG_DDE_ERROR, "DDE error 0x4005 (cmd)"},  // execute time-out
        {0x400C, nullptr, nullptr, nullptr, MSG_DDE_ERROR, "DDE error 0x400c ()"},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(manager.ReportError(c.error, c.service, c.topic, c.subject), ZRK_PRIVILEGE) << c.error;
        ASSERT_EQ(rec.entries.size(), 1u) << c.error;
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.error;
        EXPECT_EQ(rec.entries[0].text, c.text) << c.error;
    }
}

// What the library gets back: which transactions reach the handler, which
// carry data, and the answer to a handled or refused one.
TEST(DdeMessages, AnswersToTheLibrary) {
    struct Case { unsigned type; unsigned format; bool offered, data; DdeAnswer handled, refused; } cases[] = {
        {DDE_CONNECT, 0, true, false, DDE_ANSWER_TRUE, DDE_ANSWER_FALSE},
        {DDE_WILDCONNECT, 0, false, false, DDE_ANSWER_NONE, DDE_ANSWER_NONE},
        {DDE_ADVSTART, kDdeTextFormat, true, false, DDE_ANSWER_TRUE, DDE_ANSWER_FALSE},
        {DDE_REQUEST, kDdeTextFormat, true, false, DDE_ANSWER_TEXT, DDE_ANSWER_NONE},
        {DDE_REQUEST, 2, true, false, DDE_ANSWER_NONE, DDE_ANSWER_NONE},  // text only
        {DDE_ADVREQ, kDdeTextFormat, true, false, DDE_ANSWER_TEXT, DDE_ANSWER_NONE},
        {DDE_EXECUTE, kDdeTextFormat, true, true, DDE_ANSWER_ACK, DDE_ANSWER_NOT_PROCESSED},
        {DDE_POKE, kDdeTextFormat, true, true, DDE_ANSWER_ACK, DDE_ANSWER_NOT_PROCESSED},
        {DDE_ADVDATA, kDdeTextFormat, true, true, DDE_ANSWER_ACK, DDE_ANSWER_NOT_PROCESSED},
        {DDE_XACT_COMPLETE, kDdeTextFormat, true, true, DDE_ANSWER_NONE, DDE_ANSWER_NONE},
        {DDE_DISCONNECT, 0, true, false, DDE_ANSWER_NONE, DDE_ANSWER_NONE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DdeOffered(c.type), c.offered) << std::hex << c.type;
        EXPECT_EQ(DdeCarriesData(c.type), c.data) << std::hex << c.type;
        EXPECT_EQ(DdeAnswerFor(c.type, c.format, true), c.handled) << std::hex << c.type;
        EXPECT_EQ(DdeAnswerFor(c.type, c.format, false), c.refused) << std::hex << c.type;
    }
    // Received data ends at its first zero byte, or with the data.
    EXPECT_EQ(Str(DdeDataText("[A()]\0padding", 13)), "[A()]");
    EXPECT_EQ(Str(DdeDataText("ab\xE9", 3)), "ab\xE9");
    EXPECT_EQ(Str(DdeDataText(nullptr, 0)), "");
}

// Incoming transactions on conversations no client holds reach the server
// handlers with their topic, item and data; requests only in text format;
// connections only for registered names.
TEST(DdeMessages, ServerTransactionsReachTheirHandlers) {
    class Server : public CDdeManager {
    public:
        std::string seen;
        int Seen(const char* what, const char* topic, const char* item, const char* data) {
            seen += std::string(what) + " " + topic + "/" + item + "=" + data;
            return 0;
        }
        int OnRequest(DdeConv, const char* t, const char* i, CString* d) override {
            *d = "answer";
            return Seen("request", t, i, "");
        }
        int OnPoke(DdeConv, const char* t, const char* i, const CString& d) override { return Seen("poke", t, i, d); }
        int OnExecute(DdeConv, const char* t, const CString& d) override { return Seen("execute", t, "", d); }
    } server;
    struct Case { unsigned type, format; int result; const char* seen; } cases[] = {
        {DDE_REQUEST, kDdeTextFormat, 0, "request topic/item="}, {DDE_REQUEST, 2, ZRK_DDE_NOT_HANDLED, ""},
        {DDE_POKE, kDdeTextFormat, 0, "poke topic/item=data"},   {DDE_EXECUTE, kDdeTextFormat, 0, "execute topic/=data"},
        {DDE_ADVSTART, kDdeTextFormat, ZRK_DDE_NOT_HANDLED, ""},  // the plain handlers
        {DDE_CONNECT, 0, ZRK_DDE_NOT_HANDLED, ""},                // "item" is no registered name
    };
    for (const Case& c : cases) {
        DdeIncoming in;
        in.type = c.type;
        in.format = c.format;
        in.conv = 77;
        in.topic = "topic";
        in.item = "item";
        in.data = "data";
        server.seen.clear();
        CRecordingScope rec;
        CString reply;
        EXPECT_EQ(server.Dispatch(in, &reply), c.result) << std::hex << c.type;
        EXPECT_EQ(server.seen, c.seen) << std::hex << c.type;
        EXPECT_EQ(Str(reply), c.seen[0] == 'r' ? "answer" : "") << std::hex << c.type;
        ASSERT_EQ(rec.entries.size(), c.type == DDE_CONNECT ? 1u : 0u) << std::hex << c.type;
        if (c.type != DDE_CONNECT) continue;
        EXPECT_EQ(rec.entries[0].kind, ZRK_KIND_TRACE);
        EXPECT_EQ(rec.entries[0].text,
                  "DDE connection refused: the service \"item\" (topic \"topic\") is not registered here");
    }
}

// Where the platform has no DDE the manager starts idle and a client says
// so, once.
TEST(DdeMessages, WithoutDdeAClientSaysItIsNotAvailable) {
    if (CDdeManager::Available()) GTEST_SKIP() << "this platform has DDE";
    CDdeManager manager;
    CRecordingScope rec;
    ASSERT_EQ(manager.Start(), 0);
    EXPECT_EQ(ZrkDdeManager(), &manager);
    CDdeClient client;
    CString answer = "stale";
    EXPECT_EQ(client.Connect("progman", "progman"), ZRK_PRIVILEGE);
    EXPECT_EQ(client.Request("Groups", &answer), ZRK_PRIVILEGE);
    EXPECT_EQ(Str(answer), "");
    EXPECT_EQ(manager.RegisterService("mine"), ZRK_PRIVILEGE);
    ASSERT_EQ(rec.entries.size(), 3u);
    for (const auto& e : rec.entries) EXPECT_EQ(e.msgId, MSG_DDE_NOT_AVAILABLE);
    EXPECT_EQ(manager.End(), 0);
    EXPECT_EQ(ZrkDdeManager(), nullptr);
}

// ---- the Program Manager peer's command language ------------------------------------

TEST(ProgmanPeer, CommandsChangeGroupsAsRequestsShowThem) {
    // Each step: an execute command (nullptr for none) and whether it runs,
    // then a request and its answer.
    struct Step {
        const char* execute;
        bool runs;
        const char* item;
        const char* answer;  // nullptr: no such item
    } steps[] = {
        {"[CreateGroup(\"Caf\xe9, \"\"Bar\"\"\")]", true, "Groups", "Caf\xe9, \"Bar\"\r\n"},
        {"[AddItem(\"C:\\Program Files\\x\\\xe9t\xe9.exe /a \"\"b\"\"\",\"T\xeetle, one\",C:\\icons\\a.ico,2,10,20,"
         "\"C:\\Dir, x\",0,1)]",
         true, "caf\xe9, \"bar\"",
         "\"Caf\xe9, \"\"Bar\"\"\",\"Caf\xe9, \"\"Bar\"\".grp\",1,1\r\n"
         "\"T\xeetle, one\",\"C:\\Program Files\\x\\\xe9t\xe9.exe /a \"\"b\"\"\",\"C:\\Dir, x\",C:\\icons\\a.ico,"
         "10,20,2,0,1\r\n"},
        {" [ CreateGroup ( Second , s.grp ) ] [AddItem(notepad.exe)][ShowGroup(\"CAF\xe9, \"\"bar\"\"\",7)]", true,
         "Groups", "Caf\xe9, \"Bar\"\r\nSecond\r\n"},
        {nullptr, true, "second", "\"Second\",s.grp,1,1\r\n\"notepad.exe\",\"notepad.exe\",,,0,0,0,0,0\r\n"},
        {"[ShowGroup(Second,1)][AddItem(a.exe,A)][ReplaceItem(notepad.exe)][AddItem(wordpad.exe,Word)]", true,
         "Second", "\"Second\",s.grp,2,1\r\n\"Word\",\"wordpad.exe\",,,0,0,0,0,0\r\n\"A\",\"a.exe\",,,0,0,0,0,0\r\n"},
        {"[DeleteItem(a)][Reload()][Reload(second)]", true, "Second",
         "\"Second\",s.grp,1,1\r\n\"Word\",\"wordpad.exe\",,,0,0,0,0,0\r\n"},
        // Refused: unknown groups, items and commands, bad numbers and
        // malformed strings. Commands before the refused one have run.
        {"[DeleteGroup(\"No such, \xe9\")]", false, "Groups", "Caf\xe9, \"Bar\"\r\nSecond\r\n"},
        {"[DeleteItem(nothing)]", false, nullptr, nullptr}, {"[NoSuchCommand()]", false, nullptr, nullptr},
        {"[ShowGroup(Second,x)]", false, nullptr, nullptr}, {"[AddItem(b.exe,B,,1x)]", false, nullptr, nullptr},
        {"[CreateGroup(unclosed", false, nullptr, nullptr}, {"[CreateGroup(\"unclosed)]", false, nullptr, nullptr},
        {"CreateGroup(x)", false, nullptr, nullptr}, {"[CreateGroup()]", false, nullptr, nullptr},
        {"", false, nullptr, nullptr},
        {"[DeleteGroup(Second)][AddItem(c.exe)]", false, "Groups", "Caf\xe9, \"Bar\"\r\n"},  // no group selected
        {nullptr, true, "Second", nullptr}, {"[ExitProgman(1)]", true, "Groups", "Caf\xe9, \"Bar\"\r\n"},
    };
    CProgmanState state;
    for (const Step& s : steps) {
        if (s.execute) {
            EXPECT_EQ(state.Execute(s.execute), s.runs) << s.execute;
        }
        if (!s.item) continue;
        CString answer;
        EXPECT_EQ(state.Request(s.item, &answer), s.answer != nullptr) << s.item;
        EXPECT_EQ(Str(answer), s.answer ? s.answer : "") << s.item;
    }
    EXPECT_TRUE(state.ExitRequested());
}

}  // namespace
