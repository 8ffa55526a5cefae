// Destination names of recovered files: safe components, kind folders,
// numbered names.
#include <gtest/gtest.h>

#include "engines/recovery_layout.h"
#include "engines/safe_name.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

FoundEntry Named(const char* name) {
  FoundEntry entry = MakeEmptyEntry();
  SetEntryNameAnsi(entry, name);
  return entry;
}

}  // namespace

TEST(SafeName, NamesFromDiskBecomeHarmlessComponents) {
  struct Case { const char16_t* name; const char16_t* safe; };
  const Case cases[] = {
      {u"photo.jpg", u"photo.jpg"},
      {u"..\\..\\evil.txt", u".._.._evil.txt"},
      {u"../../evil.txt", u".._.._evil.txt"},
      {u"a/b", u"a_b"},
      {u"C:x", u"C_x"},
      {u"x.jpg:stream", u"x.jpg_stream"},
      {u"??.jpg", u"__.jpg"},
      {u"<>|\"*.txt", u"_____.txt"},
      {u"tab\there", u"tab_here"},
      {u"trailing. .", u"trailing___"},
      {u"", u"_"},
      {u".", u"_"},
      {u"..", u"_"},
      {u"CON", u"_CON"},
      {u"nul.txt", u"_nul.txt"},
      {u"Com1.jpg", u"_Com1.jpg"},
      {u"LPT9", u"_LPT9"},
      {u"COM0", u"COM0"},
      {u"CONSOLE.txt", u"CONSOLE.txt"},
      {u"\u4e2d\u6587.jpg", u"\u4e2d\u6587.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeSafeName(c.name), c.safe) << platform::Utf16ToUtf8(c.name);
  }
}

TEST(SafeName, JoinedPathStaysBelowItsFolder) {
  const std::u16string root = platform::JoinPath(u"/rec", u"x");
  std::u16string out;
  EXPECT_EQ(JoinSafeName(root, u"..", &out), 0);
  EXPECT_TRUE(IsPathBelow(root, out));
  EXPECT_FALSE(IsPathBelow(root, root));
  EXPECT_FALSE(IsPathBelow(root, platform::JoinPath(root, u"..")));
  EXPECT_FALSE(IsPathBelow(root, root + u"y"));
  EXPECT_EQ(JoinSafeName(root, std::u16string(600, u'a'), &out), kErrorFilenameExcedRange);
}

TEST(RecoveryLayout, KindFolderSafeNameAndNumbering) {
  const std::u16string root = test_support::MakeTempFolder("layout");
  struct Case { const char* name; const char16_t* kind; const char16_t* file; };
  const Case cases[] = {
      {"IMG_0001.JPG", u"photo", u"IMG_0001.JPG"},
      {"README", u"photo", u"README"},
      {"clip.rm", u"audio", u"clip.rm"},
      {"a.pdf", u"document", u"a.pdf"},
      {"data.xyz", u"others", u"data.xyz"},
      {"..\\..\\evil.txt", u"document", u".._.._evil.txt"},
      {"??.jpg", u"photo", u"__.jpg"},
  };
  for (const Case& c : cases) {
    std::u16string out;
    ASSERT_EQ(RecoveryDestination(root, Named(c.name), &out), 0) << c.name;
    EXPECT_EQ(out, platform::JoinPath(platform::JoinPath(root, c.kind), c.file)) << c.name;
  }
  // A taken name gets (1), (2), ... before its extension.
  const std::u16string photo = platform::JoinPath(root, u"photo");
  ASSERT_TRUE(platform::CreateFolderTree(photo) == 0 || platform::IsFolder(photo));
  const std::u16string first = platform::JoinPath(photo, u"IMG_0001.JPG");
  ASSERT_TRUE(test_support::WriteWholeFile(first, {1}));
  std::u16string second;
  ASSERT_EQ(RecoveryDestination(root, Named("IMG_0001.JPG"), &second), 0);
  EXPECT_EQ(second, platform::JoinPath(photo, u"IMG_0001(1).JPG"));
  ASSERT_TRUE(test_support::WriteWholeFile(second, {2}));
  EXPECT_EQ(UniquePath(first), platform::JoinPath(photo, u"IMG_0001(2).JPG"));
  const std::u16string bare = platform::JoinPath(photo, u"README");
  ASSERT_TRUE(test_support::WriteWholeFile(bare, {3}));
  EXPECT_EQ(UniquePath(bare), platform::JoinPath(photo, u"README(1)"));
}

TEST(RecoveryLayout, CountSeparatorsIgnoresTheLastCharacter) {
  const std::u16string s(1, platform::kPathSeparator);
  EXPECT_EQ(CountSeparators(u"rec"), 0u);
  EXPECT_EQ(CountSeparators(s + u"rec"), 1u);
  EXPECT_EQ(CountSeparators(s + u"rec" + s), 1u);
  EXPECT_EQ(CountSeparators(s + u"rec" + s + u"photo"), 2u);
}
