#include "stub/win/stub_dispatch.h"

#include <memory>
#include <vector>

#include "package/gfile_info.h"
#include "package/setup_cmdline.h"
#include "package/setup_dispatch.h"
#include "package/setup_exit.h"
#include "package/unpack.h"
#include "package/win/setup_folder_win.h"
#include "stub/win/stub_setup.h"
#include "stub/win/stub_window.h"
#include "stub/win/web_stub.h"
#include "utils/files.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/switches.h"
#include "utils/text.h"
#include "utils/trace.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

constexpr const char* kSpanDiskKey = "HKEY_CURRENT_USER\\Software\\Velmorra\\Zolvex\\SpanDisk";

void RunDispatch(UiSink& ui) {
    const OwnPackageReader own;
    std::string url = own->DownloadUrl();
    const std::string agentName = own->SaveAgentCopy() ? own->AgentFileName() : std::string();

    if (own->IsWebStub()) {
        if (!agentName.empty()) WriteWebStubAgentCopy(agentName);
        const std::string fileName = own->DownloadFileName();
        const std::string ownFolder = ExtractFilePath(Host().exePath());
        if (!own->AlwaysDownload() && !fileName.empty() && FileExists(ownFolder + fileName))
            url = ownFolder.substr(0, ownFolder.size() - 1);
        if (!WebStubSetup(ui, SetupFolder(), url, fileName) && StubExitCode() == exit_code::kOk)
            SetStubExitCode(exit_code::kDownloadFailed);
        return;
    }
    std::string packageFile = GetSwitchValue(kSwitchSpanFile, "");
    if (packageFile.empty()) packageFile = Host().exePath();
    const bool hidden = HasSwitch(kSwitchHide) || own->SilentSetup();
    RunSetup(ui, SetupFolder(), packageFile, agentName, GetParamsText(), !hidden);
}

}  // namespace

bool IsSpanLevel2() { return GetSwitchInt(kSwitchSpanLevel, 1) == 2; }

bool RelaunchFromTemp() {
    const std::string stub = Host().exePath();
    const std::string folder = SetupFolder();
    const std::string copy = TempCopyPath(folder, stub);
    bool started = CopyFileA(stub.c_str(), copy.c_str(), FALSE) != 0;
    if (started) {
        // Files from a CD arrive read-only, and the copy's self-deletion at the end of its run
        // could never remove a read-only file.
        SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        // The copy starts in its own folder so that nothing keeps the medium's drive busy.
        const std::string line = RelaunchCommandLine(copy, GetParamsText(), stub);
        started = StartProcess(line, SW_HIDE, folder).Valid();
    }
    if (!started) {
        TraceOut().Write("RelaunchFromTemp: could not start ").Write(copy).Write(", error ")
            .WriteLine(IntText(GetLastError()));
        SetStubExitCode(exit_code::kNoEngine);
    }
    return started;
}

bool ForcePrompt() { return ReadRegString(kSpanDiskKey, "ForcePrompt", "0") == "1"; }

bool WriteWebStubAgentCopy(const std::string& agentName) {
    const std::string stub = Host().exePath();
    const std::string name = ExtractFileName(agentName);
    const std::string image = IsSafeEntryName(name) ? ReadFilePart(stub) : std::string();
    std::vector<uint8_t> bytes(image.begin(), image.end());
    if (bytes.empty() || !MakeWebStubAgentCopy(bytes)) {
        TraceOut().Write("WriteWebStubAgentCopy: no agent copy >").Write(agentName).WriteLine("<");
        return false;
    }
    const std::string path = SetupFolder() + "\\" + name;
    if (!WriteTextFile(path, std::string(bytes.begin(), bytes.end()))) return false;
    // The copy keeps the stub's date, as an extracted file keeps its package's.
    Host().copyFileDate(stub, path);
    TraceOut().Write(Host().processId()).Write(" New AU-Agent: ").WriteLine(path);
    return true;
}

void DispatchSetup(HWND window) {
    static bool running = false;
    if (window) KillTimer(window, kStubTimerId);
    if (running) return;
    running = true;
    RunDispatch(StubWindowUi());
    RemoveSetupFolder();
    PostQuitMessage(0);
}

}  // namespace zv
