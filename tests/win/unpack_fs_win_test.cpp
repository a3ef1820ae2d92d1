// The extraction engine on the Win32 file system: nested folders, DOS dates, sizes, free space,
// error texts, and one package extracted through Win32 files.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "package/unpack.h"
#include "stub/win/win32_platform.h"
#include "utils/file_io.h"
#include "utils/platform.h"
#include "utils/win/win_file.h"

namespace zv {
namespace {

class Win32ExtractFs : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "zv_unpack_fs_" + std::to_string(GetCurrentProcessId());
        saved_ = Host();
        InstallWin32Platform();
    }
    void TearDown() override {
        SetPlatform(saved_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    static void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
        auto f = OpenWin32File(path, OpenMode::CreateWrite);
        ASSERT_TRUE(f);
        ASSERT_EQ(f->Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    }

    std::string root_;
    Platform saved_;
};

TEST_F(Win32ExtractFs, FoldersDatesSizesAndErrors) {
    const Platform& fs = Host();
    EXPECT_EQ(fs.pathSeparator, '\\');
    const std::string deep = root_ + "\\a\\b/c\\";
    ASSERT_TRUE(fs.createFolders(deep));
    EXPECT_TRUE(fs.createFolders(deep));  // already there
    const std::string file = root_ + "\\a\\f.txt";
    Put(file, {'1', '2', '3'});
    EXPECT_EQ(fs.fileSize(file), 3);
    EXPECT_EQ(fs.fileSize(root_ + "\\missing"), -1);
    EXPECT_GT(fs.freeSpace(file), 0);
    EXPECT_FALSE(fs.createFolders(file + "\\sub"));  // a file is in the way
    EXPECT_FALSE(fs.lastErrorText().empty());

    const uint32_t dos = uint32_t((2019 - 1980) << 9 | 3 << 5 | 14) << 16 | uint32_t(15 << 11 | 9 << 5 | 26 / 2);
    ASSERT_TRUE(fs.setFileDate(file, dos));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    EXPECT_EQ(uint32_t(date) << 16 | time, dos);
    EXPECT_FALSE(fs.setFileDate(file, 0x00E00000u));  // day 0 of July 1980
    const std::string other = root_ + "\\a\\g.txt";
    Put(other, {'x'});
    ASSERT_TRUE(fs.copyFileDate(file, other));
    ASSERT_TRUE(GetFileAttributesExA(other.c_str(), GetFileExInfoStandard, &data));
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    EXPECT_EQ(uint32_t(date) << 16 | time, dos);
}

TEST_F(Win32ExtractFs, ExtractsThroughWin32Files) {
    std::vector<uint8_t> image;
    PackageTrailer t = PackageTrailer::MakeNew();
    AppendHeadBlock(image, "");
    AppendHeadBlock(image, "|http:|.info|.exe||0|");
    std::vector<uint8_t> data(300000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7 / 5);
    const uint32_t dos = uint32_t((2020 - 1980) << 9 | 2 << 5 | 29) << 16 | uint32_t(23 << 11 | 59 << 5 | 58 / 2);
    ASSERT_TRUE(AppendFileBlock(image, MakeFileBlockContent("Engine.exe*", 0, data.data(), data.size()), true));
    ASSERT_TRUE(AppendFileBlock(image, MakeFileBlockContent("Engine.exe*", dos, data.data(), 10), false));
    t.FileCount = 2;
    SealPackage(image, t, false);
    ASSERT_TRUE(Host().createFolders(root_));
    Put(root_ + "\\Setup.exe", image);

    ExtractOptions o;
    o.packageFile = root_ + "\\Setup.exe";
    o.destination = root_ + "\\dest\\deeper";
    ExtractResult r = ExtractPackage(o, ExtractUi{});
    EXPECT_FALSE(r.damaged) << r.damage;
    EXPECT_EQ(r.mainFile, "Engine.exe*");
    const std::string engine = o.destination + "\\Engine.exe";
    EXPECT_EQ(Host().fileSize(engine), 300010);
    // Dated through the open handle, after the last piece was appended.
    WIN32_FILE_ATTRIBUTE_DATA attr;
    ASSERT_TRUE(GetFileAttributesExA(engine.c_str(), GetFileExInfoStandard, &attr));
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&attr.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    EXPECT_EQ(uint32_t(date) << 16 | time, dos);
}

}  // namespace
}  // namespace zv
