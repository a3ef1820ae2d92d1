// Win32 implementation of the extraction engine's file-system seam (package/extract_fs.h).
#pragma once

namespace zv {

// Makes the extraction engine create folders, date files, measure sizes and free space and word
// errors through the Windows API. Call once at start-up.
void InstallWin32ExtractFs();

}  // namespace zv
