// zolvex-uidriver: finds a top-level window by class, prints what it shows, presses its buttons,
// sends it keys and messages, or takes its picture. Used by the end-to-end tests.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "ui_capture.h"
#include "ui_windows.h"

namespace uidriver {
namespace {

enum Exit { kDone = 0, kNotFound = 1, kUsage = 2, kFailed = 3 };

const char kHelp[] =
    "usage: zolvex-uidriver COMMAND --class CLASS [options]\n"
    "\n"
    "Finds the first visible top-level window of CLASS (with --title TITLE: of that caption;\n"
    "with --pid N: of that Windows process), waiting up to --timeout seconds (default 10),\n"
    "then:\n"
    "  wait   [--print]                   only waits; --print also prints the window\n"
    "  print                              prints caption, text, bold ranges, buttons, focus\n"
    "  press  --button CAPTION | --result N   clicks the button (caption with or without '&')\n"
    "  key    --vk N | --char C           activates the window, then posts a key (down and\n"
    "                                     up) or a character to the control with the focus\n"
    "  close                              posts WM_CLOSE\n"
    "  post   --msg N [--wparam A] [--lparam B]   posts a message\n"
    "  send   (--msg N | --msg-name NAME) [--wparam A] [--lparam B]   sends a message and\n"
    "                                     prints result=R; NAME is a registered message\n"
    "  shot   --out FILE.png|FILE.bmp     writes a picture of the window as on the screen\n"
    "  gone                               waits until no such window is left\n"
    "Numbers may be decimal or 0x hexadecimal.\n"
    "Exit code: 0 done, 1 no such window (or still there for gone), 2 bad usage, 3 failed.\n";

using Options = std::map<std::string, std::string>;

bool ParseOptions(int argc, char** argv, Options& opts) {
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0) return false;
        name = name.substr(2);
        if (name == "print") {
            opts[name] = "1";
        } else if (i + 1 < argc) {
            opts[name] = argv[++i];
        } else {
            return false;
        }
    }
    return true;
}

bool Number(const Options& opts, const char* name, long long& value) {
    auto it = opts.find(name);
    if (it == opts.end() || it->second.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(it->second.c_str(), &end, 0);
    return end && *end == '\0';
}

std::string Get(const Options& opts, const char* name) {
    auto it = opts.find(name);
    return it == opts.end() ? std::string() : it->second;
}

std::string RectText(const RECT& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%ld,%ld,%ld,%ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return buf;
}

// Rectangle of a child in its parent's client coordinates.
RECT ChildRect(HWND child, HWND parent) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void Print(HWND wnd) {
    RECT r, c;
    GetWindowRect(wnd, &r);
    GetClientRect(wnd, &c);
    std::printf("hwnd=0x%lx\n", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(wnd)));
    std::printf("class=%s\n", ClassOf(wnd).c_str());
    std::printf("caption=%s\n", Escape(TextOf(wnd)).c_str());
    std::printf("rect=%s\n", RectText(r).c_str());
    std::printf("client=%ld,%ld\n", c.right, c.bottom);
    std::printf("enabled=%d\n", IsWindowEnabled(wnd) ? 1 : 0);

    if (HWND text = FindTextControl(wnd)) {
        std::printf("text-class=%s\n", ClassOf(text).c_str());
        std::printf("text=%s\n", Escape(TextOf(text)).c_str());
        std::printf("text-rect=%s\n", RectText(ChildRect(text, wnd)).c_str());
        std::printf("text-style=0x%lx\n", static_cast<unsigned long>(GetWindowLongA(text, GWL_STYLE)));
        std::printf("text-exstyle=0x%lx\n", static_cast<unsigned long>(GetWindowLongA(text, GWL_EXSTYLE)));
        std::vector<std::pair<int, int>> bold;
        std::string list;
        if (_stricmp(ClassOf(text).c_str(), "Edit") != 0 && ReadBoldRanges(text, bold))
            for (const auto& b : bold) list += (list.empty() ? "" : ",") + std::to_string(b.first) + "-" + std::to_string(b.second);
        std::printf("bold=%s\n", list.c_str());
    }

    const HWND focus = FocusOf(wnd);
    std::string buttons, focusCaption, defaultCaption;
    for (HWND b : ChildrenOfClass(wnd, "Button")) {
        const std::string caption = TextOf(b);
        buttons += (buttons.empty() ? "" : "|") + Escape(caption) + ":" +
                   std::to_string(static_cast<long long>(GetWindowLongPtrA(b, GWLP_USERDATA))) + ":" +
                   RectText(ChildRect(b, wnd));
        if (b == focus) focusCaption = caption;
        if ((GetWindowLongA(b, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) defaultCaption = caption;
    }
    std::printf("buttons=%s\n", buttons.c_str());
    std::printf("focus=%s\n", Escape(focusCaption).c_str());
    std::printf("default=%s\n", Escape(defaultCaption).c_str());
    std::fflush(stdout);
}

int Press(HWND wnd, const Options& opts) {
    long long result = 0;
    HWND button = nullptr;
    if (opts.count("button")) {
        button = FindButtonByCaption(wnd, Get(opts, "button"));
    } else if (Number(opts, "result", result)) {
        button = FindButtonByResult(wnd, static_cast<LONG_PTR>(result));
    } else {
        std::fprintf(stderr, "press needs --button or --result\n");
        return kUsage;
    }
    if (!button) {
        std::fprintf(stderr, "no such button\n");
        return kFailed;
    }
    const int id = GetDlgCtrlID(button);
    PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return kDone;
}

int Key(HWND wnd, const Options& opts) {
    // Keys go to the active window, as when the user clicks the window before typing: another
    // program's window (another test's) may have taken the activation since.
    if (GetForegroundWindow() != wnd) {
        SetForegroundWindow(wnd);
        for (int i = 0; i < 50 && GetForegroundWindow() != wnd; ++i) Sleep(10);
    }
    HWND target = FocusOf(wnd);
    if (!target) target = wnd;
    long long vk = 0;
    if (Number(opts, "vk", vk)) {
        const UINT scan = MapVirtualKeyA(static_cast<UINT>(vk), 0);
        PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(vk), 1 | (scan << 16));
        PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(vk), 1 | (scan << 16) | 0xC0000000u);
    } else if (Get(opts, "char").size() == 1) {
        PostMessageA(target, WM_CHAR, static_cast<unsigned char>(Get(opts, "char")[0]), 1);
    } else {
        std::fprintf(stderr, "key needs --vk N or --char C\n");
        return kUsage;
    }
    return kDone;
}

