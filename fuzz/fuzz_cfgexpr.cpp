// Arbitrary text as a condition: macro references substituted as an "#if"
// line has them substituted, then evaluated. Nothing may crash, hang or
// read outside the texts, whatever the nesting.
#include <cstddef>
#include <cstdint>
#include <string>

#include "zrk/cfgexpr.h"
#include "zrk/cfgfile.h"
#include "zrk/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    // Expressions are C strings: stop at the first zero byte.
    input = input.substr(0, input.find('\0'));

    CReportScope quiet;  // syntax errors are reported; drop the reports
    CCfgFile cfg;
    cfg.SetMacroExpansion(true);
    cfg.Define("X", "0");
    cfg.Define("Y", "1");
    cfg.Define("L", "EN");
    cfg.Define("A_EN", "abc");
    cfg.Define("LOOP", "$(LOOP)");
    cfg.Define("OPEN", "$(");

    bool result = false;
    // The raw text first (the evaluator alone), then as an "#if" line.
    ZrkCfgEvaluate(input.c_str(), cfg, "fuzz", 1, &result);
    CString text(input.c_str());
    if (cfg.ExpandMacros(text, "fuzz", 1) == 0) cfg.Evaluate(text, &result, "fuzz", 1);
    return 0;
}
