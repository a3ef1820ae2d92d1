// Self-delimited lists: the first character is the delimiter and a well-formed list ends with it
// (|a|b|c| holds a, b and c, counted from 0). Class operations only; no state.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zv {

class SUB {
public:
    static int Count(const std::string& list);
    static std::string GetItem(const std::string& list, int index, const std::string& def = "");
    static int64_t GetItemInt(const std::string& list, int index, int64_t def);
    static std::string GetKeyValue(const std::string& list, const std::string& key,
                                   const std::string& def = "");
    static bool ContainsItem(const std::string& list, const std::string& item, bool trim,
                             bool ignoreCase);
    static std::string ChooseDelimiter(const std::string& list);
    // Built lists use "|" unless an item holds it (then the next free of "*~^!@#$&", 0xFF).
    // dedupe drops exact repeats.
    static std::string MakeList(const std::vector<std::string>& items, bool dedupe = false);
    static std::string AppendItems(const std::string& list, const std::vector<std::string>& items,
                                   bool dedupe = false);
    static std::string RemoveItem(const std::string& list, int index);
    static std::string SetItem(const std::string& list, int index, const std::string& value);
    // items as a list delimited by delimiter, or by one that no item holds when one holds it.
    static std::string JoinItems(const std::vector<std::string>& items, char delimiter);
    static std::string ReverseList(const std::string& list);
    static std::string TrimEmptyItems(const std::string& list, bool atEnd, bool atStart);
    static std::string ZipLists(const std::string& keys, const std::string& values, bool trim);
    static std::string ListKeys(const std::string& list, bool trim);
    static std::string ListValues(const std::string& list, bool trim);
    static std::string DistinctItems(const std::string& list, const std::string& keep);
    static std::string SetDelimiter(const std::string& list, char delimiter);
    // All items, empty ones included (helper for callers that iterate).
    static std::vector<std::string> Items(const std::string& list);
};

}  // namespace zv
