// The packager's command line: `zolvex-pack build|info|list|verify|extract ...`.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zv::pack {

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;  // bad description, unreadable or damaged package
constexpr int kExitUsage = 2;   // the command line itself is wrong

// What the command line needs from its process, passed in so that tests can pin it.
struct CliEnvironment {
    int64_t now = 0;             // seconds since 1970
    bool haveEpoch = false;      // SOURCE_DATE_EPOCH was set (and valid)
    int64_t epoch = 0;
    std::string epochError;      // SOURCE_DATE_EPOCH set but not a number
    bool stderrIsTerminal = false;
};
CliEnvironment ProcessEnvironment();

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliEnvironment& env);

std::string UsageText();

}  // namespace zv::pack
