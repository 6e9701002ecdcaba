#include "list_module/it_enum_list.h"

#include <gtest/gtest.h>

namespace {

// Reading the current item of a finished walk is a programming error that
// stops the program, in every build type.
TEST(EnumListDeathTest, CurrentItemOfADoneIteratorIsFatal) {
    it_enum_list it(L"a");
    it.First();
    it.Next();
    ASSERT_TRUE(it.IsDone());
    // Only what GoogleTest's simple regular expressions (Windows) and POSIX
    // ones agree on: no bracket expressions.
    EXPECT_DEATH(it.CurrentItem(),
                 "Assertion failed: !IsDone\\(\\), file .*it_enum_list\\.h, line .+");
}

TEST(EnumListDeathTest, CurrentItemOfAnEmptyListIsFatal) {
    it_enum_list it(L"");
    it.First();
    EXPECT_DEATH(it.CurrentItem(), "!IsDone\\(\\)");
}

TEST(EnumListDeathTest, CurrentItemBeforeFirstIsFatal) {
    const it_enum_list it(L"range 1,3");
    EXPECT_DEATH(it.CurrentItem(), "!IsDone\\(\\)");
}

} // namespace
