// setupkit eval: the value of a condition, as an "#if" line computes it.
//
//   setupkit eval EXPRESSION [-D NAME[=VALUE]]...
//
// Macro references "$(NAME)" in the expression are substituted first (the
// given symbols, the predefined ones and the environment), then the
// expression is evaluated; the program prints 1 or 0. The words of the
// expression may be given separately; one that begins with "-" or "/", or
// holds an apostrophe, goes in apostrophes: setupkit eval '$(N) > -1'.
#include <cstdio>

#include "cmdwords.h"
#include "verbs.h"
#include "zrk/cfgfile.h"
#include "zrk/parsers.h"
#include "zrk/result.h"

int SetupkitEval(const char* args) {
    CParser parser(SetupkitJoinOptionWords(args, {"D"}));
    parser.SetProgramName("setupkit eval");
    ZRK_TRY(SetupkitDeclareDefines(parser));
    ZRK_TRY(parser.DeclarePositional("expression", "The condition, for example: $(ENV) == WINNT & defined DEBUG",
                                     ZRK_VT_TEXT, ZRK_PARAM_REST));
    ZRK_TRY(parser.Parse());

    CString expression;
    for (int i = 0; i < parser.PositionalCount(); ++i) {
        if (i > 0) expression.Append(' ');
        expression.Append(parser.Positional(i).Text());
    }

    CCfgFile cfg;
    cfg.SetOptions(CFG_OPT_ENV_SYMBOLS);
    cfg.SetMacroExpansion(true);
    cfg.DefinePredefined();
    SetupkitDefineSymbols(parser, cfg);

    // Messages name the command line as the place of the expression.
    const char* where = "command line";
    ZRK_TRY(cfg.ExpandMacros(expression, where, 1));
    bool result = false;
    ZRK_TRY(cfg.Evaluate(expression, &result, where, 1));
    std::printf("%d\n", result ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
