#include "ini_file.h"

#include "pack_names.h"

namespace zv::pack {

std::string TrimBlanks(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
    return text.substr(b, e - b);
}

std::string Unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

const IniSection* IniDocument::Find(const std::string& name) const {
    for (const auto& s : sections)
        if (EqualsIgnoreCase(s.name, name)) return &s;
    return nullptr;
}

IniDocument ParseIni(const std::string& text, const std::string& sourceName) {
    IniDocument doc;
    doc.sourceName = sourceName;
    auto fail = [&](int line, const std::string& why) {
        throw PackError(sourceName + ":" + std::to_string(line) + ": " + why);
    };
    std::vector<std::string> lines = SplitLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        int number = int(i + 1);
        std::string line = TrimBlanks(lines[i]);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') fail(number, "a section line must end with ']'");
            std::string name = TrimBlanks(line.substr(1, line.size() - 2));
            if (name.empty()) fail(number, "empty section name");
            if (doc.Find(name)) fail(number, "section [" + name + "] appears twice");
            doc.sections.push_back(IniSection{name, number, {}});
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) fail(number, "expected key=value, found \"" + line + "\"");
        if (doc.sections.empty()) fail(number, "key=value before the first [section]");
        IniEntry e;
        e.key = TrimBlanks(line.substr(0, eq));
        e.value = Unquoted(TrimBlanks(line.substr(eq + 1)));
        e.line = line;
        e.lineNumber = number;
        if (e.key.empty()) fail(number, "empty key");
        doc.sections.back().entries.push_back(std::move(e));
    }
    return doc;
}

}  // namespace zv::pack
