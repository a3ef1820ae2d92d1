#include "package/setup_cmdline.h"

#include "package/setup_folder.h"
#include "utils/text.h"

namespace zv {

std::string ThreadTag(uint32_t threadId) { return "_" + IntText(threadId); }

std::string SetupAtomName(const std::string& threadTag) { return kAtomNamePrefix + threadTag; }

std::string EngineDialogClass(const std::string& threadTag) {
    return kEngineDialogClassPrefix + threadTag;
}

std::string CommandProgram(const std::string& path) {
    if (path.find(' ') == std::string::npos || (!path.empty() && path.front() == '"')) return path;
    return "\"" + path + "\"";
}

std::string RemoveSwitch(const std::string& commandLine, const std::string& switchName) {
    const int found = PosText(switchName, commandLine);
    if (found == 0 || switchName.empty()) return commandLine;
    const size_t start = size_t(found - 1);
    size_t end = start + 1;  // the switch's own "/" goes in any case
    while (end < commandLine.size() && commandLine[end] != '/') {
        if (commandLine[end] == '"') {
            const size_t close = commandLine.find('"', end + 1);
            end = close == std::string::npos ? commandLine.size() : close + 1;
        } else {
            ++end;
        }
    }
    return commandLine.substr(0, start) + commandLine.substr(end);
}

MainFileParts SplitMainFile(const std::string& mainFile) {
    const size_t star = mainFile.find('*');
    if (star == std::string::npos) return {Trim(mainFile), ""};
    return {Trim(mainFile.substr(0, star)), Trim(mainFile.substr(star + 1))};
}

std::string BuildEngineCommandLine(const EngineCommand& in) {
    const MainFileParts parts = SplitMainFile(in.mainFile);
    const std::string tail = Trim(in.argumentTail + " " + parts.extra);

    std::string line = CommandProgram(WithBackslash(in.destination) + parts.program);
    if (!tail.empty()) line += " " + tail;
    line += std::string(" ") + kSwitchThreadId + in.threadTag;
    if (PosText(kSwitchOriginExe, line) == 0)
        line += std::string(" ") + kSwitchOriginExe + "\"" + in.stubPath + "\"";
    if (in.isAgent) line += std::string(" ") + kSwitchAgent;
    line = RemoveSwitch(line, kSwitchSpanLevel);
    line = RemoveSwitch(line, kSwitchSpanFile);
    // A removed last switch leaves its leading blank behind.
    return Trim(line);
}

std::string TempCopyPath(const std::string& setupFolder, const std::string& stubPath) {
    return WithBackslash(setupFolder) + kTempCopyPrefix + ExtractFileName(stubPath);
}

std::string RelaunchCommandLine(const std::string& copyPath, const std::string& argumentTail,
                                const std::string& stubPath) {
    const std::string arguments = argumentTail + " " + kSwitchSpanLevel + "2 " + kSwitchSpanFile +
                                  "\"" + stubPath + ".001\" " + kSwitchOriginExe + "\"" +
                                  stubPath + "\"";
    return CommandProgram(copyPath) + " " + Trim(arguments);
}

}  // namespace zv
