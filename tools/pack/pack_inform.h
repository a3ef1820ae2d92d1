// The announcement ("inform") file for an agent: the package's update token in its scrambled
// form, then the text the agent shows. An agent takes an inform file only when that token is
// its own.
#pragma once
#include <cstdint>
#include <ostream>
#include <string>

namespace zv::pack {

// "|" + ScrambleToken(token, seed) + "|||" + text.
std::string InformFileText(const std::string& token, const std::string& text, uint32_t seed);

// Writes output from the token of package (the agent, or any package built from the same
// description) and the text in textFile. 0 on success, 1 on failure.
int InformCommand(const std::string& package, const std::string& textFile,
                  const std::string& output, uint32_t seed, std::ostream& out,
                  std::ostream& err);

}  // namespace zv::pack
