// Macros in configured paths and values ("<InstallDir>\App.exe", "<WinDir>", "<Date=6>",
// "<UserName>"), expanded on the machine where the agent runs.
#pragma once
#include <string>

#include "utils/text.h"

namespace zv {

// The folders of the installation, kept for the rest of the process.
void SetInstallDirs(const std::string& installDir, const std::string& commonDir,
                    const std::string& auxDir);

// Every occurrence of macro (any case) becomes folder + suffix. The suffix is left off when the
// first occurrence ends the text, is followed by a blank, or is followed by the delimiter of a
// delimited list of folders (the text's first and last character, neither "<" nor a letter).
std::string ReplaceDirMacro(const std::string& text, const std::string& macro,
                            const std::string& folder, const std::string& suffix);

// The agent calls it with the suffix "\", resolveDots and withFolders.
std::string ExpandMacros(const std::string& text, const std::string& folderSuffix,
                         bool resolveDots, bool withFolders);

// Every run of backslashes after the first character and before the last pair becomes one; a
// backslash that is the trail byte of a double-byte character, and a pair right after the
// delimiter of a delimited list, are kept.
std::string CollapseBackslashes(const std::string& path);

// The date of "<Date=c>" for code c ("#" or "0".."7"); "" for any other code.
std::string DateMacroText(char code, const DateParts& now);

}  // namespace zv
