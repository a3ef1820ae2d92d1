// File, folder and disk operations that need the Win32 API. Whole-file reads and writes are in
// utils/files.h. None of these functions throws.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "utils/files.h"

namespace zv {

// Asked once per subfolder; setting abort stops the deletion.
using DeleteTreeFn = std::function<void(bool& abort)>;

// Size from the file's directory entry (any attributes); 0 when there is no such file.
// Wildcards are refused: they would measure whichever file matched first.
int64_t GetFileSize64(const std::string& path);

// Free bytes available to the caller on the disk of path; 0 on failure.
double GetFreeDiskSpace(const std::string& path);

// Deletes every file (not folder) that matches mask, optionally clearing read-only, hidden and
// system attributes first. True when at least one file matched.
bool DeleteFiles(const std::string& mask, bool clearAttributes);

// Deletes folder with everything in it, yielding to the window after each entry. Links to other
// folders (junctions, symbolic links) are removed, never followed. A drive root or an empty
// path is refused. True when the folder existed and is gone.
bool DeleteTree(const std::string& folder, bool clearAttributes,
                const DeleteTreeFn& callback = nullptr);

// Last action of a run: writes and starts (hidden) the batch that deletes the running
// executable once it has exited, and with removeFolder its folder.
void DeleteMySelf(bool removeFolder);

// Ejects the medium of path's drive when it is a CD drive.
bool EjectCD(const std::string& path);

// The user's temporary folder without trailing backslash.
std::string TempFolder();

}  // namespace zv
