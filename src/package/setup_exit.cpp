#include "package/setup_exit.h"

namespace zv {
namespace {
int g_exitCode = exit_code::kOk;
}  // namespace

int StubExitCode() { return g_exitCode; }
void SetStubExitCode(int code) { g_exitCode = code; }

}  // namespace zv
