// The test-side tools every recovery test relies on: SHA-256 and the
// manifest reader, checked against known vectors and the built fixtures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fixture_support.h"
#include "tests/sha256.h"
#include "tests/test_support.h"

namespace {

using test_support::Manifest;

TEST(Sha256, KnownVectors) {
  const std::string abc = "abc";
  EXPECT_EQ(test_support::Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(test_support::Sha256Hex(nullptr, 0),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // Fed in uneven pieces across many blocks.
  test_support::Sha256 sha;
  const std::vector<uint8_t> piece(997, 'a');
  size_t left = 1000000;
  while (left > 0) {
    const size_t take = std::min(left, piece.size());
    sha.Update(piece.data(), take);
    left -= take;
  }
  EXPECT_EQ(sha.FinishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Manifest, ParsesEntriesFlagsAndProperties) {
  const std::string text =
      "# comment\n"
      "% filesystem ntfs\n"
      "% partition 1 start 2048\n"
      "% partition 2 start 4096\n"
      "deleted\tTrip\t0\t-\tfolder,reused-folder,record=70\n"
      "live\tDCIM/Holiday Photo 2021.JPG\t23138\t"
      "8eb5d7c764f098165206e77c03ba0c02951e4c0a13d2910ea64f904da297f355\t-\n";
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::ParseManifest(text, &manifest, &error)) << error;
  ASSERT_EQ(manifest.entries.size(), 2u);
  EXPECT_EQ(manifest.Property("filesystem"), "ntfs");
  EXPECT_EQ(manifest.Properties("partition"),
            (std::vector<std::string>{"1 start 2048", "2 start 4096"}));
  const auto& folder = manifest.entries[0];
  EXPECT_TRUE(folder.deleted);
  EXPECT_TRUE(folder.IsFolder());
  EXPECT_TRUE(folder.HasFlag("reused-folder"));
  EXPECT_EQ(folder.FlagValue("record"), "70");
  const auto* photo = manifest.Find("DCIM/Holiday Photo 2021.JPG");
  ASSERT_NE(photo, nullptr);
  EXPECT_FALSE(photo->deleted);
  EXPECT_EQ(photo->size, 23138u);
  EXPECT_EQ(photo->Name(), "Holiday Photo 2021.JPG");
  EXPECT_TRUE(photo->flags.empty());

  EXPECT_FALSE(test_support::ParseManifest("gone\tx\t1\t-\t-\n", &manifest, &error));
  EXPECT_FALSE(test_support::ParseManifest("live\tx\t1\tabc\t-\n", &manifest, &error));
}

// Every media file matches its manifest line, so the hashes the image
// manifests carry are the bytes that went into the images.
TEST(Fixtures, MediaFilesMatchTheirManifest) {
  const std::u16string mediaFolder = test_support::FixturePath("media");
  REQUIRE_FIXTURE(mediaFolder);
  Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest("media", &manifest, &error)) << error;
  ASSERT_GE(manifest.entries.size(), 10u);
  for (const auto& entry : manifest.entries) {
    const std::u16string path =
        platform::JoinPath(mediaFolder, platform::Utf8ToUtf16(entry.path));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(test_support::ReadWholeFile(path, &bytes)) << entry.path;
    EXPECT_EQ(bytes.size(), entry.size) << entry.path;
    EXPECT_EQ(test_support::Sha256Hex(bytes), entry.sha256) << entry.path;
  }
}

TEST(Fixtures, EveryImageManifestParses) {
  const char* const kImages[] = {"fat12.img",   "fat16.img",    "fat32.img",
                                 "fat32-fragmented.img", "ntfs-4k.img", "ntfs-64k.img",
                                 "ext4.img",    "mbr-disk.img"};
  for (const char* image : kImages) {
    const std::u16string path = test_support::FixturePath(image);
    REQUIRE_FIXTURE(path);
    Manifest manifest;
    std::string error;
    EXPECT_TRUE(test_support::LoadFixtureManifest(image, &manifest, &error)) << image << ": " << error;
    EXPECT_FALSE(manifest.entries.empty()) << image;
    EXPECT_FALSE(manifest.Property("sector_bytes").empty()) << image;
  }
}

}  // namespace
