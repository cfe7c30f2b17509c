// setupkit: the product team's tool box.
//
//   setupkit <verb> [verb options and parameters]
//   setupkit -h | -? | --help
//
// The first word that is not an option names the verb; the rest of the
// command line, as typed, belongs to the verb, which parses it with its own
// CParser ("setupkit <verb> -h" shows the verb's own usage). Option words in
// front of the verb are setupkit's: the built-in ones (-verbose, -h, -??)
// and --help.
//
// Errors and warnings go to stderr, everything else to stdout; the usage
// that answers a help request goes to stdout too. The exit status is 0 on
// success and after help, 1 after any failure.
#include <cstdio>

#include "verbs.h"
#include "zrk/app.h"
#include "zrk/parsers.h"
#include "zrk/report.h"

namespace {

struct Verb {
    const char* name;
    int (*run)(const char* args);
    const char* help;
    bool hidden;  // listed in the extended help only
};

const Verb kVerbs[] = {
    {"items", SetupkitItems, "show the items a configuration file yields", false},
    {"eval", SetupkitEval, "evaluate a configuration expression", false},
    {"check", SetupkitCheck, "read an install description and summarise it", false},
    {"archive", SetupkitArchive, "pack a directory tree into archive volumes", false},
    {"list", SetupkitList, "list the pieces of archive volumes", false},
    {"extract", SetupkitExtract, "extract the members of archive volumes", false},
    {"verify", SetupkitVerify, "check every header and data CRC of archive volumes", false},
    {"build", SetupkitBuild, "build a product's distribution disks from its description", false},
    {"lzw", SetupkitLzw, "compress a file into a raw LZW stream, or expand one", true},
};

class CSetupkitApp : public CConsoleApp {
public:
    CSetupkitApp() { SetTitle("setupkit - inspects install descriptions, packs and checks archive volumes"); }
    int RunApp() override;

protected:
    int ScreenReport(int kind, int code, const CTimeEx& time, const char* caption,
                     const char* message) override {
        // The usage is reported as an error with result 2. On its own it
        // answers a help request (stdout); after a real error it explains
        // that error (stderr).
        const bool usage = (kind & ZRK_KIND_ERROR) && code == ZRK_CANCEL;
        if ((kind & ZRK_KIND_ERROR) && !usage) m_failed = true;
        m_toStderr = (kind & (ZRK_KIND_ERROR | ZRK_KIND_WARNING)) && !(usage && !m_failed);
        return CConsoleApp::ScreenReport(kind, code, time, caption, message);
    }

    void PrintLine(const char* text) override {
        CString line(text);
        line.ToOem();
        std::FILE* stream = m_toStderr ? stderr : stdout;
        std::fputs(line, stream);
        std::fflush(stream);
    }

private:
    bool m_toStderr = false;
    bool m_failed = false;
};

int CSetupkitApp::RunApp() {
    const CString& line = CommandLine();

    // Split the command line at the verb: setupkit's own options before
    // it, the verb's text after it.
    CTokenizer words(line);
    CString word, verb, args;
    int verbAt = line.Length();
    bool extendedHelp = false;  // hidden verbs are listed in it
    while (words.Next(word)) {
        if (!CTokenizer::IsOption(word)) {
            verb = CTokenizer::Unquote(word);
            verbAt = words.WordStart();
            args = words.Rest();
            break;
        }
        CString name, value;
        CTokenizer::SplitOption(word.c_str() + 1, &name, &value);
        if (name == "??" || name.CompareNoCase("hh") == 0) extendedHelp = true;
    }

    CString verbHelp("The verb to run:");
    for (const Verb& v : kVerbs) {
        if (v.hidden && !extendedHelp) continue;
        CString entry;
        entry.Format("\n  %-8s %s", v.name, v.help);
        verbHelp.Append(entry);
    }
    CParser top(CString(line.c_str(), verbAt));
    ZRK_TRY(top.DeclareOption("-help", ZrkMessageText(MSG_HELP_HELP), ZRK_OPT_HIDDEN));
    ZRK_TRY(top.DeclarePositional("verb", verbHelp, ZRK_VT_TEXT, ZRK_PARAM_OPTIONAL));
    ZRK_TRY(top.DeclarePositional("arguments", "The verb's options and parameters (setupkit <verb> -h)",
                                  ZRK_VT_TEXT, ZRK_PARAM_REST | ZRK_PARAM_OPTIONAL));
    ZRK_TRY(top.Parse());
    if (top.WasGiven("-help")) return top.Usage(false);

    if (verb.IsEmpty()) {
        const int r = ZrkErrorId(ZRK_INTERNAL, MSG_MISSING_ARGUMENT, "verb");
        top.Usage(false);
        return r;
    }
    for (const Verb& v : kVerbs)
        if (verb.CompareNoCase(v.name) == 0) return v.run(args);
    const int r = ZrkErrorId(ZRK_FAIL, MSG_UNKNOWN_COMMAND, verb.c_str());
    top.Usage(false);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int r = ZrkConsoleMain(argc, argv, []() -> CApp* { return new CSetupkitApp; });
    // 2 ends a help request. The framework's failure codes do not fit an
    // exit status (16384 would wrap to 0), so every failure exits with 1.
    return r == 0 || r == ZRK_CANCEL ? 0 : 1;
}
