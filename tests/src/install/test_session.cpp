// The installation session: header, product choice, the plan's questions
// answered from the answer file, the install task's order and its refusal of
// work this build cannot do.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "src/install/session.h"
#include "testutil.h"
#include "zrk/app.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

// Records the interactions and hooks it sees. With BUILT the hooks of other
// parts of the engine stand in for work that is done (or fails with the
// result given in FAIL).
class TestSession : public InstallSession {
public:
    std::vector<std::string> calls;
    bool built = false;
    bool admin = true;
    bool secondCopy = false;
    std::map<int, int> fail;  // configuration step -> result
    int backFromDestination = 0;
    uint32_t minKiB = 0, maxKiB = 0;
    NetworkMode askedMode = NETWORK_CLIENT;

    using InstallSession::CheckDiskSpace;

    void Note(const std::string& s) { calls.push_back(s); }
    std::string Calls() const {
        std::string all;
        for (const auto& c : calls) all += (all.empty() ? "" : " ") + c;
        return all;
    }

    int AskSetupType(const char* title, int* type, uint32_t minimal, uint32_t maximal) override {
        minKiB = minimal;
        maxKiB = maximal;
        Note("type");
        return InstallSession::AskSetupType(title, type, minimal, maximal);
    }
    int AskNetworkMode(NetworkMode* mode, const char*) override {
        Note("network");
        *mode = askedMode;
        return 0;
    }
    int AskDestination(const char* name, const char* version, const char* typeText, const char* user,
                       const char* company, CString* dest, CString* group, uint32_t neededKiB) override {
        Note("dest");
        if (backFromDestination > 0) {
            --backFromDestination;
            return ZRK_BACK;
        }
        return InstallSession::AskDestination(name, version, typeText, user, company, dest, group, neededKiB);
    }
    void EnableProgressStep(int step, bool on) override {
        if (on) Note("on" + std::to_string(step));
    }

protected:
    bool UserIsAdministrator() override { return admin; }
    int DetectInstalled(SessionHookMode mode, CString* record) override {
        if (secondCopy) SetModeFlags(false, false, false, true, false);
        return InstallSession::DetectInstalled(mode, record);
    }
    int ExtractPackages(SessionHookMode mode, const std::vector<int>& packages) override {
        Note(std::string(mode == HOOK_CHECK ? "check" : "run") + "-extract");
        return built ? 0 : InstallSession::ExtractPackages(mode, packages);
    }
    int ConfigureStep(SessionHookMode mode, int step) override {
        Note(std::string(mode == HOOK_CHECK ? "check" : "run") + std::to_string(step));
        if (!built) return InstallSession::ConfigureStep(mode, step);
        return mode == HOOK_RUN && fail.count(step) ? fail[step] : 0;
    }
    int RegisterProduct(SessionHookMode mode) override {
        Note(std::string(mode == HOOK_CHECK ? "check" : "run") + "-register");
        return built ? 0 : InstallSession::RegisterProduct(mode);
    }
    int WriteUninstallRecord(SessionHookMode mode) override {
        Note(std::string(mode == HOOK_CHECK ? "check" : "run") + "-record");
        return built ? 0 : InstallSession::WriteUninstallRecord(mode);
    }
    int ProgressText(const char* caption, const char* text) override {
        if (std::string(caption) == "Configure") Note(std::string("progress") + text);
        return 0;
    }
};

// A product of two packages, BASE using LIB, and a minimal list that
// differs from the maximal one.
const char* const kProduct =
    "VERSION = 1.0\n"
    "INSTALLTITLE = Demo Setup\n"
    "APPVERSION = 3.0\n"
    "APPLANGUAGE = E\n"
    "{ PACKAGE\n PACKAGENAME = BASE\n DISK = 1\n USEPACKAGE = LIB\n { FILE\n  FILENAME = a.exe\n  UNCOMPSIZE = 100\n }\n}\n"
    "{ PACKAGE\n PACKAGENAME = LIB\n DISK = 1\n USEPACKAGE = EXTRA\n { FILE\n  FILENAME = l.dll\n  UNCOMPSIZE = 20\n }\n}\n"
    "{ PACKAGE\n PACKAGENAME = EXTRA\n DISK = 1\n { FILE\n  FILENAME = x.dat\n  UNCOMPSIZE = 3\n }\n}\n"
    "{ PACKAGE\n PACKAGENAME = DOCS\n}\n"
    "{ SET\n APPNAME = Demo\n MAXIMAL = BASE\n MAXIMAL = DOCS\n MINIMAL = BASE\n}\n";

