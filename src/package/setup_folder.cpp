#include "package/setup_folder.h"

#include <cstdio>

#include "utils/text.h"

namespace zv {
namespace {

constexpr char kProbeFile[] = "\\~aa.tmp";
constexpr int64_t kRandomLow = 10000;
constexpr int64_t kRandomHigh = 100000;
// A random name that is taken is drawn again, a few times, before the probe gives the drive up:
// whatever holds that name belongs to someone else and is never deleted.
constexpr int kNameAttempts = 8;

}  // namespace

std::string WithBackslash(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path + "\\";
}

std::string SetupFolderName(const std::string& tempPath, uint32_t exeDosDateTime) {
    return WithBackslash(tempPath) + "SETUP_" + IntText(exeDosDateTime & 0xFFFFu);
}

std::string SetupFolders::SetupFolder() {
    if (setupFolder_.empty()) {
        const std::string name = SetupFolderName(fs_.TempPath(), fs_.ExeFileDateTime());
        // Extraction appends to existing files, so an older run's leftovers must go first.
        if (fs_.FolderExists(name)) fs_.DeleteTree(name);
        fs_.CreateFolder(name);
        setupFolder_ = name;
    }
    return setupFolder_;
}

double SetupFolders::ProbeDrive(char letter) {
    const std::string root = std::string(1, letter) + ":\\TEMP";
    std::string probe = root;
    if (fs_.FolderExists(root)) {
        probe.clear();
        for (int i = 0; i < kNameAttempts && probe.empty(); ++i) {
            const std::string candidate =
                root + "\\TEMP" + IntText(fs_.Random(kRandomLow, kRandomHigh));
            if (!fs_.FolderExists(candidate)) probe = candidate;
        }
        if (probe.empty()) return 0;
    }
    fs_.CreateFolder(probe);
    const std::string file = probe + kProbeFile;
    fs_.WriteFile(file, "aa");
    const double free = fs_.FileExists(file) ? fs_.FreeSpace(probe) : 0;
    fs_.DeleteTree(probe);
    return free;
}

bool SetupFolders::FindTempRoot() {
    if (!tempRoot_.empty()) return true;
    const std::string temp = UpperCase(fs_.TempPath());
    const char tempLetter = temp.empty() ? '\0' : temp[0];
    char choice = tempLetter;
    double best = 0;
    // Ties keep the earlier letter: only strictly more room replaces the choice.
    for (char letter : {'C', 'D', 'E'}) {
        if (!fs_.IsFixedDrive(letter)) continue;
        const double free = ProbeDrive(letter);
        if (free > best) {
            best = free;
            choice = letter;
        }
    }
    if (choice != tempLetter) {
        tempRoot_ = std::string(1, choice) + ":\\TEMP";
        if (fs_.FolderExists(tempRoot_)) tempRoot_ += "\\TEMP";
    }
    return !tempRoot_.empty();
}

std::string SetupFolders::AlternateSetupFolder() {
    if (alternate_.empty() && !tempRoot_.empty()) {
        const std::string name =
            tempRoot_ + "_" + IntText(fs_.Random(kRandomLow, kRandomHigh));
        if (fs_.FolderExists(name)) fs_.DeleteTree(name);
        fs_.CreateFolder(name);
        alternate_ = name;
    }
    return alternate_;
}

void SetupFolders::RemoveAlternateSetupFolder() {
    const std::string name = AlternateSetupFolder();
    if (!name.empty()) fs_.DeleteTree(name);
}

std::string MegabyteText(double bytes) {
    double mb = bytes > 0 ? bytes / 1048576.0 : 0.0;
    const int decimals = mb > 10 ? 1 : (mb >= 1 ? 2 : 3);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, mb);
    return buffer;
}

std::string DriveText(const std::string& folder) {
    if (folder.empty()) return {};
    return UpperCase(folder.substr(0, 1)) + ":";
}

std::string TempSpaceMessage(const std::string& folder, double required, double available,
                             bool showNotice, const TempSpaceTexts& texts) {
    std::string message;
    if (showNotice) message = texts.notice;
    if (required >= available) message = texts.shortage;
    if (message.empty()) return {};
    message += texts.required + texts.available + texts.question;
    message = ReplaceAll(message, "<DRIVE>", DriveText(folder));
    message = ReplaceAll(message, "<SPACE_REQ>", MegabyteText(required));
    return ReplaceAll(message, "<SPACE_AVAIL>", MegabyteText(available));
}

}  // namespace zv
