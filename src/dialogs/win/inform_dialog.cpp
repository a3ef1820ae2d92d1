#include "dialogs/win/inform_dialog.h"

#include <richedit.h>

#include "dialogs/inform_layout.h"
#include "utils/text.h"
#include "utils/win/sysutils.h"

namespace zv {
namespace {

bool DefaultShellOpen(const std::string& link) { return ShellOpen(link, "", SW_SHOWNORMAL); }

InformShellOpen g_open = &DefaultShellOpen;

struct InformState {
    std::string link;
    bool closed = false;
    HWND dialog = nullptr;
    HWND edit = nullptr;
    HWND button = nullptr;
};
InformState g_state;

bool OpenLink(const std::string& link) { return IsWebLink(link) && g_open(Trim(link)); }

void Layout(HWND window) {
    RECT r;
    GetClientRect(window, &r);
    const bool withLink = !g_state.link.empty();
    const InformRect t = InformTextRect(r.right, r.bottom, withLink);
    if (g_state.edit) MoveWindow(g_state.edit, t.x, t.y, t.width, t.height, TRUE);
    if (g_state.button) {
        const InformRect b = InformButtonRect(r.right, r.bottom);
        MoveWindow(g_state.button, b.x, b.y, b.width, b.height, TRUE);
        ShowWindow(g_state.button, SW_SHOW);
    }
}

void Paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    RECT r;
    GetClientRect(window, &r);
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    if (!g_state.link.empty()) {
        RECT line = {0, r.bottom - kInformBarHeight, r.right, r.bottom - kInformBarHeight + 1};
        FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
        RECT bar = {0, r.bottom - kInformBarHeight + 1, r.right, r.bottom};
        FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    }
    EndPaint(window, &ps);
}

LRESULT HandleMessage(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            Layout(window);
            return 0;
        case WM_PAINT:
            Paint(window);
            return 0;
        case WM_COMMAND:
            if (g_state.button && reinterpret_cast<HWND>(lp) == g_state.button) {
                OpenLink(g_state.link);
                PostMessageA(window, WM_CLOSE, 0, 0);
            }
            break;
        case WM_DESTROY:
            g_state.closed = true;
            return 1;
        default:
            break;
    }
    return DefWindowProcA(window, msg, wp, lp);
}

LRESULT CALLBACK InformProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    return HandleMessage(window, msg, wp, lp);
}

struct Font {
    HFONT h = nullptr;
    ~Font() {
        if (h) DeleteObject(h);
    }
};

void RunDialog(HWND owner, const std::string& title, const std::string& caption,
               const std::string& text, int width, int height, bool rtl, const std::string& face,
               int size, int charset) {
    HINSTANCE inst = GetModuleHandleA(nullptr);
    LoadLibraryA("RICHED32.DLL");   // already loaded from the system folder at start
    Font buttonFont, textFont;
    buttonFont.h = CreateFontA(-ScalePoints(size), 0, 0, 0, 0, 0, 0, 0, DWORD(charset), 0, 0, 0,
                               FF_SWISS, face.c_str());
    textFont.h = CreateFontA(kInformTextCellHeight, 0, 0, 0, 0, 0, 0, 0, DWORD(charset), 0, 0, 0,
                             FF_SWISS, InformTextFace(face).c_str());

    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &InformProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kInformClassName;
    RegisterClassA(&wc);

    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    width = ClampInformSize(width, work.right - work.left);
    height = ClampInformSize(height, work.bottom - work.top);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    g_state.dialog = CreateWindowExA(WS_EX_DLGMODALFRAME, kInformClassName, title.c_str(),
                                     WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME, x, y,
                                     width, height, owner, nullptr, inst, nullptr);
    if (g_state.dialog) {
        RECT r;
        GetClientRect(g_state.dialog, &r);
        const InformRect t = InformTextRect(r.right, r.bottom, !g_state.link.empty());
        DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_WANTRETURN;
        if (rtl) style |= ES_RIGHT;
        g_state.edit = CreateWindowExA(rtl ? WS_EX_RTLREADING : 0, "RICHEDIT", "", style, t.x, t.y,
                                       t.width, t.height, g_state.dialog, nullptr, inst, nullptr);
        if (g_state.edit) {
            SendMessageA(g_state.edit, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
            SendMessageA(g_state.edit, WM_SETFONT, reinterpret_cast<WPARAM>(textFont.h), TRUE);
            SendMessageA(g_state.edit, EM_SETBKGNDCOLOR, 0, LPARAM(GetSysColor(COLOR_WINDOW)));
            SendMessageA(g_state.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        }
        if (!g_state.link.empty()) {
            const InformRect b = InformButtonRect(r.right, r.bottom);
            g_state.button = CreateWindowExA(0, "Button", caption.c_str(),
                                             WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, b.x, b.y,
                                             b.width, b.height, g_state.dialog,
                                             reinterpret_cast<HMENU>(1), inst, nullptr);
            if (g_state.button) {
                SendMessageA(g_state.button, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont.h), TRUE);
                SetFocus(g_state.button);
                SetActiveWindow(g_state.dialog);
                SendMessageA(g_state.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
            }
        }
        MSG msg;
        while (!g_state.closed) {
            const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got == 0) {
                // The agent is to stop: hand the quit on to the loop it was meant for.
                PostQuitMessage(int(msg.wParam));
                DestroyWindow(g_state.dialog);
                break;
            }
            if (got == -1) break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!g_state.closed && IsWindow(g_state.dialog)) DestroyWindow(g_state.dialog);
    }
    UnregisterClassA(kInformClassName, inst);
    g_state.dialog = g_state.edit = g_state.button = nullptr;
}

}  // namespace

InformShellOpen SetInformShellOpen(InformShellOpen open) {
    InformShellOpen old = g_open;
    g_open = open ? open : &DefaultShellOpen;
    return old;
}

bool ShowInformDialog(HWND owner, const std::string& title, const std::string& buttonCaption,
                      const std::string& text, const std::string& link0, int width, int height,
                      bool rightToLeft, const std::string& fontFace, int fontSize, int charset) {
    const std::string link = Trim(link0);
    if (text.empty()) return !link.empty() && OpenLink(link);
    // A link the dialog would never open gets no button either.
    g_state = InformState();
    g_state.link = IsWebLink(link) ? link : std::string();
    RunDialog(owner, title, buttonCaption, text, width, height, rightToLeft, fontFace, fontSize,
              charset);
    return true;
}

}  // namespace zv
