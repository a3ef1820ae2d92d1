#include "utils/sys_info.h"

#include "utils/text.h"

namespace zv {
namespace {

struct NameRow {
    const char* version;
    const char* name;
    uint32_t id;
};

const NameRow kNtRows[] = {
    {"4.0", "NT", 8},        {"5.0", "2000", 16},    {"5.1", "XP", 32},
    {"5.2", "2003", 64},     {"6.0", "Vista", 128},  {"6.1", "7", 1024},
    {"6.2", "8", 32768},     {"6.3", "8.1", 262144}, {"10.0", "10", 2097152},
};
const NameRow kNt64Rows[] = {
    {"5.2", "XP.64", 256},      {"6.0", "Vista.64", 512}, {"6.1", "7.64", 2048},
    {"6.2", "8.64", 65536},     {"6.3", "8.1.64", 524288}, {"10.0", "10.64", 4194304},
};
const NameRow kServer64Rows[] = {
    {"6.0", "2008.64", 8192},
    {"6.1", "2008R2.64", 16384},
    {"6.2", "2012.64", 131072},
    {"6.3", "2012R2.64", 1048576},
};
const NameRow kServer32Rows[] = {
    {"6.0", "2008", 4096},
};
const NameRow k9xRows[] = {
    {"4.0", "95", 1},
    {"4.10", "98", 2},
    {"4.90", "ME", 4},
};

template <size_t N>
bool Apply(const NameRow (&rows)[N], OSInfo& info) {
    for (const NameRow& row : rows) {
        if (info.versionText == row.version) {
            info.name = row.name;
            info.id = row.id;
            return true;
        }
    }
    return false;
}

uint32_t ItemNumber(const std::string& dotted, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = dotted.find('.', start);
        if (start == std::string::npos) return 0;
        ++start;
    }
    size_t end = dotted.find('.', start);
    return uint32_t(StrToInt64Def(dotted.substr(start, end - start), 0));
}

}  // namespace

OSInfo ClassifyOS(const OSVersionRecord& version, bool windows64, bool server) {
    OSInfo info;
    info.versionText = IntText(version.major) + "." + IntText(version.minor);
    info.servicePack = Trim(version.servicePack);
    info.build = version.build;
    switch (version.platformId) {
        case kPlatformWin32s:
            info.name = "32S";
            info.id = 0;
            break;
        case kPlatformWindows:
            if (info.versionText == "4.10" && version.build == 3000) info.versionText = "4.90";
            if (!Apply(k9xRows, info)) {
                info.name = "9x";
                info.id = 1;
            }
            break;
        default:
            if (!Apply(kNtRows, info)) {
                info.name = "NTx";
                info.id = 8;
            }
            if (windows64) Apply(kNt64Rows, info);
            if (server) {
                if (windows64)
                    Apply(kServer64Rows, info);
                else
                    Apply(kServer32Rows, info);
            }
            break;
    }
    return info;
}

OSVersionRecord CorrectReportedVersion(const OSVersionRecord& reported,
                                       const std::string& kernelProductVersion) {
    if (!(reported.major > 5 && reported.minor > 2)) return reported;
    const std::string product = NormalizeVersion(kernelProductVersion, 1, 4);
    OSVersionRecord corrected = reported;
    corrected.major = ItemNumber(product, 0);
    corrected.minor = ItemNumber(product, 1);
    corrected.build = ItemNumber(product, 2);
    // Without a readable version resource the reported record is still the better answer.
    return corrected.major == 0 ? reported : corrected;
}

bool VersionTextAtLeast8(const std::string& versionText) {
    // Read as a decimal number without the C locale: "10.0" is above "6.2" although it sorts
    // below it as text.
    const std::string t = Trim(versionText);
    const size_t point = t.find_first_of(".,");
    const int64_t whole = StrToInt64Def(t.substr(0, point), -1);
    if (whole < 0) return false;
    if (whole != 6) return whole > 6;
    const std::string fraction = point == std::string::npos ? "" : t.substr(point + 1);
    // 6.2, 6.25, 6.3 ... but not 6.1 or 6.19.
    const std::string digits = fraction.empty() ? "0" : fraction;
    for (char c : digits)
        if (c < '0' || c > '9') return false;
    return digits[0] >= '2';
}

ScreenPoint CenterInArea(int areaLeft, int areaTop, int areaRight, int areaBottom, int width,
                         int height) {
    ScreenPoint p;
    p.left = areaLeft + (areaRight - areaLeft - width) / 2;
    p.top = areaTop + (areaBottom - areaTop - height) / 2;
    return p;
}

}  // namespace zv
