#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/sub.h"

namespace zv {
namespace {

using Strings = std::vector<std::string>;
const std::string kNul(1, '\0');

TEST(SubCount, WellFormedAndMalformedLists) {
    struct Case {
        std::string list;
        int count;
    } cases[] = {
        {"|a|b|c|", 3}, {"|a||c|", 3}, {"||", 1},  {"|", 0},    {"", 0},
        {"|a|b", 0},    {"|a|b*", 0},  {kNul, 0},  {"\x01x\x01", 1},
        {"||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", 13},
    };
    for (const auto& c : cases) EXPECT_EQ(SUB::Count(c.list), c.count) << c.list;
}

TEST(SubGetItem, EmptyItemsAndIndexes) {
    struct Case {
        std::string list;
        int index;
        std::string item;
    } cases[] = {
        {"|a||c|", 0, "a"},   {"|a||c|", 1, "z"},  // empty item reads as missing
        {"|a||c|", 2, "c"},   {"|a||c|", 3, "z"},  {"|a||c|", -1, "c"},
        {"|a||c|", -2, "z"},  {"|a|b", 0, "a"},    // unterminated: items between delimiters
        {"|a|b", 1, "z"},     {"|a|b", -1, "z"},   {kNul, 0, "z"},
        {"", 0, "z"},         {"|", 0, "z"},       {"|a||", -1, "z"},
        {"||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", 0, "z"},
        {"||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", 1, "JAN"},
        {"||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", 12, "DEC"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::GetItem(c.list, c.index, "z"), c.item) << c.list << " #" << c.index;
}

TEST(SubGetItemInt, NumbersAndDefaults) {
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 0, 7), 12);
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 1, 7), 7);
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 2, 7), 7);
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 3, 7), -3);
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 4, 7), 4);
    EXPECT_EQ(SUB::GetItemInt("|12|x||-3| 4 |", 9, 7), 7);
}

TEST(SubGetKeyValue, KeysValuesAndDefaults) {
    struct Case {
        std::string list, key, value;
    } cases[] = {
        {"|Width=10|Name=|", "name", ""},  // present but empty: not the default
        {"|Width=10|Name=|", "NAME=", ""},
        {"|Width=10|Name=|", "width", "10"},
        {"|Width=10|Name=|", "size", "def"},
        {"|Width=10|Name=|", "idth", "def"},  // keys match whole items only
        {"|a   =1|", "a", "1"},               // blanks before "=" are ignored
        {"|a=x =y|", "a", "x=y"},
        {"|==1|", "=", "1"},
        {"|a=1|a=2|", "a", "1"},
        {"|a=1", "a", "def"},  // unterminated
        {"||", "a", "def"},
        {"|a=1|b=2|", "a=1", "def"},
        {" a=1 =b ", "a", "1"},  // a blank delimiter is not eaten
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::GetKeyValue(c.list, c.key, "def"), c.value) << c.list << " " << c.key;
}

