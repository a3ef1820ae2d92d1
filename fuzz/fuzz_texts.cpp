// The text functions that hostile text reaches outside the agent's files: replacements of server
// texts into file texts, addresses, command-line switches, message-box markup, registry values,
// a package's language block and self-delimited lists. The input is split at NUL bytes into up
// to four texts. Besides surviving anything, a replacement must never grow a text past its limit.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dialogs/msgbox_markup.h"
#include "inet/comm_utils.h"
#include "lang/lang_strings.h"
#include "utils/ini_reg.h"
#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/switches.h"
#include "utils/text.h"

namespace {

std::vector<std::string> Split(const std::string& input) {
    std::vector<std::string> parts(4);
    size_t at = 0;
    for (size_t i = 0; i < parts.size() && at <= input.size(); ++i) {
        const size_t nul = i + 1 < parts.size() ? input.find('\0', at) : std::string::npos;
        const size_t end = nul == std::string::npos ? input.size() : nul;
        parts[i] = input.substr(at, end - at);
        at = end + 1;
    }
    return parts;
}

// A replacement gives at most the larger of the text and the limit.
void CheckGrowth(const std::string& text, const std::string& result) {
    if (result.size() > std::max(text.size(), zv::kMaxReplacedText)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> p =
        Split(std::string(reinterpret_cast<const char*>(data), size));
    const std::string &text = p[0], &oldText = p[1], &newText = p[2], &extra = p[3];
    std::string sink;

    // A small text repeated: how a few bytes of a file become many replacements.
    std::string many;
    for (int i = 0; i < 64 && many.size() < (1u << 16); ++i) many += text;
    for (const std::string* t : {&text, static_cast<const std::string*>(&many)}) {
        const std::string a = zv::ReplaceAll(*t, oldText, newText);
        const std::string b = zv::ReplaceAllText(*t, oldText, newText, 3, 2, true);
        CheckGrowth(*t, a);
        CheckGrowth(*t, b);
        sink += a + b;
    }
    sink += zv::ReplaceRepeated(text.substr(0, 4096), oldText, newText.substr(0, 64));

    const zv::HttpTarget target = zv::SplitHttpUrl(text);
    sink += target.host + target.path + std::to_string(int(zv::HasUrlScheme(text)));

    zv::ScopedCommandLine commandLine("\"C:\\Setup\\Setup.exe\" " + text, "C:\\Setup\\Setup.exe");
    sink += zv::GetSwitchValue(oldText.empty() ? "/LANG=" : oldText, "def");
    sink += std::to_string(zv::GetSwitchInt(newText, 7)) + std::to_string(zv::HasSwitch(extra));

    const zv::MarkupText markup = zv::ConvertMarkup(text);
    sink += markup.text;

    const uint32_t type = extra.empty() ? 1 : uint8_t(extra[0]) % 12;
    sink += zv::RegValueText(type, text);
    const zv::RegPath reg = zv::SplitRegPath(oldText);
    sink += reg.subKey;

    const std::string section = zv::FindLangSection(text, oldText);
    sink += section + zv::ChooseLangSection(text, newText);
    sink += zv::GetSectionString(section, newText, "def");

    sink += zv::SUB::JoinItems(zv::SUB::Items(text), extra.empty() ? '|' : extra[0]);
    sink += zv::SUB::SetItem(text, int(uint8_t(newText.empty() ? 0 : newText[0])), oldText);
    sink += zv::SUB::GetKeyValue(text, oldText, "def") + zv::SUB::DistinctItems(text, oldText);
    sink += zv::SUB::ReverseList(text) + zv::SUB::TrimEmptyItems(text, true, true);
    sink += zv::ExpandEscapes(text.substr(0, 4096));
    sink += zv::NormalizeVersion(text.substr(0, 256), 4, 4);

    volatile size_t keep = sink.size();
    (void)keep;
    return 0;
}
