#include "rundir/shell_dir.h"

#include <initializer_list>

#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/switches.h"
#include "utils/text.h"

namespace zv {
namespace {

constexpr const char* kShellFoldersKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kShellFoldersKeyUpper =
    "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCurrentVersionKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

bool Exists(const std::string& path) { return !path.empty() && Host().folderExists(path); }

std::string Parent(const std::string& path) {
    const size_t slash = path.find_last_of('\\');
    return NormalizeDir(slash == std::string::npos ? std::string() : path.substr(0, slash + 1),
                        false);
}

std::string Result(const std::string& path, bool addBackslash) {
    return NormalizeDir(path, addBackslash);
}

// The shell's documents or all-users data folder, then its parent when the shell's folder exists.
std::string ParentOfShellFolder(int csidl) {
    std::string path = GetFolderPath(csidl | kCsidlFlagCreate);
    if (Exists(path)) path = Parent(path);
    return path;
}

std::string WithName(std::string (*folder)(bool), const char* name) {
    return folder(true) + name;
}

struct Candidate {
    std::string (*folder)(bool);
    const char* name;
};

// The special folder, then name under each candidate folder while the result does not exist.
std::string SpecialOr(int csidl, std::initializer_list<Candidate> candidates) {
    std::string path = GetSpecialFolder(csidl);
    for (const Candidate& c : candidates) {
        if (Exists(path)) break;
        path = WithName(c.folder, c.name);
    }
    return path;
}

std::string ShellFolderOr(int csidl, std::string (*folder)(bool), const char* name) {
    std::string path = GetFolderPath(csidl | kCsidlFlagCreate);
    if (!Exists(path)) path = WithName(folder, name);
    return path;
}

std::string g_originExe;
std::string g_originDir;

}  // namespace

std::string GetSpecialFolder(int csidl) { return Host().specialFolder(csidl); }
std::string GetFolderPath(int csidl) { return Host().folderPath(csidl); }

std::string WinDir(bool addBackslash) { return Result(Host().windowsDir(), addBackslash); }
std::string WinSysDir(bool addBackslash) { return Result(Host().systemDir(), addBackslash); }

std::string ProfilesFallback(bool addBackslash) {
    std::string path = WinDir(true) + "Profiles\\" + Host().userName();
    if (!Exists(path)) path = WinDir(false);
    return Result(path, addBackslash);
}

std::string WinSys16Dir(bool addBackslash) {
    const std::string system = WinSysDir(false);
    std::string path = system;
    const int at = LastPos("32", system);
    if (at > 0) path.erase(size_t(at - 1), 2);
    if (!Exists(path)) {
        path = WinDir(true) + "System";
        if (!Exists(path)) path = system;
    }
    return Result(path, addBackslash);
}

std::string UserDir(bool addBackslash) {
    std::string path = ParentOfShellFolder(kCsidlPersonal);
    if (!Exists(path)) path = ProfilesFallback(false);
    return Result(path, addBackslash);
}

std::string DocumentsAndSettingsDir(bool addBackslash) {
    std::string path = ParentOfShellFolder(kCsidlPersonal);
    if (Exists(path)) path = Parent(path);
    if (!Exists(path)) path = ProfilesFallback(false);
    return Result(path, addBackslash);
}

std::string AllUsersDir(bool addBackslash) {
    std::string path = ParentOfShellFolder(kCsidlCommonAppData);
    if (!Exists(path)) path = WinDir(false);
    return Result(path, addBackslash);
}

std::string UserAppDataDir(bool addBackslash) {
    return Result(ShellFolderOr(kCsidlAppData, &ProfilesFallback, "Application Data"),
                  addBackslash);
}
std::string UserLocalAppDataDir(bool addBackslash) {
    return Result(ShellFolderOr(kCsidlLocalAppData, &ProfilesFallback, "Application Data"),
                  addBackslash);
}
std::string AllUsersAppDataDir(bool addBackslash) {
    return Result(ShellFolderOr(kCsidlCommonAppData, &WinDir, "Application Data"), addBackslash);
}
std::string MyDocumentsDir(bool addBackslash) {
    return Result(ShellFolderOr(kCsidlPersonal, &ProfilesFallback, "My Documents"), addBackslash);
}
std::string AllUsersDocumentsDir(bool addBackslash) {
    return Result(ShellFolderOr(kCsidlCommonDocuments, &WinDir, "Documents"), addBackslash);
}

std::string UserStartMenuDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlStartMenu,
                            {{&UserDir, "Start Menu"}, {&AllUsersDir, "Start Menu"}}),
                  addBackslash);
}
std::string AllUsersStartMenuDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlCommonStartMenu, {{&AllUsersDir, "Start Menu"}}), addBackslash);
}
std::string UserStartProgramMenuDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlPrograms, {{&UserDir, "Start Menu\\Programs"},
                                             {&AllUsersDir, "Start Menu\\Programs"}}),
                  addBackslash);
}
std::string AllUsersStartProgramMenuDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlCommonPrograms, {{&AllUsersDir, "Start Menu\\Programs"}}),
                  addBackslash);
}
std::string UserDesktopDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlDesktopDirectory,
                            {{&UserDir, "Desktop"}, {&AllUsersDir, "Desktop"}}),
                  addBackslash);
}
std::string AllUsersDesktopDir(bool addBackslash) {
    return Result(SpecialOr(kCsidlCommonDesktopDirectory, {{&AllUsersDir, "Desktop"}}),
                  addBackslash);
}

std::string FontDir(bool addBackslash) {
    std::string path = ReadRegString(kShellFoldersKey, "Fonts", "");
    if (!Exists(path)) path = WinDir(true) + "Fonts";
    return Result(path, addBackslash);
}
std::string ProgramFilesDir(bool addBackslash) {
    return Result(ReadRegString(kCurrentVersionKey, "ProgramFilesDir", ""), addBackslash);
}
std::string CommonFilesDir(bool addBackslash) {
    return Result(ReadRegString(kCurrentVersionKey, "CommonFilesDir", ""), addBackslash);
}
std::string StartMenuDir(bool addBackslash) {
    return Result(ReadRegString(kShellFoldersKeyUpper, "Start Menu", ""), addBackslash);
}

std::string OriginExe() {
    if (g_originExe.empty()) g_originExe = GetSwitchValue("/OriginExe=", "");
    return g_originExe.empty() ? GetExePath() : g_originExe;
}

std::string OriginDir() {
    if (g_originDir.empty()) g_originDir = NormalizeDir(ExtractFilePath(OriginExe()), false);
    return g_originDir.empty() ? GetExeDir(false) : g_originDir;
}

void ResetOriginCache() {
    g_originExe.clear();
    g_originDir.clear();
}

}  // namespace zv