int Post(HWND wnd, const Options& opts) {
    long long msg = 0, wp = 0, lp = 0;
    if (!Number(opts, "msg", msg)) {
        std::fprintf(stderr, "post needs --msg N\n");
        return kUsage;
    }
    Number(opts, "wparam", wp);
    Number(opts, "lparam", lp);
    return PostMessageA(wnd, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp)) ? kDone : kFailed;
}

int Send(HWND wnd, const Options& opts) {
    long long msg = 0, wp = 0, lp = 0;
    if (opts.count("msg-name")) {
        msg = RegisterWindowMessageA(Get(opts, "msg-name").c_str());
    } else if (!Number(opts, "msg", msg)) {
        std::fprintf(stderr, "send needs --msg N or --msg-name NAME\n");
        return kUsage;
    }
    Number(opts, "wparam", wp);
    Number(opts, "lparam", lp);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(wnd, static_cast<UINT>(msg), static_cast<WPARAM>(wp), static_cast<LPARAM>(lp),
                             SMTO_ABORTIFHUNG, 5000, &result))
        return kFailed;
    std::printf("result=%lld\n", static_cast<long long>(result));
    std::fflush(stdout);
    return kDone;
}

int Run(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
        std::fputs(kHelp, argc < 2 ? stderr : stdout);
        return argc < 2 ? kUsage : kDone;
    }
    const std::string command = argv[1];
    Options opts;
    if (!ParseOptions(argc, argv, opts) || Get(opts, "class").empty()) {
        std::fputs(kHelp, stderr);
        return kUsage;
    }
    long long seconds = 10;
    Number(opts, "timeout", seconds);
    const DWORD timeoutMs = static_cast<DWORD>(seconds < 0 ? 0 : seconds * 1000);
    WindowQuery query{Get(opts, "class"), Get(opts, "title"), 0};
    long long pid = 0;
    if (Number(opts, "pid", pid)) query.processId = static_cast<DWORD>(pid);

    if (command == "gone") {
        const DWORD start = GetTickCount();
        while (FindTopWindow(query)) {
            if (GetTickCount() - start >= timeoutMs) return kNotFound;
            Sleep(50);
        }
        return kDone;
    }

    HWND wnd = WaitTopWindow(query, timeoutMs);
    if (!wnd) {
        std::fprintf(stderr, "no visible window of class %s\n", query.cls.c_str());
        return kNotFound;
    }
    // Give a window that has just appeared the time to finish its layout.
    Sleep(200);

    int rc = kDone;
    if (command == "wait") {
        if (opts.count("print")) Print(wnd);
    } else if (command == "print") {
        Print(wnd);
    } else if (command == "press") {
        rc = Press(wnd, opts);
    } else if (command == "key") {
        rc = Key(wnd, opts);
    } else if (command == "close") {
        rc = PostMessageA(wnd, WM_CLOSE, 0, 0) ? kDone : kFailed;
    } else if (command == "post") {
        rc = Post(wnd, opts);
    } else if (command == "send") {
        rc = Send(wnd, opts);
    } else if (command == "shot") {
        std::string error;
        if (Get(opts, "out").empty()) return kUsage;
        if (!CaptureWindow(wnd, Get(opts, "out"), error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            rc = kFailed;
        }
    } else {
        std::fprintf(stderr, "unknown command %s\n", command.c_str());
        return kUsage;
    }
    // Let the window handle what was posted before the next command looks at it.
    if (rc == kDone && command != "wait" && command != "print" && command != "shot" &&
        command != "send") Sleep(150);
    return rc;
}

}  // namespace
}  // namespace uidriver

int main(int argc, char** argv) { return uidriver::Run(argc, argv); }
