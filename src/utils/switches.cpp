#include "utils/switches.h"

#include "utils/platform.h"
#include "utils/sub.h"
#include "utils/text.h"

namespace zv {
namespace {

// The program name may be quoted, bare, or given by full path; whatever precedes and includes
// it is dropped. A lone character left over (the closing quote of a path) is no parameter.
std::string DropThrough(const std::string& text, size_t end) {
    std::string rest = text.substr(end);
    if (Trim(rest).size() == 1) return {};
    return rest;
}

}  // namespace

std::string GetParamsText() {
    const std::string cmd = Host().commandLine();
    const std::string exe = GetExePath();
    const std::string name = ExtractFileName(exe);
    std::string rest = cmd;
    if (!name.empty()) {
        if (int p = PosText(name + "\"", cmd); p > 0) {
            rest = DropThrough(cmd, size_t(p - 1) + name.size() + 1);
        } else if (int q = PosText(name, cmd); q > 0) {
            rest = DropThrough(cmd, size_t(q - 1) + name.size());
        } else if (size_t r = cmd.find(exe); r != std::string::npos) {
            rest = cmd.substr(0, r) + cmd.substr(r + exe.size());
        }
    }
    return Trim(rest);
}

std::string GetSwitchValue(const std::string& name, const std::string& def) {
    std::string key = Trim(name);
    const char c = (!key.empty() && key[0] == '-') ? '-' : '/';
    std::string bare;
    for (char ch : key)
        if (ch != c) bare += ch;

    // Every " /" starts a new item of a list delimited by code 1; quotes vanish so that
    // /Dir="C:\Program Files\X" reads as C:\Program Files\X.
    std::string params;
    for (char ch : " " + GetParamsText())
        if (ch != '"') params += ch;
    std::string list(1, '\x01');
    list.reserve(params.size() + 2);
    for (size_t i = 0; i < params.size(); ++i) {
        if (params[i] == ' ' && i + 1 < params.size() && params[i + 1] == c) {
            list += '\x01';
            ++i;
        } else {
            list += params[i];
        }
    }
    list += '\x01';
    return Trim(SUB::GetKeyValue(list, bare, def));
}

int64_t GetSwitchInt(const std::string& name, int64_t def) {
    return StrToInt64Def(GetSwitchValue(name, ""), def);
}

bool HasSwitch(const std::string& word) {
    const std::string w = Trim(word);
    // An empty word would match every blank.
    if (w.empty()) return false;
    return PosText(w + " ", GetParamsText() + " ") > 0;
}

}  // namespace zv