class SessionTest : public ::testing::Test {
protected:
    ScratchDir scratch;
    CRecordingScope reports;
    TestSession session;

    // Writes the description and the answers (section [Install] gets ANSWERS)
    // and loads the description into S.
    int Load(TestSession& s, const std::string& inf, const std::string& answers = "") {
        WriteAll(scratch.Path("setup.inf"), inf);
        WriteAll(scratch.Path("setup.ans"), "[Install]\n" + answers);
        s.SetAnswerProfile(scratch.Path("setup.ans"));
        return s.LoadDescription(scratch.Path("setup.inf"));
    }
    // Loads and prepares; the destination is the directory "dest" of the
    // scratch directory.
    int Plan(TestSession& s, const std::string& inf, const std::string& answers = "") {
        const int r = Load(s, inf, "Path=" + Str(scratch.Path("dest")) + "\n" + answers);
        CString record;
        return r != 0 ? r : s.PrepareInstallation(&record);
    }
    int Plan(const std::string& inf, const std::string& answers = "") { return Plan(session, inf, answers); }
    std::string Selection() const { return Str(session.Selection().Join(",")); }
    void ExpectOneError(int msgId) {
        ASSERT_EQ(reports.Count(ZRK_KIND_ERROR), 1) << reports.LastText();
        EXPECT_EQ(reports.entries.back().msgId, msgId) << reports.LastText();
    }
};

TEST_F(SessionTest, HeaderVersionAndKeys) {
    struct Case { const char* header; int result; int msgId; int setupFiles; } cases[] = {
        {"VERSION = 1.0\n", 0, 0, 5},
        {"", 0, 0, 5},
        {"VERSION = 1.00\n", ZRK_DESCERR, MSG_BAD_DESCRIPTION_VERSION.id, 0},
        {"VERSION = 1.0\nSETUPFILE = setup.exe\nSETUPFILE = a.txt, $User$\\b.txt\n", 0, 0, 6},
    };
    for (const Case& c : cases) {
        TestSession s;
        CRecordingScope scope;
        WriteAll(scratch.Path("setup.inf"), std::string(c.header) + "{ SET\n APPNAME = X\n}\n");
        EXPECT_EQ(s.LoadDescription(scratch.Path("setup.inf")), c.result) << c.header;
        EXPECT_EQ(scope.Count(ZRK_KIND_ERROR), c.msgId ? 1 : 0) << c.header;
        if (c.msgId) {
            EXPECT_EQ(scope.entries.back().msgId, c.msgId);
            continue;
        }
        // The program files complete the list, once each.
        const CStringList& files = s.SetupFiles();
        EXPECT_EQ(files.Count(), c.setupFiles) << c.header;
        EXPECT_GE(files.Find("quietinst.res"), 0);
        EXPECT_EQ(s.DescriptionPath(), "setup.inf");
        EXPECT_EQ(s.ProductName(), "X");
    }
}

TEST_F(SessionTest, ProductChoice) {
    const std::string sets =
        "{ SET\n APPNAME = Never\n TEST = IF defined(NO_SUCH_SYMBOL)\n}\n"
        "{ SET\n APPNAME = First\n APPDEFAULTPATH = \\x\n}\n"
        "{ SET\n APPNAME = Second\n APPDEFAULTPATH = \\y\n}\n";
    struct Case { std::string inf, answers; int result, msgId; const char* product; } cases[] = {
        {"{ SET\n APPNAME = Never\n TEST = IF defined(NO_SUCH_SYMBOL)\n}\n", "", ZRK_DESCERR, MSG_NO_PRODUCT.id, ""},
        {sets, "", 0, 0, "First"},  // the first that applies, not the first of all
        {sets, "Product=2\n", 0, 0, "Second"},
        {sets, "Product=0\n", ZRK_DESCERR, MSG_PRODUCT_INDEX_BAD.id, ""},
        {sets, "Product=3\n", ZRK_DESCERR, MSG_PRODUCT_INDEX_BAD.id, ""},
    };
    for (const Case& c : cases) {
        TestSession s;
        CRecordingScope scope;
        EXPECT_EQ(Plan(s, c.inf, c.answers), c.result) << c.answers;
        EXPECT_EQ(scope.Count(ZRK_KIND_ERROR), c.msgId ? 1 : 0) << c.answers;
        if (c.msgId) {
            EXPECT_EQ(scope.entries.back().msgId, c.msgId);
        }
        EXPECT_EQ(Str(s.ProductName()), c.result ? "Never" : c.product);
    }
}

