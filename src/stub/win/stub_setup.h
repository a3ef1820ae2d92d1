// The setup driver: extracts a package into a folder, starts its main program (the setup
// engine), waits for it and its dialog, and adopts its exit code as the stub's (StubExitCode).
#pragma once
#include <string>

#include "utils/ui_sink.h"

namespace zv {

// ui: where the status text, the extraction's progress and the window's visibility go;
// destination: extraction folder (normally SetupFolder()); packageFile: the stub itself or the
// first volume of a spanned package; agentName: file name of an agent copy to write beside the
// files, empty for none; argumentTail: the stub's own arguments; foreground: false in a silent
// run (no questions, hidden engine).
//
// True only when the engine ran and handed its atom back (the setup completed). Sets
// StubExitCode: the engine's exit code when it ran, otherwise why it did not (setup_exit.h).
bool RunSetup(UiSink& ui, const std::string& destination, const std::string& packageFile,
              const std::string& agentName, const std::string& argumentTail, bool foreground);

}  // namespace zv
