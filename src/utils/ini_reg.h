// Ini files (private-profile semantics) and read-only registry access by full key path text.
// The rules live here; the system calls are the platform's readIni, writeIni and readReg
// (utils/platform.h).
#pragma once
#include <cstdint>
#include <string>

namespace zv {

enum class RegRoot { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig, DynData };

struct RegPath {
    RegRoot root = RegRoot::CurrentUser;
    std::string subKey;
};

constexpr size_t kIniValueBufferSize = 32769;
constexpr size_t kIniValueTraceLimit = 10240;
constexpr size_t kRegValueBufferSize = 10241;

// Registry value types as the system numbers them.
constexpr uint32_t kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7;

// Full name or abbreviation (HKCU...), any case; anything else is HKEY_CURRENT_USER.
RegRoot RootKeyByName(const std::string& name);
// "HKLM\Software\X" -> LocalMachine, "Software\X"; a path without a root name is below
// HKEY_CURRENT_USER; a root name alone has an empty subkey.
RegPath SplitRegPath(const std::string& path);
// A value's bytes as text: REG_DWORD unsigned decimal, REG_MULTI_SZ items joined by "<0>",
// anything else up to its first NUL.
std::string RegValueText(uint32_t type, const std::string& data);

// Value of key in section, or def when the file, section or key is missing or the value empty.
// An empty section or key gives def without touching the file.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def);
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t def);
// False for an empty file, section or key, and for texts the ini format cannot hold without
// changing other entries (line breaks anywhere, "]" in a section, "=" in a key).
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value);
bool IniWriteAllowed(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value);

// The value as text, or def when the key or value cannot be read. An empty valueName reads the
// key's default value. use64BitView reads the native view from a 32-bit process.
std::string ReadRegString(const std::string& keyPath, const std::string& valueName,
                          const std::string& def, bool use64BitView = false);

}  // namespace zv
