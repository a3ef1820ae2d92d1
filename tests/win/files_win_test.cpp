#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include "utils/files.h"
#include "utils/win/files_win.h"
#include "stub/win/win32_platform.h"
#include "utils/platform.h"
#include "utils/win/win_file.h"
#include "win_test_util.h"

namespace zv {
namespace {

class FilesWin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        InstallWin32Platform();
    }
};

// The shipped programs start on this platform and link no C-library answers to fall back on.
TEST(Win32Platform, FillsEveryMember) {
    Platform p;
    FillWin32Platform(p);
    EXPECT_EQ(MissingPlatformMembers(p), std::vector<std::string>{});
}

TEST_F(FilesWin, ReadAndWriteWholeFiles) {
    ScratchFolder dir("files");
    const std::string path = dir / "a.txt";
    EXPECT_TRUE(WriteTextFile(path, ""));   // creates an empty file
    EXPECT_TRUE(PathExists(path));
    EXPECT_EQ(GetFileSize64(path), 0);
    EXPECT_TRUE(WriteTextFile(path, "0123456789"));
    EXPECT_EQ(ReadFilePart(path, 0, false, 10), "");   // offset equal to the size
    EXPECT_EQ(ReadFilePart(path, 3, false, 4), "456");
    EXPECT_TRUE(AppendTextToFile(path, "ab", true));
    EXPECT_EQ(ReadFilePart(path), "0123456789ab\r\n");
    EXPECT_TRUE(WriteTextFile(path, "xy", 0, true));
    EXPECT_EQ(ReadFilePart(path), "0123456789ab\r\nxy");
    EXPECT_EQ(GetFileSize64(path), 16);
    EXPECT_EQ(GetFileSize64(dir / "missing.txt"), 0);
    EXPECT_EQ(GetFileSize64(dir / "*.txt"), 0);
    EXPECT_EQ(ReadFilePart(dir / "missing.txt"), "");
}

TEST_F(FilesWin, FileDateIsSetAsLocalTime) {
    ScratchFolder dir("date");
    const std::string path = dir / "dated.bin";
    // 2003-12-06 14:30:20 packed: date in the high word, time in the low word.
    const uint32_t dos = uint32_t(((2003 - 1980) << 9 | 12 << 5 | 6)) << 16 | (14 << 11 | 30 << 5 | 10);
    for (bool append : {false, true}) {
        ASSERT_TRUE(append ? AppendTextToFile(path, "x", false, dos)
                           : WriteTextFile(path, "data", dos));
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
        FILETIME local;
        ASSERT_TRUE(FileTimeToLocalFileTime(&data.ftLastWriteTime, &local));
        WORD date = 0, time = 0;
        ASSERT_TRUE(FileTimeToDosDateTime(&local, &date, &time));
        EXPECT_EQ(date, dos >> 16);
        EXPECT_EQ(time, dos & 0xFFFF);
    }
}

TEST_F(FilesWin, LargeWriteIsChunkedAndCanBeAborted) {
    ScratchFolder dir("chunks");
    const std::string path = dir / "big.bin";
    const std::string text(3 * 1048576 + 5, 'q');
    int calls = 0;
    EXPECT_TRUE(WriteTextFile(path, text, 0, false,
                              [&calls](int64_t, bool&, int64_t) { ++calls; }));
    EXPECT_EQ(GetFileSize64(path), int64_t(text.size()));
    EXPECT_EQ(calls, 12);   // the first call and eleven chunks of 314573 bytes
    EXPECT_FALSE(WriteTextFile(path, text, 0, false, [](int64_t, bool& abort, int64_t written) {
        abort = written > 0;
    }));
    EXPECT_EQ(GetFileSize64(path), 314573);
}

