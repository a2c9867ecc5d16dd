// Keypilot: a phone as a remote control for the PC, living in the notification area.
#include <windows.h>

#include <commctrl.h>

#include <utility>

#include "app/instance_claim.h"
#include "app/keypilot.h"
#include "framework/application.h"
#include "i18n/translation.h"
#include "serial/serial_port.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Another Keypilot of this session runs: this one ends before anything of it shows.
    auto claim = app::InstanceClaim::take();
    if (!claim) {
        return 0;
    }
    // Module start-up, in order: translations, then the serial port's texts.
    i18n::startup();
    serial::initializeSerialErrorTexts();

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES |
                                                       ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    {
        auto& app = framework::application();
        app.setShowMainWindowOnRun(false);
        app.setTitle(L"Keypilot");
        app.initialize();
        app::Keypilot keypilot(std::move(*claim));
        keypilot.start();
        app.run();
    }
    serial::finalizeSerialErrorTexts();
    i18n::shutdown();
    return 0;
}
