#include "package/setup_dispatch.h"

#include <gtest/gtest.h>

#include "package/package_layout.h"

namespace zv {
namespace {

// A small stand-in for the web stub: "MZ", "PE" at 256, head blocks, a sealed trailer.
std::vector<uint8_t> WebStubImage(bool setImageEnd) {
    std::vector<uint8_t> image(1024, 0x90);
    image[0] = 'M';
    image[1] = 'Z';
    image[256] = 'P';
    image[257] = 'E';
    for (size_t i = 248; i < 256; ++i) image[i] = 0;
    PackageTrailer trailer = PackageTrailer::MakeNew();
    trailer.PackageStart = uint32_t(image.size());
    trailer.HeadBlockCount = 3;
    trailer.IsWebStub = 1;
    trailer.SaveAgentCopy = 1;
    AppendHeadBlock(image, "\x02\x01" "English\x01\x02");
    AppendHeadBlock(image, HeaderFields{}.Encode());
    AppendHeadBlock(image, "|http://127.0.0.1/|Setup.exe|0||1000|");
    SealPackage(image, trailer, setImageEnd, true);
    return image;
}

TEST(WebStubAgentCopy, DropsWhatFollowsImageEndAndMarksTheAgent) {
    for (size_t signature : {size_t(0), size_t(8000), size_t(20000)}) {
        const std::vector<uint8_t> stub = WebStubImage(true);
        std::vector<uint8_t> file = stub;
        file.resize(file.size() + signature, 0xAB);

        ASSERT_TRUE(MakeWebStubAgentCopy(file)) << signature;
        ASSERT_EQ(file.size(), stub.size()) << signature;
        EXPECT_EQ(file[file.size() - 5], 1) << signature;
        file[file.size() - 5] = 0;
        EXPECT_EQ(file, stub) << signature;
    }
}

TEST(WebStubAgentCopy, WithoutImageEndTheTrailerEndsTheFile) {
    std::vector<uint8_t> file = WebStubImage(false);
    const size_t size = file.size();
    ASSERT_TRUE(MakeWebStubAgentCopy(file));
    ASSERT_EQ(file.size(), size);
    EXPECT_EQ(PackageTrailer::Decode(file.data() + size - kTrailerSize, kTrailerSize).IsAgent, 1);
}

TEST(WebStubAgentCopy, RefusesBytesWithoutAPackage) {
    std::vector<uint8_t> noTrailer(4096, 0x11);
    EXPECT_FALSE(MakeWebStubAgentCopy(noTrailer));
    EXPECT_EQ(noTrailer, std::vector<uint8_t>(4096, 0x11));

    // ImageEnd beyond the end of the file: a truncated download.
    std::vector<uint8_t> truncated = WebStubImage(true);
    truncated.resize(truncated.size() - 10);
    const std::vector<uint8_t> before = truncated;
    EXPECT_FALSE(MakeWebStubAgentCopy(truncated));
    EXPECT_EQ(truncated, before);
}

}  // namespace
}  // namespace zv
