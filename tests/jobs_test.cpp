// The scan, search and recovery jobs: their progress handlers, the type-key
// filter of the search and the counting of the recovery, driven through a
// scripted engine; the real FAT engine end to end is in cli_test.cpp.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engines/recovery_job.h"
#include "engines/scan_job.h"
#include "engines/search_job.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

// An engine whose Search and Restore do what the test says.
class ScriptedEngine : public IFileRecoveryParse {
 public:
  std::vector<std::string> searchNames;  // names Search returns as hits
  std::u16string searchText;             // the text Search was given
  std::function<WinError(const FoundEntry&, const std::u16string&)> restore;
  FileProgressFn fileProgress = nullptr;
  void* userData = nullptr;

  WinError Report(int32_t percent, WinError error, const std::u16string& path) {
    return fileProgress(userData, percent, 100, error, path.c_str());
  }

  WinError OpenImage(const char16_t*, uint16_t) override { return 0; }
  WinError OpenDisk(uint32_t, uint64_t, uint64_t, uint16_t) override { return 0; }
  WinError SetCallbacks(ScanProgressFn, FileProgressFn file, void* data, int32_t) override {
    fileProgress = file;
    userData = data;
    return 0;
  }
  WinError Scan(const char16_t*) override { return 0; }
  WinError ListFolder(const FoundEntry*, uint32_t, std::vector<FoundEntry>*) override { return 0; }
  WinError CountFiles(const FoundEntry*, uint32_t, uint32_t* count) override {
    *count = 0;
    return 0;
  }
  uint64_t GetEntryCount() override { return 0; }
  WinError GetEntryPath(const FoundEntry*, char16_t*, uint32_t) override { return 0; }
  WinError Restore(const FoundEntry* entry, const char16_t* destination, uint32_t) override {
    return restore(*entry, destination);
  }
  int32_t NextFreeExtent(uint64_t*, uint64_t*) override { return 0; }
  WinError SetSearchCallback(SearchProgressFn, void*) override { return 0; }
  int32_t Search(const char16_t* text, std::vector<SearchHit>* out) override {
    searchText = text;
    for (const std::string& name : searchNames) {
      SearchHit hit {};
      SetEntryNameAnsi(hit.entry, name);
      out->push_back(hit);
    }
    return 1;
  }
  WinError LoadAllocationMap() override { return 0; }
  WinError ExtractForPreview(const FoundEntry*, char16_t*, uint8_t*, uint32_t*, PreviewProgressFn,
                             void*) override {
    return 0;
  }
};

class RecordingObserver : public IJobObserver {
 public:
  std::vector<FileOutcome> outcomes;
  std::vector<int32_t> percents;
  bool cancel = false;
  void OnProgress(const JobProgress& progress) override { percents.push_back(progress.percent); }
  void OnFileOutcome(const FileOutcome& outcome) override { outcomes.push_back(outcome); }
  bool IsCancelRequested() override { return cancel; }
};

FoundEntry FileEntry(const std::string& name, uint16_t tag) {
  FoundEntry entry = MakeEmptyEntry();
  SetEntryNameAnsi(entry, name);
  entry.volumeTag = tag;
  return entry;
}

// One image-like target owning `engine`.
ScanTarget TargetWith(std::unique_ptr<ScriptedEngine> engine, uint16_t tag) {
  ScanTarget target;
  target.tag = tag;
  target.engine = std::move(engine);
  return target;
}

TEST(ScanJob, ProgressHandlerScalesByWeightAndTurnsCancelIntoScanCancelled) {
  RecordingObserver observer;
  EXPECT_EQ(OnScanProgress(&observer, 50, 90, -1, 1, 2, 3, 0), 0);
  ASSERT_EQ(observer.percents.size(), 1u);
  EXPECT_EQ(observer.percents[0], 45);
  observer.cancel = true;
  EXPECT_EQ(OnScanProgress(&observer, 60, 100, -1, 0, 0, 0, 0), ScanCancelled);
  EXPECT_EQ(observer.percents.size(), 1u) << "a cancelled report shows nothing";
}

TEST(ScanJob, UnreadableSourceGetsNoEngineAndStopsTheJob) {
  ScanTarget missing;
  missing.imagePath = test_support::MakeTempFolder("scanjob") + u"/absent.img";
  missing.tag = 1000;
  ScanTarget second;
  second.imagePath = missing.imagePath;
  RecordingObserver observer;
  const ScanJobResult result = RunScanJob({&missing, &second}, false, observer);
  EXPECT_EQ(result.outcome, ScanJobOutcome::NoEngine);
  EXPECT_EQ(result.failedTarget, 0u);
  EXPECT_TRUE(result.scanResults.empty());
}

TEST(SearchJob, ConvertsTheFilterTheWayTheEnginesExpect) {
  const struct {
    const char16_t* filter;
    const char16_t* converted;
  } cases[] = {
      {u"*.jpg|*.png", u".\\.jpg|.\\.png"},
      {u"\\*x", u"\\x"},
      {u"a+b^c$d?e{f}g[h]", u"a\\+b\\^c\\$d\\?e\\{f\\}g\\[h\\]"},
  };
  for (const auto& c : cases) EXPECT_EQ(ConvertSearchText(c.filter), c.converted);
}

