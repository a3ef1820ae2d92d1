#include "utils/win/dll_loader.h"

#include <string>
#include <utility>
#include <vector>

namespace zv {

namespace {
// True once the default search is restricted to the system folder: bare names are then safe and
// keep side-by-side redirection (comctl32 v6 from the manifest).
bool g_searchRestricted = false;

// Libraries that system DLLs load on demand by bare name (themes, COM, the shell, WinINet's
// helpers, RICHED32's engine). Without a restricted search, Windows looks for those in the stub's
// own folder first, where a download folder may hold anything; loaded once from the system folder
// beforehand, the loaded module is used instead.
const char* const kPreloaded[] = {
    "uxtheme.dll",  "userenv.dll",  "setupapi.dll",  "apphelp.dll", "propsys.dll",
    "dwmapi.dll",   "cryptbase.dll", "oleacc.dll",   "clbcatq.dll", "version.dll",
    "ntmarta.dll",  "profapi.dll",  "sspicli.dll",   "secur32.dll", "iertutil.dll",
    "urlmon.dll",   "normaliz.dll", "linkinfo.dll",  "ntshrui.dll", "riched20.dll",
    "shfolder.dll", "psapi.dll",
};
}  // namespace

void HardenDllSearch() {
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(k32, "SetDefaultDllDirectories")));
    // Vista (6.0) with the update that adds the call cannot create shell links (CLSID_ShellLink)
    // once the search is restricted; it gets the preloading that XP gets.
    const DWORD version = GetVersion();
    const bool vista = LOBYTE(LOWORD(version)) == 6 && HIBYTE(LOWORD(version)) == 0;
    if (setDefault && !vista && setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */))
        g_searchRestricted = true;
    auto setDir = reinterpret_cast<SetDllDirectoryFn>(
        reinterpret_cast<void*>(GetProcAddress(k32, "SetDllDirectoryA")));
    if (setDir) setDir("");
    if (!g_searchRestricted) PreloadSystemDlls();
}

void PreloadSystemDlls() {
    for (const char* name : kPreloaded) LoadSystemLibrary(name);
}

bool DllSearchRestricted() { return g_searchRestricted; }

std::string SystemDllPath(const char* name) {
    char dir[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    std::string path(dir, n < MAX_PATH ? n : 0);
    if (!path.empty() && path.back() != '\\') path += '\\';
    return path + name;
}

HMODULE LoadSystemLibrary(const char* name) {
    UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    // By full path with the altered search, the library's own imports also come from the system
    // folder rather than from the stub's folder.
    HMODULE h = g_searchRestricted ? LoadLibraryA(name)
                                   : LoadLibraryExA(SystemDllPath(name).c_str(), nullptr,
                                                    LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(old);
    return h;
}

HMODULE SystemModule(const char* name) {
    // A handful of system libraries, by lowercase name.
    static std::vector<std::pair<std::string, HMODULE>> loaded;
    std::string key = name;
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    for (const auto& entry : loaded)
        if (entry.first == key) return entry.second;
    HMODULE h = LoadSystemLibrary(name);
    if (h) loaded.emplace_back(key, h);
    return h;
}

FARPROC SystemProc(const char* library, const char* function) {
    HMODULE h = SystemModule(library);
    return h ? GetProcAddress(h, function) : nullptr;
}

}  // namespace zv
