// Times one quick scan of an image, with the engine the factory picks for it
// (FAT or NTFS), and reports the entries found and the process's peak memory.
// Run by fat_scan_bench.sh and ntfs_scan_bench.sh, which build the image and
// time the reference lister on the same image.
//
//   quick_scan_bench IMAGE     (VARNELLE_DATA_DIR should name an empty folder)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "engines/engine_factory.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s IMAGE\n", argv[0]);
    return 2;
  }
  const std::u16string image = platform::Utf8ToUtf16(argv[1]);
  const auto start = std::chrono::steady_clock::now();
  const std::unique_ptr<IFileRecoveryParse> engine = CreateImageEngine(image, 1, false);
  if (!engine) {
    std::fprintf(stderr, "no quick engine for %s\n", argv[1]);
    return 1;
  }
  WinError result = engine->Scan(nullptr);
  uint32_t files = 0;
  if (result == kErrorSuccess) result = engine->CountFiles(nullptr, 0, &files);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != kErrorSuccess) {
    std::fprintf(stderr, "scan failed: %d\n", result);
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("entries %llu deleted_files %u seconds %.3f peak_rss_kib %ld\n",
              static_cast<unsigned long long>(engine->GetEntryCount()), files, seconds,
              usage.ru_maxrss);
  return 0;
}
