// Opening the help page in the browser that the help file is associated with.
#include "PluginExports.h"

// wsprintfA writes up to 1024 characters and its zero, so every target holds that much.
#include <cctype>
#include <cstring>
#include <string>

namespace {

bool started(HINSTANCE result) {
    return reinterpret_cast<UINT_PTR>(result) > 32;
}

// Some browsers of the time could not open a local page at an anchor.
bool needsAnotherBrowser(const char* program) {
    std::string upper = program;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* name : {"FIREFOX", "FIREBIRD", "MOZILLA"})
        if (upper.find(name) != std::string::npos) return true;
    return false;
}

} // namespace

extern "C" {

BOOL qvPlg_ShowHelpForAction(const char* actionName, const char* folder, HWND owner) {
    char helpPath[1025];
    wsprintfA(helpPath, "%s\\Gallimo.htm", folder);
    if (GetFileAttributesA(helpPath) == INVALID_FILE_ATTRIBUTES) return FALSE;
    char program[MAX_PATH] = {};
    if (!started(FindExecutableA(helpPath, nullptr, program))) return FALSE;

    char address[1025];
    wsprintfA(address, "%s\\Gallimo.htm#%s", folder, actionName);
    if (needsAnotherBrowser(program)) {
        if (!started(
                ShellExecuteA(owner, "open", "iexplore.exe", address, nullptr, SW_SHOWNORMAL))) {
            char parameters[1025];
            wsprintfA(parameters, "\"%s\\Gallimo.htm\"", folder);
            ShellExecuteA(owner, "open", program, parameters, nullptr, SW_SHOWNORMAL);
        }
    } else {
        ShellExecuteA(owner, "open", program, address, nullptr, SW_SHOWNORMAL);
    }
    return TRUE;
}

BOOL qvPlg_ShowHelpForPlugin(const char* folder, HWND owner) {
    char helpPath[1025];
    wsprintfA(helpPath, "%s\\Gallimo.htm", folder);
    if (GetFileAttributesA(helpPath) == INVALID_FILE_ATTRIBUTES) return FALSE;
    ShellExecuteA(owner, "open", helpPath, nullptr, nullptr, SW_SHOWNORMAL);
    return TRUE;
}

} // extern "C"
