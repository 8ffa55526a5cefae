#include "cli/commands.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "cli/error_text.h"
#include "cli/help.h"
#include "cli/listing.h"
#include "cli/source_spec.h"
#include "engines/engine_factory.h"
#include "engines/recovery_job.h"
#include "engines/scan_job.h"
#include "engines/scoped_file.h"
#include "engines/search_job.h"
#include "platform/platform.h"
#include "scanlog/scan_history.h"
#include "storage/sector_source.h"

namespace {

std::string Utf8(const std::u16string& text) { return PrintableText(platform::Utf16ToUtf8(text)); }

std::string ScanLogFolder() { return Utf8(GetScanHistory().GetScanFolder()); }

int Fail(CliContext& context, const std::string& message) {
  context.progress.Clear();
  context.err << "varnelle: " << message << "\n";
  return kExitError;
}

int RefuseDeep(CliContext& context) {
  return Fail(context,
              "--deep is not available yet: the deep scan of the free space arrives in a later "
              "release; use --quick (the default)");
}

// Classifies a source opened for reading only (the factory's own
// classification opens it for writing as well).
WinError ClassifySourceReadOnly(const std::u16string& path, SourceReport* report) {
  ScopedFile file;
  WinError result = platform::OpenFile(path, platform::Access::Read,
                                       platform::Disposition::OpenExisting, file.Receive());
  if (result == kErrorSuccess) result = platform::GetFileSize(file.get(), &report->sizeBytes);
  if (result != kErrorSuccess) return result;
  report->bytesPerSector = 512;
  report->sectorCount = report->sizeBytes / 512;
  std::vector<uint8_t> start(kClassifyBytes);
  uint32_t read = 0;
  result = ReadFully(file.get(), start.data(), static_cast<uint32_t>(start.size()), &read);
  if (result != kErrorSuccess || read < start.size()) return kErrorReadFault;
  report->volumeClass = ClassifyVolume(start.data(), start.size());
  return kErrorSuccess;
}

bool CanOpenForWriting(const std::u16string& path) {
  ScopedFile file;
  return platform::OpenFile(path, platform::Access::ReadWrite, platform::Disposition::OpenExisting,
                            file.Receive()) == kErrorSuccess;
}

// Why the factory made no engine for the source.
std::string NoEngineReason(const std::string& source, const std::u16string& path) {
  SourceReport report;
  const WinError classified = ClassifySourceReadOnly(path, &report);
  if (classified == kErrorReadFault) {
    return "cannot read the first 16 KiB of '" + source + "' (too small, or a read error)";
  }
  if (classified != kErrorSuccess) return "cannot open '" + source + "': " + ErrorText(classified);
  if (!CanOpenForWriting(path)) {
    return "'" + source +
           "' can be read but not opened for writing, and the scan engines open their source "
           "for reading and writing (they never write to it): run as a user who may open it "
           "so, or scan an image copy of it";
  }
  if (report.volumeClass == VolumeClass::Unrecognised) {
    return "'" + source +
           "' holds no FAT, NTFS or ext file system that the quick scan knows (a whole disk "
           "with a partition table is scanned one partition at a time, e.g. /dev/sdb1)";
  }
  return std::string("no quick-scan engine for the ") + VolumeClassName(report.volumeClass) +
         " volume in '" + source + "' yet";
}

// Resolves and scans the source. True with an engine in `target`; false with
// `status` set to the exit status.
bool ScanSource(const CliOptions& options, CliContext& context, ScanTarget* target, int* status) {
  std::string error;
  if (!ResolveSource(options.source, target, &error)) {
    *status = Fail(context, error);
    return false;
  }
  // Each run scans into a numbered scan folder of its own, emptied first: a
  // quick scan's log is named after the volume's first sector and the minute,
  // so two runs on images within one minute would otherwise add their records
  // to one log and list every file twice.
  GetScanHistory().NewScanFolder();
  const ScanJobResult scanned = RunScanJob({target}, false, context.progress);
  context.progress.Clear();
  switch (scanned.outcome) {
    case ScanJobOutcome::NoEngine:
      *status = Fail(context, NoEngineReason(options.source, target->imagePath));
      return false;
    case ScanJobOutcome::Cancelled:
      context.err << "varnelle: cancelled; the scan logs written so far are kept in "
                  << ScanLogFolder() << "\n";
      *status = kExitCancelled;
      return false;
    case ScanJobOutcome::Finished: break;
  }
  const WinError result = scanned.scanResults.empty() ? kErrorSuccess : scanned.scanResults[0];
  if (result != kErrorSuccess) {
    context.err << "varnelle: warning: the scan of '" << PrintableText(options.source)
                << "' ended early: " << ErrorText(result) << "; showing what was found\n";
  }
  return true;
}

// Prints each outcome as it comes and forwards the rest to the bar.
class OutcomePrinter : public IJobObserver {
 public:
  explicit OutcomePrinter(CliContext& context) : context_(context) {}
  void OnStage(const JobStage& stage) override { context_.progress.OnStage(stage); }
  void OnProgress(const JobProgress& progress) override { context_.progress.OnProgress(progress); }
  bool IsCancelRequested() override { return context_.progress.IsCancelRequested(); }
  void OnFileOutcome(const FileOutcome& outcome) override {
    context_.progress.Clear();
    if (outcome.error == kErrorSuccess) {
      context_.out << "  recovered  " << Utf8(outcome.path) << "\n";
    } else {
      context_.out << "  FAILED     " << (outcome.path.empty() && outcome.entry != nullptr
                                              ? PrintableText(EntryNameUtf8(*outcome.entry))
                                              : Utf8(outcome.path))
                   << ": " << ErrorText(outcome.error) << "\n";
    }
  }

