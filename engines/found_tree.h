// A walk over the whole tree of what an engine found, folder by folder, as
// the engine's ListFolder hands it out. The folder path of every entry is
// built on the way down, so no entry costs a lookup in the scan log.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engines/engine_contract.h"

// One entry met by the walk. `depth` is 0 for entries of the root;
// `folderPath` is the path of the folder holding it below the volume root,
// each name followed by a backslash (empty in the root), in UTF-16.
struct FoundTreeItem {
  const FoundEntry* entry = nullptr;
  uint32_t depth = 0;
  const std::u16string* folderPath = nullptr;
};

// Return false to end the walk.
using FoundTreeVisitor = std::function<bool(const FoundTreeItem& item)>;

// Deepest folder level the walk descends to; a deeper tree (only a corrupt
// or crafted log makes one) is listed down to this level.
constexpr uint32_t kMaxWalkDepth = 256;

// Visits the root's entries in ListFolder's order (files first, then
// folders), each folder followed at once by everything below it. Stops at
// the first failed listing and returns its error (entries visited so far
// stay visited), else 0. A folder whose id is 0 is not descended into: the
// engine would list the root again for it.
WinError WalkFoundTree(IFileRecoveryParse& engine, const FoundTreeVisitor& visit);

// The prefix the scan log's search puts before a hit's folder path: "\" for
// a tag of 1000 or more (images), "E:\" for a drive letter, "3:\" otherwise.
std::u16string SearchPathPrefix(uint16_t volumeTag);