TEST(SearchJob, KeepsExactlyTheHitsWhoseTypeKeyIsSelected) {
  auto engine = std::make_unique<ScriptedEngine>();
  ScriptedEngine& scripted = *engine;
  // The log matches by substring: "jp" and "pn" come back for *.jpg|*.png.
  scripted.searchNames = {"a.jp", "b.JPEG", "c.jpg", "d.png", "e.pn", "noext"};
  ScanTarget target = TargetWith(std::move(engine), 1000);
  RecordingObserver observer;
  std::vector<SearchHit> hits;
  const SearchJobResult result = RunSearchJob({&target}, {u"jpg"}, observer, &hits);
  EXPECT_EQ(result.hitsBeforeFilter, 6u);
  std::vector<std::string> names;
  for (const SearchHit& hit : hits) names.push_back(hit.entry.name);
  EXPECT_EQ(names, (std::vector<std::string> {"b.JPEG", "c.jpg"}));
  // "jpeg" files are grouped under jpg, so the engines must be asked for them.
  EXPECT_NE(scripted.searchText.find(u"jpeg"), std::u16string::npos);
  EXPECT_EQ(scripted.searchText.find(u"png"), std::u16string::npos);
}

TEST(SearchJob, DefaultSelectionIsEveryMediaTypeKeyWithItsAliases) {
  const std::set<std::u16string> keys = DefaultTypeSelection();
  EXPECT_EQ(keys.count(u"jpg"), 1u);
  EXPECT_EQ(keys.count(u"mp4"), 1u);
  EXPECT_EQ(keys.count(u"mp3"), 1u);
  EXPECT_EQ(keys.count(u"jpeg"), 0u);
  EXPECT_EQ(keys.count(u"pdf"), 0u);
  const std::set<std::u16string> searched = SearchExtensionsFor({u"tif", u"mid"});
  EXPECT_EQ(searched, (std::set<std::u16string> {u"mid", u"midi", u"tif", u"tiff"}));
}

TEST(RecoveryJob, CountsOutcomesAndGoesOnAfterAnEntryWithoutEngine) {
  const std::u16string root = test_support::MakeTempFolder("recjob");
  auto engine = std::make_unique<ScriptedEngine>();
  ScriptedEngine& scripted = *engine;
  scripted.restore = [&scripted](const FoundEntry& entry, const std::u16string& path) {
    if (std::strcmp(entry.name, "short.jpg") == 0) return scripted.Report(100, kErrorHandleEof, path);
    if (std::strcmp(entry.name, "nofolder.mp3") == 0) return kErrorAccessDenied;  // no report
    platform::CreateFolderTree(platform::ParentFolder(path));
    EXPECT_TRUE(test_support::WriteWholeFile(path, std::vector<uint8_t>(7, 1)));
    return scripted.Report(100, 0, path);
  };
  ScanTarget target = TargetWith(std::move(engine), 1000);
  const std::vector<FoundEntry> selection = {FileEntry("a.jpg", 1000), FileEntry("gone.jpg", 5),
                                             FileEntry("short.jpg", 1000),
                                             FileEntry("nofolder.mp3", 1000)};
  RecordingObserver observer;
  const RecoveryJobResult result = RunRecoveryJob(selection, {&target}, root, observer);
  EXPECT_EQ(result.total, 4u);
  EXPECT_EQ(result.done, 4u);
  EXPECT_EQ(result.failed, 3u);
  EXPECT_EQ(result.bytes, 7u);
  EXPECT_FALSE(result.cancelled);
  ASSERT_EQ(observer.outcomes.size(), 4u);
  EXPECT_EQ(observer.outcomes[0].error, 0);
  EXPECT_EQ(observer.outcomes[0].path,
            platform::JoinPath(platform::JoinPath(root, u"photo"), u"a.jpg"));
  EXPECT_EQ(observer.outcomes[1].error, kErrorInvalidParameter) << "no engine for that tag";
  EXPECT_EQ(observer.outcomes[2].error, kErrorHandleEof);
  EXPECT_EQ(observer.outcomes[3].error, kErrorAccessDenied);
}

TEST(RecoveryJob, CancelStopsTheCopyAndCountsTheCutFileNeitherWay) {
  const std::u16string root = test_support::MakeTempFolder("reccancel");
  RecordingObserver observer;
  auto engine = std::make_unique<ScriptedEngine>();
  ScriptedEngine& scripted = *engine;
  int restores = 0;
  scripted.restore = [&](const FoundEntry&, const std::u16string& path) {
    ++restores;
    if (scripted.Report(50, 0, path) != 0) return static_cast<WinError>(ScanCancelled);
    observer.cancel = true;  // the user presses cancel during the copy
    return scripted.Report(60, 0, path) != 0 ? static_cast<WinError>(ScanCancelled)
                                              : scripted.Report(100, 0, path);
  };
  ScanTarget target = TargetWith(std::move(engine), 1000);
  const RecoveryJobResult result = RunRecoveryJob(
      {FileEntry("a.mp4", 1000), FileEntry("b.mp4", 1000)}, {&target}, root, observer);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(restores, 1);
  EXPECT_EQ(result.done, 0u);
  EXPECT_EQ(result.failed, 0u);
  EXPECT_TRUE(observer.outcomes.empty());
}

}  // namespace
