// The reading commands of the packager: info, list, verify, extract. Each returns the process
// exit code (0 fine, 1 a damaged or unreadable package) and writes problems to `err`.
#pragma once
#include <ostream>
#include <string>

namespace zv::pack {

struct ReadOptions {
    bool progress = false;  // draw a bar on `err` for big packages
};

int InfoCommand(const std::string& path, std::ostream& out, std::ostream& err);
int ListCommand(const std::string& path, std::ostream& out, std::ostream& err);
int VerifyCommand(const std::string& path, std::ostream& out, std::ostream& err,
                  const ReadOptions& options = {});
int ExtractCommand(const std::string& path, const std::string& folder, std::ostream& out,
                   std::ostream& err, const ReadOptions& options = {});

}  // namespace zv::pack