TEST_F(FilesWin, SizesBeyondFourGigabytes) {
    ScratchFolder dir("size64");
    const std::string path = dir / "sparse.bin";
    const int64_t size = 5LL * 1024 * 1024 * 1024 + 3;
    {
        UniqueHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(h);
        DWORD returned = 0;
        DeviceIoControl(h.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        ASSERT_TRUE(SetFilePointerEx(h.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h.Get()));
    }
    EXPECT_EQ(GetFileSize64(path), size);
    auto file = OpenWin32File(path, OpenMode::ReadShared);
    ASSERT_TRUE(file);
    EXPECT_EQ(GetFileSize64(*file), size);
    EXPECT_EQ(ReadFilePart(path, 2, false, size - 2), std::string(2, '\0'));
}

TEST_F(FilesWin, FreeSpaceFallsBackToTheDriveRoot) {
    const double temp = GetFreeDiskSpace(TempFolder());
    EXPECT_GT(temp, 0);
    // "C:\no_such_folder_zv" cannot be asked; "C:\" can.
    EXPECT_GT(GetFreeDiskSpace("c:/no_such_folder_zv/sub/file.tmp"), 0);
    EXPECT_GT(GetFreeDiskSpace("C:"), 0);
    EXPECT_EQ(GetFreeDiskSpace(""), 0);
}

TEST_F(FilesWin, DeleteFilesMatchesFilesOnly) {
    ScratchFolder dir("mask");
    PutFile(dir / "t.1", "a");
    PutFile(dir / "t.2", "b");
    PutFile(dir / "keep.txt", "c");
    CreateDirectoryA((dir / "t.dir").c_str(), nullptr);
    SetFileAttributesA((dir / "t.2").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(DeleteFiles(dir / "t.*", false));
    EXPECT_FALSE(PathExists(dir / "t.1"));
    EXPECT_TRUE(PathExists(dir / "t.2"));   // read-only stays without clearing
    EXPECT_TRUE(DeleteFiles(dir / "t.*", true));
    EXPECT_FALSE(PathExists(dir / "t.2"));
    EXPECT_TRUE(PathExists(dir / "t.dir"));
    EXPECT_TRUE(PathExists(dir / "keep.txt"));
    EXPECT_FALSE(DeleteFiles(dir / "t.*", true));
}

TEST_F(FilesWin, DeleteTreeRemovesEverythingAndReportsMissingFolders) {
    ScratchFolder dir("tree");
    const std::string root = dir / "setup";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\a").c_str(), nullptr);
    CreateDirectoryA((root + "\\a\\b").c_str(), nullptr);
    CreateDirectoryA((root + "\\c").c_str(), nullptr);
    PutFile(root + "\\top.txt", "1");
    PutFile(root + "\\a\\b\\deep.txt", "2");
    SetFileAttributesA((root + "\\a\\b\\deep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    int asked = 0;
    EXPECT_TRUE(DeleteTree(root + "\\", true, [&asked](bool&) { ++asked; }));
    EXPECT_FALSE(PathExists(root));
    EXPECT_EQ(asked, 3);   // once per subfolder
    EXPECT_FALSE(DeleteTree(root, true));
    EXPECT_FALSE(DeleteTree(dir / "never\\there", false));
    EXPECT_FALSE(DeleteTree("", true));   // never the current drive's root
}

TEST_F(FilesWin, DeleteTreeStopsWhenAborted) {
    ScratchFolder dir("abort");
    const std::string root = dir / "setup";
    CreateDirectoryA(root.c_str(), nullptr);
    for (const char* sub : {"\\a", "\\b", "\\c"}) CreateDirectoryA((root + sub).c_str(), nullptr);
    int asked = 0;
    EXPECT_FALSE(DeleteTree(root, false, [&asked](bool& abort) { abort = ++asked == 1; }));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(PathExists(root));
}

TEST_F(FilesWin, DeleteTreeDoesNotFollowLinks) {
    ScratchFolder dir("link");
    const std::string outside = dir / "outside";
    CreateDirectoryA(outside.c_str(), nullptr);
    PutFile(outside + "\\precious.txt", "keep me");
    const std::string root = dir / "setup";
    CreateDirectoryA(root.c_str(), nullptr);
    using LinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto link = reinterpret_cast<LinkFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    if (!link || !link((root + "\\link").c_str(), outside.c_str(), 1 /* directory */) ||
        !(GetFileAttributesA((root + "\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "no directory links on this system";
    EXPECT_TRUE(DeleteTree(root, true));
    EXPECT_FALSE(PathExists(root));
    EXPECT_TRUE(PathExists(outside + "\\precious.txt"));
}

TEST_F(FilesWin, EjectRefusesWhatIsNoCdDrive) {
    EXPECT_FALSE(EjectCD(""));
    EXPECT_FALSE(EjectCD("1:\\"));
    EXPECT_FALSE(EjectCD(TempFolder()));
}

}  // namespace
}  // namespace zv
