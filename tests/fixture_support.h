// Reading the manifests that the fixture scripts write beside each image
// (format: tools/fixtures/README.md): one line per file or folder with its
// state, path, size, SHA-256 and flags, plus "% key value" properties.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

struct ManifestEntry {
  bool deleted = false;
  std::string path;  // inside the volume, '/' between names, UTF-8
  uint64_t size = 0;
  std::string sha256;  // lower-case hex; empty for folders
  std::vector<std::string> flags;

  bool HasFlag(const std::string& flag) const;
  // The value of a "key=value" flag; empty when absent.
  std::string FlagValue(const std::string& key) const;
  bool IsFolder() const { return HasFlag("folder"); }
  // The last name of the path.
  std::string Name() const;
};

struct Manifest {
  std::vector<ManifestEntry> entries;
  // "% key value..." lines in file order (a key may repeat, e.g. partition).
  std::vector<std::pair<std::string, std::string>> properties;

  // The first value of a property; empty when absent.
  std::string Property(const std::string& key) const;
  // Every value of a property, in order.
  std::vector<std::string> Properties(const std::string& key) const;
  const ManifestEntry* Find(const std::string& path) const;
};

// Parses manifest text; false with a message on the first malformed line.
bool ParseManifest(const std::string& text, Manifest* out, std::string* error);
// Loads "<image>.manifest" from the fixture folder.
bool LoadFixtureManifest(const std::string& imageName, Manifest* out, std::string* error);
// SHA-256 (hex) of a whole file; empty when it cannot be read.
std::string Sha256OfFile(const std::u16string& path);

}  // namespace test_support
