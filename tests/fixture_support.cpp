#include "tests/fixture_support.h"

#include <cstdlib>
#include <sstream>

#include "tests/sha256.h"
#include "tests/test_support.h"

namespace test_support {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

bool ParseSize(const std::string& text, uint64_t* size) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *size = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

bool ParseEntry(const std::string& line, ManifestEntry* entry) {
  const std::vector<std::string> fields = Split(line, '\t');
  if (fields.size() != 5 || fields[1].empty()) return false;
  if (fields[0] != "live" && fields[0] != "deleted") return false;
  entry->deleted = fields[0] == "deleted";
  entry->path = fields[1];
  if (!ParseSize(fields[2], &entry->size)) return false;
  entry->sha256 = fields[3] == "-" ? std::string() : fields[3];
  if (fields[4] != "-" && !fields[4].empty()) entry->flags = Split(fields[4], ',');
  return entry->IsFolder() || entry->sha256.size() == 64;
}

}  // namespace

bool ManifestEntry::HasFlag(const std::string& flag) const {
  for (const std::string& f : flags) {
    if (f == flag) return true;
  }
  return false;
}

std::string ManifestEntry::FlagValue(const std::string& key) const {
  const std::string prefix = key + "=";
  for (const std::string& f : flags) {
    if (f.compare(0, prefix.size(), prefix) == 0) return f.substr(prefix.size());
  }
  return std::string();
}

std::string ManifestEntry::Name() const {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Manifest::Property(const std::string& key) const {
  for (const auto& property : properties) {
    if (property.first == key) return property.second;
  }
  return std::string();
}

std::vector<std::string> Manifest::Properties(const std::string& key) const {
  std::vector<std::string> values;
  for (const auto& property : properties) {
    if (property.first == key) values.push_back(property.second);
  }
  return values;
}

const ManifestEntry* Manifest::Find(const std::string& path) const {
  for (const ManifestEntry& entry : entries) {
    if (entry.path == path) return &entry;
  }
  return nullptr;
}

bool ParseManifest(const std::string& text, Manifest* out, std::string* error) {
  *out = Manifest();
  int lineNumber = 0;
  for (const std::string& line : Split(text, '\n')) {
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    if (line.compare(0, 2, "% ") == 0) {
      const std::string rest = line.substr(2);
      const size_t space = rest.find(' ');
      if (space == std::string::npos) {
        out->properties.emplace_back(rest, std::string());
      } else {
        out->properties.emplace_back(rest.substr(0, space), rest.substr(space + 1));
      }
      continue;
    }
    ManifestEntry entry;
    if (!ParseEntry(line, &entry)) {
      if (error != nullptr) *error = "line " + std::to_string(lineNumber) + ": " + line;
      return false;
    }
    out->entries.push_back(std::move(entry));
  }
  return true;
}

bool LoadFixtureManifest(const std::string& imageName, Manifest* out, std::string* error) {
  const std::u16string path = FixturePath(imageName + ".manifest");
  std::vector<uint8_t> bytes;
  if (path.empty() || !ReadWholeFile(path, &bytes)) {
    if (error != nullptr) *error = "cannot read " + imageName + ".manifest";
    return false;
  }
  return ParseManifest(std::string(bytes.begin(), bytes.end()), out, error);
}

std::string Sha256OfFile(const std::u16string& path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) return std::string();
  return Sha256Hex(bytes);
}

}  // namespace test_support
