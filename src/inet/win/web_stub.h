// The web stub's flow: download the setup file its package describes, check that it belongs to
// this stub, and run it as a setup stub would.
#pragma once
#include <string>

namespace zv {

// folder: the setup folder; url: the download address, or the stub's own folder when a copy of
// the setup file lies beside it; fileName: the setup file's name (a plain file name).
// True when the setup file was handed to RunSetup, which then sets StubExitCode; otherwise
// StubExitCode is 1 when the user declined the download and 4 for every other failure (no
// connection, download error or abort, an HTML page or a file with another download token).
bool WebStubSetup(const std::string& folder, const std::string& url, const std::string& fileName);

}  // namespace zv
