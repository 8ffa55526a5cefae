#include "engines/search_job.h"

#include <algorithm>
#include <cstring>

#include "carving/type_lists.h"
#include "engines/found_tree.h"
#include "platform/platform.h"

namespace {

int32_t VARNELLE_CALLBACK OnSearchProgress(void* userData, int32_t percent, int32_t reserved) {
  (void)reserved;
  if (userData == nullptr) return 0;
  IJobObserver& observer = *static_cast<IJobObserver*>(userData);
  if (observer.IsCancelRequested()) return ScanCancelled;
  JobProgress report;
  report.percent = percent;
  observer.OnProgress(report);
  return 0;
}

bool IsEscapedInSearchText(char16_t c) {
  return std::u16string_view(u".^$+?{}[]").find(c) != std::u16string_view::npos;
}

// Keeps the hits from `first` on whose type key is selected.
void KeepSelectedTypes(const std::set<std::u16string>& keys, size_t first,
                       std::vector<SearchHit>* hits) {
  auto begin = hits->begin() + static_cast<std::ptrdiff_t>(first);
  hits->erase(std::remove_if(begin, hits->end(),
                             [&keys](const SearchHit& hit) {
                               return keys.count(TypeKeyOfName(hit.entry.name)) == 0;
                             }),
              hits->end());
}

SearchHit MakeHit(const FoundEntry& entry, const std::u16string& folderPath) {
  SearchHit hit {};
  hit.entry = entry;
  TerminateEntryName(hit.entry);
  const std::u16string path = SearchPathPrefix(entry.volumeTag) + folderPath;
  // A path that does not fit is left empty, as the scan log's search does.
  if (path.size() < kSearchHitPathChars) std::copy(path.begin(), path.end(), hit.path);
  return hit;
}

}  // namespace

std::u16string ConvertSearchText(const std::u16string& filter) {
  std::u16string out;
  out.reserve(filter.size() * 2);
  for (size_t i = 0; i < filter.size(); ++i) {
    const char16_t c = filter[i];
    if (c == u'*') {
      if (i == 0 || filter[i - 1] != u'\\') out += u'.';
      continue;
    }
    if (IsEscapedInSearchText(c)) out += u'\\';
    out += c;
  }
  return out;
}

std::u16string TypeKeyOfName(const char* name) {
  const std::string text(name, strnlen(name, kFoundEntryNameBytes));
  if (!NameHasExtensionDot(text)) return std::u16string();
  return NormalizeTypeKey(LowerCaseUtf16(platform::AnsiToWide(NameExtension(text))));
}

std::set<std::u16string> DefaultTypeSelection() {
  std::set<std::u16string> keys;
  for (const SelectableType& type : SelectableTypes()) keys.insert(type.key);
  return keys;
}

std::set<std::u16string> SearchExtensionsFor(const std::set<std::u16string>& keys) {
  std::set<std::u16string> extensions = keys;
  for (TypeList list : {TypeList::Photo, TypeList::Audio, TypeList::Video}) {
    const std::u16string_view text = TypeListText(list);
    // Items are "*.ext|".
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(u'|', start);
      if (end == std::u16string_view::npos) end = text.size();
      const std::u16string_view item = text.substr(start, end - start);
      start = end + 1;
      if (item.size() <= 2 || item.substr(0, 2) != u"*.") continue;
      const std::u16string extension(item.substr(2));
      if (keys.count(NormalizeTypeKey(extension)) != 0) extensions.insert(extension);
    }
  }
  return extensions;
}

SearchJobResult RunSearchJob(const std::vector<ScanTarget*>& targets,
                             const std::set<std::u16string>& keys, IJobObserver& observer,
                             std::vector<SearchHit>* hits) {
  SearchJobResult result;
  const std::u16string text = ConvertSearchText(BuildTypeFilter(SearchExtensionsFor(keys)));
  const size_t first = hits->size();
  for (size_t i = 0; i < targets.size(); ++i) {
    IFileRecoveryParse* engine = targets[i]->engine.get();
    if (engine == nullptr) continue;
    observer.OnStage(DescribeTarget(*targets[i], JobKind::Search, i, targets.size()));
    engine->SetSearchCallback(OnSearchProgress, &observer);
    const int32_t searched = engine->Search(text.c_str(), hits);
    ++result.targetsSearched;
    // Search returns normally after a cancel; the observer knows it was one.
    if (searched == ScanCancelled || observer.IsCancelRequested()) {
      result.cancelled = true;
      break;
    }
  }
  result.hitsBeforeFilter = hits->size() - first;
  if (!keys.empty()) KeepSelectedTypes(keys, first, hits);
  return result;
}

SearchJobResult CollectAllFiles(const std::vector<ScanTarget*>& targets, IJobObserver& observer,
                                std::vector<SearchHit>* hits) {
  SearchJobResult result;
  const size_t first = hits->size();
  for (size_t i = 0; i < targets.size(); ++i) {
    IFileRecoveryParse* engine = targets[i]->engine.get();
    if (engine == nullptr) continue;
    observer.OnStage(DescribeTarget(*targets[i], JobKind::Search, i, targets.size()));
    WalkFoundTree(*engine, [&](const FoundTreeItem& item) {
      if (item.entry->isFolder == 0) hits->push_back(MakeHit(*item.entry, *item.folderPath));
      return !observer.IsCancelRequested();
    });
    ++result.targetsSearched;
    JobProgress done;
    done.percent = 100;
    observer.OnProgress(done);
    if (observer.IsCancelRequested()) {
      result.cancelled = true;
      break;
    }
  }
  result.hitsBeforeFilter = hits->size() - first;
  return result;
}
