// Pieces of the message box shared by its window code (zmsgbox.cpp) and its text and painting
// code (zmsgbox_text.cpp).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/msgbox_layout.h"
#include "dialogs/win/gdi_handles.h"

namespace zv {

constexpr int kMaxBoxButtons = 3;

// Everything one open box needs; lives on RunMsgBox's stack while the box is up.
struct BoxState {
    HWND box = nullptr;
    HWND text = nullptr;
    HWND buttons[kMaxBoxButtons] = {};
    int buttonCount = 0;
    std::vector<std::string> captions;
    int result = boxresult::kNone;
    int timeoutMs = 0;
    uint32_t flags = 0;
    HWND previousActive = nullptr;
    HWND lastFocus = nullptr;  // the control that had the focus when the box was last active
    BoxSize requested{0, 0};  // last EN_REQUESTRESIZE of the text control
    bool richEdit = false;    // false: plain EDIT control, RICHED32 did not load
    bool destroyed = false;
    UniqueFont font;
    std::string fontFace;
};

// Creates the text control with the converted mark-up, measured and sized (not yet placed).
void CreateBoxText(BoxState& s, const std::string& markup);

// Paints band, icon, separator line and button bar.
void PaintBox(const BoxState& s, HDC dc);

}  // namespace zv
