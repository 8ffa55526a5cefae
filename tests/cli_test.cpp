// The command line in-process: argument errors, hostile names in the
// listings, and "recover" / "scan" end to end on the real FAT fixtures.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "carving/type_lists.h"
#include "cli/cli_options.h"
#include "cli/commands.h"
#include "cli/listing.h"
#include "cli/progress_bar.h"
#include "cli/terminal.h"
#include "platform/platform.h"
#include "tests/fixture_support.h"
#include "tests/test_support.h"

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

CliRun RunCli(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  CProgressBar quiet(stderr, false);
  CliContext context {out, err, quiet};
  CliRun run;
  run.status = RunCommandLine(args, context);
  run.out = out.str();
  run.err = err.str();
  return run;
}

// SHA-256 of every file directly inside `folder`, by name.
std::vector<std::pair<std::string, std::string>> FilesIn(const std::u16string& folder) {
  std::vector<platform::FolderItem> items;
  platform::ListFolder(folder, &items);
  std::vector<std::pair<std::string, std::string>> files;
  for (const platform::FolderItem& item : items) {
    if (item.isFolder) continue;
    files.emplace_back(platform::Utf16ToUtf8(item.name),
                       test_support::Sha256OfFile(platform::JoinPath(folder, item.name)));
  }
  return files;
}

bool HasHash(const std::vector<std::pair<std::string, std::string>>& files, const std::string& sha) {
  for (const auto& file : files) {
    if (file.second == sha) return true;
  }
  return false;
}

bool HasName(const std::vector<std::pair<std::string, std::string>>& files, const std::string& name) {
  for (const auto& file : files) {
    if (file.first == name) return true;
  }
  return false;
}

// A long name keeps its exact form; an 8.3 name comes back with its first
// character replaced and lower-cased, so only names with a lower-case
// letter or a space are compared by name.
bool IsLongName(const std::string& name) {
  return name.find_first_of("abcdefghijklmnopqrstuvwxyz ") != std::string::npos;
}

TEST(CliArguments, ErrorsExitWithUsageStatusAndSayWhatIsWrong) {
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "no command"},
      {{"rescue", "a"}, "unknown command 'rescue'"},
      {{"recover", "--bogus", "a", "b"}, "unknown option '--bogus'"},
      {{"scan", "--types", "jpg", "a"}, "unknown option '--types' for 'scan'"},
      {{"recover", "--json", "a", "b"}, "unknown option '--json' for 'recover'"},
      {{"recover", "a"}, "missing operand"},
      {{"info", "a", "b"}, "unexpected operand 'b'"},
      {{"recover", "--types", "jpg,pdf", "a", "b"}, "unknown type key 'pdf'"},
      {{"recover", "--types", "jpg,,png", "a", "b"}, "--types needs type keys"},
      {{"recover", "--types", "all,jpg", "a", "b"}, "cannot be combined"},
      {{"recover", "a", "b", "--types"}, "--types needs a value"},
      {{"scan", "--quick", "--deep", "a"}, "exclude each other"},
      {{"scan", "--json=1", "a"}, "takes no value"},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(c.args);
    EXPECT_EQ(run.status, kExitUsage) << c.message;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("--help"), std::string::npos);
  }
}