 private:
  CliContext& context_;
};

std::vector<FoundEntry> EntriesOf(const std::vector<SearchHit>& hits) {
  std::vector<FoundEntry> entries;
  entries.reserve(hits.size());
  for (const SearchHit& hit : hits) entries.push_back(hit.entry);
  return entries;
}

std::string Count(uint64_t count, const char* singular, const char* plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

std::string SizeText(uint64_t bytes) {
  char text[64];
  if (bytes >= (1ull << 30)) {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1ull << 30));
  } else if (bytes >= (1ull << 20)) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1ull << 20));
  } else if (bytes >= 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(bytes) / 1024);
  } else {
    return Count(bytes, "byte", "bytes");
  }
  return std::to_string(bytes) + " bytes (" + text + ")";
}

}  // namespace

int RunRecover(const CliOptions& options, CliContext& context) {
  if (options.deep) return RefuseDeep(context);
  const auto start = std::chrono::steady_clock::now();
  const std::u16string destination = platform::Utf8ToUtf16(options.destination);
  const WinError made = platform::CreateFolderTree(destination);
  if (made != kErrorSuccess && made != kErrorAlreadyExists) {
    return Fail(context, "cannot create the destination '" + PrintableText(options.destination) +
                             "': " + ErrorText(made));
  }
  if (!platform::IsFolder(destination)) {
    return Fail(context, "the destination '" + PrintableText(options.destination) +
                             "' is not a folder");
  }
  ScanTarget target;
  int status = kExitOk;
  if (!ScanSource(options, context, &target, &status)) return status;
  uint32_t found = 0;
  target.engine->CountFiles(nullptr, 0, &found);

  std::vector<SearchHit> hits;
  const std::vector<ScanTarget*> targets {&target};
  const SearchJobResult searched =
      options.allTypes
          ? CollectAllFiles(targets, context.progress, &hits)
          : RunSearchJob(targets, options.typeKeys.empty() ? DefaultTypeSelection() : options.typeKeys,
                         context.progress, &hits);
  context.progress.Clear();
  if (searched.cancelled) {
    context.err << "varnelle: cancelled; the scan logs are kept in " << ScanLogFolder() << "\n";
    return kExitCancelled;
  }
  context.out << "Found " << Count(found, "file", "files") << " on "
              << PrintableText(options.source) << "; " << hits.size()
              << (options.allTypes ? " to recover" : " of the selected types") << ".\n";

  OutcomePrinter printer(context);
  const RecoveryJobResult recovered =
      RunRecoveryJob(EntriesOf(hits), targets, destination, printer);
  context.progress.Clear();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  char time[32];
  std::snprintf(time, sizeof time, "%.2f s", seconds);
  context.out << "Recovered " << Count(recovered.done - recovered.failed, "file", "files")
              << " into " << PrintableText(options.destination) << ": " << SizeText(recovered.bytes)
              << "; " << recovered.failed << " failed";
  if (recovered.cancelled) {
    context.out << "; cancelled after " << recovered.done << " of " << recovered.total;
  }
  context.out << ". Time: " << time << ".\n";
  context.out << "Scan logs: " << ScanLogFolder() << "\n";
  if (recovered.cancelled) return kExitCancelled;
  return recovered.failed > 0 ? kExitSomeFailed : kExitOk;
}

