// ChooseColor: the stand-in's own colour dialog. A grid of 48 basic colours, red, green and
// blue fields that a typed value or a chosen cell fills, a sample of the colour, OK and Cancel.
#include "dialog/Dialog.h"
#include "user/WindowSystem.h"
#include "win32/commdlg.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace winplat::dialog {
namespace {

constexpr const char* kGridClass = "WinplatColourGrid";
constexpr const char* kSampleClass = "WinplatColourSample";
constexpr int kColumns = 8, kRows = 6;

thread_local DWORD t_lastError = 0;

// Eight hues in five shades, then eight greys.
const std::array<COLORREF, kColumns * kRows>& basicColours() {
    static const auto table = [] {
        std::array<COLORREF, kColumns * kRows> t{};
        const int hues[kColumns] = {0, 30, 60, 120, 180, 240, 270, 300};
        const int shades[5][2] = {{128, 255}, {255, 255}, {255, 192}, {255, 128}, {255, 64}};
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < kColumns; ++col) {
                const int s = shades[row][0], v = shades[row][1], h = hues[col];
                const int sector = h / 60, f = (h % 60) * 255 / 60;
                const int p = v * (255 - s) / 255;
                const int q = v * (255 - s * f / 255) / 255;
                const int u = v * (255 - s * (255 - f) / 255) / 255;
                int r = v, g = u, b = p;
                switch (sector) {
                case 1:
                    r = q;
                    g = v;
                    b = p;
                    break;
                case 2:
                    r = p;
                    g = v;
                    b = u;
                    break;
                case 3:
                    r = p;
                    g = q;
                    b = v;
                    break;
                case 4:
                    r = u;
                    g = p;
                    b = v;
                    break;
                case 5:
                    r = v;
                    g = p;
                    b = q;
                    break;
                default:
                    break;
                }
                t[static_cast<std::size_t>(row * kColumns + col)] =
                    RGB(static_cast<BYTE>(r), static_cast<BYTE>(g), static_cast<BYTE>(b));
            }
        for (int col = 0; col < kColumns; ++col) {
            const auto grey = static_cast<BYTE>((col * 255 + 3) / 7);
            t[static_cast<std::size_t>(5 * kColumns + col)] = RGB(grey, grey, grey);
        }
        return t;
    }();
    return table;
}

HBRUSH sysBrush(int index) {
    return reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(index + 1));
}

RECT cellRect(HWND grid, int index) {
    RECT r;
    GetClientRect(grid, &r);
    const int w = r.right / kColumns, h = r.bottom / kRows;
    const int col = index % kColumns, row = index / kColumns;
    return RECT{col * w, row * h, col * w + w, row * h + h};
}

int selectedCell(HWND grid) {
    return static_cast<int>(GetWindowLongPtrA(grid, GWLP_USERDATA));
}

void selectCell(HWND grid, int index, bool notify) {
    SetWindowLongPtrA(grid, GWLP_USERDATA, index);
    InvalidateRect(grid, nullptr, TRUE);
    if (notify)
        winplat::user::notifyParent(grid, WM_COMMAND,
                                    MAKEWPARAM(static_cast<WORD>(GetDlgCtrlID(grid)), BN_CLICKED),
                                    reinterpret_cast<LPARAM>(grid));
}

void paintGrid(HWND grid) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(grid, &ps);
    if (dc == nullptr) return;
    const int chosen = selectedCell(grid);
    for (int i = 0; i < kColumns * kRows; ++i) {
        RECT r = cellRect(grid, i);
        InflateRect(&r, -2, -2);
        if (i == chosen) {
            RECT frame = r;
            InflateRect(&frame, 2, 2);
            FrameRect(dc, &frame, sysBrush(COLOR_WINDOWFRAME));
        }
        DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        HBRUSH brush = CreateSolidBrush(basicColours()[static_cast<std::size_t>(i)]);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
    }
    if (GetFocus() == grid && chosen >= 0) {
        RECT focus = cellRect(grid, chosen);
        DrawFocusRect(dc, &focus);
    }
    EndPaint(grid, &ps);
}

