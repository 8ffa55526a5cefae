// Helpers shared by the tests: temporary folders, fixture paths, whole-file
// reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

// Points VARNELLE_DATA_DIR at a new empty folder below the temp folder.
void UseFreshDataFolder();
// A new empty folder below the temp folder; deleted by the caller or left.
std::u16string MakeTempFolder(const std::string& tag);
// The folder of the built fixtures (VARNELLE_FIXTURES); empty when unknown.
std::u16string FixtureFolder();
// Path of one fixture file; empty when the fixture folder is unknown.
std::u16string FixturePath(const std::string& name);
bool ReadWholeFile(const std::u16string& path, std::vector<uint8_t>* bytes);
bool WriteWholeFile(const std::u16string& path, const std::vector<uint8_t>& bytes);
// A record's 8-bit name (system code page, at most `capacity` bytes) as
// UTF-8, so tests compare names with UTF-8 literals on every platform.
std::string AnsiNameToUtf8(const char* name, size_t capacity);

}  // namespace test_support

// Skips the current test when a fixture is not available (a cross build run
// without the native fixtures).
#define REQUIRE_FIXTURE(path)                                             \
  do {                                                                    \
    if ((path).empty() || !platform::PathExists(path))                    \
      GTEST_SKIP() << "fixture not built: " << platform::Utf16ToUtf8(path); \
  } while (0)
