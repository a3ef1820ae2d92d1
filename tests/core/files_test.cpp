#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "utils/files.h"

namespace zv {
namespace {

std::string TempPath(const std::string& name) {
#ifdef _WIN32
    const char* dir = std::getenv("TEMP");
    return std::string(dir ? dir : ".") + "\\" + name;
#else
    return "/tmp/" + name;
#endif
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Put(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

TEST(WriteChunkSize, TenthWithinBounds) {
    struct Case {
        int64_t total, chunk;
    } cases[] = {
        {0, 0},       {500, 500},     {1024, 1024},         {10240, 1024},
        {10250, 1025}, {5000000, 500000}, {10485760, 1048576}, {50000000, 1048576},
    };
    for (const Case& c : cases) EXPECT_EQ(WriteChunkSize(c.total), c.chunk) << c.total;
}

struct ProgressLog {
    std::vector<int64_t> written;
    int64_t abortAfter = -1;
    FileProgressFn Fn() {
        return [this](int64_t total, bool& abort, int64_t done) {
            EXPECT_EQ(total, 20000);
            written.push_back(done);
            if (abortAfter >= 0 && done >= abortAfter) abort = true;
        };
    }
};

TEST(WriteInChunks, ReportsEveryChunkAndStopsOnAbort) {
    const std::string text(20000, 'x');
    ProgressLog all;
    MemoryFile full;
    EXPECT_EQ(WriteInChunks(full, text, all.Fn()), 20000);
    EXPECT_EQ(full.Bytes().size(), 20000u);
    // Chunks of 2000 bytes: the first call reports nothing written yet.
    const std::vector<int64_t> expected = {0,     2000,  4000,  6000,  8000, 10000,
                                           12000, 14000, 16000, 18000, 20000};
    EXPECT_EQ(all.written, expected);

    ProgressLog stop;
    stop.abortAfter = 6000;
    MemoryFile part;
    EXPECT_EQ(WriteInChunks(part, text, stop.Fn()), 6000);
    EXPECT_EQ(part.Bytes().size(), 6000u);

    ProgressLog before;
    before.abortAfter = 0;
    MemoryFile none;
    EXPECT_EQ(WriteInChunks(none, text, before.Fn()), 0);
}

class FullFile : public MemoryFile {
public:
    int32_t Write(const void* buffer, int32_t count) override {
        if (Bytes().size() >= 3000) return 0;
        return MemoryFile::Write(buffer, count);
    }
};

TEST(WriteInChunks, StopsWhenTheDiskTakesNothing) {
    FullFile file;
    EXPECT_EQ(WriteInChunks(file, std::string(20000, 'y'), nullptr), 4000);
}

TEST(FreeSpaceRoot, FolderDriveOrShare) {
    struct Case {
        const char* path;
        bool extended;
        const char* root;
    } cases[] = {
        {"C:\\Temp\\Setup\\x.tmp", true, "C:\\Temp"},
        {"C:/Temp/Setup", true, "C:\\Temp"},
        {"C:\\", true, "C:\\"},
        {"d:\\Temp", false, "D:\\"},
        {"e:", true, "E:\\"},
        {"\\\\server\\share\\dir\\file", true, "\\\\server\\share\\"},
        {"\\\\server\\share", true, "\\\\server\\share\\"},
        {"", true, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(FreeSpaceRoot(c.path, c.extended), c.root) << c.path;
    EXPECT_EQ(DriveRoot("c:\\x"), "C:\\");
}

TEST(ReadFilePart, OffsetsAndLimits) {
    const std::string path = TempPath("zv_read_part.txt");
    Put(path, "  hello world  ");
    EXPECT_EQ(ReadFilePart(path), "  hello world  ");
    EXPECT_EQ(ReadFilePart(path, 0, true), "hello world");
    EXPECT_EQ(ReadFilePart(path, 5, false, 2), "hello");
    EXPECT_EQ(ReadFilePart(path, 100, false, 8), "world  ");
    EXPECT_EQ(ReadFilePart(path, 0, false, 15), "");   // offset equal to the size
    EXPECT_EQ(ReadFilePart(path, 0, false, 99), "");
    EXPECT_EQ(ReadFilePart(path, 0, false, -1), "");
    // A part larger than memory may hold is refused before anything is allocated; a bounded
    // part of the same (sparse) file is read.
    std::filesystem::resize_file(path, uint64_t(kMaxFilePart) + 16);
    EXPECT_EQ(ReadFilePart(path), "");
    EXPECT_EQ(ReadFilePart(path, 5, false, 2), "hello");
    std::remove(path.c_str());
    EXPECT_EQ(ReadFilePart(path), "");
}

TEST(WriteTextFile, ReplacesAppendsAndCreatesEmptyFiles) {
    const std::string path = TempPath("zv_write_text.txt");
    Put(path, "old content");
    EXPECT_TRUE(WriteTextFile(path, ""));
    EXPECT_EQ(Slurp(path), "");
    EXPECT_TRUE(WriteTextFile(path, "abc"));
    EXPECT_TRUE(WriteTextFile(path, "def", 0, true));
    EXPECT_EQ(Slurp(path), "abcdef");
    std::remove(path.c_str());
    EXPECT_TRUE(WriteTextFile(path, "new", 0, true));
    EXPECT_EQ(Slurp(path), "new");
    std::remove(path.c_str());
    // A file that cannot be made is no success, however short the text.
    EXPECT_FALSE(WriteTextFile(TempPath("zv_no_such_dir/x/y.txt"), ""));
}

TEST(WriteTextFile, AbortedChunkedWriteIsNoSuccess) {
    const std::string path = TempPath("zv_write_abort.txt");
    const std::string text(20000, 'z');
    FileProgressFn stop = [](int64_t, bool& abort, int64_t written) { abort = written >= 4000; };
    EXPECT_FALSE(WriteTextFile(path, text, 0, false, stop));
    EXPECT_EQ(Slurp(path).size(), 4000u);
    int calls = 0;
    FileProgressFn count = [&calls](int64_t, bool&, int64_t) { ++calls; };
    EXPECT_TRUE(WriteTextFile(path, text, 0, false, count));
    EXPECT_EQ(Slurp(path), text);
    EXPECT_EQ(calls, 11);
    std::remove(path.c_str());
}

TEST(AppendTextToFile, NeverTruncates) {
    const std::string path = TempPath("zv_append_text.txt");
    std::remove(path.c_str());
    EXPECT_TRUE(AppendTextToFile(path, "one", true));
    EXPECT_TRUE(AppendTextToFile(path, "", false));
    EXPECT_TRUE(AppendTextToFile(path, "two", false));
    EXPECT_EQ(Slurp(path), "one\r\ntwo");
    std::remove(path.c_str());
    EXPECT_FALSE(AppendTextToFile(TempPath("zv_no_such_dir/x.txt"), "a"));
}

}  // namespace
}  // namespace zv
