// Writes the seed corpus for fuzz_package_reader: small valid packages of each shape.
// Usage: make_package_corpus DIR
#include <cstdio>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "package_test_builder.h"

namespace {

bool Write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    using zv::testpkg::PackageBuilder;
    const std::string dir = argv[1];
    const std::string token = "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwx";
    bool ok = true;

    PackageBuilder volume;
    volume.header = zv::HeaderFields{"http://127.0.0.1/", "App.Update.info", "Agent.exe",
                                     zv::ScrambleToken(token, 1), false}
                        .Encode();
    volume.files = {{"Setup.txt", 1502447781, "hello", false}, {"Engine.exe*", 0, "MZ", true}};
    ok &= Write(dir, "volume.pkg", volume.Build());

    PackageBuilder spanned = volume;
    spanned.trailer.Set(zv::PackageFlag::MoreVolumes, true);
    spanned.trailer.Set(zv::PackageFlag::SpannedPackage, true);
    ok &= Write(dir, "spanned.pkg", spanned.Build());

    PackageBuilder web;
    web.withDownload = true;
    web.download = zv::DownloadFields{"http://127.0.0.1/Setup.exe", "Setup.exe", true,
                                      zv::ScrambleToken(token, 2, 2), "1024"}
                       .Encode();
    web.trailer.IsWebStub = 1;
    web.trailer.ConfirmDownload = 1;
    ok &= Write(dir, "webstub.pkg", web.Build());

    PackageBuilder stub = volume;
    stub.peImage = true;
    stub.imageSize = 512;
    stub.setImageEnd = true;
    stub.signatureSize = 24;
    stub.trailer.IsAgent = 1;
    stub.trailer.Set(zv::PackageFlag::RunLogEnabled, true);
    ok &= Write(dir, "stub_signed.pkg", stub.Build());

    PackageBuilder plainStub = volume;
    plainStub.peImage = true;
    ok &= Write(dir, "stub_plain.pkg", plainStub.Build());

    std::string scrambled = zv::ScrambleToken(token, 3);
    ok &= Write(dir, "token_scrambled.txt", std::vector<uint8_t>(scrambled.begin(), scrambled.end()));
    return ok ? 0 : 1;
}
