#include "rundir/win/shell_dir_win.h"

#include <windows.h>

#include <vector>

#include "rundir/shell_dir.h"
#include "utils/platform.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sys_info_win.h"
#include "utils/win/sysutils.h"

namespace zv {
namespace {

constexpr DWORD kShellPathBuffer = 1025;

std::string BufferText(const std::vector<char>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

// Both libraries come from the system folder by full path: the agent runs with administrator
// rights in a folder that ordinary users may be able to write to.
std::string Win32SpecialFolder(int csidl) {
    using Fn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    auto get = SystemFunction<Fn>("shell32.dll", "SHGetSpecialFolderPathA");
    if (!get) return "";
    std::vector<char> buffer(kShellPathBuffer, '\0');
    if (!get(nullptr, buffer.data(), csidl, FALSE)) return "";
    return BufferText(buffer);
}

std::string Win32FolderPath(int csidl) {
    using Fn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    auto get = SystemFunction<Fn>("SHFolder.dll", "SHGetFolderPathA");
    if (!get) return "";
    std::vector<char> buffer(kShellPathBuffer, '\0');
    if (get(nullptr, csidl, nullptr, 0, buffer.data()) != 0) return "";
    return BufferText(buffer);
}

std::string Win32WindowsDir() { return GetWinDir(false); }
std::string Win32SystemDir() { return GetSysDir(false); }

std::string Win32LongMonthName(int month) {
    if (month < 1 || month > 12) return "";
    char name[80] = {};
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LCTYPE(LOCALE_SMONTHNAME1 + month - 1),
                                 name, sizeof name);
    return n > 1 ? std::string(name, size_t(n - 1)) : std::string();
}

}  // namespace

void FillWin32ShellFolders(Platform& p) {
    p.specialFolder = &Win32SpecialFolder;
    p.folderPath = &Win32FolderPath;
    p.windowsDir = &Win32WindowsDir;
    p.systemDir = &Win32SystemDir;
    p.loggedUserName = &GetLoggedUserName;
    p.userName = &GetRegisteredOwner;
    p.companyName = &GetRegisteredOrganization;
    p.computerName = &GetComputerNameText;
    p.domainName = &GetDomainName;
    p.longMonthName = &Win32LongMonthName;
}

}  // namespace zv
