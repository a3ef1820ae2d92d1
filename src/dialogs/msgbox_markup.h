// The message box's small mark-up: "<P>" line break, "<T>" tab, "<B>" ... "</B>" bold (any case),
// turned into plain text plus the character ranges to show in bold.
#pragma once
#include <string>
#include <vector>

namespace zv {

// 0-based character offsets into the plain text, end exclusive.
struct BoldRange {
    int start;
    int end;
    bool operator==(const BoldRange& o) const { return start == o.start && end == o.end; }
};

struct MarkupText {
    std::string text;
    std::vector<BoldRange> bold;  // in the order they were found
};

// Line breaks become CR LF. A "<B>" without a later "</B>" is removed and makes nothing bold;
// stray "</B>" are removed.
MarkupText ConvertMarkup(const std::string& markup);

// The text a box shows for a mode: mode 0 puts the title in front as a bold heading (upper-cased
// when it is one of the standard titles Error, Attention, Confirm); other modes leave it alone.
std::string ComposeBoxText(int mode, const std::string& title, const std::string& text);

}  // namespace zv