TEST_F(SessionTest, SetupTypesAndPackages) {
    struct Case { const char* answers; int result, msgId; const char* selection; bool askedType; } cases[] = {
        {"", 0, 0, "BASE,DOCS,LIB", true},
        {"Type=Maximal\n", 0, 0, "BASE,DOCS,LIB", true},
        // One level of USEPACKAGE: LIB is added for BASE, EXTRA for LIB is not.
        {"Type=minimal\n", 0, 0, "BASE,LIB", true},
        {"Type=custom\nPackages=DOCS, LIB\n", 0, 0, "DOCS,LIB,EXTRA", true},
        {"Type=custom\n", 0, 0, "", true},
        {"Type=typical\n", ZRK_DESCERR, MSG_BAD_SETUP_TYPE.id, "", true},
        {"Type=custom\nPackages=BASE,NOPE\n", ZRK_DESCERR, MSG_UNKNOWN_PACKAGE.id, "", true},
    };
    for (const Case& c : cases) {
        reports.entries.clear();
        session.calls.clear();
        EXPECT_EQ(Plan(kProduct, c.answers), c.result) << c.answers;
        EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), c.msgId ? 1 : 0) << c.answers;
        if (c.msgId) {
            EXPECT_EQ(reports.entries.back().msgId, c.msgId);
            continue;
        }
        EXPECT_EQ(Selection(), c.selection) << c.answers;
        EXPECT_EQ(session.Calls(), "type dest") << c.answers;
        // Sizes in KiB, with the margin of every installation.
        EXPECT_EQ(session.minKiB, 120u + 5120u);
        EXPECT_EQ(session.maxKiB, 120u + 5120u);
    }
    // Lists of equal length: no question, the maximal list.
    reports.entries.clear();
    session.calls.clear();
    std::string same = kProduct;
    same.replace(same.find("MINIMAL = BASE"), 14, "MINIMAL = DOCS\n MINIMAL = BASE");
    EXPECT_EQ(Plan(same, "Type=minimal\n"), 0);
    EXPECT_EQ(Selection(), "BASE,DOCS,LIB");
    EXPECT_EQ(session.Calls(), "dest");
}

TEST_F(SessionTest, UnknownPackageInTheProductsList) {
    std::string inf = kProduct;
    inf.replace(inf.find("MAXIMAL = DOCS"), 14, "MAXIMAL = GONE");
    EXPECT_EQ(Plan(inf), ZRK_DESCERR);
    ExpectOneError(MSG_LIST_PACKAGE_UNKNOWN.id);
}

// Back from the destination returns to the question before it.
TEST_F(SessionTest, BackFromDestination) {
    session.backFromDestination = 1;
    EXPECT_EQ(Plan(kProduct, "Type=custom\nPackages=DOCS\n"), 0);
    EXPECT_EQ(session.Calls(), "type dest dest");
    EXPECT_EQ(Selection(), "DOCS");
}

TEST_F(SessionTest, GroupAnswersAndUserGroupSetting) {
    struct App : CConsoleApp {
        int RunApp() override { return 0; }
    } app;
    app.Settings().SetFilePath(scratch.Path("zrk.ini"));
    const std::string inf = std::string(kProduct).replace(std::string(kProduct).find("APPNAME = Demo"), 14,
                                                          "APPNAME = Demo\n MAINGROUP = Demo Group");
    struct Case { const char* answers; const char* group; const char* userGroup; } cases[] = {
        {"", "Demo Group", "0"},
        {"Group=Tools\nUserGroup=1\n", "Tools", "1"},
        {"Group=(no group)\n", "", "0"},
    };
    for (const Case& c : cases) {
        TestSession s;
        ASSERT_EQ(Plan(s, inf, c.answers), 0);
        EXPECT_EQ(Str(s.Group()), c.group) << c.answers;
        EXPECT_EQ(Str(s.Product()->GroupInUse()), c.group);
        EXPECT_EQ(Str(CProfile(scratch.Path("zrk.ini"), "progman").GetText("UserGroup")), c.userGroup);
    }
    EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 0);
}

