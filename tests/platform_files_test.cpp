// The file and folder calls of the OS layer, checked the same way on Linux
// and on Windows (under wine), so both sides keep one behaviour.
#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"
#include "tests/test_support.h"

namespace {

class PlatformFilesTest : public testing::Test {
 protected:
  void SetUp() override { folder_ = test_support::MakeTempFolder("platform"); }
  void TearDown() override { platform::DeleteTree(folder_); }
  std::u16string PathOf(const std::u16string& name) const {
    return platform::JoinPath(folder_, name);
  }
  std::u16string folder_;
};

uint64_t SizeOf(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(test_support::ReadWholeFile(path, &bytes));
  return bytes.size();
}

TEST_F(PlatformFilesTest, DispositionsCreateTruncateKeepOrRefuseAsAsked) {
  using platform::Disposition;
  const std::u16string path = PathOf(u"file.bin");
  platform::FileHandle handle = 0;
  EXPECT_EQ(platform::OpenFile(path, platform::Access::Read, Disposition::OpenExisting, &handle),
            kErrorFileNotFound);
  EXPECT_EQ(handle, platform::kInvalidHandle);

  ASSERT_TRUE(test_support::WriteWholeFile(path, std::vector<uint8_t>(100, 1)));
  EXPECT_EQ(platform::OpenFile(path, platform::Access::ReadWrite, Disposition::CreateNew, &handle),
            kErrorFileExists);

  ASSERT_EQ(platform::OpenFile(path, platform::Access::ReadWrite, Disposition::OpenAlways, &handle),
            0);
  platform::CloseFile(handle);
  EXPECT_EQ(SizeOf(path), 100u);

  ASSERT_EQ(
      platform::OpenFile(path, platform::Access::ReadWrite, Disposition::CreateAlways, &handle), 0);
  platform::CloseFile(handle);
  EXPECT_EQ(SizeOf(path), 0u);

  // A folder is not a file.
  EXPECT_EQ(platform::OpenFile(folder_, platform::Access::Read, Disposition::OpenExisting, &handle),
            kErrorAccessDenied);
}

TEST_F(PlatformFilesTest, SetFileLengthCutsTheFileAndKeepsThePosition) {
  const std::u16string path = PathOf(u"file.bin");
  ASSERT_TRUE(test_support::WriteWholeFile(path, std::vector<uint8_t>(1000, 7)));
  platform::FileHandle handle = platform::kInvalidHandle;
  ASSERT_EQ(platform::OpenFile(path, platform::Access::ReadWrite,
                               platform::Disposition::OpenExisting, &handle),
            0);
  ASSERT_EQ(platform::Seek(handle, 4), 0);
  EXPECT_EQ(platform::SetFileLength(handle, 10), 0);
  uint64_t size = 0;
  EXPECT_EQ(platform::GetFileSize(handle, &size), 0);
  EXPECT_EQ(size, 10u);
  uint8_t buffer[16];
  uint32_t got = 0;
  EXPECT_EQ(platform::ReadSome(handle, buffer, sizeof buffer, &got), 0);
  EXPECT_EQ(got, 6u);  // read from offset 4 to the new end
  EXPECT_EQ(platform::ReadSome(handle, buffer, sizeof buffer, &got), 0);
  EXPECT_EQ(got, 0u);  // end of file is an empty read, not an error
  platform::CloseFile(handle);
}

TEST_F(PlatformFilesTest, FolderTreeListReplaceAndDelete) {
  const std::u16string deep = PathOf(u"a");
  const std::u16string deeper = platform::JoinPath(platform::JoinPath(deep, u"b"), u"c");
  EXPECT_EQ(platform::CreateFolderTree(deeper), 0);
  EXPECT_TRUE(platform::IsFolder(deeper));
  EXPECT_EQ(platform::CreateFolderTree(deeper), kErrorAlreadyExists);
  EXPECT_EQ(platform::CreateFolder(deep), kErrorAlreadyExists);

  ASSERT_TRUE(test_support::WriteWholeFile(platform::JoinPath(deep, u"z.txt"), {1, 2, 3}));
  ASSERT_TRUE(test_support::WriteWholeFile(platform::JoinPath(deep, u"m.txt"), {9}));
  std::vector<platform::FolderItem> items;
  ASSERT_EQ(platform::ListFolder(deep, &items), 0);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].name, u"b");
  EXPECT_TRUE(items[0].isFolder);
  EXPECT_EQ(items[1].name, u"m.txt");
  EXPECT_EQ(items[2].name, u"z.txt");
  EXPECT_EQ(items[2].size, 3u);
  EXPECT_FALSE(items[2].isFolder);

  // The replacement takes the old name in one step.
  EXPECT_EQ(platform::ReplaceFile(platform::JoinPath(deep, u"m.txt"),
                                  platform::JoinPath(deep, u"z.txt")),
            0);
  EXPECT_FALSE(platform::PathExists(platform::JoinPath(deep, u"m.txt")));
  EXPECT_EQ(SizeOf(platform::JoinPath(deep, u"z.txt")), 1u);

  EXPECT_EQ(platform::DeleteTree(deep), 0);
  EXPECT_FALSE(platform::PathExists(deep));
  EXPECT_EQ(platform::DeleteTree(deep), 0);  // nothing left to delete is fine
  std::vector<platform::FolderItem> none;
  EXPECT_NE(platform::ListFolder(deep, &none), 0);
}

TEST(PlatformEnvironment, DataFolderProgramFolderAndClock) {
  // The test main points VARNELLE_DATA_DIR at a fresh folder.
  const std::u16string data = platform::AppDataBase();
  EXPECT_EQ(data, platform::GetEnvironment("VARNELLE_DATA_DIR"));
  EXPECT_TRUE(platform::IsFolder(data));
  EXPECT_TRUE(platform::IsFolder(platform::ProgramFolder()));

  EXPECT_GE(platform::GetLocalTime().year, 2020);
  const uint32_t before = platform::TickCount();
  platform::SleepMs(30);
  EXPECT_GE(static_cast<uint32_t>(platform::TickCount() - before), 20u);
}

TEST(PlatformText, AnsiConversionsRoundTripPlainText) {
  EXPECT_EQ(platform::AnsiToWide("Photo_01.JPG"), u"Photo_01.JPG");
  EXPECT_EQ(platform::WideToAnsi(u"Photo_01.JPG"), "Photo_01.JPG");
  EXPECT_EQ(platform::AnsiToWide(""), u"");
  EXPECT_EQ(platform::AnsiCharLength("A", 1), 1u);
  EXPECT_EQ(platform::AnsiCharLength("A", 0), 0u);
  // UTF-8: a three-byte character, and the same character cut short.
  EXPECT_EQ(platform::Utf8CharLength("\xE4\xB8\xAD", 3), 3u);
  EXPECT_EQ(platform::Utf8CharLength("\xE4\xB8\xAD", 2), 1u);
}

}  // namespace
