// The common restoration (files, folders with everything below them,
// preview extraction) over a small in-memory source, and restoration of
// hostile names from a patched real FAT image.
#include <gtest/gtest.h>

#include <map>

#include "engines/fat/fat_quick_scan.h"
#include "engines/recovery_layout.h"
#include "engines/restore.h"
#include "platform/platform.h"
#include "scanlog/scan_history.h"
#include "tests/fat_image_helpers.h"
#include "tests/test_support.h"

namespace {

// Found entries whose data are given bytes; folders list the children filed
// under their id.
class FakeSource : public IRestoreSource {
 public:
  FoundEntry Add(uint32_t parent, const char* name, bool folder, std::vector<uint8_t> data = {}) {
    FoundEntry entry = MakeEmptyEntry();
    entry.id = nextId_++;
    entry.isFolder = folder ? 1 : 0;
    entry.size = data.size();
    SetEntryNameAnsi(entry, name);
    data_[+entry.id] = std::move(data);
    children_[parent].push_back(entry);
    return entry;
  }
  void AddExisting(uint32_t parent, const FoundEntry& entry) { children_[parent].push_back(entry); }

  WinError CopyFileData(const FoundEntry& file, uint64_t byteLimit, IDataSink& sink,
                        const CopyStepFn& step) override {
    const std::vector<uint8_t>& data = data_[+file.id];
    const uint32_t take = uint32_t(std::min<uint64_t>(byteLimit, data.size()));
    const WinError error = sink.Write(data.data(), take);
    if (error != 0) return error;
    return step ? step(take) : 0;
  }
  WinError ListFolderChildren(const FoundEntry& folder, uint32_t level,
                              std::vector<FoundEntry>* out) override {
    levels_.push_back(level);
    *out = children_[+folder.id];
    return 0;
  }
  bool FolderKeyLevel(const FoundEntry&, uint32_t*) override { return false; }

  std::vector<uint32_t> levels_;

 private:
  uint32_t nextId_ = 10;
  std::map<uint32_t, std::vector<uint8_t>> data_;
  std::map<uint32_t, std::vector<FoundEntry>> children_;
};

std::vector<uint8_t> Bytes(size_t n, uint8_t value) { return std::vector<uint8_t>(n, value); }

std::vector<uint8_t> ReadFile(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(test_support::ReadWholeFile(path, &bytes)) << platform::Utf16ToUtf8(path);
  return bytes;
}

// Every file below `folder`, as paths relative to it.
void ListAll(const std::u16string& folder, const std::u16string& prefix,
             std::vector<std::u16string>* out) {
  std::vector<platform::FolderItem> items;
  ASSERT_EQ(platform::ListFolder(folder, &items), 0);
  for (const auto& item : items) {
    const std::u16string relative = prefix.empty() ? item.name : prefix + u"/" + item.name;
    out->push_back(relative);
    if (item.isFolder) ListAll(platform::JoinPath(folder, item.name), relative, out);
  }
}

}  // namespace

// Two children of one name keep their own bytes under numbered names; a
// nested folder and a child named "..\x" land inside the restored folder; a
// folder that lists itself is restored once.
TEST(Restore, FolderChildrenGetNumberedSafeNames) {
  FakeSource source;
  const FoundEntry top = source.Add(0, "album", true);
  source.Add(top.id, "a.jpg", false, Bytes(10, 1));
  source.Add(top.id, "a.jpg", false, Bytes(5, 2));
  source.Add(top.id, "..\\..\\x.txt", false, Bytes(3, 3));
  const FoundEntry sub = source.Add(top.id, "sub", true);
  source.Add(sub.id, "b.png", false, Bytes(4, 4));
  source.AddExisting(sub.id, top);  // a corrupt tree naming an ancestor

  const std::u16string root = test_support::MakeTempFolder("restore");
  const std::u16string destination = platform::JoinPath(root, u"album");
  ASSERT_EQ(RestoreEntry(source, &top, destination, CountSeparators(root), FileProgress{}), 0);
  EXPECT_EQ(ReadFile(platform::JoinPath(destination, u"a.jpg")), Bytes(10, 1));
  EXPECT_EQ(ReadFile(platform::JoinPath(destination, u"a(1).jpg")), Bytes(5, 2));
  EXPECT_EQ(ReadFile(platform::JoinPath(destination, u".._.._x.txt")), Bytes(3, 3));
  EXPECT_EQ(ReadFile(platform::JoinPath(platform::JoinPath(destination, u"sub"), u"b.png")),
            Bytes(4, 4));
  std::vector<std::u16string> everything;
  ListAll(root, u"", &everything);
  for (const auto& path : everything) EXPECT_EQ(path.rfind(u"album", 0), 0u);
  // Levels follow the destination's depth: the folder, then one deeper.
  EXPECT_EQ(source.levels_.front(), 1u);
  EXPECT_EQ(source.levels_.at(1), 2u);
}

