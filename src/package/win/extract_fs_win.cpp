#include "package/win/extract_fs_win.h"

#include <windows.h>

#include <string>

#include "utils/platform.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

bool WinCreateFolders(const std::string& path) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    DWORD error = 0;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '\\' && path[i] != '/') continue;
        std::string prefix = path.substr(0, i);
        // Drive roots, UNC server names and doubled separators have nothing to create.
        char last = prefix.back();
        if (last == ':' || last == '\\' || last == '/' || Win32FolderExists(prefix)) continue;
        if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            error = GetLastError();
    }
    if (Win32FolderExists(path)) return true;
    SetLastError(error ? error : ERROR_PATH_NOT_FOUND);
    return false;
}

UniqueHandle OpenForDate(const std::string& path, DWORD access) {
    return UniqueHandle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool DosToFileTime(uint32_t dosDateTime, FILETIME& utc) {
    DosDateTime check;
    FILETIME local;
    return DecodeDosDateTime(dosDateTime, check) &&
           DosDateTimeToFileTime(WORD(dosDateTime >> 16), WORD(dosDateTime & 0xFFFF), &local) &&
           LocalFileTimeToFileTime(&local, &utc);
}

bool WinSetDosDate(const std::string& path, uint32_t dosDateTime) {
    FILETIME utc;
    if (!DosToFileTime(dosDateTime, utc)) return false;
    UniqueHandle h = OpenForDate(path, GENERIC_WRITE);
    return h && SetFileTime(h.Get(), nullptr, nullptr, &utc);
}

// Setting the time on the handle before it closes keeps it: no later write follows.
bool WinSetOpenFileDosDate(IFile& file, uint32_t dosDateTime) {
    auto* win = dynamic_cast<Win32File*>(&file);
    FILETIME utc;
    if (!win || !DosToFileTime(dosDateTime, utc)) return false;
    return SetFileTime(win->Handle(), nullptr, nullptr, &utc) != 0;
}

bool WinCopyFileDate(const std::string& from, const std::string& to) {
    FILETIME written;
    {
        UniqueHandle src = OpenForDate(from, GENERIC_READ);
        if (!src || !GetFileTime(src.Get(), nullptr, nullptr, &written)) return false;
    }
    UniqueHandle dst = OpenForDate(to, GENERIC_WRITE);
    return dst && SetFileTime(dst.Get(), nullptr, nullptr, &written);
}

int64_t WinFileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

int64_t WinFreeSpace(const std::string& path) {
    std::string folder = path;
    if (!Win32FolderExists(folder)) {
        size_t cut = folder.find_last_of("\\/");
        folder = cut == std::string::npos ? std::string() : folder.substr(0, cut + 1);
    }
    using FreeEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    // Early Windows 95 has only the 2 GB-limited call.
    static FreeEx freeEx = reinterpret_cast<FreeEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    const char* root = folder.empty() ? nullptr : folder.c_str();
    if (freeEx) {
        ULARGE_INTEGER available, total, free;
        if (freeEx(root, &available, &total, &free)) return int64_t(available.QuadPart);
        return -1;
    }
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &clusters)) return -1;
    return int64_t(freeClusters) * sectors * bytes;
}

std::string WinLastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "System Error.  Code: " + std::to_string(code) + ".";
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    SetLastError(code);
    return out;
}

uint32_t WinProcessId() { return GetCurrentProcessId(); }

}  // namespace

void InstallWin32ExtractFs() {
    ExtractFs fs;
    fs.createFolders = &WinCreateFolders;
    fs.setDosDate = &WinSetDosDate;
    fs.setOpenFileDosDate = &WinSetOpenFileDosDate;
    fs.copyFileDate = &WinCopyFileDate;
    fs.fileSize = &WinFileSize;
    fs.freeSpace = &WinFreeSpace;
    fs.lastErrorText = &WinLastErrorText;
    fs.processId = &WinProcessId;
    fs.separator = '\\';
    SetExtractFs(fs);
}

}  // namespace zv
