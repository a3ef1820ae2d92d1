#include "package/entry_name.h"

#include <cstring>

#include "utils/text.h"

namespace zv {

bool IsDeviceName(const std::string& name) {
    // Windows maps these to devices whatever the extension ("NUL.txt") and blanks before it.
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) stem.pop_back();
    stem = AsciiUpper(stem);
    // CLOCK$ is a device on the DOS line of Windows only; no setup needs a file of that name, so
    // it is refused everywhere rather than have the answer depend on the system.
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
        if (stem == device) return true;
    if (stem.size() != 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0))
        return false;
    const unsigned char digit = static_cast<unsigned char>(stem[3]);
    // The ANSI superscript digits 1, 2 and 3 name the same ports.
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::string EntryNameProblem(const std::string& name) {
    if (name.empty()) return "the name is empty";
    if (name == "." || name == "..") return "\"" + name + "\" names a folder";
    if (name.size() > kMaxEntryName)
        return "the name is longer than " + IntText(kMaxEntryName) + " characters";
    for (unsigned char c : name) {
        if (c < 0x20) return "the name contains a control character";
        if (std::strchr("\\/:", c)) return "the name contains a folder or drive separator";
        if (std::strchr("<>\"|?*", c)) return "the name contains a character Windows refuses";
    }
    if (name.back() == '.' || name.back() == ' ') return "the name ends in a dot or a blank";
    if (IsDeviceName(name)) return "\"" + name + "\" is a device name on Windows";
    return {};
}

bool IsSafeEntryName(const std::string& name) { return EntryNameProblem(name).empty(); }

}  // namespace zv
