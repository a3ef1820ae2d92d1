#include "utils/processes.h"

#include <algorithm>
#include <utility>

#include "utils/text.h"

namespace zv {

namespace {

constexpr uint32_t kWmClose = 0x0010, kWmQuit = 0x0012;
constexpr uintptr_t kShutDownWParam = 15;
constexpr intptr_t kShutDownLParam = 255;

bool HasFolder(const std::string& path) { return !ExtractFilePath(path).empty(); }

bool IsInputMethodWindow(const std::string& className) {
    return className == "IME" || className == "MSCTFIME UI";
}

std::string Wanted(const std::string& path) { return Trim(Unquote(path, true)); }

// The file names the program at path may show in a list of bare names: its own, and those of
// its long and short forms (the path may be given in either).
std::vector<std::string> FileNamesOf(ProcessSystem& system, const std::string& path) {
    std::vector<std::string> names;
    auto add = [&names](const std::string& name) {
        const std::string trimmed = Trim(name);
        if (trimmed.empty()) return;
        for (const std::string& known : names)
            if (SameText(known, trimmed)) return;
        names.push_back(trimmed);
    };
    add(ExtractFileName(path));
    if (HasFolder(path)) {
        add(ExtractFileName(system.LongForm(path)));
        add(ExtractFileName(system.ShortForm(path)));
    }
    return names;
}

bool AnyNameIs(const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& n : names)
        if (SameTextTrim(n, name)) return true;
    return false;
}

struct WindowRow {
    uint32_t pid;
    std::string name;
    WindowHandle handle;
    uint32_t threadId;
};

std::vector<WindowRow> WindowRows(ProcessSystem& system, bool listAll, const std::string& stopName,
                                  int64_t stopId) {
    std::vector<std::pair<uint32_t, std::string>> exeNames;
    for (const ProcessEntry& entry : system.Snapshot())
        exeNames.emplace_back(entry.pid, ExtractFileName(entry.exe));
    std::vector<WindowRow> rows;
    for (const TopWindow& window : system.TopWindows()) {
        std::string name;
        for (const auto& known : exeNames)
            if (known.first == window.pid) name = known.second;
        // Each process once, by its id: two running copies of one program are two entries.
        const bool listed = std::any_of(rows.begin(), rows.end(),
                                        [&](const WindowRow& r) { return r.pid == window.pid; });
        if (listAll || !listed) rows.push_back({window.pid, name, window.handle, window.threadId});
        if (!listAll && (SameTextTrim(name, stopName) || int64_t(window.pid) == stopId)) break;
    }
    return rows;
}

// name and id of each running process, in the order GetProcessList lists them.
std::vector<std::pair<std::string, uint32_t>> ProcessNames(ProcessSystem& system, bool fullPaths) {
    std::vector<std::pair<std::string, uint32_t>> names;
    if (system.IsXP()) {
        for (uint32_t pid : system.ProcessIds()) {
            std::string name = pid == 0 ? std::string("System Idle Process") : system.ImagePath(pid);
            if (name.empty()) continue;
            if (!fullPaths && pid != 0) name = ExtractFileName(name);
            names.emplace_back(name, pid);
        }
        return names;
    }
    for (const WindowRow& row : WindowRows(system, false, "*", -1))
        names.emplace_back(row.name, row.pid);
    return names;
}

std::vector<std::string> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

}  // namespace

bool SameProgram(ProcessSystem& system, const std::string& exe, const std::string& path,
                 bool fullPathOnly) {
    const std::string image = Trim(exe);
    const std::string wanted = Trim(path);
    if (image.empty() || wanted.empty()) return false;
    const bool bothFull = HasFolder(image) && HasFolder(wanted);
    if (fullPathOnly && !bothFull) return false;
    if (SameText(image, wanted)) return true;
    if (!fullPathOnly && !HasFolder(wanted) && SameText(ExtractFileName(image), wanted))
        return true;
    if (!bothFull) return false;
    // Names that differ can still be one file only when one of them is a generated short name
    // ("LONGNA~1.EXE"); anything else is told apart without asking the file system.
    const std::string imageName = ExtractFileName(image), wantedName = ExtractFileName(wanted);
    if (!SameText(imageName, wantedName) && imageName.find('~') == std::string::npos &&
        wantedName.find('~') == std::string::npos)
        return false;
    // One file may be named in its long or its short form; compare like with like.
    const std::string longImage = system.LongForm(image), longWanted = system.LongForm(wanted);
    if (!longImage.empty() && SameText(longImage, longWanted)) return true;
    const std::string shortImage = system.ShortForm(image), shortWanted = system.ShortForm(wanted);
    return !shortImage.empty() && SameText(shortImage, shortWanted);
}

