#include "utils/host_env.h"

#include <chrono>
#include <ctime>

#include "utils/text.h"
#ifdef __linux__
#include <unistd.h>

#include <fstream>
#endif

namespace zv {
namespace {

std::string NativeCommandLine() {
#ifdef __linux__
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (char& c : all)
        if (c == '\0') c = ' ';
    while (!all.empty() && all.back() == ' ') all.pop_back();
    return all;
#else
    return {};
#endif
}

std::string NativeExePath() {
#ifdef __linux__
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) return std::string(buf, size_t(n));
#endif
    return {};
}

void NoPump() {}

double SteadyMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

double LocalNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    // Days from 1899-12-30 to 1970-01-01 are 25569.
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &t);
#else
    gmtime_r(&t, &utc);
#endif
    double local = double(t) + double(std::mktime(&tm) - std::mktime(&utc));
    return 25569.0 + local / 86400.0;
}

uint32_t SteadyTickCount() { return uint32_t(uint64_t(SteadyMilliseconds())); }

uint32_t NativeProcessId() {
#ifdef __linux__
    return uint32_t(getpid());
#else
    return 0;
#endif
}

char Slash() { return '/'; }
char Colon() { return ':'; }

HostEnv Defaults() {
    HostEnv e;
    e.commandLine = &NativeCommandLine;
    e.exePath = &NativeExePath;
    e.pumpMessages = &NoPump;
    e.milliseconds = &SteadyMilliseconds;
    e.now = &LocalNow;
    e.tickCount = &SteadyTickCount;
    e.processId = &NativeProcessId;
    e.upperCase = [](const std::string& text) { return AsciiUpper(text); };
    e.dateSeparator = &Slash;
    e.timeSeparator = &Colon;
    return e;
}

HostEnv& Active() {
    static HostEnv env = Defaults();
    return env;
}

// Test override storage for ScopedCommandLine.
std::string g_cmd, g_exe;
std::string OverrideCmd() { return g_cmd; }
std::string OverrideExe() { return g_exe; }

}  // namespace

const HostEnv& Host() { return Active(); }

HostEnv SetHost(const HostEnv& env) {
    HostEnv old = Active();
    HostEnv& a = Active();
    if (env.commandLine) a.commandLine = env.commandLine;
    if (env.exePath) a.exePath = env.exePath;
    if (env.pumpMessages) a.pumpMessages = env.pumpMessages;
    if (env.milliseconds) a.milliseconds = env.milliseconds;
    if (env.now) a.now = env.now;
    if (env.tickCount) a.tickCount = env.tickCount;
    if (env.processId) a.processId = env.processId;
    if (env.upperCase) a.upperCase = env.upperCase;
    if (env.dateSeparator) a.dateSeparator = env.dateSeparator;
    if (env.timeSeparator) a.timeSeparator = env.timeSeparator;
    return old;
}

ScopedCommandLine::ScopedCommandLine(std::string commandLine, std::string exePath) {
    g_cmd = std::move(commandLine);
    g_exe = std::move(exePath);
    HostEnv e;
    e.commandLine = &OverrideCmd;
    e.exePath = &OverrideExe;
    saved_ = SetHost(e);
}

ScopedCommandLine::~ScopedCommandLine() { SetHost(saved_); }

}  // namespace zv
