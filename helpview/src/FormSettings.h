// What makes one build of the help viewer differ from the other: read from its resources.
#pragma once

#include <string>

namespace helpview {

inline constexpr int kTwipsPerPixel = 15;

struct FormSettings {
    std::string form;
    std::string caption;
    int clientWidth = 0, clientHeight = 0;                            // twips
    int labelLeft = 0, labelTop = 0, labelWidth = 0, labelHeight = 0; // twips
    std::string linkCaption;
    std::string target;

    // From the module's "FORM" resource; false when it is missing or incomplete.
    bool load();
};

} // namespace helpview
