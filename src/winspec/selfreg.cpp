// Self-registering libraries (see selfreg.h).

#include "src/winspec/selfreg.h"

#include "src/infstruc/records.h"
#include "src/infstruc/variables.h"
#include "src/winspec/system.h"
#include "zrk/cfile.h"
#include "zrk/os/os.h"
#include "zrk/report.h"
#include "zrk/result.h"

int RegisterLibraries(const CSetRecord& set, bool unregister) {
    const CStringList& libraries = set.RegSvr32();
    for (int i = 0; i < libraries.Count(); ++i) {
        CString library = libraries[i];
        ZRK_TRY(ExpandVariables(&set, library, true));
        if (library.IsEmpty() || !CFile::Exists(library)) continue;
        ZRK_TRY(ShortenExistingPath(library));
        const CString command = CString::Printf("regsvr32 /s %s\"%s\"", unregister ? "/u " : "", library.c_str());
        unsigned long exitCode = 0;
        if (zrkos::StartProcess(command, nullptr, true, &exitCode) != 0)
            return ZrkErrorId(ZRK_FAIL, MSG_START_FAILED, command.c_str(), zrkos::LastSystemError());
        if (exitCode != 0)
            return ZrkErrorId(ZRK_FAIL, MSG_SELFREG_EXIT_CODE, library.c_str(), unregister ? "unregister" : "register",
                              static_cast<unsigned>(exitCode));
    }
    return 0;
}
