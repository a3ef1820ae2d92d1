// What an update server or a user-writable folder hands the agent, which runs with administrator
// rights: an update description (.info), the installed program's description (.original) and an
// announcement (inform file). The input is split at the first NUL byte into the .info text and
// the rest (the .original text, also read as an inform file); the agent's accessors, its update
// decision, its macro expansion and its inform-file reader must take anything without a crash
// or undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

#include "autoupdate/update_cycle.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "package/gfile_info.h"
#include "rundir/run_time_dir.h"
#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/text.h"

namespace {

// file -> section -> key -> value, with the profile API's first-one-wins reading.
std::map<std::string, std::map<std::string, std::map<std::string, std::string>>> g_files;

void Load(const std::string& file, const std::string& text) {
    auto& sections = g_files[zv::AsciiUpper(file)];
    std::string section;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = zv::Trim(text.substr(at, end - at));
        at = end + 1;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = zv::AsciiUpper(line.substr(1, line.size() - 2));
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        auto& keys = sections[section];
        const std::string key = zv::AsciiUpper(zv::Trim(line.substr(0, eq)));
        if (!keys.count(key)) keys[key] = zv::Trim(line.substr(eq + 1));
    }
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& def) {
    auto f = g_files.find(zv::AsciiUpper(file));
    if (f == g_files.end()) return def;
    auto s = f->second.find(zv::AsciiUpper(section));
    if (s == f->second.end()) return def;
    auto k = s->second.find(zv::AsciiUpper(key));
    return k == s->second.end() || k->second.empty() ? def : k->second.substr(0, 32768);
}

bool NoWrite(const std::string&, const std::string&, const std::string&, const std::string&) {
    return true;
}
bool Exists(const std::string& path) { return g_files.count(zv::AsciiUpper(path)) != 0; }
std::string Windows() { return "C:\\Windows"; }
std::string Full(const std::string& path) { return path; }

void Install() {
    static bool done = false;
    if (done) return;
    done = true;
    zv::Platform p;
    p.readIni = &ReadIni;
    p.writeIni = &NoWrite;
    p.fileExists = &Exists;
    p.windowsDir = &Windows;
    p.systemDir = &Windows;
    p.fullPath = &Full;
    p.commandLine = [] { return std::string("\"C:\\Agent\\X_Agent.exe\""); };
    p.exePath = [] { return std::string("C:\\Agent\\X_Agent.exe"); };
    zv::SetPlatform(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Install();
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string info = input.substr(0, nul);
    const std::string original = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    g_files.clear();
    Load(zv::InfoFilePath(), info);
    Load(zv::OriginalFilePath(), original);

    using namespace zv::InfoFile;
    std::string sink = DownloadURL_UPDATE() + NameOfUpdateFile() + ShutDownMethod() +
                       RunningProcess() + ProgramName() + ValidVersions() + DownloadURL_INFORM() +
                       NameOfInformFile();
    // Summed unsigned: the values are anything the file says.
    uint64_t numbers = 0;
    for (int64_t n : {SizeOfUpdateFile(), VersionNew(), Stamp(), AutoInform(), SizeOfInformFile(),
                      AutoInformW(), AutoInformH(), zv::OriginalFile::VersionOriginal(),
                      zv::OriginalFile::ProbeSecondsInterval(),
                      zv::OriginalFile::ReAskSecondsInterval(),
                      zv::OriginalFile::ProbeSecondsLast(), zv::OriginalFile::ReAskSecondsLast(),
                      zv::OriginalFile::FontSize()})
        numbers += uint64_t(n);
    sink += zv::OriginalFile::BtnText() + zv::OriginalFile::StartUpLink();
    zv::SetInstallDirs(zv::OriginalFile::TargetDir(), zv::OriginalFile::SharedDir(),
                       zv::OriginalFile::AuxiliaryDir());
    sink += zv::ExpandMacros(RunningProcess(), "\\", true, true);
    sink += zv::ExpandMacros(original.substr(0, 4096), "\\", true, true);
    sink += zv::CollapseBackslashes(info.substr(0, 4096));

    zv::AgentState agent;
    int code = 0;
    std::string reason;
    zv::GetOkToPerformAU(true, code, reason, agent);
    numbers += uint64_t(zv::GetShotTimeStatus(agent)) + uint64_t(zv::ValidVersionMatch());

    const zv::InformFileParts inform = zv::SplitInformFile(original);
    sink += inform.token + inform.text + zv::Unscramble(info);
    sink += zv::SUB::ZipLists(zv::SUB::ListKeys(info, true), zv::SUB::ListValues(original, true),
                              true);
    volatile size_t keep = sink.size() + size_t(numbers) + reason.size();
    (void)keep;
    return 0;
}
