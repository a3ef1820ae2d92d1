// The agent copy's world in memory: the settings machine of agent_settings_fixture.h plus a
// scripted platform (files, downloads, boxes with answers, processes, the setup driver) and a UI
// sink that record what the cycle did, in order, in the platform's one log.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "agent_settings_fixture.h"
#include "autoupdate/update_cycle.h"
#include "package/package_layout.h"
#include "package_test_builder.h"

namespace zv {
namespace cycle_fixture {

using agent_fixture::M;

constexpr const char* kToken = "own-update-token-0123456789";

struct FakePlatform : AgentPlatform {
    std::map<std::string, std::string> files;              // upper-case path -> content
    struct Reply {
        std::string error, data;
    };
    std::map<std::string, Reply> http;                     // url -> reply
    std::map<std::string, std::string> tokens;             // upper-case path -> package token
    std::set<std::string> running;                         // upper-case program paths
    bool endsOnClose = true;                               // close/quit/terminate end it
    bool connected = true;
    bool startSucceeds = true;
    bool setupResult = true;
    std::deque<bool> answers;                              // box answers; true when empty
    std::vector<std::string> events;
    std::function<void()> onWait;                          // runs inside every Wait
    std::function<void()> onBox;                           // runs inside every box

    static std::string U(const std::string& s) { return AsciiUpper(s); }
    void Event(const std::string& e) { events.push_back(e); }
    bool Has(const std::string& e) const {
        for (const auto& x : events)
            if (x == e) return true;
        return false;
    }
    bool HasPrefix(const std::string& p) const {
        for (const auto& x : events)
            if (x.compare(0, p.size(), p) == 0) return true;
        return false;
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> out;
        for (const auto& x : events)
            if (x.compare(0, 4, "box ") == 0) out.push_back(x);
        return out;
    }

    // An info file written: its keys become the machine's ini values of that file.
    void StoreIni(const std::string& path, const std::string& data) {
        const std::string prefix = agent_fixture::Key(path, "", "").substr(0, U(path).size() + 1);
        for (auto it = M().ini.begin(); it != M().ini.end();)
            it = it->first.compare(0, prefix.size(), prefix) == 0 ? M().ini.erase(it) : std::next(it);
        std::string section;
        size_t at = 0;
        while (at < data.size()) {
            size_t end = data.find('\n', at);
            if (end == std::string::npos) end = data.size();
            std::string line = Trim(data.substr(at, end - at));
            at = end + 1;
            if (line.size() > 2 && line[0] == '[') {
                section = line.substr(1, line.size() - 2);
            } else if (line.find('=') != std::string::npos) {
                M().ini[agent_fixture::Key(path, section, line.substr(0, line.find('=')))] =
                    line.substr(line.find('=') + 1);
            }
        }
    }

    bool FileExists(const std::string& path) override { return files.count(U(path)) > 0; }
    bool CopyFileBounded(const std::string& from, const std::string& to, int64_t max) override {
        Event("copy " + from + " -> " + to);
        auto it = files.find(U(from));
        if (it == files.end() || (max > 0 && int64_t(it->second.size()) > max)) return false;
        files[U(to)] = it->second;
        if (tokens.count(U(from))) tokens[U(to)] = tokens[U(from)];
        return true;
    }
    bool ReadFileBounded(const std::string& path, int64_t max, std::string& data) override {
        auto it = files.find(U(path));
        if (it == files.end()) return false;
        if (max > 0 && int64_t(it->second.size()) > max) {
            if (max >= 1000) return false;
            data = it->second.substr(0, size_t(max));
            return true;
        }
        data = it->second;
        return true;
    }
    bool WriteFileAtomic(const std::string& path, const std::string& data) override {
        Event("write " + path);
        files[U(path)] = data;
        StoreIni(path, data);
        return true;
    }
    bool RemoveFile(const std::string& path) override {
        Event("delete " + path);
        return files.erase(U(path)) > 0;
    }
    bool InternetConnected(std::string& error) override {
        if (!connected) error = "no route";
        return connected;
    }
    std::string HttpDownload(UiSink&, bool, const std::string& url, const std::string& target,
                             int64_t, std::string& data) override {
        Event("http " + url + (target.empty() ? std::string() : " -> " + target));
        auto it = http.find(url);
        if (it == http.end()) return url + " --- File Not Found !";
        if (target.empty()) {
            data = it->second.data;
        } else if (it->second.error.empty()) {
            files[U(target)] = it->second.data;
            if (tokens.count(U(url))) tokens[U(target)] = tokens[U(url)];
        }
        return it->second.error;
    }
    void Wait(uint32_t ms) override {
        Event("wait " + std::to_string(ms));
        if (onWait) onWait();
    }
    void NotifyClient(int32_t code, int32_t value) override {
        Event("notify " + std::to_string(code) + " " + std::to_string(value));
    }
    void PostQuit() override { Event("quit"); }
    void DestroyAgentWindow() override { Event("destroy"); }
    void SetMsgBoxFont(const std::string&, int, int) override {}
    bool ShowBox(AgentBox kind, int mode, const std::string& text) override {
        const char* names[] = {"Error", "Attention", "Confirm"};
        Event("box " + std::string(names[int(kind)]) + " " + std::to_string(mode) + " " + text);
        if (onBox) onBox();
        if (answers.empty()) return true;
        const bool a = answers.front();
        answers.pop_front();
        return kind == AgentBox::Confirm ? a : true;
    }
    InformDialogArgs inform;
    bool informResult = true;
    bool ShowInformDialog(const InformDialogArgs& args) override {
        Event("inform " + args.text);
        inform = args;
        return informResult;
    }
    bool IsProgramRunning(const std::string& path) override { return running.count(U(path)) > 0; }
    void End(const std::string& path) {
        if (endsOnClose) running.erase(U(path));
    }
    bool CloseProgram(const std::string& path) override {
        Event("close " + path);
        End(path);
        return true;
    }
    bool QuitProgram(const std::string& path) override {
        Event("quitprog " + path);
        End(path);
        return true;
    }
    bool TerminateProgram(const std::string& path) override {
        Event("terminate " + path);
        End(path);
        return true;
    }
    bool WaitProgramEnd(const std::string& path, uint32_t ms) override {
        Event("waitend " + path + " " + std::to_string(ms));
        return !IsProgramRunning(path);
    }
    bool StartProgram(const std::string& command, bool show) override {
        Event("start " + command + (show ? " show" : " hide"));
        return startSucceeds;
    }
    bool RunSetup(UiSink&, const std::string& file, const std::string& agent,
                  const std::string& tail, bool foreground) override {
        Event("setup " + file + " " + agent + " " + tail + (foreground ? " fg" : " bg"));
        return setupResult;
    }
    std::string PackageUpdateToken(const std::string& path) override {
        auto it = tokens.find(U(path));
        return it == tokens.end() ? std::string() : it->second;
    }
};

// The stub window's side of the cycle, logged among the platform's calls so a test sees the
// window shown around the copy it covers. Clearing the abort flag is only logged: a flag a test
// sets stands for the user closing the window during the download that follows the clearing.
struct FakeUi : UiSink {
    explicit FakeUi(FakePlatform& log) : log_(log) {}
    bool abort = false;

