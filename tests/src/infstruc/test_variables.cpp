// Setup variables: the built-in names, the directory rule, the environment
// and registry lookups (against scratch registry values under Wine), short
// names, "$" texts that are no variables, and the bounds of the repeated
// expansion.
#include "src/infstruc/variables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scratch_registry.h"
#include "src/infstruc/infreg.h"
#include "testutil.h"
#include "zrk/os/os.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

// Sets process environment variables and restores them at the end.
class EnvVars {
public:
    ~EnvVars() {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            zrkos::SetEnv(it->name.c_str(), it->existed ? it->value.c_str() : nullptr);
    }
    void Set(const std::string& name, const std::string& value) {
        CString old;
        const bool existed = zrkos::GetEnv(name.c_str(), &old);
        m_saved.push_back({name, existed, old.c_str()});
        ASSERT_EQ(zrkos::SetEnv(name.c_str(), value.c_str()), 0) << name;
    }

private:
    struct Saved {
        std::string name;
        bool existed;
        std::string value;
    };
    std::vector<Saved> m_saved;
};

// TEXT expanded; *STATUS the result (asserted 0 when STATUS is nullptr).
std::string Expand(const CInfVarContext& context, const std::string& text, bool shortNames = false,
                   int* status = nullptr) {
    CString s(text.c_str());
    const int r = ExpandVariables(context, s, shortNames);
    if (status)
        *status = r;
    else
        EXPECT_EQ(r, 0) << text;
    return s.c_str();
}

std::string NoSlash(const CString& dir) {
    return dir.EndsWith("\\") ? std::string(dir.c_str(), static_cast<size_t>(dir.Length() - 1)) : dir.c_str();
}

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(Variables, ExpandsNamesAndLeavesTextsThatAreNoVariables) {
    ScratchDir scratch;
    ASSERT_EQ(zrkos::MakeDir(scratch.Path("App")), 0);
    const std::string base = NoSlash(scratch.Dir());
    EnvVars env;
    env.Set("ZRKVAR_A", "alpha");
    env.Set("ZRKVAR_NEST", "[$ZRKVAR_A$]");
    env.Set("ZRKVAR_SLASH", "p/q");
    CInfVarContext context;
    context.tcpPort = 8080;
    context.user = scratch.Path("App\\");
    CInfVarContext later = context;  // a destination not created yet
    later.user = scratch.Path("Later");
    struct Case {
        const CInfVarContext& context;
        std::string text, expected;
    } const cases[] = {
        {context, "a/b", "a\\b"},  // separators even without a variable
        {context, "price: 5$", "price: 5$"},  // nothing after the "$"
        {context, "a$$b", "ab"},              // an empty name finds nothing
        {context, "$ tcpport $", "8080"},     // trimmed, any case
        {context, "<$ZRKVAR_A$$ZRKVAR_A$>", "<alphaalpha>"},
        {context, "$ZRKVAR_NEST$", "[alpha]"},  // a value's own variables
        {context, "$ZRKVAR_SLASH$/r", "p\\q\\r"},
        {context, "$ZRKVAR_NOT_SET_ANYWHERE$x", "x"},  // unknown: removed
        {context, "left $unterminated", "left "},      // the rest is the name
        {context, "$HKEY_CURRENT_USER\\Software\\ZrkNoSuchKey | Path$", ""},
        // "$User$" as a directory: an existing one or one ending in "\" as
        // it is, anything else by its parent.
        {context, "$User$\\bin", base + "\\App\\bin"},
        {later, "$USER$\\bin", base + "\\bin"},
        // Many variables side by side are no deep expansion.
        {context, Repeat("$ZRKVAR_NEST$", 100), Repeat("[alpha]", 100)},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        EXPECT_EQ(Expand(c.context, c.text), c.expected) << c.text;
        EXPECT_EQ(rec.Count(), 0) << c.text << ": " << rec.LastText();
    }
    EXPECT_EQ(InfDirectoryForm(scratch.Path("App")).c_str(), base + "\\App");
    EXPECT_EQ(InfDirectoryForm(scratch.Path("App\\file.txt")).c_str(), base + "\\App");
}

