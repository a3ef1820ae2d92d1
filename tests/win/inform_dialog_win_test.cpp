#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "dialogs/win/inform_dialog.h"

namespace zv {
namespace {

std::vector<std::string> g_opened;
bool RecordOpen(const std::string& link) {
    g_opened.push_back(link);
    return true;
}

struct Seen {
    bool found = false;
    std::string text, button;
    bool pressButton = true;
};
Seen g_seen;

BOOL CALLBACK Child(HWND child, LPARAM) {
    char cls[64] = {}, text[512] = {};
    GetClassNameA(child, cls, sizeof(cls));
    GetWindowTextA(child, text, sizeof(text));
    if (lstrcmpiA(cls, "RICHEDIT") == 0) g_seen.text = text;
    if (lstrcmpiA(cls, "Button") == 0) g_seen.button = text;
    return TRUE;
}

// Runs inside the dialog's own loop: looks at the dialog, then presses its button or closes it.
void CALLBACK Inspect(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowA(kInformClassName, nullptr);
    if (!dialog) return;
    KillTimer(nullptr, id);
    g_seen.found = true;
    EnumChildWindows(dialog, &Child, 0);
    HWND button = FindWindowExA(dialog, nullptr, "Button", nullptr);
    if (g_seen.pressButton && button)
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    else
        PostMessageA(dialog, WM_CLOSE, 0, 0);
}

class InformDialogWin : public ::testing::Test {
protected:
    void SetUp() override {
        g_opened.clear();
        g_seen = Seen();
        old_ = SetInformShellOpen(&RecordOpen);
    }
    void TearDown() override { SetInformShellOpen(old_); }
    bool Show(const std::string& text, const std::string& link) {
        SetTimer(nullptr, 0, 200, &Inspect);
        return ShowInformDialog(nullptr, "New Version", "Download", text, link, 360, 360, false,
                                "Tahoma", 8, 0);
    }
    InformShellOpen old_ = nullptr;
};

TEST_F(InformDialogWin, ShowsTextAndButtonAndOpensTheWebLink) {
    EXPECT_TRUE(Show("A new release is out.", " https://example.test/new "));
    EXPECT_TRUE(g_seen.found);
    EXPECT_EQ(g_seen.text, "A new release is out.");
    EXPECT_EQ(g_seen.button, "Download");
    EXPECT_EQ(g_opened, std::vector<std::string>{"https://example.test/new"});
    EXPECT_EQ(FindWindowA(kInformClassName, nullptr), nullptr);
}

TEST_F(InformDialogWin, NoButtonAndNoShellForALocalProgram) {
    EXPECT_TRUE(Show("Text", "C:\\Windows\\System32\\cmd.exe"));
    EXPECT_TRUE(g_seen.found);
    EXPECT_EQ(g_seen.button, "");
    EXPECT_TRUE(g_opened.empty());
}

TEST_F(InformDialogWin, EmptyTextOpensOnlyWebLinksWithoutAWindow) {
    EXPECT_TRUE(ShowInformDialog(nullptr, "t", "b", "", "http://example.test/x", 360, 360, false,
                                 "", 8, 0));
    EXPECT_FALSE(ShowInformDialog(nullptr, "t", "b", "", "C:\\Windows\\System32\\cmd.exe", 360,
                                  360, false, "", 8, 0));
    EXPECT_FALSE(ShowInformDialog(nullptr, "t", "b", "", "", 360, 360, false, "", 8, 0));
    EXPECT_EQ(g_opened, std::vector<std::string>{"http://example.test/x"});
}

TEST_F(InformDialogWin, AQuitArrivingInTheDialogIsPassedOn) {
    g_seen.pressButton = false;
    PostQuitMessage(7);
    EXPECT_TRUE(ShowInformDialog(nullptr, "t", "b", "text", "", 360, 360, false, "", 8, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace zv
