#include "utils/win/file_system_win.h"

#include <windows.h>

#include <string>

#include "utils/platform.h"
#include "utils/text.h"
#include "utils/win/files_win.h"
#include "utils/win/sysutils.h"
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

bool WinSetFileDate(const std::string& path, uint32_t dosDateTime) {
    FILETIME utc;
    if (!DosToFileTime(dosDateTime, utc)) return false;
    // Attribute access only: a read-only file can be dated as well.
    UniqueHandle h(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return h && SetFileTime(h.Get(), nullptr, nullptr, &utc);
}

// Append-only access: the system places every write at the current end of the file, so two
// processes sharing the run log never overwrite each other's lines.
int64_t WinAppendToFile(const std::string& path, const std::string& data) {
    UniqueHandle h(CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        // Systems without append-only access: write at the end as found.
        h.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h) return -1;
        SetFilePointer(h.Get(), 0, nullptr, FILE_END);
    }
    if (data.empty()) return 0;
    DWORD put = 0;
    if (!WriteFile(h.Get(), data.data(), DWORD(data.size()), &put, nullptr)) return 0;
    return put;
}

// Setting the time on the handle before it closes keeps it: no later write follows.
bool WinSetOpenFileDosDate(IFile& file, uint32_t dosDateTime) {
    const HANDLE handle = file.SystemHandle();
    FILETIME utc;
    if (!handle || !DosToFileTime(dosDateTime, utc)) return false;
    return SetFileTime(handle, nullptr, nullptr, &utc) != 0;
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

int64_t WinFreeSpace(const std::string& path) { return int64_t(GetFreeDiskSpace(path)); }

std::string WinLastErrorText() {
    const DWORD code = GetLastError();
    std::string out = SystemErrorText(code);
    if (out.empty()) out = "System Error.  Code: " + IntText(code) + ".";
    SetLastError(code);
    return out;
}

std::string WinTempPath() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string WinFullPath(const std::string& path) {
    std::string buffer(MAX_PATH + 1, '\0');
    DWORD n = GetFullPathNameA(path.c_str(), DWORD(buffer.size()), &buffer[0], nullptr);
    if (n >= buffer.size()) {
        buffer.assign(n + 1, '\0');
        n = GetFullPathNameA(path.c_str(), DWORD(buffer.size()), &buffer[0], nullptr);
    }
    return n > 0 && n < buffer.size() ? buffer.substr(0, n) : path;
}

}  // namespace

void FillWin32FileSystem(Platform& p) {
    p.openFile = &OpenWin32File;
    p.fileExists = &Win32FileExists;
    p.fileSize = &WinFileSize;
    p.appendToFile = &WinAppendToFile;
    p.setFileDate = &WinSetFileDate;
    p.setOpenFileDate = &WinSetOpenFileDosDate;
    p.copyFileDate = &WinCopyFileDate;
    p.lastErrorText = &WinLastErrorText;
    p.pathSeparator = '\\';
    p.folderExists = &Win32FolderExists;
    p.createFolders = &WinCreateFolders;
    p.freeSpace = &WinFreeSpace;
    p.tempPath = &WinTempPath;
    p.fullPath = &WinFullPath;
}

}  // namespace zv