TEST(SubContainsItem, TrimAndCase) {
    struct Case {
        std::string list, item;
        bool trim, ignoreCase, found;
    } cases[] = {
        {"|a|B|c|", "b", false, true, true},
        {"|a|B|c|", "b", false, false, false},
        {"|a|B|c|", " B ", true, false, true},
        {"|a|B|c|", " B ", false, false, false},
        {"|a|b|", "", false, false, false},
        {"|a||b|", "", false, false, true},
        {"\x01" "a\x01" "b\x01", "a", true, false, true},  // control delimiter survives trim
        {"\x01" "a\x01" "b\x01", "b", true, true, true},
        {"", "a", true, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::ContainsItem(c.list, c.item, c.trim, c.ignoreCase), c.found)
            << c.list << " " << c.item;
}

TEST(SubChooseDelimiter, PicksFirstFreeCandidate) {
    struct Case {
        std::string list, result;
    } cases[] = {
        {"|a|b|", "|a|b|"},
        {"*a*b*", "|a|b|"},
        {std::string("\0a|b\0c\0", 7), "*a|b*c*"},
        {std::string("\0|*~^!@#$&\0", 11), "\xFF|*~^!@#$&\xFF"},
        {"", ""},
        {"|", ""},
        {kNul, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(SUB::ChooseDelimiter(c.list), c.result);
    // Every candidate taken: the delimiter stays.
    std::string full = std::string("\0|*~^!@#$&\xFF\0", 12);
    EXPECT_EQ(SUB::ChooseDelimiter(full), full);
}

TEST(SubBuild, MakeListAndAppendItems) {
    EXPECT_EQ(SUB::MakeList({"a|b", "c"}), "*a|b*c*");
    EXPECT_EQ(SUB::MakeList({"a", "", "b"}), "|a||b|");
    EXPECT_EQ(SUB::MakeList({}), "");
    EXPECT_EQ(SUB::MakeList({"a", "b", "a"}, true), "|a|b|");
    EXPECT_EQ(SUB::MakeList({"a", "b", "a"}, false), "|a|b|a|");

    EXPECT_EQ(SUB::AppendItems("|a|", {"b", "c"}), "|a|b|c|");
    EXPECT_EQ(SUB::AppendItems("*a*", {"b|c"}), "*a*b|c*");
    EXPECT_EQ(SUB::AppendItems("|a|", {"b|c"}), "*a*b|c*");
    EXPECT_EQ(SUB::AppendItems("", {"x"}), "|x|");
    EXPECT_EQ(SUB::AppendItems(kNul, {"x"}), "|x|");
    EXPECT_EQ(SUB::AppendItems("|a|b|", {"a", "c", "c"}, true), "|a|b|c|");
    EXPECT_EQ(SUB::AppendItems("|a|b", {"c"}), "|a|b|c|");  // trailing text kept
}

TEST(SubEdit, RemoveSetReverse) {
    EXPECT_EQ(SUB::RemoveItem("|a|b|c|", 1), "|a|c|");
    EXPECT_EQ(SUB::RemoveItem("|a|b|c|", 3), "|a|b|c|");
    EXPECT_EQ(SUB::RemoveItem("|a|b|c|", -1), "|a|b|c|");
    EXPECT_EQ(SUB::RemoveItem("|a|", 0), "");
    EXPECT_EQ(SUB::RemoveItem("|a|b", 0), "|a|b");

    EXPECT_EQ(SUB::SetItem("|a|b|", 1, "x"), "|a|x|");
    EXPECT_EQ(SUB::SetItem("|a|", 3, "x"), "|a|||x|");
    EXPECT_EQ(SUB::SetItem("", 0, "x"), "|x|");
    EXPECT_EQ(SUB::SetItem("", 1, "x"), "||x|");
    EXPECT_EQ(SUB::SetItem("|a|b|", 0, "x|y"), "*x|y*b*");
    EXPECT_EQ(SUB::SetItem("|a|b|", -1, "x"), "|a|b|");

    EXPECT_EQ(SUB::ReverseList("|a|b|c|"), "|c|b|a|");
    EXPECT_EQ(SUB::ReverseList("|a||"), "||a|");
    EXPECT_EQ(SUB::ReverseList("|a|b"), "|a|b");
}

TEST(SubTrimEmptyItems, EndsOnly) {
    struct Case {
        std::string list;
        bool atEnd, atStart;
        std::string result;
    } cases[] = {
        {"|||a||b|||", true, false, "|||a||b|"},
        {"|||a||b|||", false, true, "|a||b|||"},
        {"|||a||b|||", true, true, "|a||b|"},
        {"|||a||b|||", false, false, "|||a||b|||"},
        {"||||", true, true, ""},
        {"||", true, false, ""},
        {"", true, true, ""},
        {"|a||b", true, true, "|a||b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SUB::TrimEmptyItems(c.list, c.atEnd, c.atStart), c.result) << c.list;
}

TEST(SubPairs, ZipKeysValues) {
    EXPECT_EQ(SUB::ZipLists("|a|b|c|", "|1|2|", false), "|a=1|b=2|c=|");
    EXPECT_EQ(SUB::ZipLists("|a|", "|1|2|", false), "|a=1|=2|");
    EXPECT_EQ(SUB::ZipLists("|a|b|||", "|1||", true), "|a=1|b=|");
    EXPECT_EQ(SUB::ZipLists("|a|b|||", "|1||", false), "|a=1|b=|=|=|");
    EXPECT_EQ(SUB::ZipLists("", "", false), "");

    EXPECT_EQ(SUB::ListKeys("| a = 1 |b=2=3|c|", true), "|a|b||");
    EXPECT_EQ(SUB::ListKeys("| a = 1 |b=2=3|c|", false), "| a |b||");
    EXPECT_EQ(SUB::ListValues("| a = 1 |b=2=3|c|", true), "|1|2=3||");
    EXPECT_EQ(SUB::ListValues("|a=x|y|b=c|", false), "|x||c|");
}

TEST(SubDistinctItems, FirstAppearanceWins) {
    EXPECT_EQ(SUB::DistinctItems("|a|B| A |b||c|", ""), "|a|B|c|");
    EXPECT_EQ(SUB::DistinctItems("*x*-*x*-*", "|-|"), "*x*-*-*");
    EXPECT_EQ(SUB::DistinctItems("|||", ""), "");
    EXPECT_EQ(SUB::DistinctItems("", ""), "");
}

TEST(SubSetDelimiter, ReplacesEveryDelimiter) {
    EXPECT_EQ(SUB::SetDelimiter("|a|b|", ','), ",a,b,");
    EXPECT_EQ(SUB::SetDelimiter("", ','), "");
}

TEST(SubItems, IncludesEmptyItems) {
    EXPECT_EQ(SUB::Items("|a||b|"), (Strings{"a", "", "b"}));
    EXPECT_EQ(SUB::Items("|a|b"), (Strings{"a"}));
    EXPECT_EQ(SUB::Items(kNul), Strings{});
}

}  // namespace
}  // namespace zv
