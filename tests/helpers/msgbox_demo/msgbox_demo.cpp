// zolvex-msgbox-demo: shows one message box and prints its answer.
//   --box show|error|attention|confirm|okcancel   (default show)
//   --mode N --title T --text T --timeout MS --flags N --charset N --captions LIST
//   --font FACE --size N --font-charset N   (SetMsgBoxFont before the box)
//   --autoplay  the box refuses AutoPlay ("QueryCancelAutoPlay" answered with 1)
//   --owner   first opens an active window of class "ZDemoOwner" that the box disables
// Prints "pid=N" (its Windows process id) first, then "result=N" (show), "result=true|false" (confirm, okcancel) or "result=closed", and
// "owner-enabled=0|1" with --owner.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "dialogs/win/zmsgbox.h"
#include "utils/text.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sysutils.h"
#include "stub/win/win32_platform.h"

namespace {

LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(wnd, msg, wp, lp);
}

HWND OpenOwner() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &OwnerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZDemoOwner";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(0, "ZDemoOwner", "Demo owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                               300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetActiveWindow(wnd);
    zv::Wait(200);
    return wnd;
}

long Num(const std::map<std::string, std::string>& a, const char* name, long def) {
    auto it = a.find(name);
    return it == a.end() ? def : std::strtol(it->second.c_str(), nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    zv::HardenDllSearch();
    zv::InstallWin32Platform();
    std::printf("pid=%lu\n", GetCurrentProcessId());
    std::fflush(stdout);
    std::map<std::string, std::string> a;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name.rfind("--", 0) != 0) continue;
        name = name.substr(2);
        a[name] = (name != "owner" && name != "autoplay" && i + 1 < argc) ? argv[++i] : "1";
    }
    auto text = [&](const char* name) { return a.count(name) ? a[name] : std::string(); };

    if (a.count("font") || a.count("size") || a.count("font-charset"))
        zv::SetMsgBoxFont(a.count("font") ? a["font"] : "Tahoma", static_cast<int>(Num(a, "size", 0)),
                          static_cast<int>(Num(a, "font-charset", DEFAULT_CHARSET)));
    if (a.count("autoplay")) zv::SetAutoPlaySuppression(true);
    HWND owner = a.count("owner") ? OpenOwner() : nullptr;

    const std::string box = a.count("box") ? a["box"] : "show";
    const zv::BoxMode mode = static_cast<zv::BoxMode>(Num(a, "mode", 0));
    const int timeout = static_cast<int>(Num(a, "timeout", 0));
    const int charset = static_cast<int>(Num(a, "charset", 0));
    const std::string captions = text("captions");
    if (box == "error") {
        zv::ErrorBox(mode, text("text"), text("title"), charset, captions);
        std::printf("result=closed\n");
    } else if (box == "attention") {
        zv::AttentionBox(mode, text("text"), text("title"), timeout, charset, captions);
        std::printf("result=closed\n");
    } else if (box == "confirm") {
        std::printf("result=%s\n", zv::ConfirmBox(mode, text("text"), text("title"), timeout, charset, captions) ? "true" : "false");
    } else if (box == "okcancel") {
        std::printf("result=%s\n", zv::OkCancelBox(mode, text("text"), text("title"), charset, captions) ? "true" : "false");
    } else {
        const int r = zv::ShowMsgBox(mode, text("text"), text("title"), timeout,
                                     static_cast<uint32_t>(Num(a, "flags", 0)), charset, captions);
        std::printf("result=%d\n", r);
    }
    if (owner) std::printf("owner-enabled=%d\n", IsWindowEnabled(owner) ? 1 : 0);
    std::fflush(stdout);
    return 0;
}