// The built-in names and rule E on every platform kind, wherever the tests
// run: the registry is read on kind 3 only, so there the user's environment
// without the process fallback is empty (no registry natively, no such
// value under Wine).
TEST(Variables, BuiltInNamesAndTheEnvironmentOnEachPlatformKind) {
    const std::string windows = NoSlash(zrkos::WindowsDir());
    CString system;
    ASSERT_EQ(zrkos::QuerySystemDir(&system), 0);
    EnvVars env;
    env.Set("SystemDrive", "Q:");
    env.Set("ZRKVAR_RULE", "from process");
    // On kind 3 the registry's system environment comes first.
    CString nt;
    ASSERT_EQ(InfRegistryRead("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                              "SystemDrive", &nt),
              0);
    if (nt.IsEmpty()) nt = "Q:";
    struct Case {
        const char* text;
        std::string expected[4];  // on kinds 1 to 4
    } const cases[] = {
        {"$Windows$\\win.ini", {windows + "\\win.ini", windows + "\\win.ini", windows + "\\win.ini", windows + "\\win.ini"}},
        {"$System$/x.dll", {NoSlash(system) + "\\x.dll", NoSlash(system) + "\\x.dll", NoSlash(system) + "\\x.dll",
                            NoSlash(system) + "\\x.dll"}},
        {"$SYSTEMDRIVE$", {windows.substr(0, 2), windows.substr(0, 2), nt.c_str(), "Q:"}},
        {"$ZRKVAR_RULE$", {"from process", "from process", "from process", "from process"}},
    };
    for (int kind = 1; kind <= 4; ++kind) {
        CPlatformScope platform(kind);
        for (const Case& c : cases) EXPECT_EQ(Expand(CInfVarContext(), c.text), c.expected[kind - 1]) << c.text << kind;
        CString user("?");
        EXPECT_EQ(GetEnvironmentValue("ZRKVAR_RULE", &user, false, false), 0);
        EXPECT_EQ(Str(user), kind == 3 ? "" : "from process") << kind;
    }
}

TEST(Variables, SelfReferenceAndRunawayGrowthAreBoundedAndNamed) {
    EnvVars env;
    env.Set("ZRKVAR_SELF", "x$ZRKVAR_SELF$");
    env.Set("ZRKVAR_PING", "$ZRKVAR_PONG$");
    env.Set("ZRKVAR_PONG", "$ZRKVAR_PING$/");
    // C1 .. C33: C1 nests 32 levels deep, one too many; C2 is fine.
    for (int i = 1; i <= 33; ++i)
        env.Set("ZRKVAR_C" + std::to_string(i), i == 33 ? "end" : "$ZRKVAR_C" + std::to_string(i + 1) + "$");
    // W2 grows to 1,000,000 characters, W3 to twice that.
    env.Set("ZRKVAR_W0", Repeat("0123456789", 10));
    env.Set("ZRKVAR_W1", Repeat("$ZRKVAR_W0$", 100));
    env.Set("ZRKVAR_W2", Repeat("$ZRKVAR_W1$", 100));
    env.Set("ZRKVAR_W3", "$ZRKVAR_W2$$ZRKVAR_W2$");
    EXPECT_EQ(Expand(CInfVarContext(), "$ZRKVAR_C2$;$ZRKVAR_C2$"), "end;end");
    EXPECT_EQ(Expand(CInfVarContext(), "$ZRKVAR_W2$").size(), 1000000u);
    struct Case {
        const char* text;
        int msgId;
        const char* named;
        std::string expected;  // the text as far as it was expanded ("": not checked)
    } const cases[] = {
        {"a $ZRKVAR_SELF$ b", 33, "\"ZRKVAR_SELF\"", "a " + Repeat("x", 32) + "$ZRKVAR_SELF$ b"},
        {"$ZRKVAR_PING$", 33, "\"ZRKVAR_P", ""},
        {"$ZRKVAR_C1$", 33, "\"ZRKVAR_C33\"", ""},
        {"$ZRKVAR_W3$", 39, "\"ZRKVAR_W", ""},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        int status = 0;
        const std::string out = Expand(CInfVarContext(), c.text, false, &status);
        EXPECT_EQ(status, ZRK_DESCERR) << c.text;
        ASSERT_EQ(rec.Count(), 1) << c.text;
        EXPECT_EQ(rec.entries[0].msgId, c.msgId) << c.text;
        EXPECT_NE(rec.entries[0].text.find(c.named), std::string::npos) << rec.entries[0].text;
        EXPECT_LE(out.size(), static_cast<size_t>(kInfMaxExpandedLength)) << c.text;
        if (!c.expected.empty()) {
            EXPECT_EQ(out, c.expected) << c.text;
        }
    }
}

TEST(Variables, ShortNames) {
    ScratchDir scratch;
    const CString longDir = scratch.Path("Long Directory Name");
    ASSERT_EQ(zrkos::MakeDir(longDir), 0);
    CString shortDir;
    ASSERT_EQ(zrkos::QueryShortPath(longDir, &shortDir), 0);
    if (zrkos::IsWindows()) {
        EXPECT_EQ(std::string(shortDir.c_str()).find(' '), std::string::npos) << shortDir.c_str();
    }
    CInfVarContext context;
    context.user = longDir;
    EXPECT_EQ(Expand(context, "$User$\\app.exe", true), std::string(shortDir.c_str()) + "\\app.exe");
    EXPECT_EQ(Expand(context, "$User$\\app.exe", false), std::string(longDir.c_str()) + "\\app.exe");
    // A value that names nothing keeps its long form, and that is reported.
    EnvVars env;
    env.Set("ZRKVAR_GONE", scratch.Path("No Such Directory").c_str());
    CRecordingScope rec;
    int status = 0;
    EXPECT_EQ(Expand(context, "$ZRKVAR_GONE$\\x", true, &status),
              std::string(scratch.Path("No Such Directory\\x").c_str()));
    EXPECT_EQ(status, ZRK_WINERR);
    ASSERT_EQ(rec.Count(), 1);
    EXPECT_EQ(rec.entries[0].msgId, MSG_NO_SHORT_NAME);
    EXPECT_NE(rec.entries[0].text.find("No Such Directory"), std::string::npos) << rec.LastText();
}

#ifdef _WIN32

TEST(Variables, EnvironmentAndRegistryLookupsInTheirOrder) {
    const ScratchMachineValue sysEnv("SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
                                     "ZRKVAR_RULE", "from registry");
    const char current[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    const ScratchMachineValue probe(current, "ZrkVarProbe", "C:/Probe Dir");
    const ScratchMachineValue shadowed(current, "ZRKVAR_RULE", "from CurrentVersion");
    const ScratchKey key("ZrkVarTest");
    key.Set("Path", "C:\\Where");
    const ScratchKey denied("ZrkVarDenied", true);
    EnvVars env;
    env.Set("ZRKVAR_RULE", "from process");
    env.Set("ZRKVAR_PROCESS", "process only");
    struct Case {
        int kind;
        std::string text, expected;
        int msgId;  // of the one report, 0 for none
    } const cases[] = {
        // Rule E: the system environment's registry key first on kind 3 only.
        {3, "$ZRKVAR_RULE$", "from registry", 0},
        {2, "$ZRKVAR_RULE$", "from process", 0},
        {3, "$ZRKVAR_PROCESS$", "process only", 0},
        // Then the value under ...\CurrentVersion, then "key | value".
        {3, "$ZrkVarProbe$\\bin", "C:\\Probe Dir\\bin", 0},
        {3, "$" + key.Path() + " | Path$", "C:\\Where", 0},
        {3, "$HKEY_CURRENT_USER/Software/ZrkVarTest|Path$", "C:\\Where", 0},
        {3, "$" + key.Path() + " | Missing$", "", 0},
        {3, "$" + key.Path() + "\\NoSubKey | Path$", "", 0},
        {3, "$HKEY_NO_SUCH_ROOT\\X | Path$", "", 0},
        // A key that is there but refuses access is a failure, not "empty".
        {3, "[$" + denied.Path() + " | Path$]", "[]", 23},
    };
    for (const Case& c : cases) {
        CPlatformScope platform(c.kind);
        CRecordingScope rec;
        int status = 0;
        EXPECT_EQ(Expand(CInfVarContext(), c.text, false, &status), c.expected) << c.text << " on kind " << c.kind;
        EXPECT_EQ(status, c.msgId ? ZRK_WINERR : 0) << c.text;
        ASSERT_EQ(rec.Count(), c.msgId ? 1 : 0) << c.text << ": " << rec.LastText();
        if (c.msgId) {
            EXPECT_EQ(rec.entries[0].msgId, c.msgId);
        }
    }
}

// Detection: only a key that does not exist means "not installed"; a key
// that cannot be opened is reported and its status kept.
TEST(Variables, DetectionLookupOfRegistryValues) {
    const ScratchKey key("ZrkVarDetect");
    key.Set("Path", "C:\\App\\app.exe");
    key.Set("", "C:\\App");
    const ScratchKey denied("ZrkVarDetectDenied", true);
    struct Case {
        std::string path;
        const char *name, *value;
        int found;
        int status;  // with one report (message 23) when not 0
    } const cases[] = {
        {key.Path(), "Path", "C:\\App\\app.exe", 1, 0},
        {key.Path(), "path", "", 0, 0},  // names compare exactly
        {key.Path(), "(Default)", "C:\\App", 1, 0},
        {key.Path(), "Missing", "", 0, 0},
        {"HKEY_NO_SUCH_ROOT\\Software", "Path", "", 0, 0},
        {key.Path() + "\\NoSubKey", "Path", "", 0, 0},
        {denied.Path(), "Path", "", 0, ZRK_WINERR},
    };
    for (const Case& c : cases) {
        CRecordingScope rec;
        int found = -1;
        CString value("?");
        EXPECT_EQ(InfRegistryDetect(c.path.c_str(), c.name, &found, &value), c.status) << c.path << c.name;
        EXPECT_EQ(found, c.found) << c.path << " | " << c.name;
        EXPECT_STREQ(value, c.value) << c.path << " | " << c.name;
        ASSERT_EQ(rec.Count(), c.status ? 1 : 0) << c.path << " | " << c.name;
        if (c.status) {
            EXPECT_EQ(rec.entries[0].msgId, MSG_REG_OPEN);
        }
    }
}

#endif  // _WIN32

}  // namespace
