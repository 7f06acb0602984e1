#include <gtest/gtest.h>

TEST(ToolPlaceholder, Builds) { SUCCEED(); }
