// The stub's main routine: trace lines, the package of its own file, the run mode, the exit code.
#pragma once

namespace zv {

// Runs the whole program and returns the process exit code.
int RunStub();

}  // namespace zv
