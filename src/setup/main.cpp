// setup.exe: the interactive setup program.
#include <windows.h>

#include "zrk/app.h"

namespace {

class CSetupApp : public CWizardApp {
protected:
    int RunApp() override {
        // The wizard is not part of this build yet: say so and end
        // successfully, so that start-up and shut-down can be exercised.
        return ZrkInfo("%s", ZrkMessageText(MSG_NO_DRIVER).c_str());
    }
};

CApp* CreateApp() { return new CSetupApp; }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int show) {
    return ZrkWizardMain(commandLine, show, CreateApp);
}
