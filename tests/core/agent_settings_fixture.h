// A machine in memory for the agent's settings: ini files, registry values, which files exist,
// the clock, the tick count and what the run log and the trace receive.
#pragma once
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "autoupdate/agent_state.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "package/gfile_info.h"
#include "utils/file_io.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace agent_fixture {

// 2026-12-06 07:15:02.25: SecondsNow() = 4005702902.
constexpr double kToday = 46362.0 + (7 * 3600 + 15 * 60 + 2.25) / 86400.0;
constexpr int64_t kNowSeconds = 46362LL * 86400 + 7 * 3600 + 15 * 60 + 2;

inline std::string Key(const std::string& file, const std::string& section,
                       const std::string& key) {
    return AsciiUpper(file) + "\n" + AsciiUpper(section) + "\n" + AsciiUpper(key);
}

struct Machine {
    std::map<std::string, std::string> ini;            // Key(file, section, key) -> value
    std::set<std::string> files;                       // upper-case paths that exist
    std::map<std::string, std::string> registry;       // value name -> text (the AutoUpdate key)
    int registryReads = 0;
    double now = kToday;
    uint32_t tick = 100000;
    std::vector<std::string> runLog;
    std::string trace;
    bool connected = false;
    int64_t httpSize = -1;
    std::string httpUrl;
};
inline Machine& M() {
    static Machine machine;
    return machine;
}

inline std::string ReadIni(const std::string& file, const std::string& section,
                           const std::string& key, const std::string& def) {
    auto it = M().ini.find(Key(file, section, key));
    return it == M().ini.end() ? def : it->second;
}
// Like the system: writing creates the file.
inline bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& value) {
    M().files.insert(AsciiUpper(file));
    M().ini[Key(file, section, key)] = value;
    return true;
}
inline bool ReadReg(RegRoot root, const std::string& subKey, const std::string& name, bool,
                    uint32_t& type, std::string& data) {
    if (root != RegRoot::CurrentUser || subKey != "Software\\Velmorra\\Zolvex\\AutoUpdate")
        return false;
    ++M().registryReads;
    auto it = M().registry.find(name);
    if (it == M().registry.end()) return false;
    type = kRegSz;
    data = it->second;
    return true;
}
inline bool Exists(const std::string& path) { return M().files.count(AsciiUpper(path)) > 0; }
inline double Now() { return M().now; }
inline uint32_t Tick() { return M().tick; }
inline uint32_t Pid() { return 77; }
inline uint32_t Thread() { return 1; }
inline char Dash() { return '-'; }
inline char Colon() { return ':'; }
inline int64_t AppendLog(const std::string&, const std::string& text) {
    M().runLog.push_back(text);
    return int64_t(text.size());
}
inline void Trace(const std::string& chunk) { M().trace += chunk; }
inline bool Connected() { return M().connected; }
inline int64_t HttpSize(const std::string& url) {
    M().httpUrl = url;
    return M().httpSize;
}

// The agent lives at C:\Agent\Agent.exe; without a package, its files are C:\Agent\.original
// and C:\Agent\ (no info file name), which is all these tests need to tell them apart.
class AgentSettingsTest : public ::testing::Test {
protected:
    AgentSettingsTest() : commandLine_("\"C:\\Agent\\Agent.exe\"", "C:\\Agent\\Agent.exe") {}

    void SetUp() override {
        M() = Machine();
        Platform machine;
        machine.readIni = &ReadIni;
        machine.writeIni = &WriteIni;
        machine.readReg = &ReadReg;
        machine.fileExists = &Exists;
        machine.now = &Now;
        machine.tickCount = &Tick;
        machine.processId = &Pid;
        machine.dateSeparator = &Dash;
        machine.timeSeparator = &Colon;
        machine.threadId = &Thread;
        machine.appendToFile = &AppendLog;  // the run log is the only file appended to
        machine.internetConnected = &Connected;
        machine.httpFileSize = &HttpSize;
        saved_ = SetPlatform(machine);
        ResetRunLog();
        SetRunLogEnabled(true);
        SetRunLogIndent("");
        savedSink_ = TraceOut().SetSink(&Trace);
        Agent() = AgentState();
        AgentTestMode() = TestModeState();
        original_ = OriginalFilePath();
        info_ = InfoFilePath();
    }
    void TearDown() override {
        TraceOut().WriteLine();   // flush what this test traced into its own capture
        TraceOut().SetSink(savedSink_);
        ResetRunLog();
        SetPlatform(saved_);
        Agent() = AgentState();
        AgentTestMode() = TestModeState();
    }

    void Original(const std::string& key, const std::string& value,
                  const std::string& section = "OriginalSetup") {
        WriteIni(original_, section, key, value);
    }
    void Info(const std::string& key, const std::string& value,
              const std::string& section = "NewSetup") {
        WriteIni(info_, section, key, value);
    }
    std::string OriginalValue(const std::string& key) {
        return ReadIni(original_, "OriginalSetup", key, "<none>");
    }
    // Run-log lines without their time and thread columns ("06-12-26 07:15:02     1").
    std::vector<std::string> LogMessages() const {
        std::vector<std::string> out;
        for (std::string line : M().runLog) {
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            out.push_back(line.size() > 23 ? line.substr(23) : std::string());
        }
        return out;
    }

    std::string original_, info_;

private:
    ScopedCommandLine commandLine_;
    Platform saved_;
    TraceStream::Sink savedSink_ = nullptr;
};

}  // namespace agent_fixture
}  // namespace zv
