#include "cli/help.h"

#include <set>

#include "carving/type_lists.h"
#include "platform/platform.h"

namespace {

const char kGeneralHelp[] =
    "usage: varnelle COMMAND [OPTIONS] ...\n"
    "\n"
    "Finds deleted photos, audio and video on FAT and NTFS volumes and images and\n"
    "copies them out. The source is only read.\n"
    "\n"
    "commands:\n"
    "  recover [--quick|--deep] [--types KEY,KEY...|all] SOURCE DEST\n"
    "                 scan SOURCE and copy the found files of the chosen types into\n"
    "                 DEST/photo, DEST/audio, DEST/video, DEST/document, ...\n"
    "  scan [--quick|--deep] [--json] [--flat] SOURCE\n"
    "                 list what a scan of SOURCE finds\n"
    "  info SOURCE    what SOURCE holds: file system, size, sectors\n"
    "  disks          the physical disks and their numbers\n"
    "  help [COMMAND] this text, or the help of one command\n"
    "\n"
    "SOURCE is an image file, a block device such as /dev/sdb1, PhysicalDriveN\n"
    "(disk N of 'varnelle disks') or, on Windows, a drive letter such as E:.\n"
    "Ctrl-C stops a scan or recovery cleanly; the scan logs are kept.\n"
    "Scan logs are kept in the Varnelle/ScanLog folder of the application-data\n"
    "folder; VARNELLE_DATA_DIR names another base folder.\n"
    "\n"
    "exit status: 0 done, 1 error, 2 wrong usage, 3 some files could not be\n"
    "recovered in full, 130 cancelled.\n";

const char kRecoverHelp[] =
    "usage: varnelle recover [--quick|--deep] [--types KEY,KEY...|all] SOURCE DEST\n"
    "\n"
    "Scans SOURCE, then copies every found file of the selected types into DEST,\n"
    "one folder per kind (photo, audio, video, document, archive, others); a name\n"
    "that is taken gets a number: a.jpg, a(1).jpg. Prints every file's outcome and\n"
    "a summary.\n"
    "\n"
    "  --quick        walk the file system for deleted entries (the default)\n"
    "  --deep         the deep scan of the free space (not available yet)\n"
    "  --types KEYS   type keys separated by commas (default: every photo, audio\n"
    "                 and video type below); 'all' takes every file found, of any\n"
    "                 type, documents and files without an extension included\n"
    "\n";

const char kScanHelp[] =
    "usage: varnelle scan [--quick|--deep] [--json] [--flat] SOURCE\n"
    "\n"
    "Scans SOURCE and lists what was found: name, size, modification and creation\n"
    "time, and whether the file's data looks intact, as a folder tree.\n"
    "\n"
    "  --quick        walk the file system for deleted entries (the default)\n"
    "  --deep         the deep scan of the free space (not available yet)\n"
    "  --flat         one line per entry with its full path instead of the tree\n"
    "  --json         the listing as JSON (UTF-8) on standard output\n";

const char kInfoHelp[] =
    "usage: varnelle info SOURCE\n"
    "\n"
    "Tells what SOURCE holds (NTFS, FAT, ext or unrecognised), its size and its\n"
    "number of 512-byte sectors.\n";

const char kDisksHelp[] =
    "usage: varnelle disks\n"
    "\n"
    "Lists the physical disks with the numbers that PhysicalDriveN refers to.\n"
    "On Linux disk N is the N-th whole-disk block device of /sys/block in name\n"
    "order (loop, ram and zram devices only with VARNELLE_INCLUDE_LOOP=1).\n";

const char* GroupName(TypeGroup group) {
  switch (group) {
    case TypeGroup::Photo: return "photo";
    case TypeGroup::Audio: return "audio";
    case TypeGroup::Video: return "video";
  }
  return "";
}

// "photo: bmp gif jpg ..." lines, wrapped, each key once.
std::string TypeKeyList() {
  std::string text = "type keys:\n";
  for (TypeGroup group : {TypeGroup::Photo, TypeGroup::Audio, TypeGroup::Video}) {
    std::set<std::u16string> seen;
    std::string line = std::string("  ") + GroupName(group) + ":";
    for (const SelectableType& type : SelectableTypes()) {
      if (type.group != group || !seen.insert(type.key).second) continue;
      const std::string key = platform::Utf16ToUtf8(type.key);
      if (line.size() + key.size() + 1 > 78) {
        text += line + "\n";
        line = "        ";
      }
      line += " " + key;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace

std::string HelpText(CliCommand command) {
  switch (command) {
    case CliCommand::Recover: return kRecoverHelp + TypeKeyList();
    case CliCommand::Scan: return kScanHelp;
    case CliCommand::Info: return kInfoHelp;
    case CliCommand::Disks: return kDisksHelp;
    case CliCommand::Help:
    case CliCommand::None: break;
  }
  return kGeneralHelp;
}
