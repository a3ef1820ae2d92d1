// Text of the batch file that removes the stub's executable (and optionally its folder) once the
// process has ended. Built here so that its exact lines do not depend on Windows.
#pragma once
#include <string>

namespace zv {

constexpr const char* kSelfDeleteBatchName = "_DEL_ME_.BAT";

// tempDir with or without its trailing backslash; the batch always sits directly inside it.
std::string SelfDeleteBatchPath(const std::string& tempDir);

// A path in double quotes for a batch line. "%" is doubled: the command interpreter would
// otherwise expand "%name%" inside the path and act on a different file.
std::string BatchQuote(const std::string& path);

// The folder part of exePath without a trailing backslash ("" when there is none).
std::string ExecutableFolder(const std::string& exePath);

// Lines, each ended by CR LF: loop until the executable is gone, optionally remove its folder
// (never a drive or share root), then delete the batch itself.
std::string SelfDeleteBatchText(const std::string& exePath, const std::string& batchPath,
                                bool removeFolder);

}  // namespace zv
