// Arbitrary text read as an install description into records.
//
// The first byte chooses the platform kind that shared libraries' platform
// words are decided for; the rest is the description and, after a line
// "@@@", a second file that it may include as "inc.inf". Both are served
// from memory, so no input reaches a real file, and nothing is written.
// Whatever was read is then used as the installer would: entry values split
// into their parts, detection rules checked, sizes summed, group items
// looked up, the whole description copied. The same bytes are also read as
// a program image for its version resource.
#include <cstddef>
#include <cstdint>

#include "fuzz_files.h"
#include "src/infstruc/filever.h"
#include "src/infstruc/reader.h"
#include "src/infstruc/records.h"
#include "zrk/cfgfile.h"
#include "zrk/platform.h"
#include "zrk/report.h"

namespace {

void UseEntries(const CStringList& values) {
    for (int i = 0; i < values.Count(); ++i) {
        CInfEntryParts parts;
        InfSplitModifiers(values[i], &parts, true);
    }
}

void UseDescription(const CInfDescription& desc) {
    for (int p = 0; p < desc.packages.Count(); ++p) {
        GetPackageSize(desc.packages[p]);
        GetPackageCompressedSize(desc.packages[p]);
    }
    for (int s = 0; s < desc.sets.Count(); ++s) {
        const CSetRecord& set = desc.sets[s];
        for (int i = 0; i < set.IniRecords().Count(); ++i) UseEntries(set.IniRecords()[i].Values());
        for (int i = 0; i < set.RegRecords().Count(); ++i) UseEntries(set.RegRecords()[i].Values());
        // Detection looks at files only (there is no registry here); a rule
        // of many files is cut short to keep each run fast.
        for (int i = 0; i < set.DetectionRules().Count() && i < 8; ++i) {
            if (set.DetectionRules()[i].Length() > 512) continue;
            int ok = 0;
            CheckDetection(set, i, &ok);
        }
        for (int i = 0; i < set.PgmItems().Count(); ++i) FindPgmItem(set.PgmItems(), set.PgmItems()[i].Title());
    }
    CInfDescription copy;
    copy.packages = desc.packages;
    copy.sets = desc.sets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CReportScope quiet;  // bad descriptions are reported; drop the reports
    CString version;
    InfFileVersionOfImage(data, size, &version);
    if (size == 0) return 0;

    CPlatformScope platform(data[0] % 3 + 1);
    CCfgMemoryFiles files;
    FuzzSplitFiles(data, size, "fuzz.inf", "inc.inf", &files);

    CCfgFile reader;
    InfPrepareReader(reader);
    reader.SetMemoryFiles(&files);
    if (reader.OpenRelative("fuzz.inf") != 0) return 0;
    CInfDescription desc;
    InfReadDescription(reader, desc);
    reader.Close(false);
    UseDescription(desc);
    return 0;
}
