// Seams between the portable core and the process it runs in.
// The Win32 layer installs real providers at start-up (utils/win/win_env.h); tests install fakes.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

struct HostEnv {
    // Full process command line, as GetCommandLineA returns it.
    std::string (*commandLine)() = nullptr;
    // Full path of the running executable, as the process knows it.
    std::string (*exePath)() = nullptr;
    // Pumps pending window messages (no-op natively).
    void (*pumpMessages)() = nullptr;
    // Milliseconds from a monotonic high-resolution clock.
    double (*milliseconds)() = nullptr;
    // Current local time as a day count since 1899-12-30 (with the day's fraction).
    double (*now)() = nullptr;
    // Milliseconds since system start in 32 bits: wraps after 49.7 days, so compare differences.
    uint32_t (*tickCount)() = nullptr;
    uint32_t (*processId)() = nullptr;
    // Upper-cases one ANSI text with the system's rules (ASCII-only natively).
    std::string (*upperCase)(const std::string&) = nullptr;
    // Locale's date and time separators.
    char (*dateSeparator)() = nullptr;
    char (*timeSeparator)() = nullptr;
};

// The active providers; never null members (portable defaults are filled in).
const HostEnv& Host();
// Replaces the providers whose members are non-null; returns the previous set.
HostEnv SetHost(const HostEnv& env);

// Test helper: overrides command line and executable path for the lifetime of the object.
class ScopedCommandLine {
public:
    ScopedCommandLine(std::string commandLine, std::string exePath);
    ~ScopedCommandLine();
    ScopedCommandLine(const ScopedCommandLine&) = delete;
    ScopedCommandLine& operator=(const ScopedCommandLine&) = delete;

private:
    HostEnv saved_;
};

}  // namespace zv