TEST(CliArguments, OptionsAndOperandsAreTakenInAnyOrder) {
  ParsedCommandLine parsed =
      ParseCommandLine({"recover", "src.img", "--types", " JPEG, png ", "--quick", "dest"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.options.command, CliCommand::Recover);
  EXPECT_EQ(parsed.options.typeKeys, (std::set<std::u16string> {u"jpg", u"png"}));
  EXPECT_EQ(parsed.options.source, "src.img");
  EXPECT_EQ(parsed.options.destination, "dest");
  EXPECT_FALSE(parsed.options.deep);

  parsed = ParseCommandLine({"recover", "--types=all", "--", "-odd name", "d"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.options.allTypes);
  EXPECT_EQ(parsed.options.source, "-odd name");

  parsed = ParseCommandLine({"scan", "--flat", "--json", "x"});
  ASSERT_TRUE(parsed.ok);
  EXPECT_TRUE(parsed.options.json && parsed.options.flat);

  const CliRun help = RunCli({"recover", "--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_NE(help.out.find("usage: varnelle recover"), std::string::npos);
  EXPECT_NE(help.out.find(" mp4"), std::string::npos) << "the type keys are listed";
  EXPECT_EQ(RunCli({"help", "scan"}).out.find("usage: varnelle scan"), 0u);
  EXPECT_NE(RunCli({"--help"}).out.find("commands:"), std::string::npos);
}

TEST(CliArguments, DeepScanIsRefusedUntilItExists) {
  const CliRun run = RunCli({"scan", "--deep", "whatever.img"});
  EXPECT_EQ(run.status, kExitError);
  EXPECT_NE(run.err.find("--deep is not available yet"), std::string::npos);
}

TEST(CliListing, HostileNamesAreEscapedForTerminalAndJson) {
  const std::string hostile = "a\"b\\c\n\x01\x1b[31m\xe2\x80\xae" "gpj.exe\xe2\x80\xa8";
  EXPECT_EQ(JsonQuote(hostile), "\"a\\\"b\\\\c\\n\\u0001\\u001b[31m\xe2\x80\xaegpj.exe\\u2028\"");
  EXPECT_EQ(PrintableText(hostile), "a\"b\\c\\x0A\\x01\\x1B[31m\\u202Egpj.exe\xe2\x80\xa8");
  EXPECT_EQ(JsonQuote("bad \xff byte"), "\"bad \xef\xbf\xbd byte\"");

  ListedEntry item;
  item.entry = MakeEmptyEntry();
  SetEntryNameAnsi(item.entry, "x\x1b]0;owned\x07.jpg");
  item.entry.size = 3;
  item.entry.dataIntact = 1;
  std::ostringstream json;
  WriteJsonListing(json, {item}, true, ListingSummary {"s", "FAT", "/logs"});
  const std::string text = json.str();
  for (char c : text) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\n');
  EXPECT_NE(text.find("\"name\":\"x\\u001b]0;owned\\u0007.jpg\""), std::string::npos) << text;
  std::ostringstream listing;
  WriteTextListing(listing, {item}, false);
  EXPECT_EQ(listing.str().find('\x1b'), std::string::npos);
}

TEST(CliListing, JsonTreeNestsFoldersAndStaysWellFormed) {
  auto make = [](const char* name, bool folder, uint32_t depth) {
    ListedEntry item;
    item.entry = MakeEmptyEntry();
    SetEntryNameAnsi(item.entry, name);
    item.entry.isFolder = folder ? 1 : 0;
    item.depth = depth;
    return item;
  };
  std::vector<ListedEntry> items = {make("A", true, 0), make("f", false, 1), make("B", true, 1),
                                    make("g", false, 0)};
  items[1].folderPath = u"A\\";
  items[2].folderPath = u"A\\";
  std::ostringstream out;
  WriteJsonListing(out, items, false, ListingSummary {"s", "FAT", "l"});
  const std::string folder = "\"created\":null,\"modified\":null,\"accessed\":null,\"deleted\":false";
  const std::string file = "\"size\":0,\"created\":null,\"modified\":null,\"accessed\":null,\"intact\":false";
  EXPECT_EQ(out.str(),
            "{\"source\":\"s\",\"fileSystem\":\"FAT\",\"scanLogFolder\":\"l\",\"files\":2,"
            "\"folders\":2,\"entries\":[\n"
            "{\"name\":\"A\",\"path\":\"A\",\"type\":\"folder\"," + folder + ",\"children\":[\n"
            "{\"name\":\"f\",\"path\":\"A/f\",\"type\":\"file\"," + file + "},\n"
            "{\"name\":\"B\",\"path\":\"A/B\",\"type\":\"folder\"," + folder + ",\"children\":[]}]},\n"
            "{\"name\":\"g\",\"path\":\"g\",\"type\":\"file\"," + file + "}\n]}\n");
}

TEST(CliProgress, LineFitsTheTerminalAndShowsPercentFilesAndTimeLeft) {
  ProgressView view;
  view.label = "scanning a-very-long-image-name-that-goes-on-and-on-and-on.img";
  view.percent = 140;  // long walks may pass 100
  view.counts = "12 files found";
  view.secondsLeft = 3725;
  for (int columns : {40, 80, 200}) {
    const std::string line = FormatProgressLine(view, columns);
    EXPECT_LT(static_cast<int>(line.size()), columns);
    EXPECT_NE(line.find("100%"), std::string::npos) << line;
  }
  const std::string wide = FormatProgressLine(view, 200);
  EXPECT_NE(wide.find("12 files found  1:02:05 left"), std::string::npos) << wide;
  EXPECT_EQ(FormatDuration(7), "0:07");
  EXPECT_EQ(FormatDuration(750), "12:30");
}

class CliOnFatImage : public testing::TestWithParam<const char*> {};

// Every deleted photo, audio and video file of the image whose clusters were
// not reused comes back into its kind folder byte for byte, long names intact.
TEST_P(CliOnFatImage, RecoverBringsBackTheDeletedMediaByteIdentical) {
  const std::u16string image = test_support::FixturePath(GetParam());
  REQUIRE_FIXTURE(image);
  test_support::Manifest manifest;
  std::string error;
  ASSERT_TRUE(test_support::LoadFixtureManifest(GetParam(), &manifest, &error)) << error;
  const std::u16string dest = platform::JoinPath(test_support::MakeTempFolder("clirec"), u"out");

  const CliRun run = RunCli({"recover", platform::Utf16ToUtf8(image), platform::Utf16ToUtf8(dest)});
  ASSERT_EQ(run.status, kExitOk) << run.out << run.err;
  EXPECT_NE(run.out.find("Recovered "), std::string::npos);
  EXPECT_NE(run.out.find(" 0 failed"), std::string::npos) << run.out;
  size_t checked = 0;
  for (const test_support::ManifestEntry& entry : manifest.entries) {
    if (!entry.deleted || entry.IsFolder() || entry.HasFlag("overwritten")) continue;
    const std::string kind = ClassifyFileCategory(entry.Name());
    if (kind != "photo" && kind != "audio" && kind != "video") continue;
    const auto files = FilesIn(platform::JoinPath(dest, platform::Utf8ToUtf16(kind)));
    EXPECT_TRUE(HasHash(files, entry.sha256)) << entry.path;
    if (IsLongName(entry.Name())) {
      EXPECT_TRUE(HasName(files, entry.Name())) << entry.path;
    }
    ++checked;
  }
  EXPECT_GE(checked, 8u);
  std::vector<platform::FolderItem> kinds;
  platform::ListFolder(dest, &kinds);
  for (const platform::FolderItem& item : kinds) {
    EXPECT_TRUE(item.name == u"photo" || item.name == u"audio" || item.name == u"video")
        << platform::Utf16ToUtf8(item.name) << " holds no selected type";
  }
}

INSTANTIATE_TEST_SUITE_P(Images, CliOnFatImage,
                         testing::Values("fat12.img", "fat16.img", "fat32.img"));

TEST(CliRecover, TypesSelectExactlyTheirKeysWithTheirAliases) {
  const std::u16string image = test_support::FixturePath("fat16.img");
  REQUIRE_FIXTURE(image);
  const std::u16string base = test_support::MakeTempFolder("clitypes");
  const std::u16string jpgOnly = platform::JoinPath(base, u"jpg");
  ASSERT_EQ(RunCli({"recover", "--types", "jpg", platform::Utf16ToUtf8(image),
                    platform::Utf16ToUtf8(jpgOnly)}).status,
            kExitOk);
  for (const auto& file : FilesIn(platform::JoinPath(jpgOnly, u"photo"))) {
    const std::string& name = file.first;
    EXPECT_TRUE(name.size() > 4 && (name.substr(name.size() - 4) == ".jpg" ||
                                    name.substr(name.size() - 4) == ".JPG"))
        << name;
  }
  EXPECT_TRUE(HasName(FilesIn(platform::JoinPath(jpgOnly, u"photo")), "Café Crème.jpg"));
  EXPECT_FALSE(platform::PathExists(platform::JoinPath(jpgOnly, u"audio")));

  // "Scan Page.tiff" is grouped under the key tif.
  const std::u16string tif = platform::JoinPath(base, u"tif");
  ASSERT_EQ(RunCli({"recover", "--types", "tif", platform::Utf16ToUtf8(image),
                    platform::Utf16ToUtf8(tif)}).status,
            kExitOk);
  EXPECT_EQ(FilesIn(platform::JoinPath(tif, u"photo")),
            (std::vector<std::pair<std::string, std::string>> {
                {"Scan Page.tiff", "b5658a117168c941112998b77ceab78de8b01e9a39d9b20c92a9f3e1ad32da33"}}));
}

TEST(CliRecover, CtrlCCancelsAndKeepsTheScanLogs) {
  const std::u16string image = test_support::FixturePath("fat16.img");
  REQUIRE_FIXTURE(image);
  const std::u16string dest = test_support::MakeTempFolder("clicancel");
  ResetInterrupt();
  InstallInterruptHandler();
  std::raise(SIGINT);  // as the user's Ctrl-C does: only the cancel flag is set
  const CliRun run = RunCli({"recover", platform::Utf16ToUtf8(image), platform::Utf16ToUtf8(dest)});
  ResetInterrupt();
  std::signal(SIGINT, SIG_DFL);
  EXPECT_EQ(run.status, kExitCancelled);
  EXPECT_NE(run.err.find("cancelled; the scan logs"), std::string::npos) << run.err;
}

TEST(CliScan, FlatJsonListsDeletedFilesWithPathsAndIntactFlag) {
  const std::u16string image = test_support::FixturePath("fat16.img");
  REQUIRE_FIXTURE(image);
  const CliRun run = RunCli({"scan", "--json", "--flat", platform::Utf16ToUtf8(image)});
  ASSERT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(run.out.find("{\"source\":"), 0u);
  EXPECT_NE(run.out.find("\"fileSystem\":\"FAT\""), std::string::npos);
  EXPECT_NE(run.out.find("\"name\":\"big picture.bmp\",\"path\":\"Old Album/Sub Folder/big "
                         "picture.bmp\",\"type\":\"file\",\"size\":230454"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\"path\":\"Old Album/Sub Folder\",\"type\":\"folder\""), std::string::npos);

  const CliRun tree = RunCli({"scan", platform::Utf16ToUtf8(image)});
  ASSERT_EQ(tree.status, kExitOk);
  EXPECT_NE(tree.out.find("      big picture.bmp\n"), std::string::npos) << tree.out;
  EXPECT_NE(tree.out.find("Scan logs: "), std::string::npos);
}

TEST(CliInfo, ReportsWhatTheSourceHolds) {
  const std::u16string image = test_support::FixturePath("fat32.img");
  REQUIRE_FIXTURE(image);
  const CliRun run = RunCli({"info", platform::Utf16ToUtf8(image)});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_NE(run.out.find("holds:    FAT\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("sectors:  131072 of 512 bytes"), std::string::npos) << run.out;
  const CliRun missing = RunCli({"info", "/nonexistent/x.img"});
  EXPECT_EQ(missing.status, kExitError);
  EXPECT_NE(missing.err.find("no such file"), std::string::npos);
}

}  // namespace
