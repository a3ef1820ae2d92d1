// The message box's rules that need no window: buttons, keys, measuring and layout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/msgbox_layout.h"

namespace zv {
namespace {

const std::string kCaptions = kDefaultButtonCaptions;

TEST(ButtonSet, ResultsAndCaptionsPerSet) {
    const struct {
        uint32_t flags;
        std::vector<int> results;
        std::vector<std::string> captions;
    } cases[] = {
        {0x10, {1}, {"&OK"}},
        {0x21, {1, 2}, {"&OK", "&Cancel"}},
        {0x02, {3, 4, 5}, {"&Abort", "&Retry", "&Ignore"}},
        {0x03, {6, 7, 2}, {"&Yes", "&No", "&Cancel"}},
        {0x24, {6, 7}, {"&Yes", "&No"}},
        {0x05, {4, 2}, {"&Retry", "&Cancel"}},
        {0x06, {}, {}},
        {0x0F, {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<int> results;
        for (const BoxButton& b : ButtonSet(c.flags)) results.push_back(b.result);
        EXPECT_EQ(results, c.results) << c.flags;
        EXPECT_EQ(ButtonCaptions(c.flags, kCaptions), c.captions) << c.flags;
    }
    // A short caption list leaves the missing captions empty.
    EXPECT_EQ(ButtonCaptions(0x04, "|Ok|Cancel|Ja|"), (std::vector<std::string>{"Ja", ""}));
}

TEST(ButtonFocus, DefaultAndCyclicIndex) {
    EXPECT_EQ(DefaultButtonIndex(0x004, 2), 0);
    EXPECT_EQ(DefaultButtonIndex(0x104, 2), 1);
    EXPECT_EQ(DefaultButtonIndex(0x204, 2), 0);  // third of two wraps to the first
    EXPECT_EQ(DefaultButtonIndex(0x203, 3), 2);
    EXPECT_EQ(DefaultButtonIndex(0x100, 1), 0);
    EXPECT_EQ(DefaultButtonIndex(0x006, 0), -1);  // no buttons: nothing to focus
    // Tab from the last button goes to the first; Left from the first (or from none) to the last.
    EXPECT_EQ(WrapButtonIndex(2 + 1, 3), 0);
    EXPECT_EQ(WrapButtonIndex(0 - 1, 3), 2);
    EXPECT_EQ(WrapButtonIndex(-1 - 1, 2), 0);
    EXPECT_EQ(WrapButtonIndex(-1 + 1, 2), 0);
}

TEST(ButtonKeys, CharactersAndLetterKeys) {
    const std::vector<std::string> yesNo{"&Yes", "&No"};
    EXPECT_EQ(ButtonForChar(yesNo, 'y'), 0);
    EXPECT_EQ(ButtonForChar(yesNo, 'Y'), 0);
    EXPECT_EQ(ButtonForChar(yesNo, 'n'), 1);
    EXPECT_EQ(ButtonForChar(yesNo, '&'), -1);
    EXPECT_EQ(ButtonForChar({"OK"}, 'k'), 0);        // second character, "&" or not
    EXPECT_EQ(ButtonForChar({"&Ja", "&Jein"}, 'j'), 0);  // first match wins
    EXPECT_EQ(ButtonForChar({"", "X"}, 'x'), -1);

    EXPECT_EQ(ButtonForLetterKey(yesNo, 'Y'), 0);
    EXPECT_EQ(ButtonForLetterKey(yesNo, 'N'), 1);
    EXPECT_EQ(ButtonForLetterKey(yesNo, 'Q'), -1);
    EXPECT_EQ(ButtonForLetterKey({"Re&try", "Cancel"}, 'T'), 0);
    EXPECT_EQ(ButtonForLetterKey({"Re&try", "Cancel"}, 'C'), 1);  // no "&": first character
    EXPECT_EQ(ButtonForLetterKey({"&Ja", "&Jein"}, 'J'), 1);        // last match wins
    EXPECT_EQ(ButtonForLetterKey({"Ok&"}, 'O'), -1);
    EXPECT_EQ(ButtonForLetterKey(yesNo, 0x1B), -1);
}

TEST(MeasureBoxText, LinesWrapEvery600Pixels) {
    auto extent = [](const std::string& line) { return static_cast<int>(line.size()) * 10; };
    const struct {
        std::string text;
        BoxSize size;
    } cases[] = {
        {"", {20, 13}},                              // counts as one blank
        {"abc", {40, 13}},
        {"abc\r\n", {40, 13}},                       // no line after the last CR LF
        {"abc\r\n\r\nx", {40, 39}},
        {std::string(59, 'w'), {600, 13}},           // 590 + 10
        {std::string(60, 'w'), {600, 26}},           // 600 pixels: a second line
        {std::string(130, 'w'), {600, 39}},
    };
    for (const auto& c : cases) {
        const BoxSize s = MeasureBoxText(c.text, 13, extent);
        EXPECT_EQ(s.width, c.size.width) << c.text;
        EXPECT_EQ(s.height, c.size.height) << c.text;
    }
    EXPECT_EQ(BoxLineHeight(13, 0, "Tahoma"), 13);
    EXPECT_EQ(BoxLineHeight(12, 1, " ms pgothic "), 14);
}

TEST(FitBoldWidth, GrowsUntilTheContentFits) {
    std::vector<int> tried;
    // The content needs 230 pixels to stay on its two lines.
    const int w = FitBoldWidth(200, 26, [&](int width) {
        tried.push_back(width);
        return BoxSize{230, width >= 230 ? 26 : 39};
    });
    EXPECT_EQ(w, 230);
    EXPECT_EQ(tried, (std::vector<int>{210, 220, 230}));

    // Never fits: the widest request plus 10.
    int calls = 0;
    EXPECT_EQ(FitBoldWidth(100, 13, [&](int) {
                  ++calls;
                  return BoxSize{calls == 5 ? 420 : 150, 26};
              }),
              430);
    EXPECT_EQ(calls, 21);
}

TEST(PlaceBox, MarginsMinimumWidthAndCentring) {
    const BoxFrame frame{4, 4, 19};
    const Rect work{0, 0, 1024, 738};
    const struct {
        int editW, editH, width, height;
    } cases[] = {
        {60, 13, 360, 13 + 36 + 2 * 45 + 8 + 19},    // short one-liner: wide margins, minimum width
        {199, 38, 199 + 54 + 2 * 64 + 8, 38 + 36 + 2 * 45 + 8 + 19},
        {200, 39, 360, 39 + 36 + 2 * 32 + 8 + 19},   // 200 + 54 + 64 + 8 is below the minimum
        {610, 200, 610 + 54 + 2 * 32 + 8, 200 + 36 + 2 * 32 + 8 + 19},
    };
    for (const auto& c : cases) {
        const BoxPlacement p = PlaceBox(c.editW, c.editH, frame, work);
        EXPECT_EQ(p.width, c.width) << c.editW;
        EXPECT_EQ(p.height, c.height) << c.editW;
        EXPECT_EQ(p.x, (1024 - p.width) / 2) << c.editW;
        EXPECT_EQ(p.y, (738 - p.height) / 2) << c.editW;
    }
    // A work area that does not start at 0 (task bar on the left or top).
    const BoxPlacement shifted = PlaceBox(60, 13, frame, {100, 30, 1124, 768});
    EXPECT_EQ(shifted.x, 100 + (1024 - 360) / 2);
    EXPECT_EQ(shifted.y, 30 + (738 - 166) / 2);
}

TEST(PlaceBox, TextAndButtonsInTheClientArea) {
    const BoxPlacement t = PlaceTextControl(352, 200, 80, 13);
    EXPECT_EQ(t.x, 54 + (352 - 54 - 80) / 2);
    EXPECT_EQ(t.y, (200 - 36 - 13) / 2);
    EXPECT_EQ(t.width, 80);
    EXPECT_EQ(t.height, 200 - t.y - 39);

    // Buttons touch each other; the last stands 10 pixels from the right edge.
    const BoxPlacement b0 = PlaceButton(0, 3, 352, 200);
    const BoxPlacement b2 = PlaceButton(2, 3, 352, 200);
    EXPECT_EQ(b2.x, 352 - 80);
    EXPECT_EQ(b0.x, 352 - 80 - 140);
    EXPECT_EQ(b0.y, 200 - 29);
    EXPECT_EQ(b0.width, 70);
    EXPECT_EQ(b0.height, 23);
}

TEST(FlagsForCharset, HebrewAndArabicReadRightToLeft) {
    EXPECT_EQ(FlagsForCharset(0x24, 177), 0x24u | 0x80000u | 0x100000u);
    EXPECT_EQ(FlagsForCharset(0x24, 178), 0x24u | 0x80000u | 0x100000u);
    EXPECT_EQ(FlagsForCharset(0x24, 0), 0x24u);
    EXPECT_EQ(FlagsForCharset(0x24, 161), 0x24u);
}

}  // namespace
}  // namespace zv
