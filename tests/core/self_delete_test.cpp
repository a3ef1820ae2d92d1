#include <gtest/gtest.h>

#include "utils/self_delete.h"

namespace zv {
namespace {

const char* kBatch = "C:\\Temp\\_DEL_ME_.BAT";

TEST(SelfDeleteBatch, LoopsUntilTheExecutableIsGoneThenDeletesItself) {
    EXPECT_EQ(SelfDeleteBatchText("D:\\Apps\\Setup.exe", kBatch, false),
              ":START\r\n"
              "DEL \"D:\\Apps\\Setup.exe\"\r\n"
              "IF exist \"D:\\Apps\\Setup.exe\" GOTO START\r\n"
              "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
}

TEST(SelfDeleteBatch, RemovesTheFolderBeforeDeletingItself) {
    EXPECT_EQ(SelfDeleteBatchText("D:\\Apps\\Setup.exe", kBatch, true),
              ":START\r\n"
              "DEL \"D:\\Apps\\Setup.exe\"\r\n"
              "IF exist \"D:\\Apps\\Setup.exe\" GOTO START\r\n"
              "RD \"D:\\Apps\"\r\n"
              "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
}

TEST(SelfDeleteBatch, NeverRemovesADriveOrShareRoot) {
    for (const char* exe : {"D:\\Setup.exe", "\\\\server\\share\\Setup.exe", "Setup.exe"}) {
        const std::string text = SelfDeleteBatchText(exe, kBatch, true);
        EXPECT_EQ(text.find("RD "), std::string::npos) << exe;
        EXPECT_NE(text.find("GOTO START"), std::string::npos) << exe;
    }
    EXPECT_NE(SelfDeleteBatchText("\\\\server\\share\\dir\\Setup.exe", kBatch, true)
                  .find("RD \"\\\\server\\share\\dir\"\r\n"),
              std::string::npos);
}

TEST(SelfDeleteBatch, PercentSignsCannotExpandToAnotherPath) {
    // Unescaped, "%x%" would be replaced by the variable x and DEL would name another file.
    const std::string text = SelfDeleteBatchText("C:\\100%\\a%x%b.exe", "C:\\T%\\_DEL_ME_.BAT", true);
    EXPECT_NE(text.find("DEL \"C:\\100%%\\a%%x%%b.exe\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("RD \"C:\\100%%\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("DEL \"C:\\T%%\\_DEL_ME_.BAT\"\r\n"), std::string::npos);
}

TEST(SelfDeleteBatch, SitsDirectlyInTheTemporaryFolder) {
    EXPECT_EQ(SelfDeleteBatchPath("C:\\Temp\\"), "C:\\Temp\\_DEL_ME_.BAT");
    EXPECT_EQ(SelfDeleteBatchPath("C:\\Temp"), "C:\\Temp\\_DEL_ME_.BAT");
}

}  // namespace
}  // namespace zv
