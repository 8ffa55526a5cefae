#include <gtest/gtest.h>

#include <map>
#include <set>

#include "carving/type_lists.h"

namespace {

TEST(TypeLists, SubstringMembershipAndItsConsequences) {
  struct Case {
    std::u16string extension;
    TypeList list;
    bool member;
  };
  const Case cases[] = {
      {u"jp", TypeList::Photo, true},   {u"pn", TypeList::Photo, true},
      {u"JPG", TypeList::Photo, true},  {u"rm", TypeList::Audio, true},
      {u"rm", TypeList::Video, true},   {u"", TypeList::Archive, true},
      {u"", TypeList::Document, true},  {u"djvu", TypeList::Photo, false},
      {u"divu", TypeList::Photo, true}, {u"exe", TypeList::Photo, false},
      {u"Mp3", TypeList::Audio, true},  {u"mp3", TypeList::Video, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MatchesTypeList(std::u16string_view(c.extension), c.list), c.member)
        << static_cast<int>(c.list);
  }
  EXPECT_TRUE(MatchesTypeList(std::string("PnG"), TypeList::Photo));
  EXPECT_TRUE(PhotoListContains(u"dng"));
  EXPECT_TRUE(PhotoListContains(u""));
  EXPECT_FALSE(PhotoListContains(u"JPG"));  // expects an already lower-cased extension
}

TEST(TypeLists, ClassifyFileCategoryTakesTheFirstListInOrder) {
  const std::map<std::string, std::string> cases = {
      {"README", "photo"},   {"a.rm", "audio"},      {"a.pdf", "document"},
      {"a.iso", "archive"},  {"a.exe", "others"},    {"clip.MKV", "video"},
      {"x.tar.gz", "archive"}, {"a.djvu", "others"}, {"trailing.", "photo"},
  };
  for (const auto& [name, category] : cases) EXPECT_EQ(ClassifyFileCategory(name), category) << name;
}

TEST(TypeLists, NormalizeTypeKeyMapsAliasesOnly) {
  const std::map<std::u16string, std::u16string> cases = {
      {u"jpeg", u"jpg"}, {u"tiff", u"tif"}, {u"scr", u"pcx"}, {u"midi", u"mid"},
      {u"m4p", u"m4a"},  {u"dng", u"dng"},  {u"jpg", u"jpg"}, {u"", u""},
  };
  for (const auto& [extension, key] : cases) EXPECT_EQ(NormalizeTypeKey(extension), key);
}

TEST(TypeLists, BuildTypeFilterText) {
  EXPECT_EQ(BuildTypeFilter({u"png", u"jpg"}), u"*.jpg|*.png");
  EXPECT_EQ(BuildTypeFilter({u"mp3"}), u"*.mp3");
  const std::u16string all = BuildTypeFilter({});
  EXPECT_EQ(all, std::u16string(kPhotoTypeList) + u"|" + kAudioTypeList + u"|" + kVideoTypeList);
  EXPECT_NE(all.find(u"*.thm||*.mp3|"), std::u16string::npos);
  EXPECT_NE(all.find(u"*.snd||*.rmvb|"), std::u16string::npos);
}

TEST(TypeLists, EveryOptionKeyIsDistinctWithinItsGroupAndNamesItsFiles) {
  size_t counts[3] = {};
  std::set<std::pair<int, std::u16string>> seen;
  for (const SelectableType& option : SelectableTypes()) {
    ++counts[static_cast<int>(option.group)];
    const bool firstOfItsGroup = seen.insert({static_cast<int>(option.group), option.key}).second;
    EXPECT_TRUE(firstOfItsGroup) << "duplicate key in group";
    // The key is what hits of that option are grouped under.
    EXPECT_EQ(NormalizeTypeKey(option.key), option.key);
  }
  EXPECT_EQ(counts[0], 38u);
  EXPECT_EQ(counts[1], 19u);
  EXPECT_EQ(counts[2], 29u);
  // The four raw/video formats carry their own keys, so a log holding x.dng,
  // y.k25, z.mrw and w.mqv shows each under its own ticked option.
  std::set<std::u16string> allKeys;
  for (const SelectableType& option : SelectableTypes()) allKeys.insert(option.key);
  for (const char16_t* key : {u"dng", u"k25", u"mrw", u"mqv"}) EXPECT_EQ(allKeys.count(key), 1u);
  EXPECT_EQ(allKeys.count(u"mvq"), 0u);
}

TEST(TypeLists, LowerCaseCoversAccentedAndCyrillicLetters) {
  EXPECT_EQ(LowerCaseUtf16(u"ABC\u00C9\u0416\u0100x"), u"abc\u00E9\u0436\u0101x");
  EXPECT_EQ(LowerCaseUtf16(u"\u00D7"), u"\u00D7");
}

}  // namespace
