#include "utils/win/files_win.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

#include "utils/platform.h"
#include "utils/self_delete.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

// A search started with FindFirstFileA.
UniqueFindHandle StartFind(const std::string& pattern, WIN32_FIND_DATAA& data) {
    return UniqueFindHandle(FindFirstFileA(pattern.c_str(), &data));
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// "C:", "C:\", "\", "\\server\share" and "" hold a whole disk.
bool IsRootOrEmpty(const std::string& folder) {
    std::string f = folder;
    while (!f.empty() && (f.back() == '\\' || f.back() == '/')) f.pop_back();
    if (f.empty() || (f.size() == 2 && f[1] == ':')) return true;
    if (f.compare(0, 2, "\\\\") == 0) {
        size_t server = f.find('\\', 2);
        return server == std::string::npos || f.find('\\', server + 1) == std::string::npos;
    }
    return false;
}

using GetDiskFreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                           PULARGE_INTEGER);

GetDiskFreeSpaceExFn DiskFreeSpaceEx() {
    static GetDiskFreeSpaceExFn fn = reinterpret_cast<GetDiskFreeSpaceExFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"),
                                               "GetDiskFreeSpaceExA")));
    return fn;
}

double FreeBytesEx(GetDiskFreeSpaceExFn fn, const std::string& root) {
    ULARGE_INTEGER available, total, free;
    if (root.empty() || !fn(root.c_str(), &available, &total, &free)) return -1;
    return double(available.QuadPart);
}

}  // namespace

std::string TempFolder() {
    char buf[MAX_PATH + 1] = {};
    DWORD n = GetTempPathA(MAX_PATH, buf);
    std::string dir(buf, n <= MAX_PATH ? n : 0);
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    return dir;
}

int64_t GetFileSize64(const std::string& path) {
    if (path.empty() || path.find_first_of("*?") != std::string::npos) return 0;
    WIN32_FIND_DATAA data;
    UniqueFindHandle find = StartFind(path, data);
    if (!find.Valid()) return 0;
    return int64_t(uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}

double GetFreeDiskSpace(const std::string& path) {
    if (path.empty()) return 0;
    GetDiskFreeSpaceExFn ex = DiskFreeSpaceEx();
    const std::string root = FreeSpaceRoot(path, ex != nullptr);
    if (ex) {
        double bytes = FreeBytesEx(ex, root);
        if (bytes < 0) bytes = FreeBytesEx(ex, DriveRoot(root));
        return bytes < 0 ? 0 : bytes;
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters))
        return 0;
    return double(sectorsPerCluster) * double(bytesPerSector) * double(freeClusters);
}

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
    const std::string folder = ExtractFilePath(mask);
    WIN32_FIND_DATAA data;
    UniqueFindHandle find = StartFind(mask, data);
    if (!find.Valid()) return false;
    bool found = false;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        found = true;
        const std::string path = folder + data.cFileName;
        if (clearAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find.Get(), &data));
    return found;
}

bool DeleteTree(const std::string& folder, bool clearAttributes, const DeleteTreeFn& callback) {
    if (IsRootOrEmpty(folder)) return false;
    std::string dir = folder;
    while (!dir.empty() && dir.back() == '\\') dir.pop_back();
    const bool existed = Win32FolderExists(dir);
    DeleteFiles(dir + "\\*.*", clearAttributes);

    // Names first: the folder changes while its entries are deleted.
    std::vector<std::pair<std::string, DWORD>> entries;
    {
        WIN32_FIND_DATAA data;
        UniqueFindHandle find = StartFind(dir + "\\*", data);
        if (find.Valid()) {
            do {
                if (!IsDotEntry(data.cFileName))
                    entries.emplace_back(data.cFileName, data.dwFileAttributes);
            } while (FindNextFileA(find.Get(), &data));
        }
    }
    bool abort = false;
    for (const auto& entry : entries) {
        const std::string sub = dir + "\\" + entry.first;
        if (entry.second & FILE_ATTRIBUTE_DIRECTORY) {
            if (clearAttributes) SetFileAttributesA(sub.c_str(), FILE_ATTRIBUTE_DIRECTORY);
            // A link is removed as an entry; following it would empty a folder elsewhere.
            if (!(entry.second & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteTree(sub, clearAttributes, callback);
            if (callback) callback(abort);
            RemoveDirectoryA(sub.c_str());
        }
        Wait(10);
        if (abort) break;
    }
    RemoveDirectoryA(dir.c_str());
    return existed && !Win32FolderExists(dir);
}

void DeleteMySelf(bool removeFolder) {
    const std::string tempDir = TempFolder();
    const std::string batch = SelfDeleteBatchPath(tempDir);
    const std::string exe = Host().exePath();
    TraceNameValue("ExeName", exe);
    // A read-only copy (taken from a CD) would keep the batch looping for ever.
    SetFileAttributesA(exe.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetCurrentDirectoryA(tempDir.c_str());
    if (!WriteTextFile(batch, SelfDeleteBatchText(exe, batch, removeFolder))) return;
    WinExec(("\"" + batch + "\"").c_str(), SW_HIDE);
}

bool EjectCD(const std::string& path) {
    if (path.empty()) return false;
    char letter = path[0];
    if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z') return false;
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;
    const std::string device = std::string("\\\\.\\") + letter + ":";
    UniqueHandle h(CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    TraceOut().WriteLine("EjectCD-2: " + device + " " +
                         IntText(int64_t(reinterpret_cast<intptr_t>(h.Get()))));
    if (!h) {
        h.Reset(CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr));
        TraceOut().WriteLine("EjectCD-3: " + device + " " +
                             IntText(int64_t(reinterpret_cast<intptr_t>(h.Get()))));
        if (!h) return false;
    }
    DWORD returned = 0;
    return DeviceIoControl(h.Get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0,
                           &returned, nullptr) != 0;
}

}  // namespace zv
