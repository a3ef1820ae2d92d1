#include "dialogs/win/zmsgbox.h"

#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <vector>

#include "dialogs/msgbox_markup.h"
#include "dialogs/win/zmsgbox_parts.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sysutils.h"

namespace zv {
namespace {

constexpr UINT_PTR kTimeoutTimer = 1;
constexpr const char* kRichEditDll = "RICHED32.DLL";
constexpr const char* kDeveloperProbeText = "Do you want to store the new Entry in";

struct BoxFontSetting {
    std::string face = "Tahoma";
    int size = 8;
    int charset = DEFAULT_CHARSET;
};
BoxFontSetting g_font;
HMODULE g_richEditKept = nullptr;  // the process's own reference, kept to the end
std::vector<BoxState*> g_openBoxes;  // innermost last; a box may open while another is up

UniqueFont CreateBoxFont() {
    const int height = -ScalePoints(g_font.size);
    return UniqueFont(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  static_cast<DWORD>(g_font.charset), OUT_DEFAULT_PRECIS,
                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS,
                                  g_font.face.c_str()));
}

BoxState* StateOf(HWND wnd) {
    return reinterpret_cast<BoxState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
}

int ButtonIndexOf(const BoxState& s, HWND wnd) {
    for (int i = 0; i < s.buttonCount; ++i)
        if (s.buttons[i] == wnd) return i;
    return -1;
}

int FocusedButton(const BoxState& s) { return ButtonIndexOf(s, GetFocus()); }

void FocusButton(BoxState& s, int index) {
    index = WrapButtonIndex(index, s.buttonCount);
    if (index < 0) return;
    SetFocus(s.buttons[index]);
    for (int i = 0; i < s.buttonCount; ++i)
        SendMessageA(s.buttons[i], BM_SETSTYLE, i == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void Choose(BoxState& s, int index) {
    s.result = static_cast<int>(GetWindowLongPtrA(s.buttons[index], GWLP_USERDATA));
    PostMessageA(s.box, WM_CLOSE, 0, 0);
}

// Accelerators and focus moves, looked at before a message is dispatched. Only messages for the
// box and its controls count: a key typed into another window of the thread is not an answer.
bool FilterKey(BoxState& s, const MSG& msg) {
    if (msg.hwnd != s.box && !IsChild(s.box, msg.hwnd)) return false;
    int target = -1;
    if (msg.message == WM_CHAR) {
        target = ButtonForChar(s.captions, static_cast<char>(msg.wParam));
    } else if (msg.message == WM_KEYDOWN) {
        const int key = static_cast<int>(msg.wParam);
        switch (key) {
            case VK_LEFT:
            case VK_UP: FocusButton(s, FocusedButton(s) - 1); break;
            case VK_TAB:
            case VK_RIGHT:
            case VK_DOWN: FocusButton(s, FocusedButton(s) + 1); break;
            case VK_RETURN: target = FocusedButton(s); break;
            case VK_ESCAPE: PostMessageA(s.box, WM_CLOSE, 0, 0); break;
            default: target = ButtonForLetterKey(s.captions, key); break;
        }
    }
    if (target < 0 || target >= s.buttonCount) return false;
    Choose(s, target);
    return true;
}

void RestorePrevious(BoxState& s) {
    if (s.previousActive && IsWindow(s.previousActive)) {
        EnableWindow(s.previousActive, TRUE);
        SetActiveWindow(s.previousActive);
        SetFocus(s.previousActive);
    }
    if (s.timeoutMs > 0) KillTimer(s.box, kTimeoutTimer);
}

LRESULT BoxMessage(BoxState& s, HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_CREATE:
            if (s.timeoutMs > 0) SetTimer(wnd, kTimeoutTimer, static_cast<UINT>(s.timeoutMs), nullptr);
            break;
        case WM_ACTIVATE:
            // Like a dialog: the button that had the focus gets it back when the user returns to
            // the box from another window, so Space and Return answer as before.
            if (LOWORD(wp) == WA_INACTIVE) {
                const HWND focus = GetFocus();
                if (focus && IsChild(wnd, focus)) s.lastFocus = focus;
            } else if (s.lastFocus && IsWindow(s.lastFocus)) {
                SetFocus(s.lastFocus);
                return 0;
            }
            break;
        case WM_COMMAND: {
            const int index = ButtonIndexOf(s, reinterpret_cast<HWND>(lp));
            if (index >= 0) Choose(s, index);
            break;
        }
        case WM_TIMER:
            // A time-out answers with the first button (Yes in a Yes/No box).
            if (s.buttonCount > 0)
                Choose(s, 0);
            else
                PostMessageA(wnd, WM_CLOSE, 0, 0);
            break;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr && hdr->code == EN_REQUESTRESIZE) {
                const RECT& rc = reinterpret_cast<const REQRESIZE*>(lp)->rc;
                s.requested = {rc.right - rc.left, rc.bottom - rc.top};
            }
            break;
        }
        case WM_CLOSE: RestorePrevious(s); break;
        case WM_DESTROY: s.destroyed = true; return 1;
        case WM_CTLCOLORSTATIC:  // the plain EDIT stand-in: same white as the rich-edit control
            if (!s.richEdit && reinterpret_cast<HWND>(lp) == s.text) {
                SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(wnd, &ps);
            PaintBox(s, dc);
            EndPaint(wnd, &ps);
            return 0;
        }
        default:
            if (AutoPlayMessage() != 0 && msg == AutoPlayMessage()) return 1;
            break;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

LRESULT CALLBACK BoxProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<BoxState*>(cs->lpCreateParams)->box = wnd;
    }
    BoxState* s = StateOf(wnd);
    if (!s) return DefWindowProcA(wnd, msg, wp, lp);
    return BoxMessage(*s, wnd, msg, wp, lp);
}

