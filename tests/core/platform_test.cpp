#include <gtest/gtest.h>

#include <algorithm>

#include "utils/platform.h"

namespace zv {
namespace {

// Every program starts on NativePlatform() and only replaces members, so a member it leaves unset
// would be called as a null pointer.
TEST(PlatformMembers, NativeAnswersLeaveNoneUnsetAndAnEmptySetNamesThemAll) {
    EXPECT_EQ(MissingPlatformMembers(NativePlatform()), std::vector<std::string>{});

    const std::vector<std::string> none = MissingPlatformMembers(Platform{});
    ASSERT_FALSE(none.empty());
    EXPECT_EQ(none.front(), "commandLine");
    EXPECT_EQ(none.back(), "httpFileSize");
    EXPECT_NE(std::find(none.begin(), none.end(), "pathSeparator"), none.end());
}

}  // namespace
}  // namespace zv
