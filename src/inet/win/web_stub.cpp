// Stand-in until the download flow lands: a web stub ends cleanly as a failed download.
#include "inet/win/web_stub.h"

#include "package/setup_exit.h"
#include "utils/trace.h"

namespace zv {

bool WebStubSetup(const std::string& folder, const std::string& url, const std::string& fileName) {
    TraceOut().Write("WebStubSetup: download not available >").Write(url).Write("< >")
        .Write(fileName).Write("< >").Write(folder).WriteLine("<");
    SetStubExitCode(exit_code::kDownloadFailed);
    return false;
}

}  // namespace zv
