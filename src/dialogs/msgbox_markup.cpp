#include "dialogs/msgbox_markup.h"

#include <cstring>
#include <deque>

#include "dialogs/msgbox_layout.h"
#include "utils/text.h"

namespace zv {
namespace {


// Whether the upper-case ASCII tag starts at text[at], ignoring case.
bool TagAt(const std::string& text, size_t at, const char* tag) {
    const size_t n = std::strlen(tag);
    if (at + n > text.size()) return false;
    for (size_t k = 0; k < n; ++k)
        if (AsciiUpper(text[at + k]) != tag[k]) return false;
    return true;
}

}  // namespace

// One pass, so that a long text full of tags costs no more than its length. Each "<B>" pairs
// with the first "</B>" after it that no earlier "<B>" took; ranges are offsets in the final
// text, whatever tags are removed behind them.
MarkupText ConvertMarkup(const std::string& markup) {
    std::string t = ExpandEscapes(markup);
    // ComposeBoxText puts "<<b>" before a heading; its first character is surplus.
    if (t.compare(0, 4, "<<b>") == 0) t.erase(0, 1);

    MarkupText out;
    out.text.reserve(t.size());
    std::deque<size_t> openings;  // output offsets of "<B>" still waiting for their "</B>"
    for (size_t i = 0; i < t.size();) {
        if (TagAt(t, i, "<B>")) {
            openings.push_back(out.text.size());
            i += 3;
        } else if (TagAt(t, i, "</B>")) {
            if (!openings.empty()) {
                const size_t start = openings.front();
                openings.pop_front();
                if (out.text.size() > start)
                    out.bold.push_back({static_cast<int>(start), static_cast<int>(out.text.size())});
            }
            i += 4;
        } else {
            out.text += t[i++];
        }
    }
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
