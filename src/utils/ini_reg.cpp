#include "utils/ini_reg.h"

#include <mutex>

#include "utils/file_io.h"
#include "utils/platform.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace {

// Ini reads may come from any thread; the profile functions are not relied on to serialise.
std::mutex& IniLock() {
    static std::mutex lock;
    return lock;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

RegRoot RootKeyByName(const std::string& name) {
    struct Row {
        const char* full;
        const char* abbreviation;
        RegRoot root;
    };
    static const Row rows[] = {
        {"HKEY_CLASSES_ROOT", "HKCR", RegRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", "HKCU", RegRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", "HKLM", RegRoot::LocalMachine},
        {"HKEY_USERS", "HKU", RegRoot::Users},
        {"HKEY_CURRENT_CONFIG", "HKCC", RegRoot::CurrentConfig},
        {"HKEY_DYN_DATA", "HKDD", RegRoot::DynData},
    };
    const std::string upper = UpperCase(name);
    for (const Row& row : rows)
        if (upper == row.full || upper == row.abbreviation) return row.root;
    return RegRoot::CurrentUser;
}

RegPath SplitRegPath(const std::string& path) {
    const std::string p = Trim(path);
    RegPath result;
    if (!StartsWith("HK", p, true)) {
        result.subKey = p;
        return result;
    }
    const size_t slash = p.find('\\');
    if (slash == std::string::npos) {
        result.root = RootKeyByName(p);
        return result;
    }
    result.root = RootKeyByName(p.substr(0, slash));
    result.subKey = p.substr(slash + 1);
    return result;
}

std::string RegValueText(uint32_t type, const std::string& data) {
    if (type == kRegDword && data.size() == 4) {
        return IntText(GetLE32(reinterpret_cast<const uint8_t*>(data.data())));
    }
    if (type == kRegMultiSz && data.size() > 2) {
        std::string items = data;
        while (!items.empty() && items.back() == '\0') items.pop_back();
        std::string out;
        for (char c : items) {
            if (c == '\0')
                out += "<0>";
            else
                out += c;
        }
        return out;
    }
    return data.substr(0, data.find('\0'));
}

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
    std::lock_guard<std::mutex> hold(IniLock());
    std::string result = def;
    if (section.empty() || key.empty()) return result;
    const std::string value = Host().readIni(file, section, key, def);
    if (!value.empty()) result = value;
    if (value.size() > kIniValueTraceLimit)
        TraceOut().WriteLine("ReadIniString SizeError=" + IntText(int64_t(value.size())));
    return result;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t def) {
    return StrToInt64Def(ReadIniString(file, section, key, IntText(def)), def);
}

bool IniWriteAllowed(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    if (file.empty() || section.empty() || key.empty()) return false;
    if (HasLineBreak(file) || HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value))
        return false;
    return section.find(']') == std::string::npos && key.find('=') == std::string::npos;
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
    if (!IniWriteAllowed(file, section, key, value)) {
        if (!file.empty() && !section.empty() && !key.empty())
            TraceOut().WriteLine("WriteIniString refused [" + section + "] " + key);
        return false;
    }
    return Host().writeIni(file, section, key, value);
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key,
                 int64_t value) {
    return WriteIniString(file, section, key, IntText(value));
}

std::string ReadRegString(const std::string& keyPath, const std::string& valueName,
                          const std::string& def, bool use64BitView) {
    const RegPath path = SplitRegPath(keyPath);
    uint32_t type = 0;
    std::string data;
    if (!Host().readReg(path.root, path.subKey, valueName, use64BitView, type, data))
        return def;
    return RegValueText(type, data);
}

}  // namespace zv
