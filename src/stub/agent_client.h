// The client a program registers with the agent (its window and a message number) to be told of
// the agent's phases. The agent runs with administrator rights and any process may register, so
// it posts only messages a program defines for itself to a window that exists.
#pragma once
#include <cstdint>

namespace zv {

// WM_USER (0x0400) up to the registered-message range's end (0xFFFF): never a system message
// such as WM_CLOSE or WM_QUIT that the agent would post on a stranger's behalf.
bool IsClientMessageNumber(int64_t message);

}  // namespace zv
