// Throughput of the first identification step (the first table row whose
// probe recognises a sector), the hot path of a deep scan: every free sector
// of a disk goes through it. 1 GiB of 512-byte sectors per case (a 64 MiB
// buffer walked 16 times) on one core: random data, zeros, and a realistic
// mix of real media sectors (VARNELLE_FIXTURES/samples) among random ones.
// The row-by-row walk is timed once over 64 MiB for comparison.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "carving/probe_dispatch.h"
#include "platform/platform.h"
#include "storage/sector_source.h"

namespace {

constexpr size_t kSectorSize = 512;
constexpr size_t kBufferBytes = 64u << 20;
constexpr int kPasses = 16;
constexpr double kTargetBytesPerSecond = 1e9;

using FindFn = RowMatch (*)(const uint8_t*, size_t, CarveContext&);

struct Rate {
  double sectorsPerSecond = 0;
  double bytesPerSecond = 0;
  uint64_t recognised = 0;
};

Rate Measure(const std::vector<uint8_t>& buffer, int passes, FindFn find, CarveContext& context) {
  const size_t sectors = buffer.size() / kSectorSize;
  uint64_t recognised = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < sectors; ++i) {
      context.BeginQuestion(kSectorSize, context.source, i);
      recognised += find(buffer.data() + i * kSectorSize, kSectorSize, context).row != kNoRow;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double total = static_cast<double>(sectors) * passes;
  return {total / seconds, total * kSectorSize / seconds, recognised / passes};
}

void FillRandom(uint8_t* bytes, size_t length, uint64_t& state) {
  for (size_t i = 0; i + 8 <= length; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    std::memcpy(bytes + i, &state, 8);
  }
}

// Real sample sectors (each file from its first sector on) alternating with
// runs of random sectors, until the buffer is full. Empty when there are no
// samples.
std::vector<uint8_t> BuildMix(uint64_t& state) {
  const std::u16string folder = platform::GetEnvironment("VARNELLE_FIXTURES");
  std::vector<platform::FolderItem> items;
  if (folder.empty() ||
      platform::ListFolder(platform::JoinPath(folder, u"samples"), &items) != 0 || items.empty())
    return {};
  std::vector<std::vector<uint8_t>> files;
  for (const platform::FolderItem& item : items) {
    platform::FileHandle handle = platform::kInvalidHandle;
    const std::u16string path = platform::JoinPath(platform::JoinPath(folder, u"samples"), item.name);
    if (platform::OpenFile(path, platform::Access::Read, platform::Disposition::OpenExisting,
                           &handle) != 0)
      continue;
    std::vector<uint8_t> bytes((item.size + kSectorSize - 1) / kSectorSize * kSectorSize, 0);
    uint32_t done = 0;
    platform::ReadSome(handle, bytes.data(), static_cast<uint32_t>(item.size), &done);
    platform::CloseFile(handle);
    if (done > 0) files.push_back(std::move(bytes));
  }
  if (files.empty()) return {};
  std::vector<uint8_t> mix(kBufferBytes);
  size_t at = 0;
  for (size_t next = 0; at < mix.size(); ++next) {
    const std::vector<uint8_t>& file = files[next % files.size()];
    const size_t copy = std::min(file.size(), mix.size() - at);
    std::memcpy(mix.data() + at, file.data(), copy);
    at += copy;
    const size_t randomBytes = std::min<size_t>(file.size(), mix.size() - at);
    FillRandom(mix.data() + at, randomBytes, state);
    at += randomBytes;
  }
  return mix;
}

void Report(const char* name, const Rate& rate, bool judged) {
  std::printf("%-34s %12.0f sectors/s %9.2f GB/s  (recognised per pass: %llu)%s\n", name,
              rate.sectorsPerSecond, rate.bytesPerSecond / 1e9,
              static_cast<unsigned long long>(rate.recognised),
              judged ? (rate.bytesPerSecond >= kTargetBytesPerSecond ? "  target met"
                                                                      : "  TARGET MISSED")
                     : "");
}

}  // namespace

int main() {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  CarveContext context;
  context.streamContinuation = 1;

  std::vector<uint8_t> buffer(kBufferBytes);
  FillRandom(buffer.data(), buffer.size(), state);
  std::printf("first-row search, %zu-byte sectors, 1 GiB per case, one core\n", kSectorSize);
  const Rate random = Measure(buffer, kPasses, FindFirstMatchingRow, context);
  Report("random data (dispatch)", random, true);
  Report("random data (row by row, 64 MiB)", Measure(buffer, 1, FindFirstMatchingRowSlow, context),
         false);

  std::fill(buffer.begin(), buffer.end(), 0);
  const Rate zeros = Measure(buffer, kPasses, FindFirstMatchingRow, context);
  Report("zeros (dispatch)", zeros, true);
  Report("zeros (row by row, 64 MiB)", Measure(buffer, 1, FindFirstMatchingRowSlow, context), false);

  // The mix lies in an image file too, so the probes that read ahead (packet
  // grid, compound file, package) read real sectors.
  const std::vector<uint8_t> mix = BuildMix(state);
  if (mix.empty()) {
    std::printf("realistic mix: skipped (no samples under VARNELLE_FIXTURES/samples)\n");
  } else {
    const std::u16string path = platform::JoinPath(platform::GetEnvironment("TMPDIR").empty()
                                                       ? u"/tmp"
                                                       : platform::GetEnvironment("TMPDIR"),
                                                   u"varnelle_probe_bench.img");
    platform::FileHandle handle = platform::kInvalidHandle;
    SectorSource source;
    if (platform::OpenFile(path, platform::Access::ReadWrite, platform::Disposition::CreateAlways,
                           &handle) == 0) {
      uint32_t written = 0;
      WriteWholeSectors(handle, mix.data(), static_cast<uint32_t>(mix.size() / kSectorSize),
                        kSectorSize, &written);
      platform::CloseFile(handle);
      OpenImageSource(source, path);
      context.source = &source;
    }
    Report("realistic mix (dispatch)", Measure(mix, kPasses, FindFirstMatchingRow, context), false);
    Report("realistic mix (row by row, 64 MiB)", Measure(mix, 1, FindFirstMatchingRowSlow, context),
           false);
    CloseSource(source);
    platform::DeleteFile(path);
  }
  const bool met = random.bytesPerSecond >= kTargetBytesPerSecond &&
                   zeros.bytesPerSecond >= kTargetBytesPerSecond;
  std::printf("1 GB/s target for non-matching data: %s\n", met ? "met" : "NOT met");
  return 0;
}
