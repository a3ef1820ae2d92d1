#include "autoupdate/win/agent_platform_win.h"

#include <windows.h>

#include "autoupdate/agent_platform.h"
#include "autoupdate/update_cycle.h"
#include "autoupdate/update_files.h"
#include "dialogs/win/inform_dialog.h"
#include "dialogs/win/zmsgbox.h"
#include "inet/win/inet_http.h"
#include "package/gfile_info.h"
#include "package/win/setup_folder_win.h"
#include "utils/text.h"
#include "utils/win/processes_win.h"
#include "utils/win/unique_owner.h"

namespace zv {
namespace {

constexpr DWORD kCopyChunk = 65536;

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid()) CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// Windows 95/98/ME export MoveFileExA but do not implement it.
bool ReplaceWith(const std::string& temp, const std::string& target) {
    if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    DeleteFileA(target.c_str());
    return MoveFileA(temp.c_str(), target.c_str()) != 0;
}

bool WriteAll(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

// Copies in bounded chunks into a temporary name beside to and moves it into place at the end.
bool CopyChunked(const std::string& from, const std::string& to, int64_t maxBytes) {
    FileHandle in(CreateFileA(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!in.valid()) return false;
    const std::string temp = to + ".tmp";
    bool ok = true;
    {
        FileHandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out.valid()) return false;
        std::string buffer(kCopyChunk, '\0');
        int64_t total = 0;
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(in.get(), &buffer[0], kCopyChunk, &read, nullptr)) {
                ok = false;
                break;
            }
            if (read == 0) break;
            total += read;
            if ((maxBytes > 0 && total > maxBytes) || !WriteAll(out.get(), buffer.data(), read)) {
                ok = false;
                break;
            }
        }
    }
    if (ok) ok = ReplaceWith(temp, to);
    if (!ok) DeleteFileA(temp.c_str());
    return ok;
}

class Win32Platform : public AgentPlatform {
public:
    void SetSide(const AgentWindowSide& side) { side_ = side; }

    bool FileExists(const std::string& path) override {
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    bool CopyFileBounded(const std::string& from, const std::string& to, int64_t max) override {
        return CopyChunked(from, to, max);
    }
    bool ReadFileBounded(const std::string& path, int64_t max, std::string& data) override {
        FileHandle in(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!in.valid()) return false;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(in.get(), &size) || (max > 0 && size.QuadPart > max)) return false;
        data.assign(size_t(size.QuadPart), '\0');
        DWORD read = 0;
        if (!data.empty() && (!ReadFile(in.get(), &data[0], DWORD(data.size()), &read, nullptr) ||
                              read != data.size()))
            return false;
        return true;
    }
    bool WriteFileAtomic(const std::string& path, const std::string& data) override {
        const std::string temp = path + ".tmp";
        bool ok;
        {
            FileHandle out(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            ok = out.valid() && WriteAll(out.get(), data.data(), DWORD(data.size()));
        }
        if (ok) ok = ReplaceWith(temp, path);
        if (!ok) ::DeleteFileA(temp.c_str());
        return ok;
    }
    // Not named DeleteFile: <windows.h> would rename the member DeleteFileA, and the call inside
    // would be the member itself (the path converts back to a string), recursing until the stack
    // ran out (tests/scripts/test_windows_names.py).
    bool RemoveFile(const std::string& path) override { return ::DeleteFileA(path.c_str()) != 0; }

    bool InternetConnected(std::string& error) override { return IsInternetConnected(&error); }
    std::string HttpDownload(UiSink& ui, bool parentVisible, const std::string& url,
                             const std::string& target, int64_t maxBytes,
                             std::string& data) override {
        return HTTP_DownloadFile(ui, parentVisible, url, target,
                                 target.empty() ? &data : nullptr,
                                 maxBytes > 0 ? uint64_t(maxBytes) : 0);
    }
    void Wait(uint32_t ms) override { zv::Wait(ms); }

    void NotifyClient(int32_t code, int32_t value) override {
        if (side_.notifyClient) side_.notifyClient(code, value);
    }
    void PostQuit() override { PostQuitMessage(0); }
    void DestroyAgentWindow() override {
        if (HWND window = Window()) PostMessageA(window, WM_DESTROY, 0, 0);
    }

    void SetMsgBoxFont(const std::string& face, int size, int charset) override {
        zv::SetMsgBoxFont(face, size, charset);
    }
    bool ShowBox(AgentBox kind, int mode, const std::string& text) override {
        const int charset = int(OriginalFile::CharSet());
        const std::string captions = OriginalFile::BtnText();
        const BoxMode boxMode = BoxMode(mode);
        switch (kind) {
            case AgentBox::Error:
                ErrorBox(boxMode, text, OriginalFile::Error(), charset, captions);
                return true;
            case AgentBox::Attention:
                AttentionBox(boxMode, text, OriginalFile::Attention(), 0, charset, captions);
                return true;
            case AgentBox::Confirm:
                return ConfirmBox(boxMode, text, OriginalFile::Confirm(), 0, charset, captions);
        }
        return false;
    }
    bool ShowInformDialog(const InformDialogArgs& a) override {
        return zv::ShowInformDialog(Window(), a.title, a.button, a.text, a.link, a.width,
                                    a.height, a.rightToLeft, a.fontFace, a.fontSize, a.charset);
    }

    bool IsProgramRunning(const std::string& path) override {
        return zv::IsProgramRunning(path);
    }
    bool CloseProgram(const std::string& path) override {
        return zv::CloseProgram(path, true, 0);
    }
    bool QuitProgram(const std::string& path) override {
        return zv::QuitProgram(path, true);
    }
    bool TerminateProgram(const std::string& path) override {
        return zv::TerminateProgram(path, true);
    }
    bool WaitProgramEnd(const std::string& path, uint32_t timeoutMs) override {
        return zv::WaitProgramEnd(path, timeoutMs);
    }
    bool StartProgram(const std::string& command, bool show) override {
        return WinExec(command.c_str(), show ? SW_SHOW : SW_HIDE) > 31;
    }

    bool RunSetup(UiSink& ui, const std::string& file, const std::string& agent,
                  const std::string& tail, bool foreground) override {
        const bool result =
            side_.runSetup && side_.runSetup(ui, SetupFolder(), file, agent, tail, foreground);
        RemoveSetupFolder();
        return result;
    }
    std::string PackageUpdateToken(const std::string& path) override {
        TGFileInfo package(path);
        return package.UpdateToken(true);
    }

private:
    HWND Window() const { return side_.window ? side_.window() : nullptr; }

    AgentWindowSide side_;
};

}  // namespace

AgentPlatform& Win32AgentPlatform() {
    static Win32Platform platform;
    return platform;
}

void InstallWin32AgentPlatform(const AgentWindowSide& side) {
    static UiSink quiet;
    static_cast<Win32Platform&>(Win32AgentPlatform()).SetSide(side);
    SetAgentPlatform(&Win32AgentPlatform(), side.ui ? *side.ui : quiet);
}

}  // namespace zv
