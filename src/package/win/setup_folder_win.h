// The process's setup folders on the real drives, the free-space test and the temp-space
// question (the rules live in package/setup_folder.h).
#pragma once
#include <string>

#include "package/gfile_info.h"

namespace zv {

// Temp path + "SETUP_" + the executable's time of day; emptied of an older run and created on
// first use.
std::string SetupFolder();
bool FindTempRoot();
std::string AlternateSetupFolder();
void RemoveAlternateSetupFolder();
// Deletes the setup folder with everything in it: the end of the setup flow, and the stub
// window's destruction.
void RemoveSetupFolder();

// The package's SpaceRequired for the folder's drive is below the drive's free space, and the
// folder exists.
bool EnoughSpace(const std::string& folder, const TGFileInfo& reader);
// Asks Yes/No when the package wants the notice or space is short; true means go on.
bool ConfirmTempSpace(const std::string& folder, const TGFileInfo& reader);

}  // namespace zv
