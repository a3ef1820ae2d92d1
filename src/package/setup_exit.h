// The stub's process exit code. The entry returns StubExitCode(); the setup flow sets it.
//
//   engine's own code  the setup engine ran (whatever it returned, 0 included)
//   0                  nothing needed an engine: a spanned first run that relaunched from the
//                      temp copy, a second start of a running setup
//   1                  the user cancelled: No to the temp-space question, Cancel at a disk prompt
//   2                  the package is damaged or unsafe: checksum, inflate error, truncation,
//                      unsafe file names
//   3                  the package has no main program, or the engine (or the temp copy of a
//                      spanned setup) could not be started
//   4                  the web stub could not download its setup file
#pragma once

namespace zv {

namespace exit_code {
constexpr int kOk = 0;
constexpr int kCancelled = 1;
constexpr int kDamaged = 2;
constexpr int kNoEngine = 3;
constexpr int kDownloadFailed = 4;
}  // namespace exit_code

int StubExitCode();
void SetStubExitCode(int code);

}  // namespace zv
