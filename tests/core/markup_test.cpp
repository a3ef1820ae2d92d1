#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialogs/msgbox_markup.h"

namespace zv {
namespace {

TEST(ConvertMarkup, TextAndBoldRanges) {
    const struct {
        const char* markup;
        const char* text;
        std::vector<BoldRange> bold;
    } cases[] = {
        {"plain", "plain", {}},
        {"a<P>b<p>c<T>d<t>e", "a\r\nb\r\nc\td\te", {}},
        {"Insert <B>DISK #2</B> now", "Insert DISK #2 now", {{7, 14}}},
        {"<b>x</B> and <B>yz</b>", "x and yz", {{0, 1}, {6, 8}}},
        {"lone <B>bold", "lone bold", {}},                     // no closing tag: nothing bold
        {"a</B>b<B>c", "abc", {}},                             // closing before opening
        {"<B></B>x", "x", {}},                                 // empty range is dropped
        // A stray "</B>" before a pair neither spoils the pair nor shifts its range.
        {"a</B>b<B>c</B>d", "abcd", {{2, 3}}},
        {"<B>x</B></B>y<B>z</B>", "xyz", {{0, 1}, {2, 3}}},
        // Tags removed later inside an earlier range shrink it with the text.
        {"<B>a<B>b</B>", "ab", {{0, 2}}},
        {"<B>a<P>b</B>", "a\r\nb", {{0, 4}}},                  // offsets count CR LF as two
        {"<<b>ERROR</b><P><P>Bad<P>", "ERROR\r\n\r\nBad\r\n", {{0, 5}}},
        {"x<<b>y</b>", "x<y", {{2, 3}}},                       // "<<b>" only counts at the start
        {"", "", {}},
    };
    for (const auto& c : cases) {
        const MarkupText m = ConvertMarkup(c.markup);
        EXPECT_EQ(m.text, c.text) << c.markup;
        EXPECT_EQ(m.bold, c.bold) << c.markup;
    }
}

TEST(ComposeBoxText, HeadingOnlyInModeZero) {
    const struct {
        int mode;
        const char* title;
        const char* expected;
    } cases[] = {
        {0, "Error", "<<b>ERROR</b><P><P>Text<P>"},
        {0, "Attention", "<<b>ATTENTION</b><P><P>Text<P>"},
        {0, "Setup", "<<b>Setup</b><P><P>Text<P>"},      // other titles keep their case
        {0, "error", "<<b>error</b><P><P>Text<P>"},      // the standard titles match by case
        {0, "", "<<b></b><P><P>Text<P>"},
        {1, "Error", "Text"},
        {2, "Error", "Text"},
    };
    for (const auto& c : cases) EXPECT_EQ(ComposeBoxText(c.mode, c.title, "Text"), c.expected);

    const MarkupText shown = ConvertMarkup(ComposeBoxText(0, "Error", "Bad <b>CRC</b>"));
    EXPECT_EQ(shown.text, "ERROR\r\n\r\nBad CRC\r\n");
    EXPECT_EQ(shown.bold, (std::vector<BoldRange>{{0, 5}, {13, 16}}));
}

}  // namespace
}  // namespace zv
