#include "autoupdate/update_files.h"

#include <cmath>
#include <limits>

#include "package/gfile_info.h"
#include "utils/file_io.h"
#include "utils/ini_reg.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace {

constexpr const char* kOriginalSetup = "OriginalSetup";
constexpr const char* kDirectories = "Directories";
constexpr const char* kUnInstall = "UnInstall";
constexpr const char* kMsgBox = "MsgBox";
constexpr const char* kAutoUpdate = "AutoUpdate";
constexpr const char* kNewSetup = "NewSetup";
constexpr const char* kGeneral = "General";
constexpr const char* kAutoInform = "AutoInform";

constexpr const char* kDefaultButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

std::string Original() { return OriginalFilePath(); }
std::string Info() { return InfoFilePath(); }

std::string OriginalText(const char* section, const char* key, const std::string& def = "") {
    return ReadIniString(Original(), section, key, def);
}
int64_t OriginalInt(const char* section, const char* key, int64_t def = 0) {
    return ReadIniInteger(Original(), section, key, def);
}
std::string InfoText(const char* section, const char* key) {
    return ReadIniString(Info(), section, key, "");
}
int64_t InfoInt(const char* section, const char* key, int64_t def = 0) {
    return ReadIniInteger(Info(), section, key, def);
}
bool InfoOverridable(const char* key, int slot) {
    return ReadOverridableFlag(Info(), kNewSetup, key, slot, Agent().Overrides);
}

bool WriteOriginal(const char* key, const std::string& value) {
    const std::string file = Original();
    if (!FileExists(file)) {
        TraceOut().WriteLine(std::string("WriteOriginal skipped, no file: ") + key + "  " + file);
        return false;
    }
    return WriteIniString(file, kOriginalSetup, key, value);
}

bool WriteOriginalTime(const char* key, const char* twin, int64_t seconds) {
    if (!WriteOriginal(key, IntText(seconds))) return false;
    return WriteOriginal(twin, SecondsText(seconds));
}

class FilesAgentIni : public AgentIniAccess {
public:
    int64_t VersionOriginal() override { return OriginalFile::VersionOriginal(); }
    int64_t VersionNew() override { return InfoFile::VersionNew(); }
    int64_t ProbeSecondsInterval() override { return OriginalFile::ProbeSecondsInterval(); }
    int64_t ReAskSecondsInterval() override { return OriginalFile::ReAskSecondsInterval(); }
    int64_t ProbeSecondsLast() override { return OriginalFile::ProbeSecondsLast(); }
    int64_t ReAskSecondsLast() override { return OriginalFile::ReAskSecondsLast(); }
    void SetProbeSecondsInterval(int64_t v) override { OriginalFile::SetProbeSecondsInterval(v); }
    void SetReAskSecondsInterval(int64_t v) override { OriginalFile::SetReAskSecondsInterval(v); }
    void SetProbeSecondsLast(int64_t v) override { OriginalFile::SetProbeSecondsLast(v); }
    void SetReAskSecondsLast(int64_t v) override { OriginalFile::SetReAskSecondsLast(v); }
};

}  // namespace

std::string InfoFilePath() {
    const std::string name = OwnPackage ? OwnPackage->InfoFileName() : std::string();
    return GetExeDir(true) + name;
}

int64_t SecondsNow() { return std::llround(NowDateTime() * 86400.0); }

std::string SecondsText(int64_t seconds) { return DateTimeText(double(seconds) / 86400.0, " "); }

int64_t SaturatingAdd(int64_t a, int64_t b) {
    using limits = std::numeric_limits<int64_t>;
    if (b > 0 && a > limits::max() - b) return limits::max();
    if (b < 0 && a < limits::min() - b) return limits::min();
    return a + b;
}

int64_t ReadIniInteger(const std::string& file, const char* section, const char* key,
                       int64_t def) {
    return ReadIniInt(file, section, key, def);
}

bool ReadIniFlag(const std::string& file, const char* section, const char* key) {
    return ReadIniString(file, section, key, "0") == "1";
}

bool ReadOverridableFlag(const std::string& file, const char* section, const char* key,
                         int slot, const TransientOverrides& overrides) {
    const uint8_t value = overrides.Get(slot);
    if (value != 255) return value == 1;
    return ReadIniFlag(file, section, key);
}

bool AskBeforeProbe() { return Agent().Overrides.Get(TransientOverrides::AskBeforeProbe) == 1; }

std::string AutoUpdateMessages(const std::string& key, const std::string& def) {
    return ReadIniString(Original(), kAutoUpdate, key, def);
}

