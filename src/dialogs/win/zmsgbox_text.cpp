#include <windows.h>
#include <richedit.h>

#include "dialogs/msgbox_markup.h"
#include "dialogs/win/zmsgbox_parts.h"

namespace zv {
namespace {

constexpr COLORREF kBandColour = RGB(0, 78, 152);

HWND CreateTextControl(BoxState& s, const char* cls) {
    DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
    if (s.flags & boxflags::kRightAligned) style |= ES_RIGHT;
    const DWORD exStyle = (s.flags & boxflags::kRtlReading) ? WS_EX_RTLREADING : 0;
    return CreateWindowExA(exStyle, cls, "", style, 86, 30, 100, 13, s.box, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

void ApplyBold(HWND text, const std::vector<BoldRange>& ranges) {
    for (const BoldRange& r : ranges) {
        CHARRANGE sel{r.start, r.end};
        SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&sel));
        CHARFORMATA cf{};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
        cf.dwEffects = CFE_BOLD;
        SendMessageA(text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    }
    CHARRANGE start{0, 0};
    SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

BoxSize Measure(const BoxState& s, const std::string& plain) {
    WindowDC dc(s.text);
    dc.SelectFont(s.font.Get());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc.Get(), &tm);
    const int lineHeight = BoxLineHeight(tm.tmHeight, tm.tmExternalLeading, s.fontFace);
    return MeasureBoxText(plain, lineHeight, [&](const std::string& line) {
        SIZE sz{0, 0};
        GetTextExtentPoint32A(dc.Get(), line.data(), static_cast<int>(line.size()), &sz);
        return static_cast<int>(sz.cx);
    });
}

void SetControlSize(HWND wnd, int width, int height) {
    SetWindowPos(wnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Bold text is wider than the measure, which used the normal face: let the control say how tall
// its content is at growing widths and keep the first width at which it fits.
void WidenForBold(BoxState& s, const BoxSize& measured) {
    const int width = FitBoldWidth(measured.width, measured.height, [&](int tryWidth) {
        s.requested = {0, 0};
        SetControlSize(s.text, tryWidth, measured.height);
        SendMessageA(s.text, EM_REQUESTRESIZE, 0, 0);
        return s.requested;
    });
    SetControlSize(s.text, width, measured.height);
}

}  // namespace

void CreateBoxText(BoxState& s, const std::string& markup) {
    s.text = CreateTextControl(s, "RICHEDIT");
    s.richEdit = s.text != nullptr;
    // Without RICHED32 the text still has to reach the user: a plain read-only EDIT shows it,
    // only the bold ranges are lost.
    if (!s.text) s.text = CreateTextControl(s, "EDIT");
    if (!s.text) return;

    const MarkupText converted = ConvertMarkup(markup);
    if (s.richEdit) SendMessageA(s.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(s.text, WM_SETFONT, reinterpret_cast<WPARAM>(s.font.Get()), FALSE);
    if (s.richEdit) SendMessageA(s.text, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetWindowTextA(s.text, converted.text.c_str());
    if (s.richEdit) ApplyBold(s.text, converted.bold);

    const BoxSize size = Measure(s, converted.text);
    SetControlSize(s.text, size.width + 10, size.height);
    if (s.richEdit && !converted.bold.empty()) WidenForBold(s, size);
}

void PaintBox(const BoxState& s, HDC dc) {
    RECT rc;
    GetClientRect(s.box, &rc);
    const int cW = rc.right;
    const int cH = rc.bottom;

    FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));

    auto line = [&](int y, COLORREF colour) {
        UniquePen pen(CreatePen(PS_SOLID, 1, colour));
        HGDIOBJ old = SelectObject(dc, pen.Get());
        MoveToEx(dc, 0, y, nullptr);
        LineTo(dc, cW, y);
        SelectObject(dc, old);
    };
    line(cH - 37, GetSysColor(COLOR_3DDKSHADOW));
    line(cH - 36, RGB(255, 255, 255));

    RECT bar{0, cH - 35, cW, cH};
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));

    RECT band{0, 0, kBandWidth, cH - 37};
    UniqueBrush bandBrush(CreateSolidBrush(kBandColour));
    FillRect(dc, &band, bandBrush.Get());

    HICON icon = nullptr;
    switch (s.flags & boxflags::kIconMask) {
        case boxflags::kIconHand: icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_HAND)); break;
        case boxflags::kIconQuestion:
            icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION));
            break;
        case boxflags::kIconExclamation:
            icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_EXCLAMATION));
            break;
        case boxflags::kIconAsterisk:
            icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ASTERISK));
            break;
        default: icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon"); break;
    }
    if (icon) DrawIcon(dc, 11, 20, icon);
}

}  // namespace zv
