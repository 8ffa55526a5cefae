// Conversions that are the same on every platform: UTF-8 <-> UTF-16 and the
// errno -> Win32 error table.
#include <cerrno>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[i]; advances i. Malformed input gives
// U+FFFD and consumes one byte.
char32_t DecodeUtf8(const std::string& text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  size_t length = 0;
  char32_t value = 0;
  if (lead < 0x80) {
    ++i;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + length > text.size()) {
    ++i;
    return kReplacement;
  }
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  static const char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    ++i;
    return kReplacement;
  }
  i += length;
  return value;
}

void AppendUtf8(char32_t value, std::string& out) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const char32_t value = DecodeUtf8(text, i);
    if (value >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(value);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t value = text[i];
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (value >= 0xD800 && value <= 0xDFFF) {
      value = kReplacement;
    }
    AppendUtf8(value, out);
  }
  return out;
}

size_t Utf8CharLength(const char* text, size_t available) {
  if (available == 0) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  size_t length = 1;
  if ((lead & 0xE0) == 0xC0) length = 2;
  else if ((lead & 0xF0) == 0xE0) length = 3;
  else if ((lead & 0xF8) == 0xF0) length = 4;
  for (size_t k = 1; k < length; ++k) {
    if (k >= available || (static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

WinError ErrnoToWin32(int errnoValue) {
  switch (errnoValue) {
    case 0: return kErrorSuccess;
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kErrorAccessDenied;
    case EROFS: return kErrorWriteProtect;
    case EMFILE:
    case ENFILE: return kErrorTooManyOpenFiles;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EIO: return kErrorReadFault;
    case ENXIO:
    case ENODEV: return kErrorNotReady;
    case ESPIPE: return kErrorSeek;
    case EBUSY: return kErrorBusy;
    case EEXIST: return kErrorAlreadyExists;
    case EINVAL: return kErrorInvalidParameter;
    case ENOSPC:
    case EFBIG: return kErrorDiskFull;
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case EPIPE: return kErrorBrokenPipe;
    case ENOSYS: return kErrorInvalidFunction;
#ifdef ENOTSUP
    case ENOTSUP: return kErrorNotSupported;
#endif
#ifdef ELOOP
    case ELOOP: return kErrorInvalidName;
#endif
    default: return kErrorInvalidFunction;
  }
}

}  // namespace platform
