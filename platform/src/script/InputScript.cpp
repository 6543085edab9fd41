#include "winplat/inputscript.h"

#include "win32/win32.h"
#include "winplat/input.h"
#include "winplat/screen.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace winplat {
namespace {

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

int buttonFromName(const std::string& name) {
    const std::string n = upper(name);
    if (n == "RIGHT") return WINPLAT_BUTTON_RIGHT;
    if (n == "MIDDLE") return WINPLAT_BUTTON_MIDDLE;
    return WINPLAT_BUTTON_LEFT;
}

// The number of words each command takes after its name (at least).
const std::map<std::string, std::size_t>& arity() {
    static const std::map<std::string, std::size_t> table = {
        {"move", 2},       {"down", 2},    {"up", 2},    {"click", 2},      {"dblclick", 2},
        {"key", 1},        {"keydown", 1}, {"keyup", 1}, {"wait", 1},       {"close", 0},
        {"screenshot", 1}, {"screen", 1},  {"quit", 0},  {"deactivate", 0}, {"activate", 0},
    };
    return table;
}

} // namespace

UINT virtualKeyFromName(const std::string& name) {
    static const std::map<std::string, UINT> names = {
        {"BACK", VK_BACK},    {"TAB", VK_TAB},         {"RETURN", VK_RETURN}, {"ENTER", VK_RETURN},
        {"SHIFT", VK_SHIFT},  {"CONTROL", VK_CONTROL}, {"CTRL", VK_CONTROL},  {"MENU", VK_MENU},
        {"ALT", VK_MENU},     {"ESCAPE", VK_ESCAPE},   {"SPACE", VK_SPACE},   {"PRIOR", VK_PRIOR},
        {"PAGEUP", VK_PRIOR}, {"NEXT", VK_NEXT},       {"PAGEDOWN", VK_NEXT}, {"END", VK_END},
        {"HOME", VK_HOME},    {"LEFT", VK_LEFT},       {"UP", VK_UP},         {"RIGHT", VK_RIGHT},
        {"DOWN", VK_DOWN},    {"DELETE", VK_DELETE},   {"INSERT", VK_INSERT}, {"F1", VK_F1},
    };
    const std::string n = upper(name);
    auto found = names.find(n);
    if (found != names.end()) return found->second;
    if (n.size() == 1 && std::isalnum(static_cast<unsigned char>(n[0])))
        return static_cast<UINT>(n[0]);
    if (n.size() > 2 && n[0] == '0' && n[1] == 'X')
        return static_cast<UINT>(std::strtoul(n.c_str(), nullptr, 16));
    if (!n.empty() && std::isdigit(static_cast<unsigned char>(n[0])))
        return static_cast<UINT>(std::strtoul(n.c_str(), nullptr, 10));
    return 0;
}

bool InputScript::parse(const std::string& text, std::string* error) {
    std::string normalised = text;
    for (char& c : normalised)
        if (c == ';') c = '\n';
    std::istringstream lines(normalised);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string w; in >> w;)
            words.push_back(w);
        if (words.empty() || words[0][0] == '#') continue;
        auto known = arity().find(words[0]);
        const bool custom = known == arity().end();
        if (!custom && words.size() < 1 + known->second) {
            if (error != nullptr) *error = "too few words: " + line;
            return false;
        }
        if ((words[0].find("key") == 0) && virtualKeyFromName(words[1]) == 0) {
            if (error != nullptr) *error = "unknown key: " + words[1];
            return false;
        }
        m_commands.push_back(words);
    }
    return true;
}

bool InputScript::parseFile(const std::string& path, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error != nullptr) *error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str(), error);
}

void InputScript::attach(HWND reference) {
    m_reference = reference;
    winplatSetInputFeeder(&InputScript::feed, this);
}

void InputScript::detach() {
    winplatSetInputFeeder(nullptr, nullptr);
}

BOOL InputScript::feed(void* self) {
    return static_cast<InputScript*>(self)->runNext() ? TRUE : FALSE;
}

bool InputScript::runNext() {
    if (finished()) return false;
    const std::vector<std::string>& w = m_commands[m_next++];
    const std::string& verb = w[0];
    auto point = [&](std::size_t at) {
        POINT p{std::atoi(w[at].c_str()), std::atoi(w[at + 1].c_str())};
        if (m_reference != nullptr) ClientToScreen(m_reference, &p);
        return p;
    };
    if (verb == "move") {
        const POINT p = point(1);
        winplatInjectMouseMove(p.x, p.y);
    } else if (verb == "down" || verb == "up") {
        const POINT p = point(1);
        winplatInjectMouseMove(p.x, p.y);
        winplatInjectMouseButton(buttonFromName(w.size() > 3 ? w[3] : ""), verb == "down", p.x,
                                 p.y);
    } else if (verb == "click" || verb == "dblclick") {
        const POINT p = point(1);
        const int button = buttonFromName(w.size() > 3 ? w[3] : "");
        winplatInjectMouseMove(p.x, p.y);
        for (int i = 0; i < (verb == "click" ? 1 : 2); ++i) {
            winplatInjectMouseButton(button, TRUE, p.x, p.y);
            winplatInjectMouseButton(button, FALSE, p.x, p.y);
        }
    } else if (verb == "key" || verb == "keydown" || verb == "keyup") {
        const UINT vk = virtualKeyFromName(w[1]);
        if (verb != "keyup") winplatInjectKey(vk, TRUE);
        if (verb != "keydown") winplatInjectKey(vk, FALSE);
    } else if (verb == "wait") {
        winplatAdvanceInputClock(static_cast<DWORD>(std::strtoul(w[1].c_str(), nullptr, 10)));
    } else if (verb == "close") {
        RECT r{};
        GetWindowRect(m_reference, &r);
        const int inset = GetSystemMetrics(SM_CXFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
        const POINT p{r.right - inset,
                      r.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
        winplatInjectMouseMove(p.x, p.y);
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, TRUE, p.x, p.y);
        winplatInjectMouseButton(WINPLAT_BUTTON_LEFT, FALSE, p.x, p.y);
    } else if (verb == "screenshot") {
        HDC dc = GetDC(m_reference);
        winplatSaveDCPng(dc, w[1].c_str());
        ReleaseDC(m_reference, dc);
    } else if (verb == "screen") {
        winplatSaveScreenPng(w[1].c_str());
    } else if (verb == "deactivate" || verb == "activate") {
        winplatSetApplicationActive(verb == "activate" ? TRUE : FALSE);
    } else if (verb == "quit") {
        PostQuitMessage(0);
    } else if (!m_extension || !m_extension(w)) {
        return runNext();
    }
    return true;
}

} // namespace winplat
