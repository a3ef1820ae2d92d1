// Command lines the setup flow builds: the engine's, and the spanned first run's relaunch.
// Pure text functions, so that every rule about quoting and switch removal is tested natively.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

constexpr const char* kAtomNamePrefix = "AutoUpdateAtomTokenByZolvex";
constexpr const char* kEngineDialogClassPrefix = ".SDialog_Class_Name.";
constexpr const char* kSwitchThreadId = "/TH_ID=";
constexpr const char* kSwitchOriginExe = "/OriginExe=";
constexpr const char* kSwitchAgent = "/AutoUpdateProg";
constexpr const char* kSwitchSpanLevel = "/SpanCdLvl=";
constexpr const char* kSwitchSpanFile = "/SpanDiskFName1=";
constexpr const char* kSwitchHide = "/hide";
constexpr const char* kTempCopyPrefix = "Y_";

// "_" + decimal thread id: makes the atom and the engine's dialog class unique per stub run.
std::string ThreadTag(uint32_t threadId);
std::string SetupAtomName(const std::string& threadTag);
std::string EngineDialogClass(const std::string& threadTag);

// A program path as the first token of a command line. Left bare unless it holds a blank: an
// unquoted path with blanks lets CreateProcess try "C:\Documents.exe" and the like first.
std::string CommandProgram(const std::string& path);

// Deletes the switch (name with its "/" and "=") with its value and the blank after it; the next
// switch stays. The name is matched ignoring case, like every switch lookup. A quoted value is
// taken whole, so a "/" inside the quotes does not end it. Returns the line unchanged when the
// switch is absent.
std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName);

struct EngineCommand {
    std::string destination;   // extraction folder; a trailing "\" is allowed
    std::string mainFile;      // marked main program, "*" and extra arguments included
    std::string argumentTail;  // the stub's own arguments
    std::string threadTag;     // ThreadTag()
    std::string stubPath;      // the running stub's full path
    bool isAgent = false;      // the running stub is the auto-update agent
};

// Main file split at its first "*": the program and the arguments after the star, both trimmed.
struct MainFileParts {
    std::string program;
    std::string extra;
};
MainFileParts SplitMainFile(const std::string& mainFile);

// The engine's command line: program in the destination, the stub's arguments and the star's
// extra arguments, "/TH_ID=", "/OriginExe=" unless given, "/AutoUpdateProg" for the agent; the
// span switches of a relaunched copy are not passed on.
std::string BuildEngineCommandLine(const EngineCommand& in);

// The spanned first run: the temp copy's path and the command line that starts it at level 2.
std::string TempCopyPath(const std::string& setupFolder, const std::string& stubPath);
std::string RelaunchCommandLine(const std::string& copyPath, const std::string& argumentTail,
                                const std::string& stubPath);

}  // namespace zv
