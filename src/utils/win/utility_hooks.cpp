#include "utils/win/utility_hooks.h"

#include <windows.h>

#include <vector>

#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/win/unique_owner.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

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

void FillWin32Utilities(Platform& p) {
    p.threadId = &Win32ThreadId;
    p.readIni = &Win32ReadIni;
    p.writeIni = &Win32WriteIni;
    p.readReg = &Win32ReadReg;
}

}  // namespace zv
