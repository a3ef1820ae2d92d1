// Shared fixtures for the extraction tests: packages built with the layout module's writers,
// a scratch folder per test, and a recorder for everything the engine tells the user.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "package/unpack.h"
#include "utils/platform.h"
#include "utils/trace.h"

namespace zv::test {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Deterministic filler: `compressible` gives text-like runs, otherwise xorshift noise.
inline Bytes Filler(size_t size, uint32_t seed, bool compressible) {
    Bytes out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        if (compressible) {
            out[i] = uint8_t("Zolvex setup data line "[(i + seed) % 23]);
        } else {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            out[i] = uint8_t(x);
        }
    }
    return out;
}

// 2021-08-11 10:45:10 as a packed DOS date-time.
constexpr uint32_t kSampleDate = (uint32_t((2021 - 1980) << 9 | 8 << 5 | 11) << 16) |
                                 uint32_t(10 << 11 | 45 << 5 | 10 / 2);

class PackageBuilder {
public:
    // A stub image: "MZ" at 0 and "PE" at 256, `size` bytes in all.
    PackageBuilder& PeStub(size_t size = 1024) {
        image_ = Filler(size, 7, false);
        image_[0] = 'M';
        image_[1] = 'Z';
        SetImageEnd(image_.data(), image_.size(), 0);
        image_[256] = 'P';
        image_[257] = 'E';
        pe_ = true;
        return *this;
    }
    // Head blocks as the packager writes them; `volumeOne` false leaves them out (volume 2+).
    PackageBuilder& HeadBlocks(bool present) {
        heads_ = present;
        return *this;
    }
    PackageBuilder& File(const std::string& name, const Bytes& data, bool compress = true,
                         uint32_t date = kSampleDate) {
        Bytes content = MakeFileBlockContent(name, date, data.data(), data.size());
        EXPECT_TRUE(AppendFileBlock(files_, content, compress));
        ++fileCount_;
        return *this;
    }
    // A block given as content (item header and data as the caller wants them).
    PackageBuilder& Content(const Bytes& content, bool compress) {
        EXPECT_TRUE(AppendFileBlock(files_, content, compress));
        ++fileCount_;
        return *this;
    }
    // Any bytes at all where the next block would start.
    PackageBuilder& Raw(const Bytes& bytes) {
        files_.insert(files_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    PackageBuilder& MoreVolumes(bool on = true) {
        trailer_.Set(PackageFlag::MoreVolumes, on);
        return *this;
    }
    PackageBuilder& ChecksumOff(bool on = true) {
        checksumOff_ = on;
        return *this;
    }
    PackageTrailer& Trailer() { return trailer_; }

    Bytes Build() {
        Bytes image = image_;
        trailer_.PackageStart = uint32_t(image.size());
        if (heads_) {
            AppendHeadBlock(image, MakeLanguageBlock({MakeLanguageItem("English", {{"s0", "x"}})}));
            AppendHeadBlock(image, HeaderFields{}.Encode());
        }
        headEnd_ = image.size();
        image.insert(image.end(), files_.begin(), files_.end());
        trailer_.FileCount = fileCount_;
        trailer_ = SealPackage(image, trailer_, pe_, checksumOff_);
        return image;
    }
    // Bytes before the first file block of the last Build().
    size_t HeadEnd() const { return headEnd_; }

private:
    Bytes image_;
    Bytes files_;
    bool pe_ = false;
    bool heads_ = true;
    bool checksumOff_ = false;
    uint32_t fileCount_ = 0;
    size_t headEnd_ = 0;
    PackageTrailer trailer_ = PackageTrailer::MakeNew();
};

// Everything the engine reported, in order.
struct UiRecorder {
    struct ProgressCall {
        int kind;
        uint16_t high;
    };
    std::vector<ProgressCall> progress;
    std::vector<std::string> errors;
    std::vector<std::string> prompts;
    std::vector<std::string> ejected;
    int autoPlaySuppressed = 0;
    // Decides each disk prompt; the default presses Cancel.
    std::function<bool(const std::string& text)> onPrompt = [](const std::string&) { return false; };

    ExtractUi Ui() {
        ExtractUi ui;
        ui.progress = [this](int kind, int32_t, uint16_t high, const std::string&, int32_t,
                             int32_t) { progress.push_back({kind, high}); };
        ui.errorBox = [this](const std::string& text) { errors.push_back(text); };
        ui.diskPrompt = [this](const std::string& text, const std::string&, const std::string&,
                               int) {
            prompts.push_back(text);
            return onPrompt(text);
        };
        ui.wait = [](uint32_t) {};
        ui.pump = [] {};
        ui.ejectCD = [this](const std::string& path) { ejected.push_back(path); };
        ui.suppressAutoPlay = [this] { ++autoPlaySuppressed; };
        return ui;
    }
    int Steps() const {
        int n = 0;
        for (const auto& p : progress) n += p.kind == 1;
        return n;
    }
};

// Collects trace output as text.
class TraceCapture {
public:
    TraceCapture() {
        Text().clear();
        old_ = TraceOut().SetSink(&Collect);
    }
    ~TraceCapture() {
        TraceOut().WriteLine();
        TraceOut().SetSink(old_);
    }
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;
    static std::string& Text() {
        static std::string text;
        return text;
    }

private:
    static void Collect(const std::string& chunk) { Text() += chunk; }
    TraceStream::Sink old_;
};

// A fresh scratch folder per test, removed afterwards.
class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        root_ = fs::temp_directory_path() / ("zv_unpack_" + name);
        fs::remove_all(root_);
        fs::create_directories(root_ / "src");
        ResetExtractWriteFailures();
        ResetPlatform();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    std::string Src(const std::string& name) const { return (root_ / "src" / name).string(); }
    std::string Dest() const { return (root_ / "dest").string(); }
    std::string DestFile(const std::string& name) const { return (root_ / "dest" / name).string(); }

    static void WriteFile(const std::string& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static Bytes ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // Names in the destination folder, sorted.
    std::vector<std::string> DestNames() const {
        std::vector<std::string> names;
        if (fs::exists(root_ / "dest"))
            for (const auto& e : fs::directory_iterator(root_ / "dest"))
                names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Everything under the scratch root except the package sources, for "nothing escaped" checks.
    std::vector<std::string> StrayEntries() const {
        std::vector<std::string> stray;
        for (const auto& e : fs::recursive_directory_iterator(root_)) {
            auto rel = fs::relative(e.path(), root_).string();
            if (rel == "src" || rel == "dest" || rel.rfind("src", 0) == 0 ||
                rel.rfind("dest", 0) == 0)
                continue;
            stray.push_back(rel);
        }
        return stray;
    }

    ExtractResult Extract(const std::string& package, UiRecorder& rec,
                          const std::string& agentName = "", bool alwaysPrompt = false) {
        ExtractOptions o;
        o.packageFile = package;
        o.destination = Dest();
        o.agentName = agentName;
        o.diskPrompt = "Please insert disk <DISK_NUM>.";
        o.promptCaption = "Setup";
        o.alwaysPrompt = alwaysPrompt;
        return ExtractPackage(o, rec.Ui());
    }

    fs::path root_;
};

}  // namespace zv::test
