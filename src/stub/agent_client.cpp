#include "stub/agent_client.h"

namespace zv {

bool IsClientMessageNumber(int64_t message) { return message >= 0x0400 && message <= 0xFFFF; }

}  // namespace zv
