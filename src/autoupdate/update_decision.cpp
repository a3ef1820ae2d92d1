#include "autoupdate/update_decision.h"

#include "autoupdate/update_files.h"
#include "utils/file_io.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/sub.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {
namespace {

void TracePid() { TraceOut().Write(Host().processId()); }

// Size of a file reachable as a local or network path; -1 when it cannot be opened.
int64_t LocalFileSize(const std::string& path) {
    std::unique_ptr<IFile> file = OpenFile(path, OpenMode::ReadShared);
    return file ? file->Size() : -1;
}

bool IsDue(int64_t now, int64_t last, int64_t interval) {
    // A stamp from the future means the clock was set back: waiting for it could take years.
    return last > now || now >= SaturatingAdd(last, interval);
}

}  // namespace

const char* const kDecisionReasons =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch"
    "|Download file size error|OK|";

TestModeState& AgentTestMode() {
    static TestModeState state;
    return state;
}

bool CheckTestMode(bool force) {
    TestModeState& state = AgentTestMode();
    const uint32_t now = Host().tickCount();
    if (force || uint32_t(now - state.lastTick) > kTestModeReadPause) {
        const std::string mode = ReadRegString(kTestModeKey, "TestMode", "0");
        const std::string date = ReadRegString(kTestModeKey, "TestModeDate", "");
        state.TestMode = mode == "1" && date == DateText(NowDateTime());
        state.TestModeURL = ReadRegString(kTestModeKey, "TestModeURL", "");
    }
    state.lastTick = now;
    return state.TestMode;
}

int GetShotTimeStatus(AgentState& agent) {
    int result = 0;
    if (agent.PeriodicProbing || agent.ForceShot) {
        const int64_t stored = OriginalFile::ProbeSecondsInterval();
        const int64_t interval = AgentTestMode().TestMode ? kTestModeProbeSeconds : stored;
        result = IsDue(SecondsNow(), OriginalFile::ProbeSecondsLast(), interval) ? 1 : 0;
        if (stored == 0 && result == 1) result = 2;
        // -1 is "never"; other negative intervals would otherwise mean "every second".
        if (stored < 0) result = 0;
        if (agent.ForceShot) result = 1;
    }
    agent.ForceShot = false;
    return result;
}

int GetShotTimeStatus() { return GetShotTimeStatus(Agent()); }

bool ReAskDue() {
    const int64_t interval = OriginalFile::ReAskSecondsInterval();
    if (interval <= 0) return false;
    const int64_t now = SecondsNow();
    const int64_t last = OriginalFile::ReAskSecondsLast();
    return last > now || now > SaturatingAdd(last, interval);
}

bool ValidVersionMatch() {
    const std::string valid = InfoFile::ValidVersions();
    if (valid.empty()) return true;
    const std::string version = "," + IntText(Low32(OriginalFile::VersionOriginal())) + ",";
    return ("," + valid + ",").find(version) != std::string::npos;
}

bool CheckUpdateFileSize(const std::string& base, const std::string& updateName,
                         const std::string& informName) {
    int64_t expected = InfoFile::SizeOfUpdateFile();
    std::string name = updateName;
    if (InfoFile::IsInformRelease()) {
        name = informName;
        expected = InfoFile::SizeOfInformFile();
    }
    name = ExtractFileName(name);
    const TestModeState& test = AgentTestMode();
    const std::string from = test.TestMode ? test.TestModeURL : base;
    std::string path = from + "\\" + name;
    int64_t actual = -1;
    if (FileExists(path)) {
        actual = LocalFileSize(path);
    } else if (!test.TestMode && Host().internetConnected()) {
        path = from + "/" + name;
        actual = Host().httpFileSize(path);
    }
    // In 64 bits: an unknown size (-1) against a size near 2^31, or sizes above 2 GB, would
    // wrap around in 32 bits and pass.
    const int64_t difference = actual > expected ? actual - expected : expected - actual;
    const bool ok = difference < kSizeTolerance;
    if (!ok) {
        WriteRunLog("  InfoSize=" + IntText(expected));
        WriteRunLog("  HttpSize=" + IntText(actual));
        WriteRunLog("  URL=" + path);
    }
    return ok;
}

bool GetOkToPerformAU(bool downloadOK, int& code, std::string& reason, const AgentState& agent) {
    code = kDecisionInfoDownload;
    if (downloadOK) code = kDecisionOriginalFile;
    int32_t versionOriginal = 0;
    if (code == kDecisionOriginalFile) {
        versionOriginal = Low32(OriginalFile::VersionOriginal());
        if (versionOriginal > 0) code = kDecisionTooEarly;
    }
    if (code == kDecisionTooEarly &&
        (Low32(InfoFile::Stamp()) != Low32(OriginalFile::Stamp()) || ReAskDue() ||
         agent.ManualCheckState == 1))
        code = kDecisionNotHigher;
    if (code == kDecisionNotHigher && Low32(InfoFile::VersionNew()) > versionOriginal)
        code = kDecisionVersionMismatch;
    if (code == kDecisionVersionMismatch && ValidVersionMatch()) code = kDecisionFileSize;
    if (code == kDecisionFileSize &&
        CheckUpdateFileSize(InfoFile::DownloadURL_UPDATE(), InfoFile::NameOfUpdateFile(),
                            InfoFile::NameOfInformFile()))
        code = kDecisionOK;
    reason = SUB::GetItem(kDecisionReasons, code);
    TracePid();
    TraceOut().Write(" GetOkToPerformAU=").Write(code).WriteLine();
    WriteRunLog("GetOkToPerformAU = " + IntText(code) + " - " + reason);
    return code == kDecisionOK;
}

bool GetOkToPerformAU(bool downloadOK, int& code, std::string& reason) {
    return GetOkToPerformAU(downloadOK, code, reason, Agent());
}

}  // namespace zv