TEST_F(SessionTest, NetworkModes) {
    const CString server = scratch.Path("server\\");
    zrkos::MakeDir(scratch.Path("server"));
    zrkos::MakeDir(scratch.Path("plain"));
    WriteAll(scratch.Path("server\\setup.rem"), "[Network]\nType=server\n");
    struct Case { bool ask, client, server; NetworkMode asked; std::string answers; int result, msgId; NetworkMode mode;
                  int typeMsg; const char* calls; } cases[] = {
        {false, false, false, NETWORK_CLIENT, "", 0, 0, NETWORK_STANDALONE, MSG_TYPE_MAXIMAL.id, "type dest"},
        {true, false, false, NETWORK_STANDALONE, "", 0, 0, NETWORK_STANDALONE, MSG_TYPE_MAXIMAL.id, "network type dest"},
        {false, false, true, NETWORK_CLIENT, "", 0, 0, NETWORK_SERVER, MSG_TYPE_SERVER.id, "dest"},
        // nc wins over ns and over n.
        {true, true, true, NETWORK_STANDALONE, "ServerPath=" + Str(server) + "\n", 0, 0, NETWORK_CLIENT,
         MSG_TYPE_CLIENT.id, "type dest"},
        {false, true, false, NETWORK_CLIENT, "ServerPath=plain\n", ZRK_FAIL, MSG_NOT_A_SERVER.id, NETWORK_CLIENT, 0,
         ""},
        // The source directory is no server installation either.
        {true, false, false, NETWORK_CLIENT, "", ZRK_FAIL, MSG_NOT_A_SERVER.id, NETWORK_CLIENT, 0, "network"},
    };
    for (const Case& c : cases) {
        TestSession s;
        CRecordingScope scope;
        s.askedMode = c.asked;
        s.SetNetworkSwitches(c.ask, c.client, c.server);
        EXPECT_EQ(Plan(s, kProduct, c.answers), c.result) << c.answers;
        EXPECT_EQ(scope.Count(ZRK_KIND_ERROR), c.msgId ? 1 : 0) << c.answers;
        if (c.msgId) {
            EXPECT_EQ(scope.entries.back().msgId, c.msgId);
            continue;
        }
        EXPECT_EQ(s.Network(), c.mode) << c.answers;
        EXPECT_EQ(s.TypeText(), ZrkMessageText(c.typeMsg)) << c.answers;
        EXPECT_EQ(s.Calls(), c.calls) << c.answers;
        if (c.mode == NETWORK_CLIENT) {
            EXPECT_EQ(s.ServerPath(), server);
        }
    }
}

TEST_F(SessionTest, SecondCopyNaming) {
    const CString app = scratch.Path("App");
    struct Case { const char* version; const char* language; std::vector<const char*> existing; const char* name; }
        cases[] = {
            {"3.0", "E", {}, "App.30E"},
            {"3.0", "E", {".30E"}, "App.001"},
            {"3.0", "E", {".30E", ".001", ".002"}, "App.003"},
            {"", "", {}, "App.000"},  // missing characters count as "0"
            {"7", "", {}, "App.770"},
        };
    for (const Case& c : cases) {
        RemoveTree(scratch.Path("App"));
        for (const char* suffix : {".30E", ".001", ".002"}) RemoveTree(app + suffix);
        zrkos::MakeDir(app);
        for (const char* suffix : c.existing) zrkos::MakeDir(app + suffix);
        TestSession s;
        s.secondCopy = true;
        const std::string inf = (*c.version ? std::string("APPVERSION = ") + c.version + "\n" : "") +
                                (*c.language ? std::string("APPLANGUAGE = ") + c.language + "\n" : "") +
                                "{ SET\n APPNAME = A\n MAINGROUP = Grp\n APPDEFAULTPATH = " + Str(app) + "\n}\n";
        ASSERT_EQ(Load(s, inf), 0);
        CString record;
        ASSERT_EQ(s.PrepareInstallation(&record), 0) << reports.LastText();
        EXPECT_EQ(s.AppPath(), scratch.Path(c.name) + "\\") << c.version;
        EXPECT_EQ(s.RecordPath(), scratch.Path(c.name) + "\\setup.log");
        EXPECT_EQ(Str(s.Group()), "Grp " + std::string(c.name).substr(std::string(c.name).size() - 3));
    }
}

