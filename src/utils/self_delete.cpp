#include "utils/self_delete.h"

namespace zv {
namespace {

// "D:", "D:\", "\", "\\server\share" and "" name a root that must never be the target of RD.
bool IsRootFolder(const std::string& folder) {
    if (folder.empty() || folder == "\\") return true;
    if (folder.size() <= 3 && folder[1] == ':') return true;
    if (folder.compare(0, 2, "\\\\") == 0) {
        size_t server = folder.find('\\', 2);
        if (server == std::string::npos) return true;
        size_t share = folder.find('\\', server + 1);
        return share == std::string::npos || share + 1 == folder.size();
    }
    return false;
}

}  // namespace

std::string SelfDeleteBatchPath(const std::string& tempDir) {
    std::string dir = tempDir;
    while (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir + "\\" + kSelfDeleteBatchName;
}

std::string BatchQuote(const std::string& path) {
    std::string out = "\"";
    for (char c : path) {
        out += c;
        if (c == '%') out += '%';
    }
    return out + "\"";
}

std::string ExecutableFolder(const std::string& exePath) {
    size_t slash = exePath.find_last_of('\\');
    if (slash == std::string::npos) return "";
    return exePath.substr(0, slash);
}

std::string SelfDeleteBatchText(const std::string& exePath, const std::string& batchPath,
                                bool removeFolder) {
    const std::string crlf = "\r\n";
    const std::string exe = BatchQuote(exePath);
    std::string text = ":START" + crlf;
    text += "DEL " + exe + crlf;
    text += "IF exist " + exe + " GOTO START" + crlf;
    const std::string folder = ExecutableFolder(exePath);
    if (removeFolder && !IsRootFolder(folder)) text += "RD " + BatchQuote(folder) + crlf;
    text += "DEL " + BatchQuote(batchPath) + crlf;
    return text;
}

}  // namespace zv
