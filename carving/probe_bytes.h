// Bounds-checked reads of little- and big-endian values and byte patterns
// inside a probe's buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace probe_bytes {

// True when bytes [offset, offset + length) lie inside n.
inline bool Fits(size_t n, size_t offset, size_t length) {
  return offset <= n && length <= n - offset;
}

// The pattern (length bytes) stands at `offset`; false when it does not fit.
inline bool HasAt(const uint8_t* bytes, size_t n, size_t offset, const void* pattern,
                  size_t length) {
  return Fits(n, offset, length) && std::memcmp(bytes + offset, pattern, length) == 0;
}

// A string literal (without its NUL) at `offset`.
template <size_t N>
inline bool HasText(const uint8_t* bytes, size_t n, size_t offset, const char (&text)[N]) {
  return HasAt(bytes, n, offset, text, N - 1);
}

// Callers check Fits first.
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

// Whether a 4-byte pattern starts somewhere in [from, limit) (the pattern may
// reach up to limit + 3, but never past n).
inline bool Find4(const uint8_t* bytes, size_t n, size_t from, size_t limit,
                  const uint8_t (&pattern)[4]) {
  for (size_t offset = from; offset < limit && Fits(n, offset, 4); ++offset) {
    if (std::memcmp(bytes + offset, pattern, 4) == 0) return true;
  }
  return false;
}

}  // namespace probe_bytes
