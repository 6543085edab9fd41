// The help viewer: shows its help picture until the window is closed or the link is clicked.
// HELPVIEW_INPUT names a script of input commands (winplat/inputscript.h) for tests.
#include "FormSettings.h"
#include "HelpForm.h"
#include "winplat/inputscript.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
    // The script drives this process only: the build that the link starts must not run it
    // again and start this one in turn.
    const char* variable = std::getenv("HELPVIEW_INPUT");
    const std::string input = variable != nullptr ? variable : "";
    const bool scripted = variable != nullptr;
    unsetenv("HELPVIEW_INPUT");

    helpview::FormSettings settings;
    if (!settings.load()) return 1;
    helpview::HelpForm form(settings, scripted);
    if (!form.create()) return 1;

    winplat::InputScript script;
    if (scripted) {
        std::string error;
        if (!script.parseFile(input.c_str(), &error)) {
            std::fprintf(stderr, "helpview: %s\n", error.c_str());
            return 2;
        }
        script.attach(form.window());
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
