// The two update description files beside the agent: the ".original" file (what is installed,
// the probing schedule, the agent's texts) and the ".info" file (the newest release). Every
// accessor reads its file anew; nothing is cached, so an edit by the installer or the update
// server is seen at the next use.
#pragma once
#include <cstdint>
#include <string>

#include "autoupdate/agent_state.h"

namespace zv {

// The executable's folder with one backslash, then the info file's name from the package header.
// (OriginalFilePath() is in package/gfile_info.h.)
std::string InfoFilePath();

// Local time as whole seconds since 1899-12-30 00:00.
int64_t SecondsNow();
// Seconds as a local date and time, DD-MON-YYYY HH:NN:SS.
std::string SecondsText(int64_t seconds);

// Versions and stamps are compared as their low 32 bits, signed.
inline int32_t Low32(int64_t value) { return int32_t(uint32_t(uint64_t(value))); }
// a + b, held at the int64 limits instead of wrapping.
int64_t SaturatingAdd(int64_t a, int64_t b);

// Value types of both files.
int64_t ReadIniInteger(const std::string& file, const char* section, const char* key,
                       int64_t def);
// True only for the exact text "1": "yes" and "true" are false.
bool ReadIniFlag(const std::string& file, const char* section, const char* key);
// The transient slot decides unless it is 255 (not overridden): 1 true, anything else false.
bool ReadOverridableFlag(const std::string& file, const char* section, const char* key,
                         int slot, const TransientOverrides& overrides);

// Slot 1 of the running agent's overrides equals 1.
bool AskBeforeProbe();
// Text of key in section AutoUpdate of the original file, or def when it has none.
std::string AutoUpdateMessages(const std::string& key, const std::string& def);

namespace OriginalFile {
int64_t ProbeSecondsInterval();
int64_t ProbeSecondsLast();
int64_t ReAskSecondsInterval();
int64_t ReAskSecondsLast();
int64_t VersionOriginal();
int64_t Stamp();
std::string ProgramName();
std::string TargetDir();
std::string SharedDir();
std::string AuxiliaryDir();
std::string StartUpLink();
std::string CheckforNewUpdateLink();
std::string BtnText();
std::string Error();
std::string Confirm();
std::string Attention();
int64_t CharSet();
std::string FontName();
int64_t FontSize();

// The agent updates these keys in a file the installation made; it never creates the file, so
// each write is skipped (with a trace line) when the file is missing. False when not written.
bool SetProbeSecondsInterval(int64_t value);
bool SetReAskSecondsInterval(int64_t value);
// Also write the readable twins "__ProbeSecondsLast" and "__ReAskSecondsLast".
bool SetProbeSecondsLast(int64_t seconds);
bool SetReAskSecondsLast(int64_t seconds);
bool SetVersionOriginal(int64_t value);
bool SetStamp(int64_t value);
}  // namespace OriginalFile

namespace InfoFile {
std::string DownloadURL_UPDATE();
std::string NameOfUpdateFile();
int64_t SizeOfUpdateFile();
bool RequestConfirmationBeforeDownload();
bool RequestConfirmationBeforeDownloadForce();
bool RequestConfirmationBeforeInstall();
bool RequestConfirmationBeforeInstallForce();
bool BackgroundUpdate();
std::string ShutDownMethod();
std::string RunningProcess();
bool RestartProcess();
bool InformFinish();
std::string ProgramName();
int64_t VersionNew();
int64_t Stamp();
std::string ValidVersions();
bool RemoveStartUpShortcut();
bool RemoveCheckForNewUpdateShortcut();
int64_t AutoInform();
// AutoInform is exactly 1: the release is only announced.
bool IsInformRelease();
std::string DownloadURL_INFORM();
std::string NameOfInformFile();
int64_t SizeOfInformFile();
int64_t AutoInformW();
int64_t AutoInformH();
}  // namespace InfoFile

// What agent commands 4, 5 and 8..15 read and write: the real files.
AgentIniAccess& UpdateFilesAgentIni();

}  // namespace zv