std::vector<uint32_t> TaskListIds(const std::string& csv, const std::string& fileName) {
    std::vector<uint32_t> ids;
    if (Trim(fileName).empty()) return ids;
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= csv.size()) {
        size_t end = csv.find('\n', start);
        if (end == std::string::npos) end = csv.size();
        std::string line = csv.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    for (size_t i = lines.size(); i-- > 1;) {
        const std::vector<std::string> fields = CsvFields(lines[i]);
        if (fields.size() < 2 || !SameTextTrim(fields[0], fileName)) continue;
        const int64_t pid = StrToInt64Def(Trim(fields[1]), 0);
        if (pid > 0 && pid <= int64_t(UINT32_MAX)) ids.push_back(uint32_t(pid));
    }
    return ids;
}

// ---- The window table ----

int TAnalizer::IndexOf(WindowHandle window) const {
    for (int i = 0; i < count_; ++i)
        if (handles_[i] == window) return i;
    return -1;
}

void TAnalizer::Collect(WindowHandle window, uint32_t windowPid) {
    if (windowPid != pid_ || window == 0 || count_ >= kCapacity) return;
    handles_[count_] = window;
    scores_[count_] = 0;
    ++count_;
}

WindowHandle TAnalizer::MainWindow(ProcessSystem& system) {
    for (int i = 0; i < count_; ++i) {
        // A window's top owner gains a point for each window it (indirectly) owns, itself
        // included. The chain is cut off after as many steps as the table holds.
        WindowHandle top = handles_[i];
        for (int steps = 0; steps < kCapacity; ++steps) {
            const WindowHandle owner = system.Owner(top);
            if (owner == 0 || owner == top) break;
            top = owner;
        }
        const int index = IndexOf(top);
        if (index >= 0) ++scores_[index];
    }
    WindowHandle best = 0;
    uint16_t bestScore = 0;
    for (int i = 0; i < count_; ++i) {
        scores_[i] = uint16_t(scores_[i] * 4);
        if (!system.Title(handles_[i]).empty()) scores_[i] = uint16_t(scores_[i] + 2);
        if (system.IsVisible(handles_[i])) scores_[i] = uint16_t(scores_[i] + 1);
        if (scores_[i] > bestScore) {
            best = handles_[i];
            bestScore = scores_[i];
        }
    }
    return best;
}

void ListWindowProcesses(ProcessSystem& system, TProcessData& data) {
    for (const WindowRow& row : WindowRows(system, data.listAll, data.stopName, data.stopId)) {
        data.pids += IntText(row.pid) + "|";
        data.names += row.name + "|";
        data.classes += system.ClassName(row.handle) + "|";
        data.handles += IntText(int64_t(row.handle)) + "|";
        data.threads += IntText(row.threadId) + "|";
        data.titles += system.Title(row.handle) + "|";
        data.visible += std::string(system.IsVisible(row.handle) ? "1" : "0") + "|";
    }
}

// ---- Programs ----

bool Programs::Confirmed(uint32_t pid, const std::string& path, bool fullPathOnly) {
    return !fullPathOnly || SameProgram(s_, s_.ImagePath(pid), path, true);
}

uint32_t Programs::FindProcessBySnapshot(const std::string& path, bool fullPathOnly,
                                         bool firstOnly) {
    const std::string wanted = Wanted(path);
    if (wanted.empty()) return 0;
    uint32_t found = 0;
    for (const ProcessEntry& entry : s_.Snapshot()) {
        // A bare executable name says nothing about the folder: read the image path instead.
        const std::string exe =
            fullPathOnly && !HasFolder(entry.exe) ? s_.ImagePath(entry.pid) : entry.exe;
        if (!SameProgram(s_, exe, wanted, fullPathOnly)) continue;
        found = entry.pid;
        if (firstOnly) break;
    }
    return found;
}

uint32_t Programs::FindProcessByModules(const std::string& path, bool fullPathOnly) {
    const std::string wanted = Wanted(path);
    if (wanted.empty()) return 0;
    const std::vector<uint32_t> ids = s_.ProcessIds();
    for (size_t i = ids.size(); i-- > 0;)
        if (SameProgram(s_, s_.ImagePath(ids[i]), wanted, fullPathOnly)) return ids[i];
    return 0;
}

uint32_t Programs::FindProcessByTasklist(const std::string& path, bool fullPathOnly) {
    const std::string wanted = Wanted(path);
    if (wanted.empty()) return 0;
    const std::string csv = s_.TaskListCsv();
    for (const std::string& name : FileNamesOf(s_, wanted))
        for (uint32_t pid : TaskListIds(csv, name))
            if (Confirmed(pid, wanted, fullPathOnly)) return pid;
    return 0;
}

