#include "cli/listing.h"

#include <cstdio>
#include <cstring>

#include "engines/found_tree.h"
#include "platform/platform.h"

namespace {

bool IsControl(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
// Marks that reorder the text around them on a terminal (a name could make
// "gpj.exe" look like "exe.jpg").
bool IsBidiControl(char16_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E ||
         c == 0x200F;
}

void AppendAscii(std::u16string& out, const char* text) {
  while (*text != 0) out += static_cast<char16_t>(*text++);
}

// "\xNN" for a code unit up to 0xFF, "\uNNNN" (upper or lower case digits) above.
void AppendHexEscape(std::u16string& out, char kind, unsigned value, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  const int count = kind == 'x' ? 2 : 4;
  out += u'\\';
  out += static_cast<char16_t>(kind);
  for (int shift = (count - 1) * 4; shift >= 0; shift -= 4) {
    out += static_cast<char16_t>(digits[(value >> shift) & 0xF]);
  }
}

std::string YesNo(bool value) { return value ? "yes" : "no"; }

std::string PadLeft(const std::string& text, size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string PadRight(const std::string& text, size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string JsonTime(uint64_t fileTime) {
  platform::LocalTime t;
  if (fileTime == 0 || !platform::FileTimeToSystemTime(fileTime, &t)) return "null";
  char text[64];
  std::snprintf(text, sizeof text, "\"%04u-%02u-%02uT%02u:%02u:%02u\"", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

// The members of one entry's JSON object, without braces and children.
std::string JsonMembers(const ListedEntry& item) {
  const FoundEntry& e = item.entry;
  const bool folder = e.isFolder != 0;
  std::string text = "\"name\":" + JsonQuote(EntryNameUtf8(e));
  text += ",\"path\":" + JsonQuote(EntryPathUtf8(item));
  text += std::string(",\"type\":\"") + (folder ? "folder" : "file") + "\"";
  if (!folder) text += ",\"size\":" + std::to_string(e.size);
  text += ",\"created\":" + JsonTime(e.created);
  text += ",\"modified\":" + JsonTime(e.modified);
  text += ",\"accessed\":" + JsonTime(e.accessed);
  if (folder) {
    text += std::string(",\"deleted\":") + (e.isDeleted != 0 ? "true" : "false");
  } else {
    text += std::string(",\"intact\":") + (e.dataIntact != 0 ? "true" : "false");
  }
  return text;
}

void CountEntries(const std::vector<ListedEntry>& items, uint64_t* files, uint64_t* folders) {
  *files = 0;
  *folders = 0;
  for (const ListedEntry& item : items) ++(item.entry.isFolder != 0 ? *folders : *files);
}

}  // namespace

WinError CollectFoundTree(IFileRecoveryParse& engine, std::vector<ListedEntry>* out) {
  return WalkFoundTree(engine, [out](const FoundTreeItem& item) {
    ListedEntry listed;
    listed.entry = *item.entry;
    TerminateEntryName(listed.entry);
    listed.depth = item.depth;
    listed.folderPath = *item.folderPath;
    out->push_back(std::move(listed));
    return true;
  });
}

std::string EntryNameUtf8(const FoundEntry& entry) {
  const std::string name(entry.name, strnlen(entry.name, sizeof entry.name));
  return platform::Utf16ToUtf8(platform::AnsiToWide(name));
}

std::string EntryPathUtf8(const ListedEntry& item) {
  std::u16string path = item.folderPath;
  for (char16_t& c : path) {
    if (c == u'\\') c = u'/';
  }
  return platform::Utf16ToUtf8(path) + EntryNameUtf8(item.entry);
}

std::string FormatFileTime(uint64_t fileTime) {
  platform::LocalTime t;
  if (fileTime == 0 || !platform::FileTimeToSystemTime(fileTime, &t)) return "-";
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text;
}

std::string PrintableText(const std::string& utf8) {
  std::u16string out;
  for (char16_t c : platform::Utf8ToUtf16(utf8)) {
    if (IsControl(c)) {
      AppendHexEscape(out, 'x', c, true);
    } else if (IsBidiControl(c)) {
      AppendHexEscape(out, 'u', c, true);
    } else {
      out += c;
    }
  }
  return platform::Utf16ToUtf8(out);
}

std::string JsonQuote(const std::string& utf8) {
  std::u16string out = u"\"";
  for (char16_t c : platform::Utf8ToUtf16(utf8)) {
    switch (c) {
      case u'"': AppendAscii(out, "\\\""); break;
      case u'\\': AppendAscii(out, "\\\\"); break;
      case u'\n': AppendAscii(out, "\\n"); break;
      case u'\r': AppendAscii(out, "\\r"); break;
      case u'\t': AppendAscii(out, "\\t"); break;
      default:
        if (IsControl(c) || c == 0x2028 || c == 0x2029) {
          AppendHexEscape(out, 'u', c, false);
        } else {
          out += c;
        }
    }
  }
  out += u'"';
  return platform::Utf16ToUtf8(out);
}

void WriteTextListing(std::ostream& out, const std::vector<ListedEntry>& items, bool flat) {
  out << PadLeft("SIZE", 12) << "  " << PadRight("MODIFIED", 19) << "  "
      << PadRight("CREATED", 19) << "  INTACT  " << (flat ? "PATH" : "NAME") << "\n";
  for (const ListedEntry& item : items) {
    const FoundEntry& e = item.entry;
    const bool folder = e.isFolder != 0;
    std::string name = flat ? EntryPathUtf8(item) : EntryNameUtf8(e);
    name = PrintableText(name);
    if (folder) name += "/";
    if (folder && e.isDeleted != 0) name += "  (deleted)";
    if (!flat) name = std::string(2 * static_cast<size_t>(item.depth), ' ') + name;
    out << PadLeft(folder ? "-" : std::to_string(e.size), 12) << "  "
        << PadRight(FormatFileTime(e.modified), 19) << "  " << PadRight(FormatFileTime(e.created), 19)
        << "  " << PadRight(folder ? "-" : YesNo(e.dataIntact != 0), 6) << "  " << name << "\n";
  }
  uint64_t files = 0;
  uint64_t folders = 0;
  CountEntries(items, &files, &folders);
  out << files << (files == 1 ? " file, " : " files, ") << folders
      << (folders == 1 ? " folder\n" : " folders\n");
}

void WriteJsonListing(std::ostream& out, const std::vector<ListedEntry>& items, bool flat,
                      const ListingSummary& summary) {
  uint64_t files = 0;
  uint64_t folders = 0;
  CountEntries(items, &files, &folders);
  out << "{\"source\":" << JsonQuote(summary.source)
      << ",\"fileSystem\":" << JsonQuote(summary.fileSystem)
      << ",\"scanLogFolder\":" << JsonQuote(summary.scanLogFolder) << ",\"files\":" << files
      << ",\"folders\":" << folders << ",\"entries\":[";
  // In the tree form a folder's object stays open while its contents follow;
  // `open` holds the depths of the folders still open.
  std::vector<uint32_t> open;
  bool first = true;
  for (const ListedEntry& item : items) {
    while (!flat && !open.empty() && open.back() >= item.depth) {
      out << "]}";
      open.pop_back();
      first = false;
    }
    if (!first) out << ",";
    first = false;
    out << "\n{" << JsonMembers(item);
    if (!flat && item.entry.isFolder != 0) {
      out << ",\"children\":[";
      open.push_back(item.depth);
      first = true;
    } else {
      out << "}";
    }
  }
  while (!open.empty()) {
    out << "]}";
    open.pop_back();
  }
  out << "\n]}\n";
}
