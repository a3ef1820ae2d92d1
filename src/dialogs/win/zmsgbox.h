// The stub's own modal message box: mark-up text in a read-only rich-edit control, a blue band
// with an icon, and up to three buttons with localisable captions. The system message box is
// never used.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "dialogs/msgbox_layout.h"

namespace zv {

// 0: the title is repeated as a bold heading above the text; 1: no heading; 2: no heading and no
// Close command; 3 or more: the handle of the owner window (no heading).
using BoxMode = uintptr_t;
constexpr BoxMode kBoxWithHeading = 0;
constexpr BoxMode kBoxPlain = 1;
constexpr BoxMode kBoxNoClose = 2;
inline BoxMode BoxOwnedBy(HWND owner) { return reinterpret_cast<BoxMode>(owner); }

constexpr const char* kMsgBoxClassName = "ZMsgBox";

// Font of every later box; a size of 0 keeps the current size. Starts as Tahoma, 8 points,
// DEFAULT_CHARSET.
void SetMsgBoxFont(const std::string& face, int size, int charset);

// While AutoPlay suppression is on (SetAutoPlaySuppression) a box refuses AutoPlay like the stub
// window does.

// Shows a box and returns the result (boxresult). A character set of 177 or 178 shows the text
// right-aligned and right to left; the font itself comes from SetMsgBoxFont. timeoutMs > 0
// presses the first button when it runs out.
int ShowMsgBox(BoxMode mode, const std::string& text, const std::string& title, int timeoutMs,
               uint32_t flags, int charset = 0, const std::string& captions = "");

// The box itself, owned by owner (may be null).
int RunMsgBox(HWND owner, const std::string& text, const std::string& title, int timeoutMs,
              uint32_t flags, const std::string& captions);

// Thin wrappers; an empty title or caption list is replaced by the standard one.
void ErrorBox(BoxMode mode, const std::string& text, const std::string& title = "",
              int charset = 0, const std::string& captions = "");
void AttentionBox(BoxMode mode, const std::string& text, const std::string& title = "",
                  int timeoutMs = 0, int charset = 0, const std::string& captions = "");
// True for Yes.
bool ConfirmBox(BoxMode mode, const std::string& text, const std::string& title = "",
                int timeoutMs = 0, int charset = 0, const std::string& captions = "");
// True for OK.
bool OkCancelBox(BoxMode mode, const std::string& text, const std::string& title = "",
                 int charset = 0, const std::string& captions = "");

}  // namespace zv
