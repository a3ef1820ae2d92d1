// DownloadFileAU: the one downloader of the agent, for the info, update and inform files.
#include "autoupdate/update_cycle.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "inet/comm_utils.h"
#include "package/gfile_info.h"
#include "utils/platform.h"
#include "utils/run_log.h"
#include "utils/text.h"
#include "utils/trace.h"

namespace zv {

namespace {

constexpr const char* kBadToken = "Bad Secret Token!";

bool PathRouteAllowedFor(const std::string& ownUrl) {
    const TestModeState& test = AgentTestMode();
    return test.TestMode ? IsPathAddress(test.TestModeURL) : IsPathAddress(ownUrl);
}

// An info file that arrived complete and is a description, not a server's error page.
bool StoreInfoFile(AgentPlatform& p, const std::string& target, const std::string& data) {
    if (!p.WriteFileAtomic(target, data)) {
        WriteRunLog("ERROR: cannot write " + target);
        return false;
    }
    return true;
}

}  // namespace

bool UpdateCycle::DownloadFileAU(const std::string& base0, const std::string& name0, int kind,
                                 std::string& error) {
    bool result = false;
    std::string data;
    error.clear();
    const std::string name = ExtractFileName(name0);
    const TestModeState& test = AgentTestMode();
    const std::string base = test.TestMode ? test.TestModeURL : base0;
    std::string path = base + "\\" + name;
    TraceOut().Write(Host().processId()).Write(" DownloadFileAU: ").WriteLine(path);
    WriteRunLog("TestMode=" + BoolText(test.TestMode));
    WriteRunLog("Download START: " + path);

    // One path for the whole life of the file: download, token check, installation, deletion.
    std::string local;
    if (kind == kInfoDownload) {
        local = InfoFilePath();
    } else if (kind == kUpdateDownload || kind == kInformDownload) {
        local = AgentDownloadPath(name0);
        if (local.empty()) {
            WriteRunLog("ERROR: refused file name: " + name0);
            WriteRunLog("Download END:   " + path);
            return false;
        }
    } else {
        return false;
    }

    const bool show = kind == kUpdateDownload && InfoFile::RequestConfirmationBeforeDownload() &&
                      a_.ManualCheckState != 1;
    if (show) ui_.Show(true);
    SetStatusText(kind);

    const std::string ownUrl = OwnPackage ? OwnPackage->UpdateUrl() : std::string();
    const int64_t cap = kind == kInfoDownload     ? kMaxInfoFileBytes
                        : kind == kInformDownload ? kMaxInformFileBytes
                                                  : 0;
    bool fetched = false;
    std::string systemError;
    if (IsPathAddress(base) && !PathRouteAllowedFor(ownUrl)) {
        WriteRunLog("ERROR: path address not allowed: " + path);
        error = path + " --- path address not allowed";
    } else if (IsPathAddress(base) && p_.FileExists(path)) {
        if (kind == kInfoDownload) {
            fetched = p_.ReadFileBounded(path, cap, data);
            if (!fetched) error = path + " --- File too large or unreadable";
        } else {
            fetched = p_.CopyFileBounded(path, local, cap);
            if (!fetched) error = path + " --- File too large or unreadable";
            if (fetched && show) {
                ui_.Progress(0, 0, 10, "", 1, 0);
                for (int i = 0; i < 10; ++i) {
                    ui_.Progress(1, 0, 0, "", 0, 0);
                    p_.Wait(300);
                }
                ui_.Progress(0, 0, 0, "", 0, 0);
            }
        }
    } else if (!test.TestMode && p_.InternetConnected(systemError)) {
        p_.Wait(500);
        path = base + "/" + name;
        ui_.ClearAbortRequested();
        error = p_.HttpDownload(ui_, a_.ManualCheckState == 1, path,
                                kind == kInfoDownload ? std::string() : local, cap, data);
        fetched = error.empty();
        if (kind == kInfoDownload && cap > 0 && int64_t(data.size()) > cap) {
            error = path + " --- File too large";
            fetched = false;
        }
        p_.Wait(500);
    } else if (kind != kInfoDownload) {
        // Nothing was fetched: no older file of that name may pass for this download.
        error = path + " --- File Not Found !";
    }

    if (show) ui_.Show(false);
    WriteRunLog("Download END:   " + path);

    if (kind == kInfoDownload) {
        if (error.empty() && !data.empty()) error = HtmlErrorMessage("", data, path, false, "");
        result = error.empty() && !data.empty() && fetched;
        // The previous description stays until a complete new one arrived.
        if (result) result = StoreInfoFile(p_, local, data);
        if (StartsWith("3", error, false)) error.clear();
        return result;
    }

    if (error.empty()) {
        result = true;
        if (!CheckDownloadToken(local, kind)) {
            result = false;
            std::string content;
            p_.ReadFileBounded(local, 1000, content);
            const std::string message =
                HtmlErrorMessage("", content, path, false, kBadToken);
            p_.RemoveFile(local);
            WriteRunLog("ERROR: " + message);
            Box(AgentBox::Error, 0, message);
        }
    } else {
        // Whatever arrived in part is not kept under the checked name.
        p_.RemoveFile(local);
        if (path.size() > 2 && InfoFile::RequestConfirmationBeforeDownload()) {
            std::string message;
            if (ui_.AbortRequested())
                message = AgentMessage("s3");
            else if (path[1] == ':' || StartsWith("\\\\", path, false))
                message = path + "<P><P>" + AgentMessage("s4");
            else
                message = path + "<P><P>" + AgentMessage("s5");
            WriteRunLog("ATTENTION: " + message);
            Box(AgentBox::Attention, 0, message);
        }
    }
    return result;
}

}  // namespace zv
