// A Windows machine in memory for the folder functions and macros: shell answers, existing
// folders (any case), registry values and names.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "rundir/shell_dir.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/text.h"

namespace zv {
namespace rundir_fixture {

struct Machine {
    std::map<int, std::string> shell;        // SHGetSpecialFolderPathA answers
    std::map<int, std::string> shfolder;     // SHGetFolderPathA answers (csidl with flags)
    std::set<std::string> folders;           // upper-case
    std::map<std::string, std::string> registry;   // "subkey\nvalue" -> text
    std::vector<int> asked;                  // csidls asked of SHFolder
    std::string systemDir = "C:\\Windows\\system32";
};
inline Machine& M() {
    static Machine machine;
    return machine;
}

inline std::string Special(int csidl) {
    auto it = M().shell.find(csidl);
    return it == M().shell.end() ? "" : it->second;
}
inline std::string FolderPathOf(int csidl) {
    M().asked.push_back(csidl);
    auto it = M().shfolder.find(csidl);
    return it == M().shfolder.end() ? "" : it->second;
}
inline std::string Windows() { return "C:\\Windows"; }
inline std::string System() { return M().systemDir; }
inline std::string Temp() { return "C:\\Temp"; }
inline bool FolderExists(const std::string& path) {
    return M().folders.count(AsciiUpper(path)) > 0;
}
// Enough of the system's rule for absolute paths: "." and ".." segments removed.
inline std::string FullPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\') {
            if (part == "..") {
                if (parts.size() > 1) parts.pop_back();
            } else if (part != ".") {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += path[i];
        }
    }
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? "\\" : "") + parts[i];
    return out;
}
inline std::string Logged() { return "ann"; }
inline std::string Owner() { return "Ann Smith"; }
inline std::string Company() { return "Velmorra Ltd"; }
inline std::string Computer() { return "DESK1"; }
inline std::string Domain() { return "HOME"; }
inline std::string Month(int month) { return month == 12 ? "December" : "Month"; }

inline bool ReadReg(RegRoot, const std::string& subKey, const std::string& name, bool,
                    uint32_t& type, std::string& data) {
    auto it = M().registry.find(subKey + "\n" + name);
    if (it == M().registry.end()) return false;
    type = kRegSz;
    data = it->second;
    return true;
}

class RunDirsTest : public ::testing::Test {
protected:
    void SetUp() override {
        M() = Machine();
        Platform host;
        host.specialFolder = &Special;
        host.folderPath = &FolderPathOf;
        host.windowsDir = &Windows;
        host.systemDir = &System;
        host.tempPath = &Temp;
        host.folderExists = &FolderExists;
        host.fullPath = &FullPath;
        host.loggedUserName = &Logged;
        host.userName = &Owner;
        host.companyName = &Company;
        host.computerName = &Computer;
        host.domainName = &Domain;
        host.longMonthName = &Month;
        host.readReg = &ReadReg;
        saved_ = SetPlatform(host);
        ResetOriginCache();
        Exists("C:\\Windows");
        Exists("C:\\Windows\\system32");
    }
    void TearDown() override {
        SetPlatform(saved_);
        ResetOriginCache();
    }
    static void Exists(const std::string& folder) { M().folders.insert(AsciiUpper(folder)); }

private:
    Platform saved_;
};

}  // namespace rundir_fixture
}  // namespace zv
