// The web stub's flow: download the setup file its package describes, check that it belongs to
// this stub, and run it as a setup stub would.
#pragma once
#include <string>

namespace zv {

// folder: the setup folder; url: the download address, or the stub's own folder when a copy of
// the setup file lies beside it; fileName: the setup file's name. True when the setup ran.
// Sets StubExitCode (4 when the download failed, otherwise as RunSetup does).
bool WebStubSetup(const std::string& folder, const std::string& url, const std::string& fileName);

}  // namespace zv
