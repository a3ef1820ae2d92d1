// Engine.exe: a sample setup engine and the reference for setup authors.
//
// The stub extracts its package into a fresh setup folder and starts the file marked "*" (this
// program) with its own arguments plus a few of its own. All the stub requires of an engine:
//
//   1. Read "/TH_ID=<tag>" from the command line. The tag ("_" + the stub's thread id) names the
//      two objects that tie the engine to the stub run that started it.
//   2. Create its dialog window with the class ".SDialog_Class_Name." + tag. The stub waits until
//      no window of that class is left, even after the engine process has ended.
//   3. When the setup has completed, delete the global atom "AutoUpdateAtomTokenByZolvex" + tag.
//      The stub takes an atom still present as "not completed" (and, after an update, then keeps
//      the shortcuts that the new setup asked to remove).
//   4. Its exit code becomes the stub's exit code.
//
// Other switches from the stub: "/OriginExe=" the quoted path of the Setup.exe the user started
// (the engine's own folder is a temporary one and vanishes after the run), "/AutoUpdateProg" when
// the auto-update agent installs an update. Everything the user typed after Setup.exe arrives
// too, so a setup can take its own switches.
//
// This sample's own switches:
//   /Target=<folder>  where to install (default: <local application data>\Programs\ZolvexApp)
//   /Log=<file>       the log (default: <target>\engine.log); first line "CommandLine=" + the
//                     command line exactly as received
//   /Show             show the dialog (it stays hidden otherwise, so that tests run unseen; a
//                     real engine follows the show state the stub passes: hidden in a silent run)
//   /Hold=<ms>        keep running that long before finishing (the setup folder stays in place)
//   /Exit=<n>         exit code (default 0 when every file was installed, else 1)
//   /KeepAtom         leave the atom in place: the stub then treats the setup as not completed
//
// It installs every file beside it, except itself and the stub's temp copy of a spanned setup
// ("Y_" + the stub's name), into the target folder.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Switch {
    std::string name;   // with its "/", without "="
    std::string value;  // quotes removed
};

bool SameText(const std::string& a, const std::string& b) {
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Tokens split at blanks outside double quotes; the first one is the program itself.
std::vector<Switch> ParseSwitches(const std::string& commandLine) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false, any = false;
    for (char c : commandLine) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any) tokens.push_back(token);
            token.clear();
            any = false;
        } else {
            token += c;
            any = true;
        }
    }
    if (any) tokens.push_back(token);

    std::vector<Switch> switches;
    for (size_t i = 1; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (t.empty() || t[0] != '/') continue;
        const size_t eq = t.find('=');
        switches.push_back({t.substr(0, eq), eq == std::string::npos ? "" : t.substr(eq + 1)});
    }
    return switches;
}

const Switch* FindSwitch(const std::vector<Switch>& switches, const char* name) {
    for (const Switch& s : switches)
        if (SameText(s.name, name)) return &s;
    return nullptr;
}

std::string SwitchValue(const std::vector<Switch>& switches, const char* name,
                        const std::string& def) {
    const Switch* s = FindSwitch(switches, name);
    return s ? s->value : def;
}

std::string ModuleFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(0, p.find_last_of('\\'));
}

std::string ModuleName() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p = path;
    return p.substr(p.find_last_of('\\') + 1);
}

std::string DefaultTarget() {
    char buffer[MAX_PATH] = {};
    if (GetEnvironmentVariableA("LOCALAPPDATA", buffer, MAX_PATH) == 0 &&
        GetEnvironmentVariableA("APPDATA", buffer, MAX_PATH) == 0)
        GetTempPathA(MAX_PATH, buffer);
    std::string base = buffer;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    return base + "\\Programs\\ZolvexApp";
}

void CreateFolderTree(const std::string& folder) {
    for (size_t p = folder.find('\\', 3); p != std::string::npos; p = folder.find('\\', p + 1))
        CreateDirectoryA(folder.substr(0, p).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

class Log {
public:
    explicit Log(const std::string& path) : file_(std::fopen(path.c_str(), "ab")) {}
    ~Log() {
        if (file_) std::fclose(file_);
    }
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
    // Flushed per line: tests read the log while the engine is still running.
    void Line(const std::string& text) {
        if (!file_) return;
        std::fprintf(file_, "%s\r\n", text.c_str());
        std::fflush(file_);
    }

private:
    std::FILE* file_;
};

bool IsStubTempCopy(const std::string& name) {
    return name.size() > 2 && (name[0] == 'Y' || name[0] == 'y') && name[1] == '_';
}

// Copies the files beside this program into target; false when one of them failed.
bool InstallFiles(const std::string& source, const std::string& target, Log& log) {
    const std::string self = ModuleName();
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((source + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    do {
        const std::string name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (SameText(name, self) || IsStubTempCopy(name)) continue;
        const std::string to = target + "\\" + name;
        if (CopyFileA((source + "\\" + name).c_str(), to.c_str(), FALSE)) {
            log.Line("Installed=" + name);
        } else {
            log.Line("Failed=" + name);
            ok = false;
        }
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return ok;
}

// Waits while keeping the dialog responsive.
void HoldFor(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

HWND CreateDialogWindow(const std::string& className, bool show) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className.c_str();
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, className.c_str(), "Sample Setup", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 400, 150, nullptr, nullptr,
                                  wc.hInstance, nullptr);
    if (window) {
        CreateWindowExA(0, "Static", "Installing the sample application...",
                        WS_CHILD | WS_VISIBLE, 20, 30, 340, 20, window, nullptr, wc.hInstance,
                        nullptr);
        ShowWindow(window, show ? SW_SHOW : SW_HIDE);
    }
    return window;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::string commandLine = GetCommandLineA();
    const std::vector<Switch> switches = ParseSwitches(commandLine);
    const std::string tag = SwitchValue(switches, "/TH_ID", "");
    const std::string target = SwitchValue(switches, "/Target", DefaultTarget());

    CreateFolderTree(target);
    Log log(SwitchValue(switches, "/Log", target + "\\engine.log"));
    log.Line("CommandLine=" + commandLine);
    log.Line("Source=" + ModuleFolder());
    log.Line("Target=" + target);
    // How the stub asked to show the engine: 5 (SW_SHOW) normally, 0 (SW_HIDE) in a silent run.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    if (startup.dwFlags & STARTF_USESHOWWINDOW)
        log.Line("ShowWindow=" + std::to_string(startup.wShowWindow));

    HWND dialog = CreateDialogWindow(".SDialog_Class_Name." + tag, FindSwitch(switches, "/Show"));
    const bool installed = InstallFiles(ModuleFolder(), target, log);

    const DWORD hold = DWORD(std::strtoul(SwitchValue(switches, "/Hold", "0").c_str(), nullptr, 10));
    if (hold > 0) HoldFor(hold);

    if (installed && !FindSwitch(switches, "/KeepAtom")) {
        // Saying "completed" to the stub: delete the atom it added for this run.
        const std::string atomName = "AutoUpdateAtomTokenByZolvex" + tag;
        ATOM atom = GlobalFindAtomA(atomName.c_str());
        if (atom != 0) {
            GlobalDeleteAtom(atom);
            log.Line("AtomHandedBack=" + atomName);
        }
    }
    if (dialog) DestroyWindow(dialog);

    const int code = std::atoi(SwitchValue(switches, "/Exit", installed ? "0" : "1").c_str());
    log.Line("ExitCode=" + std::to_string(code));
    return code;
}
