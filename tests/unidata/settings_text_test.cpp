// Settings values read as text: numbers by the C library's rules.
#include "unidata/settings_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(SettingsNumbers, FollowTheCLibraryRules) {
  EXPECT_EQ(vk::unidata::parseIntText("  -12abc"), -12);
  EXPECT_EQ(vk::unidata::parseIntText("3x"), 3);
  EXPECT_EQ(vk::unidata::parseIntText("x3"), 0);
  EXPECT_EQ(vk::unidata::parseIntText("2.9"), 2);
  // Always decimal: a leading zero is no octal prefix, "0x" no hexadecimal one.
  EXPECT_EQ(vk::unidata::parseIntText("010"), 10);
  EXPECT_EQ(vk::unidata::parseIntText("-010"), -10);
  EXPECT_EQ(vk::unidata::parseIntText("0x10"), 0);
  EXPECT_EQ(vk::unidata::parseIntText("99999999999"), std::numeric_limits<int>::max());
  EXPECT_EQ(vk::unidata::parseIntText("-99999999999"), std::numeric_limits<int>::min());
  EXPECT_EQ(vk::unidata::parseFloatText(" 28.5kg"), 28.5f);
  EXPECT_EQ(vk::unidata::parseFloatText("0x1p4"), 16.0f);
  EXPECT_EQ(vk::unidata::parseFloatText("-inf"), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(vk::unidata::parseFloatText("nan")));
  EXPECT_EQ(vk::unidata::parseFloatText("abc"), 0.0f);
  EXPECT_EQ(vk::unidata::parseFloatText("1e39"), std::numeric_limits<float>::infinity());
}
