// The packager's description files: "[Section]" lines, "key=value" lines, ";" or "#" comments.
#pragma once
#include <string>
#include <vector>

namespace zv::pack {

struct IniEntry {
    std::string key;    // text before the first '=', trimmed
    std::string value;  // text after it, trimmed, one pair of enclosing double quotes removed
    std::string line;   // the whole line, trimmed (sections with their own split rule use it)
    int lineNumber = 0;
};

struct IniSection {
    std::string name;
    int lineNumber = 0;
    std::vector<IniEntry> entries;  // in file order, duplicates kept
};

struct IniDocument {
    std::string sourceName;
    std::vector<IniSection> sections;
    // Section names compare without regard to letter case; null when absent.
    const IniSection* Find(const std::string& name) const;
};

// Throws PackError naming "source:line" for a line that is neither a section, a key=value pair
// nor a comment, a key outside any section, an empty key and a repeated section.
IniDocument ParseIni(const std::string& text, const std::string& sourceName);

std::string TrimBlanks(const std::string& text);
std::string Unquoted(const std::string& text);

// Splits text into lines, dropping a leading UTF-8 byte-order mark and the '\r' of "\r\n".
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace zv::pack
