#include "utils/sub.h"

#include "utils/text.h"

namespace zv {
namespace {

const char kNul = '\0';
// Delimiters tried in turn when a list is (re)built; 0xFF is the last resort.
const char kCandidates[] = {'|', '*', '~', '^', '!', '@', '#', '$', '&', char(0xFF)};

bool IsNulList(const std::string& list) { return list.size() == 1 && list[0] == kNul; }

std::string Join(const std::vector<std::string>& items, char d) {
    size_t size = 1;
    for (const auto& s : items) size += s.size() + 1;
    std::string out;
    out.reserve(size);
    out += d;
    for (const auto& s : items) {
        out += s;
        out += d;
    }
    return out;
}

// Builds with NUL as the working delimiter, then picks one that no item contains.
std::string Build(const std::vector<std::string>& items) {
    return SUB::ChooseDelimiter(Join(items, kNul));
}

std::string Finish(std::string list) {
    if (list.size() == 1) list.clear();
    return list;
}

std::string Upper(const std::string& s) { return UpperCase(s); }

}  // namespace

int SUB::Count(const std::string& list) {
    if (list.size() < 2 || list.back() != list.front()) return 0;
    int n = 0;
    const char d = list[0];
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i] == d) ++n;
    return n;
}

std::vector<std::string> SUB::Items(const std::string& list) {
    std::vector<std::string> items;
    if (list.size() < 2) return items;
    const char d = list[0];
    size_t start = 1;
    for (size_t pos = list.find(d, start); pos != std::string::npos; pos = list.find(d, start)) {
        items.emplace_back(list, start, pos - start);
        start = pos + 1;
    }
    return items;
}

std::string SUB::GetItem(const std::string& list, int index, const std::string& def) {
    if (list.size() < 2) return def;
    if (index == -1) index = Count(list) - 1;
    if (index < 0) return def;
    const char d = list[0];
    size_t start = 1;
    for (int k = 0;; ++k) {
        size_t pos = list.find(d, start);
        if (pos == std::string::npos) return def;
        if (k == index) return pos == start ? def : list.substr(start, pos - start);
        start = pos + 1;
    }
}

int64_t SUB::GetItemInt(const std::string& list, int index, int64_t def) {
    return StrToInt64Def(GetItem(list, index, ""), def);
}

std::string SUB::GetKeyValue(const std::string& list, const std::string& key,
                             const std::string& def) {
    if (list.size() <= 2 || list.back() != list.front()) return def;
    const char d = list[0];
    std::string k(1, d);
    k += key;
    if (key.empty() || key.back() != '=' || key == "=") k += '=';

    std::string work = list;
    // "a   =1" reads as "a=1". A blank delimiter would be eaten by this, so it is left alone.
    if (d != ' ' && work.find(' ') != std::string::npos) {
        std::string packed;
        packed.reserve(work.size());
        for (char c : work) {
            if (c == '=')
                while (!packed.empty() && packed.back() == ' ') packed.pop_back();
            packed += c;
        }
        work.swap(packed);
    }
    int p = PosText(k, work);
    if (p == 0) return def;
    size_t start = size_t(p - 1) + k.size();
    size_t end = work.find(d, start);
    if (end == std::string::npos) end = work.size();
    return work.substr(start, end - start);
}

bool SUB::ContainsItem(const std::string& list, const std::string& item, bool trim,
                       bool ignoreCase) {
    if (list.empty()) return false;
    const char d = list[0];
    std::string l = list;
    std::string i = item;
    if (trim) {
        i = Trim(i);
        // Trimming a list whose delimiter is a blank or control character would strip the
        // delimiters at its ends and lose its first and last items.
        if (static_cast<unsigned char>(d) > ' ') l = Trim(l);
    }
    std::string needle = std::string(1, d) + i + d;
    if (ignoreCase) return PosText(needle, l) > 0;
    return l.find(needle) != std::string::npos;
}

std::string SUB::ChooseDelimiter(const std::string& list) {
    if (list.empty()) return list;
    std::string out = list;
    if (out.find(kNul) == std::string::npos) {
        const char d = out[0];
        for (char& c : out)
            if (c == d) c = kNul;
    }
    const char d = out[0];
    for (char cand : kCandidates) {
        if (out.find(cand) != std::string::npos) continue;
        for (char& c : out)
            if (c == d) c = cand;
        break;
    }
    return Finish(out);
}

std::string SUB::MakeList(const std::vector<std::string>& items, bool dedupe) {
    if (!dedupe) return Build(items);
    std::vector<std::string> kept;
    for (const auto& s : items) {
        bool seen = false;
        for (const auto& k : kept)
            if (k == s) { seen = true; break; }
        if (!seen) kept.push_back(s);
    }
    return Build(kept);
}

