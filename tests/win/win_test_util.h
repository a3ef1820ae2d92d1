// Helpers shared by the Windows tests: a fresh folder under the temporary path, removed again.
#pragma once
#include <windows.h>

#include <string>

#include "utils/text.h"
#include "utils/win/files_win.h"

namespace zv {

// A helper program built next to the test executable.
inline std::string TestProgramPath(const std::string& fileName) {
    char buf[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return ExtractFilePath(buf) + fileName;
}

inline bool PathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline void PutFile(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    if (h != INVALID_HANDLE_VALUE) {
        WriteFile(h, data.data(), DWORD(data.size()), &put, nullptr);
        CloseHandle(h);
    }
}

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag) {
        static int counter = 0;
        path_ = TempFolder() + "\\zv_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++counter);
        DeleteTree(path_, true);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~ScratchFolder() { DeleteTree(path_, true); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

}  // namespace zv
