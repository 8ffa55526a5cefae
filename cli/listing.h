// What "varnelle scan" prints: the found tree as an indented listing or a
// flat list, or the same as JSON. Names come from the disk and are hostile:
// control characters never reach the terminal or the JSON text raw.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "engines/engine_contract.h"

// One found entry with its place in the tree.
struct ListedEntry {
  FoundEntry entry;
  uint32_t depth = 0;
  std::u16string folderPath;  // below the volume root, each name followed by '\'
};

// Every entry below the root, each folder followed by its contents.
WinError CollectFoundTree(IFileRecoveryParse& engine, std::vector<ListedEntry>* out);

// The entry's name as valid UTF-8 (bytes the code page cannot convert become U+FFFD).
std::string EntryNameUtf8(const FoundEntry& entry);
// The path of an entry below the volume root with '/' between names.
std::string EntryPathUtf8(const ListedEntry& item);
// "2021-06-15 10:01:02" (local time as stored); "-" for no time.
std::string FormatFileTime(uint64_t fileTime);

// UTF-8 text safe for a terminal: C0 and C1 control characters and DEL are
// shown as \xNN, the marks that reorder text as \uNNNN; the rest is kept
// (Windows paths keep their single backslashes).
std::string PrintableText(const std::string& utf8);
// A JSON string literal (quotes included): ", \ and control characters
// escaped, U+2028 and U+2029 too; invalid UTF-8 becomes U+FFFD.
std::string JsonQuote(const std::string& utf8);

struct ListingSummary {
  std::string source;
  std::string fileSystem;
  std::string scanLogFolder;
};

void WriteTextListing(std::ostream& out, const std::vector<ListedEntry>& items, bool flat);
void WriteJsonListing(std::ostream& out, const std::vector<ListedEntry>& items, bool flat,
                      const ListingSummary& summary);
