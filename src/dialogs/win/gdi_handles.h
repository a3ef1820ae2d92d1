// Move-only owners for the GDI objects the dialogs create.
#pragma once
#include <windows.h>

#include <utility>

namespace zv {

template <typename H>
class GdiObject {
public:
    GdiObject() = default;
    explicit GdiObject(H h) : h_(h) {}
    ~GdiObject() { reset(); }
    GdiObject(GdiObject&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) {
            reset();
            h_ = std::exchange(o.h_, nullptr);
        }
        return *this;
    }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;

    H get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void reset(H h = nullptr) {
        if (h_) DeleteObject(h_);
        h_ = h;
    }

private:
    H h_ = nullptr;
};

using UniqueFont = GdiObject<HFONT>;
using UniqueBrush = GdiObject<HBRUSH>;
using UniquePen = GdiObject<HPEN>;

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

    HDC get() const { return dc_; }
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
