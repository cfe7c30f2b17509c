// The installation session on Windows (see winsession.h).

#include "src/winspec/winsession.h"

#include "src/winspec/fonts.h"
#include "src/winspec/regrecords.h"
#include "src/winspec/renames.h"
#include "src/winspec/selfreg.h"
#include "src/winspec/services.h"
#include "zrk/result.h"

CSetRecord* CWinSession::EditableProduct() {
    // The session hands out its product read-only; the configuration steps
    // run on its own copy of the chosen product, which the steps may edit.
    return const_cast<CSetRecord*>(Product());
}

int CWinSession::ConfigureStep(SessionHookMode mode, int step) {
    CSetRecord* product = EditableProduct();
    if (product == nullptr) return InstallSession::ConfigureStep(mode, step);
    switch (step) {
        case 1:
            return mode == HOOK_CHECK ? 0 : ApplyEnvironment(*product, true, m_autoexec);
        case 2:
            // The new names join the files the uninstallation removes.
            return mode == HOOK_CHECK ? 0 : ApplyRenames(*product, const_cast<CStringList*>(&FileList()));
        case 5:
            if (mode == HOOK_CHECK) return 0;
            ZRK_TRY(InstallIniRecords(*product));
            ZRK_TRY(InstallRegRecords(*product, RegisterLibraries));
            return ApplyServices(*product, true);
        case 6:
            return mode == HOOK_CHECK ? 0 : InstallFonts(*product);
        default:
            break;
    }
    return InstallSession::ConfigureStep(mode, step);
}