bool RegisterBoxClass() {
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &BoxProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kMsgBoxClassName;
    // A box opened while another is up finds the class already there.
    return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void CreateButtons(BoxState& s, const std::string& captionList) {
    const std::vector<BoxButton> set = ButtonSet(s.flags);
    s.captions = ButtonCaptions(s.flags, captionList);
    s.buttonCount = static_cast<int>(std::min<size_t>(set.size(), kMaxBoxButtons));
    RECT rc;
    GetClientRect(s.box, &rc);
    for (int i = 0; i < s.buttonCount; ++i) {
        const BoxPlacement p = PlaceButton(i, s.buttonCount, rc.right, rc.bottom);
        HWND b = CreateWindowExA(0, "Button", s.captions[i].c_str(),
                                 WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, p.x, p.y, p.width,
                                 p.height, s.box, reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + i)),
                                 GetModuleHandleA(nullptr), nullptr);
        s.buttons[i] = b;
        if (!b) continue;
        SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(s.font.Get()), FALSE);
        SetWindowLongPtrA(b, GWLP_USERDATA, set[i].result);
    }
    FocusButton(s, DefaultButtonIndex(s.flags, s.buttonCount));
}

void LayOut(BoxState& s, const std::string& plainMarkup) {
    RECT er{0, 0, 100, 13};
    if (s.text) GetWindowRect(s.text, &er);
    const int editW = er.right - er.left;
    const int editH = er.bottom - er.top;

    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    const BoxFrame frame{GetSystemMetrics(SM_CXFRAME), GetSystemMetrics(SM_CYFRAME),
                         GetSystemMetrics(SM_CYCAPTION)};
    BoxPlacement box = PlaceBox(editW, editH, frame, {work.left, work.top, work.right, work.bottom});
    if (IsDeveloperMode() && plainMarkup.find(kDeveloperProbeText) != std::string::npos) {
        box.x += 150;
        box.y += 150;
    }
    MoveWindow(s.box, box.x, box.y, box.width, box.height, TRUE);
    ShowWindow(s.box, SW_SHOW);

    if (!s.text) return;
    RECT rc;
    GetClientRect(s.box, &rc);
    const BoxPlacement t = PlaceTextControl(rc.right, rc.bottom, editW, editH);
    SetWindowPos(s.text, nullptr, t.x, t.y, t.width, t.height, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(s.text, SW_SHOW);
}

// Runs the box's loop until its window is gone. A quit message ends the box too and is passed
// on, so that the caller's own loop still ends.
void RunBoxLoop(BoxState& s) {
    MSG msg;
    while (!s.destroyed) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            if (IsWindow(s.box)) {
                RestorePrevious(s);
                DestroyWindow(s.box);
            }
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (FilterKey(s, msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

void SetMsgBoxFont(const std::string& face, int size, int charset) {
    g_font.face = face;
    if (size != 0) g_font.size = size;
    g_font.charset = charset;
}

int RunMsgBox(HWND owner, const std::string& text, const std::string& title, int timeoutMs,
              uint32_t flags, const std::string& captions) {
    if (!g_richEditKept) g_richEditKept = LoadSystemLibrary(kRichEditDll);

    BoxState s;
    s.previousActive = GetActiveWindow();
    if (s.previousActive) EnableWindow(s.previousActive, FALSE);
    s.timeoutMs = timeoutMs;
    s.flags = flags;
    s.font = CreateBoxFont();
    s.fontFace = g_font.face;

    if (!RegisterBoxClass()) {
        TraceException("cannot register the window class", "RunMsgBox", title);
        if (s.previousActive) EnableWindow(s.previousActive, TRUE);
        return boxresult::kNone;
    }
    g_openBoxes.push_back(&s);
    CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kMsgBoxClassName, title.c_str(),
                    WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner, nullptr,
                    GetModuleHandleA(nullptr), &s);
    if (s.box) {
        if (s.flags & MsgBoxNoClose) {
            EnableMenuItem(GetSystemMenu(s.box, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
            s.flags &= ~MsgBoxNoClose;
        }
        CreateBoxText(s, text);
        LayOut(s, text);
        CreateButtons(s, captions);
        RunBoxLoop(s);
    } else {
        TraceException("cannot create the box window", "RunMsgBox", title);
        if (s.previousActive) EnableWindow(s.previousActive, TRUE);
    }
    g_openBoxes.pop_back();
    // Unregistering only works once no window of the class is left, so it waits for the loop's
    // end rather than the box's WM_DESTROY; the font goes with s for the same reason.
    if (g_openBoxes.empty()) UnregisterClassA(kMsgBoxClassName, GetModuleHandleA(nullptr));
    return s.result;
}

int ShowMsgBox(BoxMode mode, const std::string& text, const std::string& title, int timeoutMs,
               uint32_t flags, int charset, const std::string& captions) {
    flags = FlagsForCharset(flags, charset);
    const std::string shown = ComposeBoxText(mode == kBoxWithHeading ? 0 : 1, title, text);
    if (mode == kBoxNoClose) flags |= MsgBoxNoClose;
    HWND owner = mode >= 3 ? reinterpret_cast<HWND>(mode) : GetActiveWindow();
    const int result = RunMsgBox(owner, shown, title, timeoutMs, flags,
                                 captions.empty() ? kDefaultButtonCaptions : captions);
    Wait(100);
    return result;
}

void ErrorBox(BoxMode mode, const std::string& text, const std::string& title, int charset,
              const std::string& captions) {
    ShowMsgBox(mode, text, title.empty() ? "Error" : title, 0,
               boxflags::kIconHand, charset, captions);
}

void AttentionBox(BoxMode mode, const std::string& text, const std::string& title, int timeoutMs,
                  int charset, const std::string& captions) {
    ShowMsgBox(mode, text, title.empty() ? "Attention" : title, timeoutMs,
               boxflags::kIconExclamation, charset, captions);
}

bool ConfirmBox(BoxMode mode, const std::string& text, const std::string& title, int timeoutMs,
                int charset, const std::string& captions) {
    return ShowMsgBox(mode, text, title.empty() ? "Confirm" : title, timeoutMs,
                      boxflags::kIconQuestion | 4, charset, captions) == boxresult::kYes;
}

bool OkCancelBox(BoxMode mode, const std::string& text, const std::string& title, int charset,
                 const std::string& captions) {
    return ShowMsgBox(mode, text, title.empty() ? "Confirm" : title, 0,
                      boxflags::kIconQuestion | 1, charset, captions) == boxresult::kOk;
}

}  // namespace zv