    void SetStatusText(const std::string& text, const std::string&, int, int) override {
        log_.Event("status " + text);
    }
    void Progress(int kind, int32_t, uint16_t range, const std::string&, int32_t,
                  int32_t) override {
        log_.Event(kind == 0 ? "progress init " + std::to_string(range) : "progress step");
    }
    void Show(bool show) override { log_.Event(show ? "show" : "hide"); }
    bool AbortRequested() override { return abort; }
    void ClearAbortRequested() override { log_.Event("clear abort"); }

private:
    FakePlatform& log_;
};

// The agent copy C:\Agent\X_Agent.exe of a package whose update address is http://upd.test/app,
// whose info file is App.info and whose agent is Agent.exe.
class CycleTest : public agent_fixture::AgentSettingsTest {
protected:
    CycleTest() : copyLine_("\"C:\\Agent\\X_Agent.exe\"", "C:\\Agent\\X_Agent.exe") {}

    void SetUp() override {
        AgentSettingsTest::SetUp();
        UsePackage("http://upd.test/app");
    }
    void TearDown() override {
        OwnPackage = nullptr;
        AgentSettingsTest::TearDown();
    }

    void UsePackage(const std::string& updateUrl, const std::string& token = kToken) {
        OwnPackage = nullptr;
        testpkg::PackageBuilder b;
        HeaderFields h{updateUrl, "App.info", "Agent.exe",
                       token.empty() ? std::string() : ScrambleToken(token, 5)};
        b.header = h.Encode();
        image_ = std::make_unique<MemoryFile>(b.Build());
        own_ = std::make_unique<TGFileInfo>(*image_);
        OwnPackage = own_.get();
        original_ = OriginalFilePath();
        info_ = InfoFilePath();
    }

    // The .original of an installed version 3, probed long ago.
    void Installed(int version = 3) {
        Original("VersionOriginal", std::to_string(version));
        Original("ProgramName", "App");
    }
    // A release description as the server sends it.
    static std::string Release(const std::string& newSetupLines, const std::string& more = "") {
        return "[NewSetup]\nDownloadURL_UPDATE=http://upd.test/app\nNameOfUpdateFile=AppUpd.exe\n"
               "VersionNew=4\nStamp=77\n" + newSetupLines + more;
    }
    void Serve(const std::string& info) { p.http["http://upd.test/app/App.info"] = {"", info}; }
    void ServeUpdate(const std::string& token = kToken, const std::string& name = "AppUpd.exe") {
        const std::string url = "http://upd.test/app/" + name;
        p.http[url] = {"", "MZ update"};
        p.tokens[AsciiUpper(url)] = token;
    }

    FakePlatform p;
    FakeUi ui{p};
    UpdateCycle cycle{p, ui, Agent()};

private:
    ScopedCommandLine copyLine_;
    std::unique_ptr<MemoryFile> image_;
    std::unique_ptr<TGFileInfo> own_;
};

}  // namespace cycle_fixture
}  // namespace zv
