// The installation session on Windows (see winsession.h).

#include "src/winspec/winsession.h"

#include "src/winspec/regrecords.h"
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
        case 5:
            // Services and self-registering libraries wait for their own work.
            if (product->Services().Count() > 0 || product->RegSvr32().Count() > 0) break;
            if (mode == HOOK_CHECK) return 0;
            ZRK_TRY(InstallIniRecords(*product));
            return InstallRegRecords(*product);
        default:
            break;
    }
    return InstallSession::ConfigureStep(mode, step);
}
