// The web stub's flow: download the setup file its package describes, check that it belongs to
// this stub, and run it as a setup stub would.
#pragma once
#include <string>

#include "utils/ui_sink.h"

namespace zv {

// ui: where the status text and the download's progress go, and what stops the download (also
// handed to RunSetup); folder: the setup folder; url: the download address, or the stub's own folder when a copy of
// the setup file lies beside it; fileName: the setup file's name (a plain file name).
// True when the setup file was handed to RunSetup, which then sets StubExitCode; otherwise
// StubExitCode is 1 when the user declined the download and 4 for every other failure (no
// connection, download error or abort, an HTML page or a file with another download token).
bool WebStubSetup(UiSink& ui, const std::string& folder, const std::string& url,
                  const std::string& fileName);

}  // namespace zv
