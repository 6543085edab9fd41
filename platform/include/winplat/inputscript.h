// Scripted input for programs under test: a list of commands, fed to the calling thread one
// at a time whenever its queue runs dry, so that every command's messages (and the painting
// they cause) are handled before the next one. Coordinates are client coordinates of the
// reference window.
//
//   move X Y                   the mouse moves to (X, Y)
//   down X Y [left|right|middle]   a button goes down; up X Y [...] goes up
//   click X Y [button]         down and up; dblclick X Y: two clicks in double-click time
//   key NAME                   a key is pressed and released (TAB, DOWN, A, 0x41, ...);
//   keydown NAME, keyup NAME   hold or release one (SHIFT, CONTROL, MENU ...)
//   wait MS                    time passes on the input clock
//   close                      a click on the reference window's close box
//   screenshot FILE.png        the reference window's client area as a PNG
//   screen FILE.png            the whole screen
//   deactivate, activate       another application takes the activation, or gives it back
//   quit                       the message loop ends (WM_QUIT, code 0)
// When the script runs out the loop ends the same way.
#pragma once

#include "win32/types.h"

#include <functional>
#include <string>
#include <vector>

struct HWND__;
using HWND = HWND__*;

namespace winplat {

class InputScript {
public:
    // Commands separated by new lines or ';'. False with a reason on the first bad command.
    bool parse(const std::string& text, std::string* error);
    bool parseFile(const std::string& path, std::string* error);

    // Feeds the calling thread's message loop from now on.
    void attach(HWND reference);
    void detach();

    // Extra commands a program understands; called with the command's words.
    using Extension = std::function<bool(const std::vector<std::string>& words)>;
    void setExtension(Extension extension) { m_extension = std::move(extension); }

    bool finished() const { return m_next >= m_commands.size(); }

private:
    static BOOL feed(void* self);
    bool runNext();

    std::vector<std::vector<std::string>> m_commands;
    std::size_t m_next = 0;
    HWND m_reference = nullptr;
    Extension m_extension;
};

// A virtual-key code from a name (TAB, SHIFT, DOWN, F1, A, 7, 0x41 ...), or 0.
UINT virtualKeyFromName(const std::string& name);

} // namespace winplat
