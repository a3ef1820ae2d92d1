// Rules of the inform dialog that need no window: which links it may open, the text font's
// face, the dialog's size on the work area, and where the text and the button go.
#pragma once
#include <string>

namespace zv {

constexpr int kInformBarHeight = 43;
constexpr int kInformButtonWidth = 160;
constexpr int kInformButtonHeight = 25;
constexpr int kInformTextInset = 3;
constexpr int kInformTextCellHeight = 15;

// Only a web address ("http://" or "https://", any case) is handed to the shell: a link from a
// server's description must never start a program or open a local file.
bool IsWebLink(const std::string& link);

// "Verdana" unless the caller's face is neither empty nor "Tahoma".
std::string InformTextFace(const std::string& face);

struct InformRect {
    int x, y, width, height;
};
// The text control for a client area cW x cH, with or without the button bar.
InformRect InformTextRect(int clientWidth, int clientHeight, bool withLink);
InformRect InformButtonRect(int clientWidth, int clientHeight);

// A size from the description held within the work area (at least 100 x 100 when it fits).
int ClampInformSize(int value, int workAreaSize);

}  // namespace zv
