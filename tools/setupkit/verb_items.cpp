// setupkit items: the item stream a configuration file hands its consumer.
//
//   setupkit items FILE [-D NAME[=VALUE]]... [--raw] [--all]
//
// The file is read as the install description reads it: macro references
// substituted, environment variables counting as symbols, with the given
// symbols defined. Each item is printed on one line as
//
//   TYPE <tab> KEY <tab> VALUE
//
// with the value quoted when it holds blanks, control characters, quotes or
// backslashes; the closing end-of-file item ("3") is printed too. An error
// stops the listing after the items read so far.
#include <cstdio>
#include <vector>

#include "cmdwords.h"
#include "verbs.h"
#include "zrk/cfgfile.h"
#include "zrk/parsers.h"
#include "zrk/report.h"
#include "zrk/result.h"

int SetupkitDeclareDefines(CParser& parser) {
    return parser.DeclareOption("D", "NAME[=VALUE]",
                                "Defines a symbol (empty without a value); also written -D NAME=VALUE.\n"
                                "In the -D: form a value holding \":\" goes in apostrophes: -D:'DIR=C:\\App'",
                                ZRK_VT_TEXT, ZRK_OPT_REPEAT);
}

void SetupkitDefineSymbols(const CParser& parser, CCfgFile& cfg) {
    for (int i = 0; i < parser.ValueCount("D"); ++i) {
        CString name = parser.Text("D", i);
        CString value;
        const int eq = name.Find('=');
        if (eq >= 0) {
            value = CString(name.c_str() + eq + 1);
            name = CString(name.c_str(), eq);
        }
        cfg.Define(name, value);
    }
}

int SetupkitItems(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"D"}));
    parser.SetProgramName("setupkit items");
    ZRK_TRY(SetupkitDeclareDefines(parser));
    ZRK_TRY(parser.DeclareOption("-raw|raw", "No preprocessing: lines beginning with \"#\" are items (type 6)"));
    ZRK_TRY(parser.DeclareOption("-all|all", "Also comments, unknown directives (type 4) and empty lines (type 5)"));
    ZRK_TRY(parser.DeclarePositional("file", "The configuration file to read", ZRK_VT_TEXT));
    ZRK_TRY(parser.Parse());

    CCfgFile cfg;
    int options = CFG_OPT_ENV_SYMBOLS;
    if (parser.WasGiven("raw")) options |= CFG_OPT_RAW;
    if (parser.WasGiven("all")) options |= CFG_OPT_ALL_ITEMS;
    cfg.SetOptions(options);
    cfg.SetMacroExpansion(true);
    ZRK_TRY(cfg.OpenRelative(parser.Positional(0).Text()));
    // After the open, so that a symbol given here may replace a predefined one.
    SetupkitDefineSymbols(parser, cfg);

    int result = 0;
    for (;;) {
        int type = CFG_EOF;
        CString value, key;
        result = cfg.NextItem(&type, &value, &key);
        if (result != 0) break;
        const CString quoted = CString::Quote(value, true, true);
        std::printf("%d\t%s\t%s\n", type, key.c_str(), quoted.c_str());
        std::fflush(stdout);
        if (type == CFG_EOF) break;
    }
    ZRK_KEEP(result, cfg.Close());
    return result;
}
