#include "GallimoProperties.h"

#include "win32/commctrl.h"
#include "win32/files.h"

#include <cstdlib>
#include <cstring>

namespace gallimo {
namespace {

const GallimoProperties kDefaults;

COLORREF drawn(COLORREF stored, COLORREF automatic) {
    return stored == CLR_DEFAULT ? automatic : stored;
}

} // namespace

COLORREF GallimoProperties::drawnBackground() const {
    return drawn(backgroundColour, kDefaults.backgroundColour);
}
COLORREF GallimoProperties::drawnFill() const {
    return drawn(fillColour, kDefaults.fillColour);
}
COLORREF GallimoProperties::drawnFrame() const {
    return drawn(frameColour, kDefaults.frameColour);
}

void GallimoProperties::format(char* out) const {
    wsprintfA(out, "%d,%d,%d,%d,%d,%d,%d,%u,%u,%d,%d,%u,%d,%d,%d,%d,%d,%d", thumbWidth, thumbHeight,
              verticalSpacing, horizontalSpacing, labelMode, sortItems, minimumPadding,
              backgroundColour, fillColour, windowBorder, showFrame, frameColour, resizeMode,
              neverIncrease, multipleSelection, reservedA, reservedB, verticalLayout);
}

void GallimoProperties::parse(char* text) {
    if (text == nullptr) return;
    int* const numbers[] = {&thumbWidth, &thumbHeight,   &verticalSpacing,   &horizontalSpacing,
                            &labelMode,  &sortItems,     &minimumPadding,    nullptr,
                            nullptr,     &windowBorder,  &showFrame,         nullptr,
                            &resizeMode, &neverIncrease, &multipleSelection, &reservedA,
                            &reservedB,  &verticalLayout};
    COLORREF* const colours[] = {&backgroundColour, &fillColour, &frameColour};
    int field = 0, colour = 0;
    char* save = nullptr;
    for (char* token = strtok_r(text, ",", &save); token != nullptr && field < 18;
         token = strtok_r(nullptr, ",", &save), ++field) {
        if (numbers[field] != nullptr) {
            *numbers[field] = std::atoi(token);
        } else {
            // Colours were written unsigned; read them back as the 32-bit values they were, so
            // that CLR_DEFAULT (4278190080) survives a save and load.
            *colours[colour++] = static_cast<COLORREF>(std::strtoll(token, nullptr, 10));
        }
    }
}

} // namespace gallimo
