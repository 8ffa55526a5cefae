#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace test_support {

namespace {

std::u16string TempBase() {
  std::u16string base = platform::GetEnvironment("TMPDIR");
#ifdef _WIN32
  if (base.empty()) base = platform::GetEnvironment("TEMP");
#endif
  if (base.empty()) base = u"/tmp";
  return base;
}

void SetEnvironment(const char* name, const std::u16string& value) {
#ifdef _WIN32
  _putenv_s(name, platform::WideToAnsi(value).c_str());
#else
  setenv(name, platform::Utf16ToUtf8(value).c_str(), 1);
#endif
}

}  // namespace

std::u16string MakeTempFolder(const std::string& tag) {
  static std::atomic<unsigned> counter{0};
  const uint32_t stamp = platform::TickCount();
  for (;;) {
    const std::string name = "varnelle-" + tag + "-" + std::to_string(stamp) + "-" +
                             std::to_string(counter++);
    const std::u16string path = platform::JoinPath(TempBase(), platform::Utf8ToUtf16(name));
    if (platform::CreateFolder(path) == 0) return path;
  }
}

void UseFreshDataFolder() { SetEnvironment("VARNELLE_DATA_DIR", MakeTempFolder("data")); }

std::u16string FixtureFolder() { return platform::GetEnvironment("VARNELLE_FIXTURES"); }

std::u16string FixturePath(const std::string& name) {
  const std::u16string folder = FixtureFolder();
  if (folder.empty()) return std::u16string();
  return platform::JoinPath(folder, platform::Utf8ToUtf16(name));
}

std::string AnsiNameToUtf8(const char* name, size_t capacity) {
  size_t length = 0;
  while (length < capacity && name[length] != 0) ++length;
  return platform::Utf16ToUtf8(platform::AnsiToWide(std::string(name, length)));
}

bool ReadWholeFile(const std::u16string& path, std::vector<uint8_t>* bytes) {
  platform::FileHandle handle;
  if (platform::OpenFile(path, platform::Access::Read, platform::Disposition::OpenExisting,
                         &handle) != 0) {
    return false;
  }
  uint64_t size = 0;
  bool ok = platform::GetFileSize(handle, &size) == 0;
  bytes->assign(static_cast<size_t>(size), 0);
  size_t done = 0;
  while (ok && done < bytes->size()) {
    uint32_t got = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<size_t>(bytes->size() - done, 1 << 20));
    ok = platform::ReadSome(handle, bytes->data() + done, want, &got) == 0 && got > 0;
    done += got;
  }
  platform::CloseFile(handle);
  return ok;
}

bool WriteWholeFile(const std::u16string& path, const std::vector<uint8_t>& bytes) {
  platform::FileHandle handle;
  if (platform::OpenFile(path, platform::Access::ReadWrite, platform::Disposition::CreateAlways,
                         &handle) != 0) {
    return false;
  }
  size_t done = 0;
  bool ok = true;
  while (ok && done < bytes.size()) {
    uint32_t put = 0;
    const uint32_t want = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, 1 << 20));
    ok = platform::WriteSome(handle, bytes.data() + done, want, &put) == 0 && put > 0;
    done += put;
  }
  platform::CloseFile(handle);
  return ok;
}

}  // namespace test_support
