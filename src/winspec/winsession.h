// The installation session on Windows: the engine's session with the
// configuration steps that change the Windows system.
//
// Each step this class does is one line in ConfigureStep; the steps it does
// not do yet keep the base's behaviour (the base refuses a plan that needs
// them before anything is changed).
#pragma once

#include "src/install/session.h"
#include "src/winspec/environment.h"

class CWinSession : public InstallSession {
public:
    // The rewrites of "c:\autoexec.bat" in this run (its one backup).
    const CAutoexecRun& AutoexecRun() const { return m_autoexec; }

protected:
    int ConfigureStep(SessionHookMode mode, int step) override;

private:
    // The chosen product, which the steps may edit (its "REBOOT" text).
    CSetRecord* EditableProduct();

    CAutoexecRun m_autoexec;
};
