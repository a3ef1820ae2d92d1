// The one rule for file names taken from a package: what the packager accepts at build time and
// `verify` passes is exactly what the stub's extraction writes, and both give the same reason
// for a name they refuse.
#pragma once
#include <cstddef>
#include <string>

namespace zv {

// Longest entry name in bytes: the longest file name Windows takes in one path component.
constexpr size_t kMaxEntryName = 255;

// Why `name` cannot be written as a file directly inside the destination folder; empty when it
// can. Refused: empty names, "." and "..", names above kMaxEntryName bytes, control characters,
// folder and drive separators, characters Windows refuses, trailing dots and blanks (Windows drops
// them, so "a." would land on "a"), and device names with or without an extension.
std::string EntryNameProblem(const std::string& name);

// True when EntryNameProblem finds nothing.
bool IsSafeEntryName(const std::string& name);

// CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM0..COM9 and LPT0..LPT9 (and COM/LPT with the
// ANSI superscript digits 1, 2, 3), in any letter case, also when an extension or blanks follow.
bool IsDeviceName(const std::string& name);

}  // namespace zv