int RunScan(const CliOptions& options, CliContext& context) {
  if (options.deep) return RefuseDeep(context);
  ScanTarget target;
  int status = kExitOk;
  if (!ScanSource(options, context, &target, &status)) return status;
  std::vector<ListedEntry> items;
  const WinError listed = CollectFoundTree(*target.engine, &items);
  if (listed != kErrorSuccess) {
    context.err << "varnelle: warning: reading the scan results stopped: " << ErrorText(listed)
                << "\n";
  }
  if (options.json) {
    SourceReport report;
    ClassifySourceReadOnly(target.imagePath, &report);
    ListingSummary summary;
    summary.source = options.source;
    summary.fileSystem = VolumeClassName(report.volumeClass);
    summary.scanLogFolder = platform::Utf16ToUtf8(GetScanHistory().GetScanFolder());
    WriteJsonListing(context.out, items, options.flat, summary);
  } else {
    WriteTextListing(context.out, items, options.flat);
    context.out << "Scan logs: " << ScanLogFolder() << "\n";
  }
  return listed == kErrorSuccess ? kExitOk : kExitError;
}

int RunInfo(const CliOptions& options, CliContext& context) {
  ScanTarget target;
  std::string error;
  if (!ResolveSource(options.source, &target, &error)) return Fail(context, error);
  SourceReport report;
  const WinError classified = ClassifySourceReadOnly(target.imagePath, &report);
  if (classified == kErrorReadFault) {
    return Fail(context, "cannot read the first 16 KiB of '" + PrintableText(options.source) +
                             "' (too small, or a read error)");
  }
  if (classified != kErrorSuccess) {
    return Fail(context, "cannot open '" + PrintableText(options.source) + "': " + ErrorText(classified));
  }
  context.out << "source:   " << PrintableText(options.source) << "\n"
              << "holds:    " << VolumeClassName(report.volumeClass) << "\n"
              << "size:     " << SizeText(report.sizeBytes) << "\n"
              << "sectors:  " << report.sectorCount << " of " << report.bytesPerSector
              << " bytes\n";
  return kExitOk;
}

int RunDisks(const CliOptions& options, CliContext& context) {
  (void)options;
  const std::vector<std::u16string> disks = platform::ListPhysicalDisks();
  if (disks.empty()) {
    context.out << "no physical disks found\n";
    return kExitOk;
  }
  for (size_t i = 0; i < disks.size(); ++i) {
    std::string size = "size unknown (no permission to open it)";
    ScopedFile disk;
    uint64_t bytes = 0;
    if (platform::OpenFile(disks[i], platform::Access::Read, platform::Disposition::OpenExisting,
                           disk.Receive()) == kErrorSuccess &&
        platform::GetFileSize(disk.get(), &bytes) == kErrorSuccess) {
      size = SizeText(bytes);
    }
    context.out << "PhysicalDrive" << i << "  " << Utf8(disks[i]) << "  " << size << "\n";
  }
  return kExitOk;
}

int RunCommandLine(const std::vector<std::string>& args, CliContext& context) {
  const ParsedCommandLine parsed = ParseCommandLine(args);
  if (!parsed.ok) {
    const CliCommand command = parsed.options.command;
    context.err << "varnelle: " << parsed.error << "\n"
                << "Try 'varnelle " << (command == CliCommand::None ? "" : CommandName(command))
                << (command == CliCommand::None ? "--help" : " --help") << "'.\n";
    return kExitUsage;
  }
  const CliOptions& options = parsed.options;
  if (options.help) {
    context.out << HelpText(options.command);
    return kExitOk;
  }
  switch (options.command) {
    case CliCommand::Recover: return RunRecover(options, context);
    case CliCommand::Scan: return RunScan(options, context);
    case CliCommand::Info: return RunInfo(options, context);
    case CliCommand::Disks: return RunDisks(options, context);
    case CliCommand::Help:
    case CliCommand::None: break;
  }
  context.out << HelpText(CliCommand::None);
  return kExitOk;
}
