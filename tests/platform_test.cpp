#include <gtest/gtest.h>

#include <cerrno>

#include "platform/platform.h"

namespace {

TEST(Text, Utf8RoundTripsThroughUtf16IncludingSurrogatePairs) {
  const std::string text = "Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x93\xB7";
  const std::u16string wide = platform::Utf8ToUtf16(text);
  EXPECT_EQ(wide.size(), 10u);
  EXPECT_EQ(platform::Utf16ToUtf8(wide), text);
}

TEST(Text, MalformedUtf8BecomesReplacementCharacters) {
  const std::u16string wide = platform::Utf8ToUtf16(std::string("a\xC3" "b\xFF", 4));
  EXPECT_EQ(wide, (std::u16string{u'a', 0xFFFD, u'b', 0xFFFD}));
  // An unpaired surrogate never produces invalid UTF-8.
  EXPECT_EQ(platform::Utf16ToUtf8(std::u16string{0xD800}), "\xEF\xBF\xBD");
}

TEST(Errors, PosixErrorsMapToTheirWin32Codes) {
  EXPECT_EQ(platform::ErrnoToWin32(ENOENT), 2);
  EXPECT_EQ(platform::ErrnoToWin32(EACCES), 5);
  EXPECT_EQ(platform::ErrnoToWin32(ENOSPC), 112);
  EXPECT_EQ(platform::ErrnoToWin32(EIO), 30);
  EXPECT_EQ(platform::ErrnoToWin32(EEXIST), 183);
}

TEST(FileTime, CalendarConversionRoundTripsAndKnowsTheEpoch) {
  platform::LocalTime t;
  t.year = 1601;
  t.month = 1;
  t.day = 1;
  uint64_t ft = 1;
  ASSERT_TRUE(platform::SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft, 0u);
  // 1970-01-01 is 11644473600 seconds after 1601-01-01.
  t.year = 1970;
  ASSERT_TRUE(platform::SystemTimeToFileTime(t, &ft));
  EXPECT_EQ(ft, 116444736000000000ull);
  t = {2024, 2, 0, 29, 23, 59, 58, 999};
  ASSERT_TRUE(platform::SystemTimeToFileTime(t, &ft));
  platform::LocalTime back;
  ASSERT_TRUE(platform::FileTimeToSystemTime(ft, &back));
  EXPECT_EQ(back.year, 2024);
  EXPECT_EQ(back.month, 2);
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.hour, 23);
  EXPECT_EQ(back.second, 58);
  EXPECT_EQ(back.milliseconds, 999);
  EXPECT_EQ(back.dayOfWeek, 4);  // a Thursday
  t.day = 30;                    // 2024-02-30 does not exist
  EXPECT_FALSE(platform::SystemTimeToFileTime(t, &ft));
}

TEST(Paths, JoinAndParentUseOneSeparator) {
  const std::u16string sep(1, platform::kPathSeparator);
  EXPECT_EQ(platform::JoinPath(u"a" + sep, sep + u"b"), u"a" + sep + u"b");
  EXPECT_EQ(platform::ParentFolder(u"a" + sep + u"b" + sep + u"c"), u"a" + sep + u"b");
  EXPECT_EQ(platform::ParentFolder(u"c"), u"");
}

}  // namespace
