// One hit of a search over the scan logs: the found record followed by the
// file's folder path (UTF-16, ends with a separator, without the file's name).
#pragma once

#include "engines/found_entry.h"

constexpr size_t kSearchHitPathChars = 260;

#pragma pack(push, 1)
struct SearchHit {
  FoundEntry entry;
  char16_t path[kSearchHitPathChars];
};
#pragma pack(pop)

static_assert(sizeof(SearchHit) == 866, "SearchHit is a record plus 260 UTF-16 code units");
