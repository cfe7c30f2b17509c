// quietinst.exe: the console setup program.
#include "zrk/app.h"

namespace {

class CQuietInstApp : public CConsoleApp {
protected:
    int RunApp() override {
        // The unattended installation driver is not part of this build yet:
        // say so and end successfully, so that start-up and shut-down can be
        // exercised end to end.
        return ZrkInfo("%s", ZrkMessageText(MSG_NO_DRIVER).c_str());
    }
};

CApp* CreateApp() { return new CQuietInstApp; }

}  // namespace

int main(int argc, char** argv) { return ZrkConsoleMain(argc, argv, CreateApp); }
