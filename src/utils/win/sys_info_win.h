// Facts about the running system: Windows generation, 64-bit and server state, user, owner,
// computer and domain names, and the desktop work area. The version record, IsXP and
// IsWindows64 are read once; names are read on every call.
#pragma once
#include <cstdint>
#include <string>

#include "utils/sys_info.h"

namespace zv {

const OSVersionRecord& GetOSVersionInfo();
OSInfo GetOSInfo();
uint32_t GetOSId();

bool IsNT();
bool IsXP();
bool IsWin8OrLater();
bool IsWindows64();
bool IsServer();

std::string GetLoggedUserName();
std::string GetComputerNameText();
std::string GetRegisteredOwner();
std::string GetRegisteredOrganization();
std::string GetDomainName();

// Key of the Windows version values ("Windows NT" on the NT family).
std::string WindowsVersionKey();

// Top-left corner that centres a width x height window in the desktop work area.
ScreenPoint CenterInWorkArea(int width, int height);

}  // namespace zv
