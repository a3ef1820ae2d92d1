// IFile on the Win32 API (CreateFileA with sharing for all), a move-only handle owner, and the
// few other file and process calls the layers share.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "utils/file_io.h"
#include "utils/win/unique_owner.h"

namespace zv {

class Win32File : public IFile {
public:
    explicit Win32File(UniqueHandle h) : h_(std::move(h)) {}
    int64_t Size() override;
    bool Seek(int64_t position) override;
    int64_t Position() override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    HANDLE Handle() const { return h_.Get(); }
    void* SystemHandle() override { return h_.Get(); }

private:
    UniqueHandle h_;
};

std::unique_ptr<IFile> OpenWin32File(const std::string& path, OpenMode mode);
bool Win32FileExists(const std::string& path);
// The path names an existing folder.
bool Win32FolderExists(const std::string& path);

// Starts a program with the given show state, in folder when it is not empty. The process
// handle; invalid when the program could not be started.
UniqueHandle StartProcess(const std::string& commandLine, WORD show, const std::string& folder);

}  // namespace zv
