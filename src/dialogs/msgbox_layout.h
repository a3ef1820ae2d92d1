// The message box's rules that need no window: flags, button sets and captions, keyboard
// choice, text measuring and the geometry of the box.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zv {

// Flags word of a box, laid out like the Win32 message-box style word.
namespace boxflags {
constexpr uint32_t kButtonSetMask = 0xF;
constexpr uint32_t kIconMask = 0xF0;
constexpr uint32_t kIconHand = 0x10;
constexpr uint32_t kIconQuestion = 0x20;
constexpr uint32_t kIconExclamation = 0x30;
constexpr uint32_t kIconAsterisk = 0x40;
constexpr uint32_t kDefaultButtonMask = 0xF00;
constexpr uint32_t kRightAligned = 0x80000;
constexpr uint32_t kRtlReading = 0x100000;
constexpr uint32_t kNoClose = 0x10000000;  // MsgBoxNoClose
}  // namespace boxflags
constexpr uint32_t MsgBoxNoClose = boxflags::kNoClose;

// Results: the Win32 dialog identifiers; 0 when the box closed without a button.
namespace boxresult {
constexpr int kNone = 0, kOk = 1, kCancel = 2, kAbort = 3, kRetry = 4, kIgnore = 5, kYes = 6,
              kNo = 7;
}

constexpr const char* kDefaultButtonCaptions = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
constexpr const char* kDefaultBoxTitles = "|Error|Attention|Confirm|";

// Character sets shown right to left (Hebrew, Arabic).
bool IsRightToLeftCharset(int charset);
// Flags with right alignment and right-to-left reading added for such a character set.
uint32_t FlagsForCharset(uint32_t flags, int charset);

struct BoxButton {
    int captionItem;  // index into the caption list
    int result;
};
// Buttons of a set, left to right; sets outside 0..5 have none.
std::vector<BoxButton> ButtonSet(uint32_t flags);
// Captions of the set's buttons; an item missing from the list gives "".
std::vector<std::string> ButtonCaptions(uint32_t flags, const std::string& captionList);

// Focus rule: a negative index is raised by count once, then taken modulo count. -1 when there are
// no buttons.
int WrapButtonIndex(int index, int count);
// Index of the default button (bits 0xF00) among count buttons.
int DefaultButtonIndex(uint32_t flags, int count);

// Button chosen by a typed character: the first whose caption's second character equals it
// (either case). -1 when none.
int ButtonForChar(const std::vector<std::string>& captions, char ch);
// Button chosen by a letter key (virtual key 'A'..'Z'): the last whose caption's character after
// the first "&" (the first character without "&") equals it ignoring case. -1 when none.
int ButtonForLetterKey(const std::vector<std::string>& captions, int virtualKey);

struct BoxSize {
    int width;
    int height;
};

// Height of one text line in the box font.
int BoxLineHeight(int tmHeight, int tmExternalLeading, const std::string& face);
// Size the text needs: lines at CR LF, each at least one line high and one more per 600 pixels
// of width, width at most 600. extent gives a line's width in pixels.
BoxSize MeasureBoxText(const std::string& text, int lineHeight,
                       const std::function<int(const std::string&)>& extent);
// Widens the text control until its content fits its height (bold text is wider than measured).
// request(width) sizes the control to width and returns the size its content asks for.
// Returns the width to keep.
int FitBoldWidth(int measuredWidth, int height, const std::function<BoxSize(int)>& request);

struct BoxFrame {
    int frameX;    // SM_CXFRAME
    int frameY;    // SM_CYFRAME
    int caption;   // SM_CYCAPTION
};
struct Rect {
    int left, top, right, bottom;
};
struct BoxPlacement {
    int x, y, width, height;
};
constexpr int kBandWidth = 54;       // the coloured band on the left
constexpr int kMinBoxWidth = 360;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 23;

// Outer size and position of the box for a text control of editW x editH, centred in workArea.
BoxPlacement PlaceBox(int editW, int editH, const BoxFrame& frame, const Rect& workArea);
// Where the text control goes in a client area of cW x cH.
BoxPlacement PlaceTextControl(int cW, int cH, int editW, int editH);
// Where button index of count goes in a client area of cW x cH.
BoxPlacement PlaceButton(int index, int count, int cW, int cH);

}  // namespace zv
