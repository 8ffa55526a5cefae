#include "cli/source_spec.h"

#include <cctype>

#include "platform/platform.h"

namespace {

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

#ifdef _WIN32
// "E:" or "E:\" names the volume with that drive letter.
bool ParseDriveLetter(const std::string& text, char* letter) {
  const bool shape = (text.size() == 2 || (text.size() == 3 && (text[2] == '\\' || text[2] == '/'))) &&
                     text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]));
  if (shape) *letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return shape;
}
#endif

}  // namespace

bool ParsePhysicalDriveName(const std::string& text, uint32_t* number) {
  std::string rest = text;
  if (StartsWithNoCase(rest, "\\\\.\\")) rest = rest.substr(4);
  if (!StartsWithNoCase(rest, "PhysicalDrive")) return false;
  rest = rest.substr(13);
  if (rest.empty() || rest.size() > 4) return false;
  uint32_t value = 0;
  for (char c : rest) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  *number = value;
  return true;
}

bool ResolveSource(const std::string& text, ScanTarget* target, std::string* error) {
  target->isVolume = false;
  target->tag = kCliImageTag;
  uint32_t disk = 0;
  if (ParsePhysicalDriveName(text, &disk)) {
    target->imagePath = platform::PhysicalDiskPath(disk);
    target->tag = static_cast<uint16_t>(disk);
    if (target->imagePath.empty()) {
      *error = "there is no physical disk " + std::to_string(disk) + " (see 'varnelle disks')";
      return false;
    }
    return true;
  }
#ifdef _WIN32
  char letter = 0;
  if (ParseDriveLetter(text, &letter)) {
    target->imagePath = u"\\\\.\\";
    target->imagePath += static_cast<char16_t>(letter);
    target->imagePath += u':';
    target->tag = static_cast<uint16_t>(letter);
    return true;
  }
#endif
  target->imagePath = platform::Utf8ToUtf16(text);
  if (!platform::PathExists(target->imagePath)) {
    *error = "cannot open '" + text + "': no such file or device";
    return false;
  }
  if (platform::IsFolder(target->imagePath)) {
    *error = "'" + text + "' is a folder; give an image file or a device";
    return false;
  }
  return true;
}
