#include "dialogs/msgbox_markup.h"

#include <cstring>

#include "dialogs/msgbox_layout.h"
#include "utils/text.h"

namespace zv {
namespace {

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Position of the upper-case ASCII tag in text at or after from, ignoring case, or npos.
size_t FindTag(const std::string& text, const char* tag, size_t from = 0) {
    const size_t n = std::strlen(tag);
    for (size_t i = from; i + n <= text.size(); ++i) {
        size_t k = 0;
        while (k < n && AsciiUpper(text[i + k]) == tag[k]) ++k;
        if (k == n) return i;
    }
    return std::string::npos;
}

// Deletes a tag and moves the ranges found so far with the text behind it, so that every range
// still names the same characters in the final text.
void EraseTag(MarkupText& m, size_t pos, size_t length) {
    m.text.erase(pos, length);
    const int p = static_cast<int>(pos);
    const int len = static_cast<int>(length);
    auto shift = [&](int& offset) {
        if (offset > p) offset = offset - len < p ? p : offset - len;
    };
    for (BoldRange& r : m.bold) {
        shift(r.start);
        shift(r.end);
    }
}

}  // namespace

MarkupText ConvertMarkup(const std::string& markup) {
    MarkupText out;
    std::string& t = out.text;
    t = ExpandEscapes(markup);
    // A heading arrives as "<<b>" so that it cannot be confused with a caller's own "<b>"; the
    // extra "<" goes before the tags are read.
    if (t.compare(0, 4, "<<b>") == 0) t.erase(0, 1);

    // Each "<B>" pairs with the next "</B>" after it; a "<B>" without one is dropped.
    for (;;) {
        const size_t open = FindTag(t, "<B>");
        if (open == std::string::npos) break;
        EraseTag(out, open, 3);
        const size_t close = FindTag(t, "</B>", open);
        if (close != std::string::npos && close > open) {
            EraseTag(out, close, 4);
            out.bold.push_back({static_cast<int>(open), static_cast<int>(close)});
        }
    }
    for (size_t close; (close = FindTag(t, "</B>")) != std::string::npos;) EraseTag(out, close, 4);
    return out;
}

std::string ComposeBoxText(int mode, const std::string& title, const std::string& text) {
    if (mode != 0) return text;
    const bool standard =
        !title.empty() && std::string(kDefaultBoxTitles).find(title) != std::string::npos;
    const std::string heading = standard ? UpperCase(title) : title;
    return "<<b>" + heading + "</b><P><P>" + text + "<P>";
}

}  // namespace zv
