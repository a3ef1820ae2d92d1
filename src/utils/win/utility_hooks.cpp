#include "utils/win/utility_hooks.h"

#include <windows.h>

#include <vector>

#include "utils/files.h"
#include "utils/ini_reg.h"
#include "utils/run_log.h"
#include "utils/win/unique_owner.h"
#include "utils/win/win_file.h"
#include "utils/platform.h"

namespace zv {
namespace {

bool Win32SetFileDate(const std::string& path, uint32_t dos) {
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(WORD(dos >> 16), WORD(dos & 0xFFFF), &local)) return false;
    if (!LocalFileTimeToFileTime(&local, &utc)) return false;
    UniqueHandle h(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    return h && SetFileTime(h.Get(), nullptr, nullptr, &utc);
}

// Append-only access: the system places every write at the current end of the file, so two
// processes sharing the run log never overwrite each other's lines.
int64_t Win32AppendBytes(const std::string& path, const std::string& data) {
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

uint32_t Win32ThreadId() { return GetCurrentThreadId(); }

std::string Win32ReadIni(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def) {
    std::vector<char> buffer(kIniValueBufferSize);
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                       DWORD(buffer.size()), file.c_str());
    return std::string(buffer.data(), n < buffer.size() ? n : 0);
}

bool Win32WriteIni(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != 0;
}

HKEY RootHandle(RegRoot root) {
    switch (root) {
        case RegRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegRoot::Users: return HKEY_USERS;
        case RegRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
        case RegRoot::DynData: return HKEY_DYN_DATA;
    }
    return HKEY_CURRENT_USER;
}


bool Win32ReadReg(RegRoot root, const std::string& subKey, const std::string& valueName,
                  bool use64BitView, uint32_t& type, std::string& data) {
    UniqueRegKey key;
    const REGSAM access = KEY_READ | (use64BitView ? KEY_WOW64_64KEY : 0);
    if (RegOpenKeyExA(RootHandle(root), subKey.c_str(), 0, access, key.Out()) != ERROR_SUCCESS)
        return false;
    // The system reports how much it stored; a larger value fails instead of overflowing.
    std::vector<BYTE> buffer(kRegValueBufferSize);
    DWORD size = DWORD(buffer.size());
    DWORD valueType = 0;
    if (RegQueryValueExA(key.Get(), valueName.c_str(), nullptr, &valueType, buffer.data(),
                         &size) != ERROR_SUCCESS)
        return false;
    type = valueType;
    data.assign(reinterpret_cast<const char*>(buffer.data()),
                size <= buffer.size() ? size : buffer.size());
    return true;
}

}  // namespace

void InstallWin32UtilityHooks() {
    FileHooks files;
    files.setFileDate = &Win32SetFileDate;
    files.appendBytes = &Win32AppendBytes;
    SetFileHooks(files);

    RunLogHooks log;
    log.threadId = &Win32ThreadId;
    SetRunLogHooks(log);

    Platform ini;
    ini.readIni = &Win32ReadIni;
    ini.writeIni = &Win32WriteIni;
    ini.readReg = &Win32ReadReg;
    SetPlatform(ini);
}

}  // namespace zv
