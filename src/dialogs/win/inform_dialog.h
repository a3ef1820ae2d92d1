// The announcement of a new release: a resizable window ("ZRichEditBox") with the text in a
// read-only rich-edit control and, for a web link, a bar with one button that opens it.
#pragma once
#include <windows.h>

#include <string>

namespace zv {

constexpr const char* kInformClassName = "ZRichEditBox";

// Text empty and a web link: opens the link, true when the shell opened it. Text given: shows
// the dialog and returns true once it is closed. Anything else: false. Links other than
// "http://" and "https://" are never opened.
bool ShowInformDialog(HWND owner, const std::string& title, const std::string& buttonCaption,
                      const std::string& text, const std::string& link, int width, int height,
                      bool rightToLeft, const std::string& fontFace, int fontSize, int charset);

// How links are opened (tests replace it); returns the previous function.
using InformShellOpen = bool (*)(const std::string& link);
InformShellOpen SetInformShellOpen(InformShellOpen open);

}  // namespace zv
