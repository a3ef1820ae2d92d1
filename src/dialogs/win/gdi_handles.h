// The device context the dialogs measure text in.
#pragma once
#include <windows.h>

#include "utils/win/unique_owner.h"

namespace zv {

// UniqueFont, UniqueBrush and UniquePen come from the one owner template.

// A device context obtained with GetDC, released on destruction; restores the font it selected.
class WindowDC {
public:
    explicit WindowDC(HWND wnd) : wnd_(wnd), dc_(GetDC(wnd)) {}
    ~WindowDC() {
        if (oldFont_) SelectObject(dc_, oldFont_);
        if (dc_) ReleaseDC(wnd_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;

    HDC Get() const { return dc_; }
    void SelectFont(HFONT font) {
        HGDIOBJ old = SelectObject(dc_, font);
        if (!oldFont_) oldFont_ = old;
    }

private:
    HWND wnd_;
    HDC dc_;
    HGDIOBJ oldFont_ = nullptr;
};

}  // namespace zv
