#include "utils/win/sys_info_win.h"

#include <windows.h>

#include <vector>

#include "utils/ini_reg.h"
#include "utils/text.h"
#include "utils/win/dll_loader.h"
#include "utils/win/sysutils.h"

namespace zv {
namespace {

OSVersionRecord ReadVersionRecord() {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    OSVersionRecord record;
    if (!GetVersionExA(&v)) return record;
    record.major = v.dwMajorVersion;
    record.minor = v.dwMinorVersion;
    record.build = v.dwBuildNumber;
    record.platformId = v.dwPlatformId;
    record.servicePack = std::string(v.szCSDVersion, strnlen(v.szCSDVersion, sizeof v.szCSDVersion));
    return CorrectReportedVersion(record, GetFileVersionString(SystemDllPath("kernel32.dll"), "ProductVersion"));
}

bool ComputeWindows64() {
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
    using RedirectFn = BOOL(WINAPI*)(PVOID*);
    using RevertFn = BOOL(WINAPI*)(PVOID);
    using Wow64DirFn = UINT(WINAPI*)(LPSTR, UINT);
    using DeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
    auto isWow64 = SystemFunction<IsWow64Fn>("kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return SystemFunction<NativeInfoFn>("kernel32.dll", "GetNativeSystemInfo") && isWow64 &&
           isWow64(GetCurrentProcess(), &wow64) && wow64 &&
           SystemFunction<RedirectFn>("kernel32.dll", "Wow64DisableWow64FsRedirection") &&
           SystemFunction<RevertFn>("kernel32.dll", "Wow64RevertWow64FsRedirection") &&
           SystemFunction<Wow64DirFn>("kernel32.dll", "GetSystemWow64DirectoryA") &&
           SystemFunction<DeleteKeyExFn>("advapi32.dll", "RegDeleteKeyExA");
}

std::string VersionText() {
    const OSVersionRecord& v = GetOSVersionInfo();
    return IntText(v.major) + "." + IntText(v.minor);
}

}  // namespace

const OSVersionRecord& GetOSVersionInfo() {
    static const OSVersionRecord record = ReadVersionRecord();
    return record;
}

OSInfo GetOSInfo() {
    const OSVersionRecord& v = GetOSVersionInfo();
    const bool nt = v.platformId == kPlatformNT;
    return ClassifyOS(v, nt && IsWindows64(), nt && IsServer());
}

uint32_t GetOSId() { return GetOSInfo().id; }

bool IsNT() { return GetOSVersionInfo().platformId == kPlatformNT; }

bool IsXP() {
    static const bool xp = IsNT() && VersionText() == "5.1";
    return xp;
}

bool IsWin8OrLater() { return IsNT() && VersionTextAtLeast8(VersionText()); }

bool IsWindows64() {
    static const bool windows64 = ComputeWindows64();
    return windows64;
}

bool IsServer() {
    if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
    OSVERSIONINFOEXA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v))) return false;
    return v.wProductType == VER_NT_DOMAIN_CONTROLLER || v.wProductType == VER_NT_SERVER;
}

std::string GetLoggedUserName() {
    char buf[256] = {};
    DWORD size = sizeof buf;
    if (!GetUserNameA(buf, &size)) return "";
    return Trim(std::string(buf, strnlen(buf, sizeof buf)));
}

std::string GetComputerNameText() {
    char buf[256] = {};
    DWORD size = sizeof buf;
    if (!GetComputerNameA(buf, &size)) return "";
    return Trim(std::string(buf, strnlen(buf, sizeof buf)));
}

std::string WindowsVersionKey() {
    return IsNT() ? "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
                  : "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
}

std::string GetRegisteredOwner() {
    const std::string user = GetLoggedUserName();
    const std::string owner =
        Trim(ReadRegString(WindowsVersionKey(), "RegisteredOwner", user, IsWindows64()));
    // Set-up programs often leave the value present but empty: that is no owner either.
    return owner.empty() ? user : owner;
}

std::string GetRegisteredOrganization() {
    return Trim(ReadRegString(WindowsVersionKey(), "RegisteredOrganization", "", IsWindows64()));
}

std::string GetDomainName() {
    const std::string user = GetLoggedUserName();
    if (user.empty()) return "";
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0 || domainSize == 0) return "";
    std::vector<BYTE> sid(sidSize);
    std::vector<char> domain(domainSize + 1);
    if (!LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(),
                            &domainSize, &use))
        return "";
    return std::string(domain.data(), strnlen(domain.data(), domain.size()));
}

ScreenPoint CenterInWorkArea(int width, int height) {
    RECT area{};
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) {
        area.right = GetSystemMetrics(SM_CXSCREEN);
        area.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return CenterInArea(area.left, area.top, area.right, area.bottom, width, height);
}

}  // namespace zv
