// The type-filter lists that sort found files into kinds, the selectable
// file types of the result filter page with their type keys, and the helpers
// that classify names and build the search text from a selection of keys.
#pragma once

#include <array>
#include <cstddef>
#include <set>
#include <string>
#include <string_view>

// The five constant lists: "*.ext" items separated by "|", each list ending
// with "|". Membership is a substring test (see MatchesTypeList).
enum class TypeList { Photo, Audio, Video, Document, Archive };

extern const char16_t kPhotoTypeList[];
extern const char16_t kAudioTypeList[];
extern const char16_t kVideoTypeList[];
extern const char16_t kDocumentTypeList[];
extern const char16_t kArchiveTypeList[];

std::u16string_view TypeListText(TypeList list);

// One option of the result filter page: its group switch, the option's text
// and the type key it carries (the key search hits are grouped under).
enum class TypeGroup { Photo, Audio, Video };

struct SelectableType {
  TypeGroup group;
  const char16_t* text;
  const char16_t* key;
};

constexpr size_t kSelectableTypeCount = 86;  // 38 photo, 19 audio, 29 video
// The options in page order; every option starts selected.
const std::array<SelectableType, kSelectableTypeCount>& SelectableTypes();
// The layout name of a group's switch ("OptPhotoFile", ...).
const char16_t* TypeGroupSwitchName(TypeGroup group);

// Lower-cases UTF-16 text the way the system's CharLowerW does for the
// scripts file names use (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::u16string LowerCaseUtf16(std::u16string_view text);

// The text after the last "." of an 8-bit name; empty when there is none.
std::string NameExtension(const std::string& name);
bool NameHasExtensionDot(const std::string& name);

// The extension (any case) is lower-cased and looked for as a substring
// anywhere in the list: "jp" is a photo extension, "rm" is audio and video,
// and the empty extension belongs to every list.
bool MatchesTypeList(std::u16string_view extension, TypeList list);
// The same for an 8-bit extension (converted from the system code page).
bool MatchesTypeList(const std::string& extension, TypeList list);
// The photo-list test for an extension that is already lower-cased UTF-16;
// what the scan log's listing applies to photo records.
bool PhotoListContains(std::u16string_view lowerExtension);

// "photo", "audio", "video", "document", "archive" or "others": the first
// list, in that order, that holds the name's extension. A name without "."
// is a "photo" (its empty extension is in every list).
const char* ClassifyFileCategory(const std::string& name);

// Maps an extension (lower-cased UTF-16) to the key it is grouped under:
// jpeg -> jpg, tiff -> tif, scr -> pcx, midi -> mid, m4p -> m4a.
std::u16string NormalizeTypeKey(std::u16string_view lowerExtension);

// The search text for a selection of type keys: "*.k1|*.k2|..." in the set's
// ascending order, no trailing "|"; an empty set gives the photo, audio and
// video lists joined by "|".
std::u16string BuildTypeFilter(const std::set<std::u16string>& keys);