TEST_F(SessionTest, DiskSpace) {
    std::string inf = kProduct;
    // A package of 2^31 KiB is larger than any disk the tests run on.
    inf.replace(inf.find("UNCOMPSIZE = 3"), 14, "UNCOMPSIZE = 2147483648");
    EXPECT_EQ(Plan(inf, "Type=custom\nPackages=EXTRA\n"), ZRK_INTERNAL);
    ExpectOneError(MSG_NO_DISK_SPACE.id);
    EXPECT_EQ(session.CheckDiskSpace("\\\\server\\share\\app", 0xFFFFFFFFull), 0);
    EXPECT_EQ(session.CheckDiskSpace(scratch.Dir(), 1), 0);
    EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 1);
}

TEST_F(SessionTest, AdministratorOnNt) {
    const std::string inf = std::string("TESTADMINONNT = 1\n") + kProduct;
    struct Case { int kind; bool admin; int result; } cases[] = {
        {ZRK_WINNT, false, ZRK_PRIVILEGE},
        {ZRK_WINNT, true, 0},
        {ZRK_WIN95, false, 0},
    };
    for (const Case& c : cases) {
        CPlatformScope platform(c.kind);
        TestSession s;
        CRecordingScope scope;
        s.admin = c.admin;
        EXPECT_EQ(Plan(s, inf), c.result) << c.kind << c.admin;
        EXPECT_EQ(scope.Count(ZRK_KIND_ERROR), c.result ? 1 : 0);
        if (c.result) {
            EXPECT_EQ(scope.entries.back().msgId, MSG_NOT_ADMINISTRATOR.id);
            EXPECT_NE(scope.entries.back().text.find("Demo Setup"), std::string::npos);
        }
    }
#ifndef _WIN32
    // The real test of the POSIX build: the effective user is root.
    EXPECT_EQ(zrkos::IsAdministrator(), ::geteuid() == 0);
#endif
}

TEST_F(SessionTest, UserInformationAndRelativeAnswerFile) {
    const std::string inf = std::string("USERINFO = 1\n") + kProduct;
    EXPECT_EQ(Plan(inf), ZRK_DESCERR);
    ExpectOneError(MSG_NO_USER_NAME.id);
    // A relative answer file lies beside the description, whatever the
    // current directory.
    reports.entries.clear();
    TestSession s;
    WriteAll(scratch.Path("setup.inf"), inf);
    WriteAll(scratch.Path("setup.ans"),
             "[Install]\nUserName=Ann\nCompany=Acme\nPath=" + Str(scratch.Path("d")) + "\n");
    s.SetAnswerProfile("setup.ans");
    ASSERT_EQ(s.LoadDescription(scratch.Path("setup.inf")), 0);
    CString record;
    ASSERT_EQ(s.PrepareInstallation(&record), 0) << reports.LastText();
    EXPECT_EQ(s.UserName(), "Ann");
    EXPECT_EQ(s.Company(), "Acme");
    int upgrade = -1;
    EXPECT_EQ(s.AskUpgrade("", "", "", &upgrade), 0);
    EXPECT_EQ(upgrade, 1);
    WriteAll(scratch.Path("setup.inf"), "ACCEPTUPGRADE = 0\n" + inf);
    ASSERT_EQ(s.LoadDescription(scratch.Path("setup.inf")), 0);
    EXPECT_EQ(s.AskUpgrade("", "", "", &upgrade), 0);
    EXPECT_EQ(upgrade, 0);
}

// The order of the install task and the configuration steps with their
// progress reports; a failed step keeps its error and step 7 still runs.
TEST_F(SessionTest, ConfigurationOrder) {
    const std::string checks = "check-extract check1 check2 check3 check4 check5 check6 check-register check-record";
    struct Case { std::map<int, int> fail; int result; std::string calls; } cases[] = {
        {{}, 0,
         checks + " on0 on4 on5 on7 run-extract run1 progress1 run2 progress2 run3 progress3 run4 progress4 run5 "
                  "progress5 run6 progress6 run-register run-record progress7"},
        {{{3, ZRK_WINERR}, {5, ZRK_FAIL}}, ZRK_WINERR,
         checks + " on0 on4 on5 on7 run-extract run1 progress1 run2 progress2 run3 progress3 run-register "
                  "run-record progress7"},
        {{{2, ZRK_CANCEL}}, ZRK_CANCEL, checks + " on0 on4 on5 on7 run-extract run1 progress1 run2"},
    };
    for (const Case& c : cases) {
        RemoveTree(scratch.Path("dest"));
        TestSession s;
        s.built = true;
        s.fail = c.fail;
        ASSERT_EQ(Plan(s, kProduct), 0);
        s.calls.clear();
        EXPECT_EQ(s.RunEngineTask(), c.result);
        EXPECT_EQ(s.Calls(), c.calls);
        // Two files, times 1.1.
        EXPECT_EQ(s.ProgressTotal(), 2);
    }
}

