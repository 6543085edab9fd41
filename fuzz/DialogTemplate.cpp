// Dialog templates are text: whatever the text, making the dialog fails cleanly or makes one
// that goes again without a trace.
#include "win32/win32.h"
#include "winplat/accounting.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::size_t windows = winplatLiveWindows();
    HWND dialog = CreateDialogIndirectParamA(nullptr, text.c_str(), nullptr, nullptr, 0);
    if (dialog != nullptr) DestroyWindow(dialog);
    if (winplatLiveWindows() != windows) std::abort();
    return 0;
}
