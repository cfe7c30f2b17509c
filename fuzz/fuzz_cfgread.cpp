// Arbitrary text read by the configuration reader with its preprocessor.
//
// The first byte chooses the reader's options, macro expansion and
// separator; the rest is a main file and, after the first line "@@@", a
// second file that the main file may include as "inc.cfg" (or <inc.cfg>,
// or as a string file). Both are served from memory: no input can make the
// reader touch a real file, and nothing is left behind. Every item is read
// until the end or the first error; nothing may crash, hang or overflow.
#include <cstddef>
#include <cstdint>

#include "fuzz_files.h"
#include "zrk/cfgfile.h"
#include "zrk/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const unsigned char control = data[0];
    CCfgMemoryFiles files;
    FuzzSplitFiles(data, size, "fuzzmain.cfg", "inc.cfg", &files);

    CReportScope quiet;  // bad input is reported; drop the reports
    CCfgFile cfg;
    cfg.SetMemoryFiles(&files);
    cfg.SetOptions(control & (CFG_OPT_ALL_ITEMS | CFG_OPT_RAW | CFG_OPT_STRICT | CFG_OPT_ENV_SYMBOLS));
    cfg.SetMacroExpansion((control & 0x10) == 0);
    cfg.SetSeparator((control & 0x20) ? ',' : '=');
    if (control & 0x40) cfg.Define("LANG", "ENG");
    cfg.Define("X", "1");
    cfg.Define("NAME", "X");

    if (cfg.OpenRelative("fuzzmain.cfg") != 0) return 0;
    for (;;) {
        int type = CFG_EOF;
        CString value, key;
        if (cfg.NextItem(&type, &value, &key) != 0 || type == CFG_EOF) break;
        // What a consumer does with an item it does not accept.
        if (type >= CFG_COMMENT) cfg.ReportUnexpected(type, value, key);
    }
    cfg.Close();
    return 0;
}