uint32_t Programs::FindProcessByList(const std::string& path, bool fullPathOnly) {
    const std::string wanted = Wanted(path);
    if (wanted.empty()) return 0;
    const std::vector<std::string> fileNames = FileNamesOf(s_, wanted);
    const auto processes = ProcessNames(s_, fullPathOnly);
    for (auto it = processes.rbegin(); it != processes.rend(); ++it) {
        if (it->second == 0 || !AnyNameIs(fileNames, ExtractFileName(it->first))) continue;
        if (Confirmed(it->second, wanted, fullPathOnly)) return it->second;
    }
    return 0;
}

uint32_t Programs::FindForWindow(const std::string& path, bool fullPathOnly) {
    switch (s_.Generation()) {
        case WindowsGeneration::Win9x: return FindProcessBySnapshot(path, fullPathOnly, false);
        case WindowsGeneration::NTBefore8: return FindProcessByModules(path, fullPathOnly);
        case WindowsGeneration::Win8OrLater: return FindProcessByTasklist(path, fullPathOnly);
    }
    return 0;
}

uint32_t Programs::FindForProcess(const std::string& path, bool fullPathOnly) {
    if (s_.Generation() == WindowsGeneration::Win9x)
        return FindProcessBySnapshot(path, fullPathOnly, false);
    return FindProcessByList(path, fullPathOnly);
}

std::string Programs::GetProcessList(bool fullPaths, bool withPids) {
    std::string list = "|";
    for (const auto& process : ProcessNames(s_, fullPaths)) {
        list += process.first;
        if (withPids) list += "=" + IntText(process.second);
        list += "|";
    }
    return list;
}

// A full path is always compared as a full path; a bare name matches by file name.
bool Programs::IsProgramRunning(const std::string& path) {
    const std::string wanted = Wanted(path);
    return FindForProcess(wanted, HasFolder(wanted)) != 0;
}

bool Programs::WaitProgramEnd(const std::string& path, uint32_t timeoutMs) {
    const uint32_t limit = timeoutMs == 0 ? 1000 : timeoutMs;
    const uint32_t start = s_.TickCount();
    do {
        if (!IsProgramRunning(path)) return true;
        s_.Wait(100);
    } while (s_.TickCount() - start <= limit);
    return !IsProgramRunning(path);
}

WindowHandle Programs::FindMainWindow(const std::string& path, bool fullPathOnly) {
    const uint32_t pid = FindForWindow(path, fullPathOnly);
    if (pid == 0) return 0;
    TAnalizer table(pid);
    for (const TopWindow& window : s_.TopWindows()) {
        // The input method's windows belong to every thread with a window, untitled or not:
        // counted in, they could outscore a hidden main window and take its messages.
        if (window.pid == pid && IsInputMethodWindow(s_.ClassName(window.handle))) continue;
        table.Collect(window.handle, window.pid);
    }
    return table.MainWindow(s_);
}

bool Programs::PostProcessMessage(const std::string& path, bool fullPathOnly, uint32_t message,
                                  uintptr_t wParam, intptr_t lParam) {
    const WindowHandle window = FindMainWindow(path, fullPathOnly);
    return window != 0 && s_.Post(window, message, wParam, lParam);
}

bool Programs::CloseProgram(const std::string& path, bool fullPathOnly, uint32_t waitMs) {
    const bool posted =
        PostProcessMessage(path, fullPathOnly, kWmClose, kShutDownWParam, kShutDownLParam);
    if (waitMs > 0) WaitProgramEnd(path, waitMs);
    return posted;
}

bool Programs::QuitProgram(const std::string& path, bool fullPathOnly) {
    return PostProcessMessage(path, fullPathOnly, kWmQuit, kShutDownWParam, kShutDownLParam);
}

bool Programs::TerminateProgram(const std::string& path, bool fullPathOnly) {
    const uint32_t pid = FindForProcess(path, fullPathOnly);
    return pid != 0 && s_.Terminate(pid, 0);
}

void Programs::WaitWindowGone(const std::string& className, const std::string& title) {
    while (s_.TopWindowExists(className, title)) s_.Wait(100);
}

// ---- RunWithPipes pieces ----

std::string PipeCommandLine(const std::string& program, const std::string& parameters) {
    std::string line = program;
    if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos)
        line = "\"" + program + "\"";
    if (!parameters.empty()) line += " " + parameters;
    return line;
}

std::string PipeStartErrorText(const std::string& commandLine, const std::string& systemMessage) {
    if (commandLine.size() > kMaxCommandLine) return "Command line is too long";
    const std::string message = systemMessage.empty()
                                    ? "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\""
                                    : systemMessage;
    return commandLine.substr(0, 256) + " --- " + message;
}

uint32_t NextPipeStep(uint32_t step, bool outputArrived) {
    return outputArrived && step > 10 ? step - 10 : step;
}

}  // namespace zv
