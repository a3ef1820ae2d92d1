// System-side helpers of the utility library: version resources, standard folders, AutoPlay
// suppression, screen scaling, shell opening, error texts and run-time function lookup.
#pragma once
#include <windows.h>

#include <string>

#include "utils/win/unique_owner.h"

namespace zv {

// Fixed file version "a.b.c.d" of file's version resource ("" = the running executable); passed
// through NormalizeVersion when width > 1 or parts < 4. "" (and a trace line) when there is none.
std::string GetExeVersion(const std::string& file = "", int width = 1, int parts = 4);
// The "ProductVersion" string with "," read as ".", normalized under the same condition.
std::string GetProductVersion(const std::string& file = "", int width = 1, int parts = 4);
// A string of the version resource in its first language and code page; "" on any failure.
std::string GetFileVersionString(const std::string& file, const std::string& name);

std::string GetWinDir(bool addBackslash);
std::string GetSysDir(bool addBackslash);
std::string GetTempDir(bool addBackslash);

// While on, window procedures answer 1 to AutoPlayMessage() so that the shell starts no AutoPlay
// for an inserted disk. The number is 0 while off.
void SetAutoPlaySuppression(bool on);
UINT AutoPlayMessage();

// Points to pixels at the screen's vertical resolution (read once).
int ScalePoints(int points);

// Opens a file or address through the shell, the desktop as parent.
bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand);

// The system's text for the thread's last error code.
std::string LastErrorText();
// The system's text for an error code, trimmed; "" when the system has none.
std::string SystemErrorText(DWORD code);


struct LoadedProc {
    UniqueModule library;       // unloaded with this object unless released
    FARPROC proc = nullptr;     // nullptr when the library did not load or lacks the function
};

// A bare library name is taken from the system folder only; a path is loaded as given.
LoadedProc LoadProc(const std::string& library, const std::string& function);

// Makes NormalizeDir and StripTrailingBackslash keep a backslash that is the trail byte of a
// double-byte character under the system's ANSI code page. Call once at start-up.
void InstallLeadByteTest();

}  // namespace zv
