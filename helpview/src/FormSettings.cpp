#include "FormSettings.h"

#include "win32/win32.h"

#include <cstdlib>
#include <map>
#include <sstream>

namespace helpview {

bool FormSettings::load() {
    HRSRC found = FindResourceA(nullptr, "SETTINGS", "FORM");
    if (found == nullptr) return false;
    const auto* text = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
    std::istringstream in(std::string(text, SizeofResource(nullptr, found)));
    std::map<std::string, std::string> values;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find('=');
        if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
        values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    auto number = [&values](const char* key) { return std::atoi(values[key].c_str()); };
    form = values["form"];
    caption = values["caption"];
    clientWidth = number("clientWidth");
    clientHeight = number("clientHeight");
    labelLeft = number("labelLeft");
    labelTop = number("labelTop");
    labelWidth = number("labelWidth");
    labelHeight = number("labelHeight");
    linkCaption = values["linkCaption"];
    target = values["target"];
    return !caption.empty() && clientWidth > 0 && clientHeight > 0 && !target.empty();
}

} // namespace helpview