// A restored file replaces whatever the path held: nothing old survives.
TEST(Restore, FileReplacesOldContentWhole) {
  FakeSource source;
  const FoundEntry file = source.Add(0, "short.jpg", false, Bytes(5, 7));
  const std::u16string path =
      platform::JoinPath(platform::JoinPath(test_support::MakeTempFolder("replace"), u"new"),
                         u"short.jpg");
  ASSERT_EQ(platform::CreateFolderTree(platform::ParentFolder(path)), 0);
  ASSERT_TRUE(test_support::WriteWholeFile(path, Bytes(50, 9)));
  ASSERT_EQ(RestoreEntry(source, &file, path, 0, FileProgress{}), 0);
  EXPECT_EQ(ReadFile(path), Bytes(5, 7));
  EXPECT_EQ(RestoreEntry(source, nullptr, path, 0, FileProgress{}), kErrorInvalidParameter);
}

// Memory previews are cut at the caller's buffer; photos go to the hidden
// preview file in the scan-log folder.
TEST(Restore, PreviewGoesToMemoryOrThePreviewFile) {
  test_support::UseFreshDataFolder();
  ReloadScanHistory();
  FakeSource source;
  const FoundEntry text = source.Add(0, "notes.xyz", false, Bytes(100, 5));
  uint8_t buffer[40] = {};
  uint32_t size = sizeof buffer;
  char16_t outPath[260] = {};
  ASSERT_EQ(ExtractEntryForPreview(source, &text, outPath, buffer, &size, nullptr, nullptr), 0);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(buffer[39], 5);

  const FoundEntry photo = source.Add(0, "pic.jpg", false, Bytes(30, 6));
  size = 0;
  ASSERT_EQ(ExtractEntryForPreview(source, &photo, outPath, nullptr, &size, nullptr, nullptr), 0);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(std::u16string(outPath), platform::JoinPath(GetScanHistory().HistoryRoot(), u"tmp.jpg"));
  EXPECT_EQ(ReadFile(outPath), Bytes(30, 6));
}

// Hostile long names patched into a real image: restored through the
// recovery layout they stay inside the recovery root.
TEST(Restore, HostileNamesFromAnImageStayInsideTheRoot) {
  fat_test::Image image;
  if (!image.Load("fat16.img")) GTEST_SKIP() << "fixture not built";
  // The hostile entries share the data of a deleted JPEG, so that all of
  // them pass the content check and are listed.
  uint32_t jpegCluster = 0;
  {
    CFastFatRecovery engine;
    ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
    const auto tree = fat_test::ScanTree(engine);
    ASSERT_EQ(tree.count("Café Crème.jpg"), 1u);
    jpegCluster = tree.at("Café Crème.jpg").id;
  }
  const uint64_t rootDir = image.geometry.RootDirSector() * image.geometry.bytesPerSector;
  uint64_t at = image.FirstFreeEntry(rootDir, uint64_t(image.geometry.rootDirSectors) * 512);
  ASSERT_NE(at, 0u);
  const char* hostile[] = {"..\\..\\evil.txt", "../../up.txt", "??.jpg", "CON.jpg", "C:x.txt"};
  for (const char* name : hostile) {
    auto entries = fat_test::LongNameEntries(name);
    entries.push_back(fat_test::ShortEntry("\xE5OSTILE TXT", 0x20, jpegCluster, 100));
    at = fat_test::PutEntries(image, at, entries);
  }
  ASSERT_TRUE(image.Save());
  CFastFatRecovery engine;
  ASSERT_EQ(engine.OpenImage(image.path.c_str(), 1), 0);
  const auto tree = fat_test::ScanTree(engine);
  const std::u16string base = test_support::MakeTempFolder("hostile");
  const std::u16string root = platform::JoinPath(base, u"rec");
  int restored = 0;
  for (const char* name : hostile) {
    const auto found = tree.find(name);
    ASSERT_NE(found, tree.end()) << name;
    std::u16string destination;
    ASSERT_EQ(RecoveryDestination(root, found->second, &destination), 0) << name;
    EXPECT_EQ(engine.Restore(&found->second, destination.c_str(), CountSeparators(root)), 0);
    ++restored;
  }
  std::vector<std::u16string> everything;
  ListAll(base, u"", &everything);
  size_t files = 0;
  for (const auto& path : everything) {
    EXPECT_EQ(path.rfind(u"rec", 0), 0u) << platform::Utf16ToUtf8(path);
    files += path.find(u'.') != std::u16string::npos;
  }
  EXPECT_EQ(files, size_t(restored));
  EXPECT_TRUE(platform::PathExists(platform::JoinPath(root, u"photo/__.jpg")));
  EXPECT_TRUE(platform::PathExists(platform::JoinPath(root, u"document/.._.._evil.txt")));
}
