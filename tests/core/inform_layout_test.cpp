#include <gtest/gtest.h>

#include "dialogs/inform_layout.h"

namespace zv {
namespace {

TEST(InformLayout, OnlyWebLinksAreOpened) {
    struct Row {
        const char* link;
        bool web;
    } rows[] = {
        {"http://example.test/new", true},
        {"  HTTPS://example.test/new ", true},
        {"https://", false},
        {"C:\\Windows\\System32\\cmd.exe", false},
        {"\\\\host\\share\\setup.exe", false},
        {"file:///C:/Windows/notepad.exe", false},
        {"ftp://example.test/x", false},
        {"mailto:a@b.test", false},
        {"javascript:alert(1)", false},
        {"", false},
    };
    for (const Row& row : rows) EXPECT_EQ(IsWebLink(row.link), row.web) << row.link;
}

TEST(InformLayout, FacesSizesAndPlaces) {
    EXPECT_EQ(InformTextFace(""), "Verdana");
    EXPECT_EQ(InformTextFace("tahoma"), "Verdana");
    EXPECT_EQ(InformTextFace("Arial"), "Arial");

    EXPECT_EQ(ClampInformSize(360, 1024), 360);
    EXPECT_EQ(ClampInformSize(100000, 1024), 1024);
    EXPECT_EQ(ClampInformSize(-5, 1024), 100);
    EXPECT_EQ(ClampInformSize(0, 60), 60);

    const InformRect text = InformTextRect(400, 300, true);
    EXPECT_EQ(text.x, 3);
    EXPECT_EQ(text.width, 397);
    EXPECT_EQ(text.height, 257);
    EXPECT_EQ(InformTextRect(400, 300, false).height, 300);
    const InformRect button = InformButtonRect(401, 300);
    EXPECT_EQ(button.x, 120);
    EXPECT_EQ(button.y, 267);
    EXPECT_EQ(button.width, 160);
    EXPECT_EQ(button.height, 25);
}

}  // namespace
}  // namespace zv
