#include "utils/win/sysutils.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/dll_loader.h"

namespace zv {
namespace {

using GetFileVersionInfoSizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
using GetFileVersionInfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
using VerQueryValueFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);

const DWORD kMinVersionBuffer = 16384;
const DWORD kMaxVersionBuffer = 1 << 20;
const DWORD kFolderBuffer = 261;

std::string ModulePath() {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n <= MAX_PATH ? n : 0);
}

// The whole version resource of file; error says why there is none.
bool ReadVersionInfo(const std::string& file, std::vector<char>& data, std::string& error) {
    auto sizeOf = SystemFunction<GetFileVersionInfoSizeFn>("version.dll", "GetFileVersionInfoSizeA");
    auto read = SystemFunction<GetFileVersionInfoFn>("version.dll", "GetFileVersionInfoA");
    if (!sizeOf || !read) {
        error = "version.dll is not available";
        return false;
    }
    const std::string path = file.empty() ? ModulePath() : file;
    DWORD ignored = 0;
    const DWORD size = sizeOf(path.c_str(), &ignored);
    if (size == 0) {
        error = "No version information in " + path;
        return false;
    }
    // A version resource is at most 64 KB (its length is a 16-bit word), stored in two forms.
    if (size > kMaxVersionBuffer) {
        error = "Version information of " + path + " is too large";
        return false;
    }
    data.assign(size > kMinVersionBuffer ? size : kMinVersionBuffer, 0);
    if (!read(path.c_str(), 0, DWORD(data.size()), data.data())) {
        error = "Version information of " + path + " cannot be read";
        return false;
    }
    return true;
}

// A value of the resource, with its length (bytes for binary values, characters for strings).
bool QueryValue(const std::vector<char>& data, const std::string& sub, void*& value, UINT& length) {
    auto query = SystemFunction<VerQueryValueFn>("version.dll", "VerQueryValueA");
    value = nullptr;
    length = 0;
    return query && query(data.data(), sub.c_str(), &value, &length) && value;
}

bool WantsNormalizing(int width, int parts) { return width > 1 || parts < 4; }

std::string FolderText(UINT (WINAPI* get)(LPSTR, UINT), bool addBackslash) {
    char buf[kFolderBuffer] = {};
    const UINT n = get(buf, kFolderBuffer);
    return NormalizeDir(std::string(buf, n < kFolderBuffer ? n : 0), addBackslash);
}

UINT WINAPI TempPath(LPSTR buf, UINT size) { return GetTempPathA(size, buf); }

UINT g_autoPlayMessage = 0;

bool SystemLeadByte(char c) { return IsDBCSLeadByte(static_cast<BYTE>(c)) != 0; }

}  // namespace

std::string GetExeVersion(const std::string& file, int width, int parts) {
    std::vector<char> data;
    std::string error;
    void* value = nullptr;
    UINT length = 0;
    if (!ReadVersionInfo(file, data, error)) {
        TraceException(error, "Utils.GetExeVersion()", file);
        return {};
    }
    if (!QueryValue(data, "\\", value, length) || length < sizeof(VS_FIXEDFILEINFO)) {
        TraceException("No fixed file version", "Utils.GetExeVersion()", file);
        return {};
    }
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, value, sizeof info);
    const std::string text = IntText(HIWORD(info.dwFileVersionMS)) + "." +
                             IntText(LOWORD(info.dwFileVersionMS)) + "." +
                             IntText(HIWORD(info.dwFileVersionLS)) + "." +
                             IntText(LOWORD(info.dwFileVersionLS));
    return WantsNormalizing(width, parts) ? NormalizeVersion(text, width, parts) : text;
}

std::string GetProductVersion(const std::string& file, int width, int parts) {
    const std::string text = ReplaceChar(GetFileVersionString(file, "ProductVersion"), ',', '.');
    if (text.empty()) {
        TraceException("No product version", "Utils.GetProductVersion()", file);
        return {};
    }
    return WantsNormalizing(width, parts) ? NormalizeVersion(text, width, parts) : text;
}

std::string GetFileVersionString(const std::string& file, const std::string& name) {
    std::vector<char> data;
    std::string error;
    void* value = nullptr;
    UINT length = 0;
    if (!ReadVersionInfo(file, data, error)) return {};
    if (!QueryValue(data, "\\VarFileInfo\\Translation", value, length) || length < 4) return {};
    WORD pair[2];
    std::memcpy(pair, value, sizeof pair);
    char sub[64];
    std::snprintf(sub, sizeof sub, "\\StringFileInfo\\%.4x%.4x\\", unsigned(pair[0]),
                  unsigned(pair[1]));
    if (!QueryValue(data, sub + name, value, length)) return {};
    // The length counts characters, the terminating one included; stop at the first NUL anyway.
    const char* text = static_cast<const char*>(value);
    const char* end = static_cast<const char*>(data.data()) + data.size();
    size_t n = 0;
    while (n < length && text + n < end && text[n]) ++n;
    return std::string(text, n);
}

std::string GetWinDir(bool addBackslash) { return FolderText(&GetWindowsDirectoryA, addBackslash); }

std::string GetSysDir(bool addBackslash) { return FolderText(&GetSystemDirectoryA, addBackslash); }

std::string GetTempDir(bool addBackslash) { return FolderText(&TempPath, addBackslash); }

void SetAutoPlaySuppression(bool on) {
    g_autoPlayMessage = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

UINT AutoPlayMessage() { return g_autoPlayMessage; }

int ScalePoints(int points) {
    static const int pixelsPerInch = [] {
        HDC dc = GetDC(nullptr);
        int v = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 0;
        if (dc) ReleaseDC(nullptr, dc);
        return v > 0 ? v : 96;
    }();
    return points * pixelsPerInch / 72;
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) {
    HINSTANCE r = ShellExecuteA(GetDesktopWindow(), "open", file.c_str(),
                                parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                                showCommand);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

std::string LastErrorText() {
    const std::string text = SystemErrorText(GetLastError());
    if (text.empty()) return "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"";
    return text;
}

std::string SystemErrorText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string message = n && text ? Trim(std::string(text, n)) : std::string();
    if (text) LocalFree(text);
    return message;
}

LoadedProc LoadProc(const std::string& library, const std::string& function) {
    LoadedProc result;
    HMODULE h = nullptr;
    if (library.find_first_of("\\/:") == std::string::npos) {
        h = LoadSystemLibrary(library.c_str());
    } else {
        UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
        h = LoadLibraryA(library.c_str());
        SetErrorMode(old);
    }
    if (reinterpret_cast<UINT_PTR>(h) < 33) return result;
    result.library.Reset(h);
    result.proc = GetProcAddress(h, function.c_str());
    return result;
}

void InstallLeadByteTest() { SetLeadByteTest(&SystemLeadByte); }

}  // namespace zv
