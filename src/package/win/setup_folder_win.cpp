#include "package/win/setup_folder_win.h"

#include <windows.h>

#include "dialogs/win/zmsgbox.h"
#include "lang/lang_strings.h"
#include "package/setup_folder.h"
#include "utils/platform.h"
#include "utils/win/dll_loader.h"
#include "utils/win/files_win.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

class Win32SetupFileSystem : public ISetupFileSystem {
public:
    std::string TempPath() override { return Host().tempPath(); }

    uint32_t ExeFileDateTime() override {
        UniqueHandle file(CreateFileA(Host().exePath().c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME written, local;
        WORD date = 0, time = 0;
        if (file && GetFileTime(file.Get(), nullptr, nullptr, &written) &&
            FileTimeToLocalFileTime(&written, &local))
            FileTimeToDosDateTime(&local, &date, &time);
        return uint32_t(date) << 16 | time;
    }

    bool IsFixedDrive(char letter) override {
        const char root[] = {letter, ':', '\\', '\0'};
        return GetDriveTypeA(root) == DRIVE_FIXED;
    }

    bool FolderExists(const std::string& path) override { return Host().folderExists(path); }
    bool FileExists(const std::string& path) override { return Host().fileExists(path); }
    bool CreateFolder(const std::string& path) override { return Host().createFolders(path); }

    bool WriteFile(const std::string& path, const std::string& bytes) override {
        UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        return file && ::WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written,
                                   nullptr) &&
               written == bytes.size();
    }

    double FreeSpace(const std::string& path) override {
        const int64_t bytes = Host().freeSpace(path);
        return bytes > 0 ? double(bytes) : 0;
    }

    bool DeleteTree(const std::string& path) override { return zv::DeleteTree(path, true); }

    // The system's random generator (RtlGenRandom, exported as SystemFunction036 since XP); the
    // clock and a counter should it be missing.
    int64_t Random(int64_t low, int64_t high) override {
        using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
        static const auto genRandom = SystemFunction<GenRandomFn>("advapi32.dll", "SystemFunction036");
        static uint32_t calls = 0;
        uint64_t r = 0;
        if (!genRandom || !genRandom(&r, sizeof r))
            r = (uint64_t(GetTickCount()) << 32) ^ (uint64_t(GetCurrentProcessId()) << 16) ^ ++calls;
        const uint64_t span = uint64_t(high - low) + 1;
        return low + int64_t(span ? r % span : r);
    }
};

SetupFolders& Folders() {
    static Win32SetupFileSystem fs;
    static SetupFolders folders(fs);
    return folders;
}

}  // namespace

std::string SetupFolder() { return Folders().SetupFolder(); }
bool FindTempRoot() { return Folders().FindTempRoot(); }
std::string AlternateSetupFolder() { return Folders().AlternateSetupFolder(); }
void RemoveAlternateSetupFolder() { Folders().RemoveAlternateSetupFolder(); }
void RemoveSetupFolder() { DeleteTree(SetupFolder(), true); }

bool EnoughSpace(const std::string& folder, const TGFileInfo& reader) {
    return reader.SpaceRequired(folder) < GetFreeDiskSpace(folder) && Win32FolderExists(folder);
}

bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& reader) {
    const std::string& block = reader.LanguageText();
    const TempSpaceTexts texts{
        GetLangString(block, lang::kTempDrive), GetLangString(block, lang::kTempDriveLow),
        GetLangString(block, lang::kSpaceRequired), GetLangString(block, lang::kSpaceAvailable),
        GetLangString(block, lang::kContinueSetup)};
    const std::string message =
        TempSpaceMessage(folder, reader.SpaceRequired(folder), GetFreeDiskSpace(folder),
                         reader.ShowTempNotice(), texts);
    if (message.empty()) return true;
    return ConfirmBox(kBoxWithHeading, message, GetLangString(block, lang::kConfirmTitle), 0,
                      GetLangCharset(block), GetLangString(block, lang::kButtonCaptions));
}

}  // namespace zv
