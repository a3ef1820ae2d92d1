#include "dialogs/inform_layout.h"

#include "utils/text.h"

namespace zv {

bool IsWebLink(const std::string& link) {
    const std::string t = Trim(link);
    return (StartsWith("http://", t, true) && t.size() > 7) ||
           (StartsWith("https://", t, true) && t.size() > 8);
}

std::string InformTextFace(const std::string& face) {
    return face.empty() || SameText(face, "Tahoma") ? std::string("Verdana") : face;
}

InformRect InformTextRect(int cW, int cH, bool withLink) {
    return {kInformTextInset, 0, cW - kInformTextInset, withLink ? cH - kInformBarHeight : cH};
}

InformRect InformButtonRect(int cW, int cH) {
    return {(cW - kInformButtonWidth) / 2, cH - 33, kInformButtonWidth, kInformButtonHeight};
}

int ClampInformSize(int value, int workAreaSize) {
    const int low = workAreaSize < 100 ? workAreaSize : 100;
    if (value < low) return low;
    return value > workAreaSize ? workAreaSize : value;
}

}  // namespace zv
