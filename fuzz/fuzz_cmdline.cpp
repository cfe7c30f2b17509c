// Arbitrary text parsed as a command line against declarations of every
// value type, with repeatable and mandatory options and positional
// parameters, the last of which takes all remaining words. Nothing may
// crash, hang or read outside the text; the parse ends with success, help
// or one of the parser's own results, a converted value written back in
// its type's form converts to the same value, and any text quoted reads
// back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>

#include "zrk/parsers.h"
#include "zrk/report.h"
#include "zrk/result.h"

namespace {

struct Declared {
    const char* name;
    const char* argName;
    int type;
    int flags;
    const char* def;
};

const Declared kOptions[] = {
    {"t|text", "text", ZRK_VT_TEXT, ZRK_OPT_REPEAT, "none"},
    {"n|number", "n", ZRK_VT_LONG, ZRK_OPT_MANDATORY, nullptr},
    {"d", "x", ZRK_VT_DOUBLE, 0, "1.5"},
    {"pct", "p", ZRK_VT_PERCENT, 0, "50%"},
    {"b", "on|off", ZRK_VT_BOOL, ZRK_OPT_REPEAT, "off"},
    {"yn", "", ZRK_VT_BOOL, 0, nullptr},
    {"size", "bytes", ZRK_VT_SIZE, 0, "1440K"},
    {"Hex", "h", ZRK_VT_HEX, ZRK_OPT_CASE, nullptr},
    {"date", "d", ZRK_VT_DATE, 0, nullptr},
    {"time", "t", ZRK_VT_TIME, 0, nullptr},
    {"span", "s", ZRK_VT_DURATION, 0, nullptr},
    {"f|file", "file", ZRK_VT_FILE, ZRK_OPT_REPEAT, nullptr},
    {"mode", "fast|small|none", ZRK_VT_CHOICE, 0, "none"},
    {"l", "a,b", ZRK_VT_LIST, ZRK_OPT_HIDDEN, nullptr},
};

bool RoundTrips(const CParserValue& v) {
    switch (v.Type()) {
    case ZRK_VT_LONG:
    case ZRK_VT_SIZE:
    case ZRK_VT_HEX: {
        CParserValue again;
        return again.Convert(v.Type(), v.Display()) == 0 && again.Number() == v.Number();
    }
    default:
        return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The command line is a C string: it ends at the first zero byte.
    std::string line(reinterpret_cast<const char*>(data), size);
    line = line.substr(0, line.find('\0'));

    CReportScope quiet;  // bad command lines are reported; drop the reports

    CTokenizer words(line.c_str());
    CString word;
    int last = -1;
    while (words.Next(word)) {
        if (word.IsEmpty() || words.WordStart() <= last) __builtin_trap();
        last = words.WordStart();
        CString name, value;
        if (CTokenizer::IsOption(word)) CTokenizer::SplitOption(word.c_str() + 1, &name, &value);
    }

    // Any text quoted reads back unchanged, as one word and as one value.
    const CString quoted = CTokenizer::Quote(line.c_str());
    CTokenizer one(quoted);
    if (!line.empty() && (!one.Next(word) || word != quoted || one.Next(word))) __builtin_trap();
    CString name, value;
    CTokenizer::SplitOption(CString("u:") + quoted, &name, &value);
    if (value != line.c_str()) __builtin_trap();

    CParser p(line.c_str());
    p.SetProgramName("fuzz");
    for (const Declared& d : kOptions)
        if (p.DeclareOption(d.name, d.argName, "help\ntext", d.type, d.flags, d.def) != 0) __builtin_trap();
    p.DeclareOption("q", "a switch", ZRK_OPT_REPEAT);
    p.DeclarePositional("first", "a number", ZRK_VT_LONG);
    p.DeclarePositional("when", "a date", ZRK_VT_DATE, ZRK_PARAM_OPTIONAL);
    p.DeclarePositional("rest", "the others", ZRK_VT_TEXT, ZRK_PARAM_REST | ZRK_PARAM_OPTIONAL);

    const int r = p.Parse();
    if (r != 0 && r != ZRK_CANCEL && r != ZRK_INTERNAL && r != ZRK_BADTIME) __builtin_trap();

    for (const Declared& d : kOptions) {
        for (int i = -1; i <= p.ValueCount(d.name); ++i)
            if (!RoundTrips(p.Value(d.name, i))) __builtin_trap();
    }
    for (int i = 0; i < p.PositionalCount(); ++i)
        if (!RoundTrips(p.Positional(i)) || p.PositionalName(i).IsEmpty()) __builtin_trap();
    return 0;
}