LRESULT CALLBACK gridProc(HWND grid, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS;
    case WM_PAINT:
        paintGrid(grid);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(grid, nullptr, TRUE);
        return 0;
    case WM_LBUTTONDOWN: {
        SetFocus(grid);
        const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        for (int i = 0; i < kColumns * kRows; ++i) {
            RECT r = cellRect(grid, i);
            if (PtInRect(&r, p)) {
                selectCell(grid, i, true);
                break;
            }
        }
        return 0;
    }
    case WM_KEYDOWN: {
        int i = std::max(0, selectedCell(grid));
        if (wParam == VK_LEFT)
            i = (i + kColumns * kRows - 1) % (kColumns * kRows);
        else if (wParam == VK_RIGHT)
            i = (i + 1) % (kColumns * kRows);
        else if (wParam == VK_UP)
            i = (i + kColumns * (kRows - 1)) % (kColumns * kRows);
        else if (wParam == VK_DOWN)
            i = (i + kColumns) % (kColumns * kRows);
        else
            return DefWindowProcA(grid, message, wParam, lParam);
        selectCell(grid, i, true);
        return 0;
    }
    default:
        return DefWindowProcA(grid, message, wParam, lParam);
    }
}

LRESULT CALLBACK sampleProc(HWND sample, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return DefWindowProcA(sample, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(sample, &ps);
    if (dc == nullptr) return 0;
    RECT r;
    GetClientRect(sample, &r);
    DrawEdge(dc, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    HBRUSH brush =
        CreateSolidBrush(static_cast<COLORREF>(GetWindowLongPtrA(sample, GWLP_USERDATA)));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    EndPaint(sample, &ps);
    return 0;
}

void registerClasses() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = gridProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = sysBrush(COLOR_BTNFACE);
    wc.lpszClassName = kGridClass;
    RegisterClassA(&wc);
    wc.lpfnWndProc = sampleProc;
    wc.lpszClassName = kSampleClass;
    RegisterClassA(&wc);
}

[[maybe_unused]] const bool g_registered = [] {
    winplat::user::addSystemClasses(&registerClasses);
    return true;
}();

const char kTemplate[] =
    "DIALOG 0, 0, 186, 122\n"
    "STYLE WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER\n"
    "CAPTION \"Color\"\n"
    "FONT 8, \"MS Sans Serif\"\n"
    "CONTROL \"&Basic colors:\", -1, \"Static\", SS_LEFT | WS_GROUP, 6, 4, 110, 8\n"
    "CONTROL \"\", 720, \"WinplatColourGrid\", WS_TABSTOP | WS_GROUP, 6, 14, 112, 78\n"
    "CONTROL \"\", 709, \"WinplatColourSample\", 0, 126, 14, 54, 28\n"
    "CONTROL \"&Red:\", -1, \"Static\", SS_LEFT | WS_GROUP, 126, 50, 24, 8\n"
    "CONTROL \"\", 726, \"Edit\", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 152, 48, 28, 12\n"
    "CONTROL \"&Green:\", -1, \"Static\", SS_LEFT | WS_GROUP, 126, 64, 24, 8\n"
    "CONTROL \"\", 727, \"Edit\", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 152, 62, 28, 12\n"
    "CONTROL \"Bl&ue:\", -1, \"Static\", SS_LEFT | WS_GROUP, 126, 78, 24, 8\n"
    "CONTROL \"\", 728, \"Edit\", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 152, 76, 28, 12\n"
    "CONTROL \"OK\", 1, \"Button\", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 6, 102, 50, 14\n"
    "CONTROL \"Cancel\", 2, \"Button\", BS_PUSHBUTTON | WS_TABSTOP, 60, 102, 50, 14\n";

thread_local bool t_filling = false;

void showColour(HWND dialog, COLORREF colour, bool fillFields) {
    HWND sample = GetDlgItem(dialog, WINPLAT_COLOUR_SAMPLE);
    SetWindowLongPtrA(sample, GWLP_USERDATA, static_cast<LONG_PTR>(colour));
    InvalidateRect(sample, nullptr, TRUE);
    if (fillFields) {
        t_filling = true;
        SetDlgItemInt(dialog, WINPLAT_COLOUR_RED, GetRValue(colour), FALSE);
        SetDlgItemInt(dialog, WINPLAT_COLOUR_GREEN, GetGValue(colour), FALSE);
        SetDlgItemInt(dialog, WINPLAT_COLOUR_BLUE, GetBValue(colour), FALSE);
        t_filling = false;
    }
    const auto& table = basicColours();
    auto it = std::find(table.begin(), table.end(), colour);
    HWND grid = GetDlgItem(dialog, WINPLAT_COLOUR_GRID);
    const int cell = it != table.end() ? static_cast<int>(it - table.begin()) : -1;
    if (selectedCell(grid) != cell) selectCell(grid, cell, false);
}

BYTE fieldValue(HWND dialog, int id) {
    BOOL ok = FALSE;
    const UINT v = GetDlgItemInt(dialog, id, &ok, FALSE);
    return static_cast<BYTE>(ok ? std::min<UINT>(v, 255) : 0);
}

COLORREF fieldsColour(HWND dialog) {
    return RGB(fieldValue(dialog, WINPLAT_COLOUR_RED), fieldValue(dialog, WINPLAT_COLOUR_GREEN),
               fieldValue(dialog, WINPLAT_COLOUR_BLUE));
}

LONG_PTR CALLBACK dialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        auto* choice = reinterpret_cast<CHOOSECOLORA*>(lParam);
        for (int id : {WINPLAT_COLOUR_RED, WINPLAT_COLOUR_GREEN, WINPLAT_COLOUR_BLUE})
            SendDlgItemMessageA(hwnd, id, EM_LIMITTEXT, 3, 0);
        SetWindowLongPtrA(GetDlgItem(hwnd, WINPLAT_COLOUR_GRID), GWLP_USERDATA, -1);
        showColour(hwnd, (choice->Flags & CC_RGBINIT) != 0 ? choice->rgbResult & 0xFFFFFF : 0,
                   true);
        return TRUE;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == WINPLAT_COLOUR_GRID) {
            const int cell = selectedCell(GetDlgItem(hwnd, id));
            if (cell >= 0) showColour(hwnd, basicColours()[static_cast<std::size_t>(cell)], true);
        } else if ((id == WINPLAT_COLOUR_RED || id == WINPLAT_COLOUR_GREEN ||
                    id == WINPLAT_COLOUR_BLUE) &&
                   HIWORD(wParam) == EN_CHANGE && !t_filling) {
            showColour(hwnd, fieldsColour(hwnd), false);
        } else if (id == IDOK) {
            auto* choice = reinterpret_cast<CHOOSECOLORA*>(GetWindowLongPtrA(hwnd, DWLP_USER));
            choice->rgbResult = fieldsColour(hwnd);
            EndDialog(hwnd, IDOK);
        } else if (id == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

} // namespace
} // namespace winplat::dialog

extern "C" {

BOOL ChooseColorA(CHOOSECOLORA* choice) {
    using namespace winplat::dialog;
    if (choice == nullptr || choice->lStructSize != sizeof(CHOOSECOLORA)) {
        t_lastError = CDERR_STRUCTSIZE;
        return FALSE;
    }
    t_lastError = 0;
    const INT_PTR result = DialogBoxIndirectParamA(nullptr, kTemplate, choice->hwndOwner,
                                                   &dialogProc, reinterpret_cast<LPARAM>(choice));
    if (result == -1) t_lastError = CDERR_DIALOGFAILURE;
    return result == IDOK ? TRUE : FALSE;
}

DWORD CommDlgExtendedError() {
    return winplat::dialog::t_lastError;
}

} // extern "C"
