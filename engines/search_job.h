// The search job: asks every scanned target's engine for the found files of
// the selected types. The engines' logs match extensions as substrings of the
// search text ("jp" is found by "*.jpg"), so the job then keeps exactly the
// hits whose type key is a selected key, the way the result view's type tree
// lists them.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "engines/job_observer.h"
#include "engines/scan_job.h"
#include "scanlog/search_hit.h"

// The search text in the form the engines are handed: every "*" becomes "."
// (a "*" after a "\" is dropped), and each of . ^ $ + ? { } [ ] gets a "\"
// in front; everything else is copied.
std::u16string ConvertSearchText(const std::u16string& filter);

// The type key of an 8-bit name: NormalizeTypeKey of its lower-cased
// extension (the text after the last "."); empty when the name has no ".".
std::u16string TypeKeyOfName(const char* name);

// The keys of every selectable photo, audio and video type: the selection
// the result filter page starts with.
std::set<std::u16string> DefaultTypeSelection();

// The selected keys plus every extension of the type lists that is grouped
// under one of them (jpeg for jpg, tiff for tif, scr for pcx, midi for mid,
// m4p for m4a). The logs' substring test would never find "a.jpeg" in a
// search text made of the keys alone.
std::set<std::u16string> SearchExtensionsFor(const std::set<std::u16string>& keys);

struct SearchJobResult {
  bool cancelled = false;
  size_t targetsSearched = 0;
  size_t hitsBeforeFilter = 0;  // what the engines returned, before the type-key test
};

// Searches the targets in order for the types in `keys` (with the extensions
// grouped under them; an empty set searches the three media lists and keeps
// every hit) and appends the hits
// whose type key is selected to `hits`. Targets without an engine are passed
// over. A cancel ends the job after the engine being searched has returned;
// the hits found up to then stay.
SearchJobResult RunSearchJob(const std::vector<ScanTarget*>& targets,
                             const std::set<std::u16string>& keys, IJobObserver& observer,
                             std::vector<SearchHit>* hits);

// Every file found on the targets, of any type (names without an extension
// included), by a walk over each engine's folder tree; hits carry the same
// folder path as search hits. Reports progress per target.
SearchJobResult CollectAllFiles(const std::vector<ScanTarget*>& targets, IJobObserver& observer,
                                std::vector<SearchHit>* hits);
