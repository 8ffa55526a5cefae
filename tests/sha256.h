// SHA-256 for tests: checks recovered files byte for byte against the
// fixture manifests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

class Sha256 {
 public:
  Sha256();
  void Update(const uint8_t* data, size_t length);
  // The digest as lower-case hex; the object is spent afterwards.
  std::string FinishHex();

 private:
  void Compress(const uint8_t* block);

  std::array<uint32_t, 8> state_;
  std::array<uint8_t, 64> block_{};
  size_t blockUsed_ = 0;
  uint64_t totalBytes_ = 0;
};

std::string Sha256Hex(const uint8_t* data, size_t length);
std::string Sha256Hex(const std::vector<uint8_t>& bytes);

}  // namespace test_support
