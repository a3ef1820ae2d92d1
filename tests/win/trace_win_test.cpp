#include <gtest/gtest.h>
#include <windows.h>

#include "utils/win/zdebug.h"

namespace zv {
namespace {

TEST(DebugFile, AppendsWithoutTruncating) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    std::string path = std::string(dir) + "zv_append_test.txt";
    DeleteFileA(path.c_str());
    EXPECT_TRUE(AppendDebugFile(path, "ab"));
    EXPECT_TRUE(AppendDebugFile(path, ""));
    EXPECT_TRUE(AppendDebugFile(path, "cd"));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.nFileSizeLow, 4u);
    DeleteFileA(path.c_str());
}

}  // namespace
}  // namespace zv
