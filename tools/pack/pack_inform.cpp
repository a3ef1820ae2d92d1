#include "pack_inform.h"

#include <fstream>
#include <iterator>

#include "autoupdate/update_cycle.h"
#include "package/gfile_info.h"
#include "package/package_layout.h"
#include "pack_names.h"
#include "pack_platform.h"

namespace zv::pack {
namespace {

constexpr size_t kFixedFields = 4;  // the bars around the token and the two unused fields

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

std::string InformFileText(const std::string& token, const std::string& text, uint32_t seed) {
    // The agent reads "|token|B|C|text" and takes B and C for nothing.
    return "|" + ScrambleToken(token, seed) + "|||" + text;
}

int InformCommand(const std::string& package, const std::string& textFile,
                  const std::string& output, uint32_t seed, std::ostream& out,
                  std::ostream& err) {
    if (SamePath(output, package) || SamePath(output, textFile)) {
        err << "error: the inform file must not replace its package or its text\n";
        return 1;
    }
    if (!StatPath(package).exists) {
        err << "error: cannot read " << Printable(package) << "\n";
        return 1;
    }
    PackageTrailer trailer;
    if (!ReadTrailer(package, trailer) || !trailer.HasSignature()) {
        err << "error: " << Printable(package) << " is not a package\n";
        return 1;
    }
    const std::string token = TGFileInfo(package).UpdateToken(true);
    if (token.empty()) {
        err << "error: " << Printable(package)
            << " has no update token: its agent would refuse any inform file\n";
        return 1;
    }
    std::string text;
    if (!ReadText(textFile, text)) {
        err << "error: cannot read " << Printable(textFile) << "\n";
        return 1;
    }
    const std::string content = InformFileText(token, text, seed);
    if (content.size() > size_t(kMaxInformFileBytes)) {
        err << "error: the inform file would be " << content.size() << " bytes; the agent takes "
            << kMaxInformFileBytes << " at most (" << content.size() - text.size() - kFixedFields
            << " of them for the token)\n";
        return 1;
    }
    std::ofstream file(output, std::ios::binary | std::ios::trunc);
    if (!file || !file.write(content.data(), std::streamsize(content.size())) || !file.flush()) {
        err << "error: cannot write " << Printable(output) << ": " << LastSystemError() << "\n";
        file.close();
        RemoveFileQuietly(output);
        return 1;
    }
    out << "Wrote " << output << " (" << content.size() << " bytes): set SizeOfInformFile="
        << content.size() << " in the .info file\n";
    return 0;
}

}  // namespace zv::pack
