// Command-line switches: /Name=value and bare /Word, read afresh from the command line on every lookup.
#pragma once
#include <cstdint>
#include <string>

namespace zv {

// The process command line without the program's own name, trimmed.
std::string GetParamsText();
// Trimmed value of the switch; def when absent; "" for an empty value given on the command line.
std::string GetSwitchValue(const std::string& name, const std::string& def = "");
int64_t GetSwitchInt(const std::string& name, int64_t def);
bool HasSwitch(const std::string& word);

}  // namespace zv
