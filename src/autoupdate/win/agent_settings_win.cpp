#include "autoupdate/win/agent_settings_win.h"

#include "autoupdate/agent_state.h"
#include "autoupdate/update_decision.h"
#include "autoupdate/update_files.h"
#include "inet/win/inet_http.h"

namespace zv {
namespace {

bool Win32InternetConnected() { return IsInternetConnected(); }

int64_t Win32HttpFileSize(const std::string& url) {
    const int32_t size = HTTP_GetFileSize(url);
    // The content length is an unsigned 32-bit count; only -1 means "unknown".
    return size == -1 ? -1 : int64_t(uint32_t(size));
}

}  // namespace

void FillWin32Network(Platform& p) {
    p.internetConnected = &Win32InternetConnected;
    p.httpFileSize = &Win32HttpFileSize;
}

void InstallWin32AgentSettings() { SetAgentIni(&UpdateFilesAgentIni()); }

}  // namespace zv