std::string SUB::AppendItems(const std::string& list, const std::vector<std::string>& items,
                             bool dedupe) {
    if (list.empty() || IsNulList(list)) return MakeList(items, dedupe);
    const char d = list[0];
    std::vector<std::string> all = Items(list);
    // Text after the last delimiter becomes an item rather than being lost.
    if (list.size() >= 2 && list.back() != d) {
        size_t last = list.rfind(d);
        all.push_back(list.substr(last + 1));
    }
    bool redelimit = false;
    for (const auto& s : items) {
        if (dedupe) {
            bool seen = false;
            for (const auto& a : all)
                if (a == s) { seen = true; break; }
            if (seen) continue;
        }
        if (s.find(d) != std::string::npos) redelimit = true;
        all.push_back(s);
    }
    return redelimit ? Build(all) : Join(all, d);
}

std::string SUB::RemoveItem(const std::string& list, int index) {
    if (index < 0 || index >= Count(list)) return list;
    std::vector<std::string> items = Items(list);
    items.erase(items.begin() + index);
    return Finish(Join(items, list[0]));
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
    if (index < 0) return list;
    const std::string base = (list.empty() || IsNulList(list)) ? std::string("|") : list;
    const char d = base[0];
    std::vector<std::string> items = Items(base);
    if (size_t(index) >= items.size()) items.resize(size_t(index) + 1);
    items[size_t(index)] = value;
    return JoinItems(items, d);
}

std::string SUB::JoinItems(const std::vector<std::string>& items, char delimiter) {
    for (const auto& item : items)
        if (item.find(delimiter) != std::string::npos) return Build(items);
    return Join(items, delimiter);
}

std::string SUB::ReverseList(const std::string& list) {
    if (Count(list) == 0) return list;
    std::vector<std::string> items = Items(list);
    return Join(std::vector<std::string>(items.rbegin(), items.rend()), list[0]);
}

std::string SUB::TrimEmptyItems(const std::string& list, bool atEnd, bool atStart) {
    if (list.size() < 2) return {};
    if (list.back() != list.front()) return list;
    std::vector<std::string> items = Items(list);
    size_t first = 0, last = items.size();
    if (atEnd)
        while (last > first && items[last - 1].empty()) --last;
    if (atStart)
        while (first < last && items[first].empty()) ++first;
    return Finish(Join(std::vector<std::string>(items.begin() + long(first),
                                                items.begin() + long(last)),
                       list[0]));
}

std::string SUB::ZipLists(const std::string& keys, const std::string& values, bool trim) {
    std::vector<std::string> k = Items(trim ? TrimEmptyItems(keys, true, false) : keys);
    std::vector<std::string> v = Items(trim ? TrimEmptyItems(values, true, false) : values);
    const size_t n = k.size() > v.size() ? k.size() : v.size();
    std::vector<std::string> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        out.push_back((i < k.size() ? k[i] : std::string()) + "=" +
                      (i < v.size() ? v[i] : std::string()));
    return Build(out);
}

namespace {
std::string SplitPairs(const std::string& list, bool trim, bool keys) {
    std::vector<std::string> out;
    for (const auto& item : SUB::Items(list)) {
        size_t eq = item.find('=');
        std::string part;
        if (eq != std::string::npos) part = keys ? item.substr(0, eq) : item.substr(eq + 1);
        out.push_back(trim ? Trim(part) : part);
    }
    return Build(out);
}
}  // namespace

std::string SUB::ListKeys(const std::string& list, bool trim) {
    return SplitPairs(list, trim, true);
}

std::string SUB::ListValues(const std::string& list, bool trim) {
    return SplitPairs(list, trim, false);
}

std::string SUB::DistinctItems(const std::string& list, const std::string& keep) {
    if (list.size() < 2) return {};
    std::vector<std::string> out;
    std::vector<std::string> seen;  // trimmed, upper-cased
    for (const auto& item : Items(list)) {
        if (item.empty()) continue;
        if (!keep.empty() && ContainsItem(keep, item, true, true)) {
            out.push_back(item);
            continue;
        }
        std::string norm = Upper(Trim(item));
        bool dup = false;
        for (const auto& s : seen)
            if (s == norm) { dup = true; break; }
        if (dup) continue;
        seen.push_back(norm);
        out.push_back(item);
    }
    return Finish(Join(out, list[0]));
}

std::string SUB::SetDelimiter(const std::string& list, char delimiter) {
    if (list.empty()) return list;
    std::string out = list;
    const char d = list[0];
    for (char& c : out)
        if (c == d) c = delimiter;
    return out;
}

}  // namespace zv