TEST_F(SessionTest, InformationText) {
    const std::string longLine = std::string(70, 'a') + " bb cc dd ee ff";
    struct Case { std::string text, written; } cases[] = {
        {"one\r\ntwo\r\n", "one\r\ntwo"},
        {"one\ntwo\n", "one\ntwo"},
        {"one\r\n\r\n", "one\r\n"},
        {"x", "x"},
        {"\n", ""},
        {"", ""},
        // Broken after the first blank beyond column 75.
        {longLine, std::string(70, 'a') + " bb cc \r\ndd ee ff"},
        // The count restarts at a line feed as at a carriage return.
        {"abc\n" + longLine, "abc\n" + std::string(70, 'a') + " bb cc \r\ndd ee ff"},
    };
    for (const Case& c : cases) {
        RemoveTree(scratch.Path("dest"));
        TestSession s;
        s.built = true;
        WriteAll(scratch.Path("readme.txt"), c.text);
        ASSERT_EQ(Plan(s, std::string("TXT = readme.txt\n") + kProduct), 0);
        ASSERT_EQ(s.RunEngineTask(), 0) << reports.LastText();
        EXPECT_EQ(ReadAll(scratch.Path("dest\\readme.txt")), c.written) << c.text;
    }
    EXPECT_EQ(reports.Count(ZRK_KIND_ERROR), 0);
}

// Work this build cannot do refuses the run before anything is changed;
// what it can do (setup files) is done, with a warning about the record.
TEST_F(SessionTest, UnbuiltWorkIsRefusedFirst) {
    const std::string product = std::string("SETUPFILE = notes.txt\n") + kProduct;
    const std::string docsOnly = "Type=custom\nPackages=DOCS\n";
    struct Case { std::string inf, answers; bool remove; int result, msgId; const char* what; } cases[] = {
        {std::string(product).replace(product.find("APPNAME = Demo"), 14, "APPNAME = Demo\n MAINGROUP = G"), docsOnly,
         false, ZRK_DESCERR, MSG_STEP_NOT_BUILT.id, "program groups and shortcuts"},
        {"NEWKEY = Vendrix\\Demo\n" + product, docsOnly, false, ZRK_DESCERR, MSG_STEP_NOT_BUILT.id, "registering"},
        {product, docsOnly, false, 0, MSG_NO_UNINSTALL_RECORD.id, ""},
    };
    for (const Case& c : cases) {
        RemoveTree(scratch.Path("dest"));
        TestSession s;
        CRecordingScope scope;
        WriteAll(scratch.Path("notes.txt"), "n");
        ASSERT_EQ(Plan(s, c.inf, c.answers), 0);
        EXPECT_EQ(s.RunEngineTask(), c.result) << c.what;
        ASSERT_EQ(scope.entries.size(), 1u) << scope.LastText();
        EXPECT_EQ(scope.entries[0].msgId, c.msgId);
        EXPECT_NE(scope.entries[0].text.find(c.what), std::string::npos) << scope.LastText();
        EXPECT_EQ(CFile::Exists(scratch.Path("dest")), c.result == 0) << c.what;
        EXPECT_EQ(ReadAll(scratch.Path("dest\\notes.txt")), c.result == 0 ? "n" : "");
        EXPECT_EQ(s.FileList().Find(scratch.Path("dest\\notes.txt")) >= 0, c.result == 0);
    }
}

TEST_F(SessionTest, UninstallationAndRemovalRefused) {
    EXPECT_EQ(session.LoadRecord(scratch.Path("setup.log")), ZRK_DESCERR);
    session.SetRemoveInstalledCopy(true);
    EXPECT_EQ(Plan(kProduct), ZRK_DESCERR);
    session.SetUninstallDirection(true);
    EXPECT_EQ(session.RunEngineTask(), ZRK_DESCERR);
    ASSERT_EQ(reports.Count(ZRK_KIND_ERROR), 3);
    for (const auto& e : reports.entries) EXPECT_EQ(e.msgId, MSG_STEP_NOT_BUILT.id);
    EXPECT_NE(reports.entries[1].text.find("removing an installed copy"), std::string::npos);
}

}  // namespace
