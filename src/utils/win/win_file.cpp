#include "utils/win/win_file.h"

#include <vector>

namespace zv {

int64_t Win32File::Size() {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h_.Get(), &size)) return -1;
    return size.QuadPart;
}

bool Win32File::Seek(int64_t position) {
    if (position < 0) return false;
    LARGE_INTEGER to;
    to.QuadPart = position;
    return SetFilePointerEx(h_.Get(), to, nullptr, FILE_BEGIN) != 0;
}

int64_t Win32File::Position() {
    LARGE_INTEGER zero, now;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(h_.Get(), zero, &now, FILE_CURRENT)) return -1;
    return now.QuadPart;
}

int32_t Win32File::Read(void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD got = 0;
    if (!ReadFile(h_.Get(), buffer, DWORD(count), &got, nullptr)) return -1;
    return int32_t(got);
}

int32_t Win32File::Write(const void* buffer, int32_t count) {
    if (count <= 0) return 0;
    DWORD put = 0;
    if (!WriteFile(h_.Get(), buffer, DWORD(count), &put, nullptr)) return -1;
    return int32_t(put);
}

std::unique_ptr<IFile> OpenWin32File(const std::string& path, OpenMode mode) {
    DWORD access = GENERIC_READ, disposition = OPEN_EXISTING;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (mode) {
        case OpenMode::ReadShared: break;
        case OpenMode::CreateWrite: access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
        case OpenMode::AppendWrite: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
        case OpenMode::ReadWrite: access = GENERIC_READ | GENERIC_WRITE; break;
    }
    UniqueHandle h(CreateFileA(path.c_str(), access, share, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return nullptr;
    auto file = std::make_unique<Win32File>(std::move(h));
    if (mode == OpenMode::AppendWrite) file->Seek(file->Size());
    return file;
}

bool Win32FileExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32FolderExists(const std::string& path) {
    DWORD attr = GetFileAttributesA(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY);
}

UniqueHandle StartProcess(const std::string& commandLine, WORD show, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process))
        return UniqueHandle();
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

}  // namespace zv