namespace OriginalFile {
int64_t ProbeSecondsInterval() { return OriginalInt(kOriginalSetup, "ProbeSecondsInterval"); }
int64_t ProbeSecondsLast() { return OriginalInt(kOriginalSetup, "ProbeSecondsLast"); }
int64_t ReAskSecondsInterval() { return OriginalInt(kOriginalSetup, "ReAskSecondsInterval"); }
int64_t ReAskSecondsLast() { return OriginalInt(kOriginalSetup, "ReAskSecondsLast"); }
int64_t VersionOriginal() { return OriginalInt(kOriginalSetup, "VersionOriginal"); }
int64_t Stamp() { return OriginalInt(kOriginalSetup, "Stamp"); }
std::string ProgramName() { return OriginalText(kOriginalSetup, "ProgramName"); }
std::string TargetDir() { return OriginalText(kDirectories, "TargetDir"); }
std::string SharedDir() { return OriginalText(kDirectories, "SharedDir"); }
std::string AuxiliaryDir() { return OriginalText(kDirectories, "AuxiliaryDir"); }
std::string StartUpLink() { return OriginalText(kUnInstall, "StartUpLink"); }
std::string CheckforNewUpdateLink() { return OriginalText(kUnInstall, "CheckforNewUpdateLink"); }
std::string BtnText() { return OriginalText(kMsgBox, "BtnText", kDefaultButtons); }
std::string Error() { return OriginalText(kMsgBox, "Error", "Error"); }
std::string Confirm() { return OriginalText(kMsgBox, "Confirm", "Confirm"); }
std::string Attention() { return OriginalText(kMsgBox, "Attention", "Attention"); }
int64_t CharSet() { return OriginalInt(kMsgBox, "CharSet"); }
std::string FontName() { return OriginalText(kMsgBox, "FontName", "Tahoma"); }
int64_t FontSize() { return OriginalInt(kMsgBox, "FontSize", 8); }

bool SetProbeSecondsInterval(int64_t value) {
    return WriteOriginal("ProbeSecondsInterval", IntText(value));
}
bool SetReAskSecondsInterval(int64_t value) {
    return WriteOriginal("ReAskSecondsInterval", IntText(value));
}
bool SetProbeSecondsLast(int64_t seconds) {
    return WriteOriginalTime("ProbeSecondsLast", "__ProbeSecondsLast", seconds);
}
bool SetReAskSecondsLast(int64_t seconds) {
    return WriteOriginalTime("ReAskSecondsLast", "__ReAskSecondsLast", seconds);
}
bool SetVersionOriginal(int64_t value) { return WriteOriginal("VersionOriginal", IntText(value)); }
bool SetStamp(int64_t value) { return WriteOriginal("Stamp", IntText(value)); }
}  // namespace OriginalFile

namespace InfoFile {
std::string DownloadURL_UPDATE() { return InfoText(kNewSetup, "DownloadURL_UPDATE"); }
std::string NameOfUpdateFile() { return InfoText(kNewSetup, "NameOfUpdateFile"); }
int64_t SizeOfUpdateFile() { return InfoInt(kNewSetup, "SizeOfUpdateFile"); }
bool RequestConfirmationBeforeDownload() {
    return InfoOverridable("RequestConfirmationBeforeDownload",
                           TransientOverrides::RequestConfirmationBeforeDownload);
}
bool RequestConfirmationBeforeDownloadForce() {
    return InfoOverridable("RequestConfirmationBeforeDownloadForce",
                           TransientOverrides::RequestConfirmationBeforeDownloadForce);
}
bool RequestConfirmationBeforeInstall() {
    return InfoOverridable("RequestConfirmationBeforeInstall",
                           TransientOverrides::RequestConfirmationBeforeInstall);
}
bool RequestConfirmationBeforeInstallForce() {
    return InfoOverridable("RequestConfirmationBeforeInstallForce",
                           TransientOverrides::RequestConfirmationBeforeInstallForce);
}
bool BackgroundUpdate() {
    return InfoOverridable("BackgroundUpdate", TransientOverrides::BackgroundUpdate);
}
std::string ShutDownMethod() { return InfoText(kNewSetup, "ShutDownMethod"); }
std::string RunningProcess() { return InfoText(kNewSetup, "RunningProcess"); }
bool RestartProcess() {
    return InfoOverridable("RestartProcess", TransientOverrides::RestartProcess);
}
bool InformFinish() { return InfoOverridable("InformFinish", TransientOverrides::InformFinish); }
std::string ProgramName() { return InfoText(kNewSetup, "ProgramName"); }
int64_t VersionNew() { return InfoInt(kNewSetup, "VersionNew"); }
int64_t Stamp() { return InfoInt(kNewSetup, "Stamp"); }
std::string ValidVersions() { return InfoText(kNewSetup, "ValidVersions"); }
bool RemoveStartUpShortcut() { return ReadIniFlag(Info(), kNewSetup, "RemoveStartUpShortcut"); }
bool RemoveCheckForNewUpdateShortcut() {
    return ReadIniFlag(Info(), kNewSetup, "RemoveCheckForNewUpdateShortcut");
}
int64_t AutoInform() { return InfoInt(kGeneral, "AutoInform"); }
bool IsInformRelease() { return AutoInform() == 1; }
std::string DownloadURL_INFORM() { return InfoText(kAutoInform, "DownloadURL_INFORM"); }
std::string NameOfInformFile() { return InfoText(kAutoInform, "NameOfInformFile"); }
int64_t SizeOfInformFile() { return InfoInt(kAutoInform, "SizeOfInformFile"); }
int64_t AutoInformW() { return InfoInt(kAutoInform, "AutoInformW", 360); }
int64_t AutoInformH() { return InfoInt(kAutoInform, "AutoInformH", 360); }
}  // namespace InfoFile

AgentIniAccess& UpdateFilesAgentIni() {
    static FilesAgentIni access;
    return access;
}

}  // namespace zv
