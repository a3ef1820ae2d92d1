// Extraction engine: walks a package volume by volume, inflates each file block into the
// destination folder, asks for further disks, checks the checksum, and can write an agent copy.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "package/entry_name.h"

namespace zv {

// kind 0: range 0..high, position, step; kind 1: one step. Same shape as UiSink::Progress.
using ExtractProgress = std::function<void(int kind, int32_t low, uint16_t high,
                                           const std::string& text, int32_t step, int32_t position)>;

// Everything the engine needs from the user interface and the system besides files.
struct ExtractUi {
    ExtractProgress progress;                                        // may be empty
    std::function<void(const std::string& text)> errorBox;          // error icon, default caption
    // OK/Cancel question for the next disk; true when OK was pressed.
    std::function<bool(const std::string& text, const std::string& caption,
                       const std::string& buttons, int charset)> diskPrompt;
    std::function<void(uint32_t milliseconds)> wait;                // pumps window messages
    std::function<void()> pump;                                     // one round of pending messages
    std::function<void(const std::string& volumePath)> ejectCD;     // ejects when on a CD drive
    std::function<void()> suppressAutoPlay;
};

struct ExtractOptions {
    std::string packageFile;   // the stub or the first volume file
    std::string destination;   // folder that receives the files
    std::string agentName;     // file name of the agent copy; empty for none
    std::string diskPrompt;    // "<DISK_NUM>" is replaced by the volume number
    std::string promptCaption;
    std::string buttonTexts;
    int charset = 0;
    bool alwaysPrompt = false;
};

struct ExtractResult {
    bool checksumOk = false;
    std::string mainFile;      // marked main program with its "*"; empty when none or cancelled
    bool cancelled = false;    // the user cancelled a disk prompt
    // The package is damaged or hostile (bad zlib stream, truncated block, unsafe entry name).
    // Files written so far stay in the destination; the caller must not start the engine.
    bool damaged = false;
    std::string damage;        // what was wrong, for the trace
    int64_t filesWritten = 0;  // file blocks written in full (pieces of one file count each)
};

ExtractResult ExtractPackage(const ExtractOptions& options, const ExtractUi& ui);

// Failed file writes of this process; only the first one shows "Unable to save Extracted File!".
int ExtractWriteFailures();
void ResetExtractWriteFailures();  // tests


// Base name of a volume series (a final ".001" removed) and the path of volume n >= 2.
std::string VolumeBaseName(const std::string& packageFile);
std::string VolumePath(const std::string& baseName, int volume);

}  // namespace zv
