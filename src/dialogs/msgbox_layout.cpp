#include "dialogs/msgbox_layout.h"

#include <algorithm>

#include "utils/sub.h"
#include "utils/sys_info.h"
#include "utils/text.h"

namespace zv {
bool IsRightToLeftCharset(int charset) { return charset == 177 || charset == 178; }

uint32_t FlagsForCharset(uint32_t flags, int charset) {
    if (IsRightToLeftCharset(charset)) flags |= boxflags::kRightAligned | boxflags::kRtlReading;
    return flags;
}

std::vector<BoxButton> ButtonSet(uint32_t flags) {
    switch (flags & boxflags::kButtonSetMask) {
        case 0: return {{0, boxresult::kOk}};
        case 1: return {{0, boxresult::kOk}, {1, boxresult::kCancel}};
        case 2: return {{4, boxresult::kAbort}, {5, boxresult::kRetry}, {6, boxresult::kIgnore}};
        case 3: return {{2, boxresult::kYes}, {3, boxresult::kNo}, {1, boxresult::kCancel}};
        case 4: return {{2, boxresult::kYes}, {3, boxresult::kNo}};
        case 5: return {{5, boxresult::kRetry}, {1, boxresult::kCancel}};
        default: return {};
    }
}

std::vector<std::string> ButtonCaptions(uint32_t flags, const std::string& captionList) {
    std::vector<std::string> captions;
    for (const BoxButton& b : ButtonSet(flags))
        captions.push_back(SUB::GetItem(captionList, b.captionItem, ""));
    return captions;
}

int WrapButtonIndex(int index, int count) {
    if (count <= 0) return -1;
    if (index < 0) index += count;
    index %= count;
    return index < 0 ? index + count : index;
}

int DefaultButtonIndex(uint32_t flags, int count) {
    return WrapButtonIndex(static_cast<int>((flags & boxflags::kDefaultButtonMask) >> 8), count);
}

int ButtonForChar(const std::vector<std::string>& captions, char ch) {
    const char upper = UpperCase(std::string(1, ch))[0];
    for (size_t i = 0; i < captions.size(); ++i) {
        const std::string& c = captions[i];
        if (c.size() >= 2 && (c[1] == ch || c[1] == upper)) return static_cast<int>(i);
    }
    return -1;
}

int ButtonForLetterKey(const std::vector<std::string>& captions, int virtualKey) {
    if (virtualKey < 'A' || virtualKey > 'Z') return -1;
    int target = -1;
    for (size_t i = 0; i < captions.size(); ++i) {
        const std::string& c = captions[i];
        const size_t amp = c.find('&');
        const size_t at = amp == std::string::npos ? 0 : amp + 1;
        if (at < c.size() && AsciiUpper(c[at]) == static_cast<char>(virtualKey))
            target = static_cast<int>(i);
    }
    return target;
}

int BoxLineHeight(int tmHeight, int tmExternalLeading, const std::string& face) {
    return tmHeight + tmExternalLeading + (SameTextTrim(face, "MS PGothic") ? 1 : 0);
}

BoxSize MeasureBoxText(const std::string& text, int lineHeight,
                       const std::function<int(const std::string&)>& extent) {
    const std::string t = text.empty() ? std::string(" ") : text;
    BoxSize size{0, 0};
    size_t start = 0;
    while (start < t.size() || start == 0) {
        size_t end = t.find("\r\n", start);
        const bool last = end == std::string::npos;
        if (last) end = t.size();
        const int cx = extent(t.substr(start, end - start));
        size.width = std::max(size.width, cx + 10);
        size.height += (cx / 600 + 1) * lineHeight;
        if (last) break;
        start = end + 2;  // a final empty line after the last CR LF does not count
    }
    size.width = std::min(size.width, 600);
    return size;
}

int FitBoldWidth(int measuredWidth, int height, const std::function<BoxSize(int)>& request) {
    // The control already stands at measuredWidth + 10; the tries start there so that the first
    // one never makes it narrower than the plain text needs.
    int best = measuredWidth;
    for (int i = 0; i <= 20; ++i) {
        const int width = measuredWidth + 10 + 10 * i;
        const BoxSize wanted = request(width);
        if (wanted.height <= height) return width;
        best = std::max(best, wanted.width);
    }
    return best + 10;
}

BoxPlacement PlaceBox(int editW, int editH, const BoxFrame& frame, const Rect& workArea) {
    const int marginX = editW < 200 ? 64 : 32;
    const int marginY = editH < 39 ? 45 : 32;
    BoxPlacement p{};
    p.width = std::max(editW + kBandWidth + 2 * marginX + 2 * frame.frameX, kMinBoxWidth);
    p.height = editH + 36 + 2 * marginY + 2 * frame.frameY + frame.caption;
    const ScreenPoint at = CenterInArea(workArea.left, workArea.top, workArea.right,
                                        workArea.bottom, p.width, p.height);
    p.x = at.left;
    p.y = at.top;
    return p;
}

BoxPlacement PlaceTextControl(int cW, int cH, int editW, int editH) {
    BoxPlacement p{};
    p.x = kBandWidth + (cW - kBandWidth - editW) / 2;
    p.y = (cH - 36 - editH) / 2;
    p.width = editW;
    p.height = cH - p.y - 39;
    return p;
}

BoxPlacement PlaceButton(int index, int count, int cW, int cH) {
    return {cW - 80 - kButtonWidth * (count - 1 - index), cH - 29, kButtonWidth, kButtonHeight};
}

}  // namespace zv
