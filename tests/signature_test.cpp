// The signature table, the probes and the fast first-row dispatch, on real
// sample files made by encoders and archivers (tools/fixtures/
// make_50_probe_samples.sh) and on the few cases no tool makes, built from a
// real sample plus a documented patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "carving/probe_dispatch.h"
#include "carving/signature_table.h"
#include "platform/platform.h"
#include "storage/sector_source.h"
#include "tests/test_support.h"

namespace {

constexpr uint32_t kSectorSize = 512;
constexpr uint64_t kSampleSector = 8;  // samples lie after 8 zero sectors

std::u16string SamplePath(const std::string& name) {
  return test_support::FixturePath("samples/" + name);
}

// An image file holding 8 zero sectors, the sample (patched as asked), and
// 64 KiB of zeros after it, opened as a sector source.
class SampleImage {
 public:
  explicit SampleImage(const std::vector<uint8_t>& file) {
    const size_t front = kSampleSector * kSectorSize;
    const size_t sampleBytes = (file.size() + kSectorSize - 1) / kSectorSize * kSectorSize;
    std::vector<uint8_t> image(front + sampleBytes + 65536, 0);
    std::copy(file.begin(), file.end(), image.begin() + static_cast<std::ptrdiff_t>(front));
    path_ = platform::JoinPath(test_support::MakeTempFolder("probe"), u"image.img");
    EXPECT_TRUE(test_support::WriteWholeFile(path_, image));
    EXPECT_EQ(OpenImageSource(source_, path_), 0);
    firstSector_.assign(image.begin() + kSampleSector * kSectorSize,
                        image.begin() + (kSampleSector + 1) * kSectorSize);
  }
  ~SampleImage() {
    CloseSource(source_);
    platform::DeleteTree(platform::ParentFolder(path_));
  }
  SampleImage(const SampleImage&) = delete;
  SampleImage& operator=(const SampleImage&) = delete;

  const SectorSource* source() const { return &source_; }
  const std::vector<uint8_t>& firstSector() const { return firstSector_; }

  // A context asking about the sample's first sector as a deep scan would.
  CarveContext Context(uint64_t sector = kSampleSector) const {
    CarveContext context;
    context.BeginQuestion(kSectorSize, &source_, sector);
    context.streamContinuation = 1;
    return context;
  }

 private:
  std::u16string path_;
  SectorSource source_;
  std::vector<uint8_t> firstSector_;
};

bool LoadSample(const std::string& name, std::vector<uint8_t>* bytes) {
  return test_support::ReadWholeFile(SamplePath(name), bytes);
}

struct SampleCase {
  const char* file;
  const char* extension;  // checked with CheckFileContent
  uint32_t type;          // what identification answers
};

const SampleCase kSamples[] = {
    {"sample.jpg", "jpg", kTypeJpeg},           {"im_sample.jpg", "jpeg", kTypeJpeg},
    {"exif_sample.jpg", "jpg", kTypeJpeg},      {"sample.png", "png", kTypePng},
    {"sample.bmp", "bmp", kTypeBmp},            {"sample.gif", "gif", kTypeGif},
    {"sample.tif", "tif", kTypeTiff},           {"sample.psd", "psd", kTypePhotoshop},
    {"sample.ico", "ico", kTypeIcon},           {"sample.mp4", "mp4", kTypeMp4},
    {"sample.mov", "mov", kTypeQuickTime},      {"sample.3gp", "3gp", kType3gpp},
    {"sample.avi", "avi", kTypeAvi},            {"sample.mkv", "mkv", kTypeMatroska},
    {"sample.flv", "flv", kTypeFlv},            {"sample.vob", "vob", kTypeMpegStream},
    {"sample.mpg", "mpg", kTypeMpegStream},     {"sample.ts", "ts", kTypeTransportStream},
    {"sample.wmv", "wmv", kTypeAsf},            {"sample.wma", "wma", kTypeAsf},
    {"sample.rm", "rm", kTypeRealMedia},        {"sample.swf", "swf", kTypeSwf},
    {"sample.mxf", "mxf", kTypeMxf},            {"sample.wav", "wav", kTypeWav},
    {"sample.mp3", "mp3", kTypeMp3Id3},         {"sample.mp2", "mp2", kTypeMpegAudioLayer2},
    {"sample.gz", "gz", kTypeGzip},             {"sample.zip", "zip", kTypeZip},
    {"sample.7z", "7z", kType7Zip},             {"sample.cab", "cab", kTypeCab},
    {"sample.db", "db", kTypeSqlite},           {"sample.exe", "exe", kTypeExecutable},
    {"sample.dll", "dll", kTypeDll},            {"sample.ttf", "ttf", kTypeTrueType},
    // Any compound file is carved as a Flash authoring file; an installer
    // database is an "other" compound file for the content check.
    {"sample.msi", "ole", kTypeFlashAuthoring},
    // Packages: identification stops at the package rows.
    {"package_word.zip", "docx", kTypeWordPackage},
    {"package_xl.zip", "xlsx", kTypeExcelPackage},
    {"package_ppt.zip", "pptx", kTypePowerPointPackage},
    // Formats no probe knows, and an MP4-family file without the "iso" brand.
    {"sample.ogg", "ogg", kTypeNotRecognized},  {"sample.flac", "flac", kTypeNotRecognized},
    {"sample.m4a", "m4a", kTypeNotRecognized},
};

TEST(SignatureTable, RowsInOrderWithTerminator) {
  const auto& rows = SignatureTable();
  std::string order;
  for (size_t row = 0; row < kSignatureRowCount; ++row) order += std::string(rows[row].extension) + " ";
  EXPECT_EQ(order,
            "mpeg mpg vob mp4 rmvb rm wmv asf wma swf avi flv 3gp mkv ts mts mxf mp3 mid ape wav "
            "mov mp2 mmf fla gif bmp dib jpg jpeg jpe jfif png psd tif tiff ico doc dot wps wpt "
            "xls xlt xla et ett ppt pot pps dps dpt ole docx docm dotm dotx xlsx xlsb xlsm xlsx "
            "xlam xltx xltm pptx pptm potx potm ppsx ppsm mso07 pdf gz gzip 7z zip rar cab exe "
            "dll sys gho db dbx pst ttf ");
  EXPECT_EQ(rows[kNoRow].type, kTypeNotRecognized);
  EXPECT_STREQ(rows[kNoRow].extension, "");
  // Carved files are named after the first row of their type.
  EXPECT_STREQ(rows[FirstRowOfType(kTypeRealMedia)].extension, "rmvb");
  EXPECT_STREQ(rows[FirstRowOfType(kTypeAsf)].extension, "wmv");
  EXPECT_STREQ(rows[FirstRowOfType(kTypeMpegStream)].extension, "mpeg");
  EXPECT_STREQ(rows[FirstRowOfType(kTypeJpeg)].extension, "jpg");
  EXPECT_STREQ(rows[FirstRowOfType(kTypeTiff)].extension, "tif");
  EXPECT_STREQ(rows[FirstRowOfType(kTypeExcelCompound)].extension, "xls");
  EXPECT_EQ(FirstRowOfType(kTypeOtherPackage), FindRowByExtension("mso07"));
  EXPECT_EQ(FirstRowOfType(kTypeNotRecognized), kNoRow);
}

TEST(SignatureProbes, RealSamplesAreRecognisedAndPassTheContentCheck) {
  REQUIRE_FIXTURE(SamplePath("sample.jpg"));
  std::vector<std::string> missing;
  for (const SampleCase& sample : kSamples) {
    SCOPED_TRACE(sample.file);
    std::vector<uint8_t> file;
    if (!LoadSample(sample.file, &file)) {
      missing.push_back(sample.file);
      continue;
    }
    SampleImage image(file);
    const std::vector<uint8_t>& sector = image.firstSector();
    CarveContext context = image.Context();
    const RowMatch fast = FindFirstMatchingRow(sector.data(), sector.size(), context);
    const RowMatch slow = FindFirstMatchingRowSlow(sector.data(), sector.size(), context);
    EXPECT_EQ(fast.type, sample.type);
    EXPECT_EQ(fast.row, slow.row);
    EXPECT_EQ(fast.type, slow.type);
    if (sample.type != kTypeNotRecognized) {
      EXPECT_EQ(SignatureTable()[fast.row].probe,
                SignatureTable()[FirstRowOfType(sample.type)].probe);
    }

    context.streamContinuation = 1;
    EXPECT_EQ(CheckFileContent(context, sector.data(), sector.size(), sample.extension,
                               image.source(), kSectorSize, kSampleSector),
              1u);
    // A content check on a type of the table clears the continuation flag.
    EXPECT_EQ(context.streamContinuation, FindRowByExtension(sample.extension) == kNoRow ? 1u : 0u);
    // The same bytes under a name of another type do not pass.
    const char* other = sample.type == kTypeJpeg ? "png" : "jpg";
    EXPECT_EQ(CheckFileContent(context, sector.data(), sector.size(), other, image.source(),
                               kSectorSize, kSampleSector),
              0u);
  }
  EXPECT_TRUE(missing.empty()) << "samples not built: " << ::testing::PrintToString(missing);
}

TEST(SignatureProbes, ContentCheckByExtension) {
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> exif;
  REQUIRE_FIXTURE(SamplePath("sample.jpg"));
  ASSERT_TRUE(LoadSample("sample.jpg", &jpeg));
  ASSERT_TRUE(LoadSample("exif_sample.jpg", &exif));
  jpeg.resize(kSectorSize);
  exif.resize(kSectorSize);
  EXPECT_EQ(exif[3], 0xE1);  // FF D8 FF E1 "Exif"
  CarveContext context;
  // The extension is compared without regard to case; unknown ones pass.
  EXPECT_EQ(CheckFileContent(context, jpeg.data(), jpeg.size(), "JPG", nullptr, kSectorSize, 0), 1u);
  EXPECT_EQ(CheckFileContent(context, exif.data(), exif.size(), "jpg", nullptr, kSectorSize, 0), 1u);
  EXPECT_EQ(CheckFileContent(context, jpeg.data(), jpeg.size(), "abc", nullptr, kSectorSize, 0), 1u);
  EXPECT_EQ(CheckFileContent(context, jpeg.data(), jpeg.size(), "doc", nullptr, kSectorSize, 0), 0u);
  const std::vector<uint8_t> zeros(kSectorSize, 0);
  EXPECT_EQ(CheckFileContent(context, zeros.data(), zeros.size(), "jpg", nullptr, kSectorSize, 0), 0u);
  // The process-wide form answers the same.
  EXPECT_EQ(CheckFileContent(exif.data(), exif.size(), "Jpeg", nullptr, kSectorSize, 0), 1u);
}

// The installer database is a real compound file: header, then its first
// stream; directory sector number at header offset 48. Patches turn it into
// what each decision step looks for.
class CompoundDecision : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURE(SamplePath("sample.msi"));
    ASSERT_TRUE(LoadSample("sample.msi", &file_));
    uint32_t directorySector = 0;
    std::memcpy(&directorySector, file_.data() + 48, 4);
    directoryOffset_ = (static_cast<size_t>(directorySector) + 1) * kSectorSize;
    ASSERT_LE(directoryOffset_ + kSectorSize, file_.size());
  }

  // CheckFileContent of the patched file under `extension`, and the first row.
  uint32_t Check(const std::vector<uint8_t>& file, const char* extension, RowMatch* first = nullptr) {
    SampleImage image(file);
    CarveContext context = image.Context();
    if (first) *first = FindFirstMatchingRow(image.firstSector().data(), kSectorSize, context);
    return CheckFileContent(context, image.firstSector().data(), kSectorSize, extension,
                            image.source(), kSectorSize, kSampleSector);
  }

  std::vector<uint8_t> WithRootClassId(const uint8_t (&classId)[16]) const {
    std::vector<uint8_t> patched = file_;
    std::memcpy(patched.data() + directoryOffset_ + 80, classId, 16);
    return patched;
  }

  std::vector<uint8_t> WithSecondEntryName(const std::u16string& name) const {
    std::vector<uint8_t> patched = file_;
    uint8_t* entry = patched.data() + directoryOffset_ + 128;
    std::memset(entry, 0, 64);
    for (size_t i = 0; i < name.size(); ++i) entry[2 * i] = static_cast<uint8_t>(name[i]);
    return patched;
  }

  std::vector<uint8_t> file_;
  size_t directoryOffset_ = 0;
};

TEST_F(CompoundDecision, ContentCheckFollowsTheDecision) {
  RowMatch first;
  EXPECT_EQ(Check(file_, "ole", &first), 1u);
  EXPECT_EQ(first.type, kTypeFlashAuthoring);
  EXPECT_STREQ(SignatureTable()[first.row].extension, "fla");
  EXPECT_EQ(Check(file_, "doc"), 0u);

  // Step 1: the first stream sector is a Word FIB or an Excel BOF record.
  std::vector<uint8_t> word = file_;
  word[kSectorSize] = 0xEC;
  word[kSectorSize + 1] = 0xA5;
  EXPECT_EQ(Check(word, "doc", &first), 1u);
  EXPECT_EQ(first.type, kTypeFlashAuthoring);  // still carved as "fla"
  EXPECT_EQ(Check(word, "xls"), 0u);
  std::vector<uint8_t> excel = file_;
  const uint8_t bof[6] = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06};
  std::memcpy(excel.data() + kSectorSize, bof, 6);
  EXPECT_EQ(Check(excel, "xls"), 1u);

  // Step 2: the root entry's class identifier.
  const uint8_t wordClass[16] = {0x06, 0x09, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  const uint8_t pptClass[16] = {0x10, 0x8D, 0x81, 0x64, 0x9B, 0x4F, 0xCF, 0x11,
                                0x86, 0xEA, 0x00, 0xAA, 0x00, 0xB9, 0x29, 0xE8};
  EXPECT_EQ(Check(WithRootClassId(wordClass), "wps"), 1u);
  EXPECT_EQ(Check(WithRootClassId(pptClass), "ppt"), 1u);
  EXPECT_EQ(Check(WithRootClassId(pptClass), "doc"), 0u);

  // Step 3: a stream name, without regard to case.
  EXPECT_EQ(Check(WithSecondEntryName(u"worddocument"), "doc"), 1u);
  EXPECT_EQ(Check(WithSecondEntryName(u"Workbook"), "xls"), 1u);
  EXPECT_EQ(Check(WithSecondEntryName(u"PowerPoint Document"), "pps"), 1u);
  EXPECT_EQ(Check(WithSecondEntryName(u"PowerPoint"), "ppt"), 0u);

  // A directory sector number beyond the source: "other compound file".
  std::vector<uint8_t> lost = file_;
  const uint8_t farAway[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  std::memcpy(lost.data() + 48, farAway, 4);
  EXPECT_EQ(Check(lost, "ole"), 1u);
  EXPECT_EQ(Check(lost, "doc"), 0u);
}

TEST(SignatureProbes, PackageDecisionLooksTwentySectorsAhead) {
  REQUIRE_FIXTURE(SamplePath("package_late_word.zip"));
  std::vector<uint8_t> file;
  ASSERT_TRUE(LoadSample("package_late_word.zip", &file));
  SampleImage image(file);
  CarveContext context = image.Context();
  const RowMatch first = FindFirstMatchingRow(image.firstSector().data(), kSectorSize, context);
  EXPECT_EQ(first.type, kTypeZip);
  EXPECT_EQ(CheckFileContent(context, image.firstSector().data(), kSectorSize, "docx",
                             image.source(), kSectorSize, kSampleSector),
            0u);
  // Without a source the package cannot be read.
  std::vector<uint8_t> word;
  ASSERT_TRUE(LoadSample("package_word.zip", &word));
  CarveContext withoutSource;
  EXPECT_EQ(RunProbe(ProbeKind::Package, word.data(), word.size(), withoutSource),
            kTypeNotRecognized);
}

class TransportStream : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FIXTURE(SamplePath("sample.ts"));
    ASSERT_TRUE(LoadSample("sample.ts", &file_));
    image_ = std::make_unique<SampleImage>(file_);
  }
  uint32_t ProbeAt(uint64_t sector, CarveContext& context) {
    std::vector<uint8_t> bytes(kSectorSize);
    uint32_t read = 0;
    EXPECT_EQ(ReadSectors(*image_->source(), bytes.data(), sector, 1, kSectorSize, &read), 0);
    context.BeginQuestion(kSectorSize, image_->source(), sector);
    return ProbeTransportStream(bytes.data(), bytes.size(), context);
  }
  std::vector<uint8_t> file_;
  std::unique_ptr<SampleImage> image_;
};

TEST_F(TransportStream, ContinuationAndCarvedExtents) {
  // 188 x 128 = 512 x 47: sector 47 of the stream starts with a packet.
  const uint64_t inside = kSampleSector + 47;
  CarveContext context;
  context.streamContinuation = 1;
  EXPECT_EQ(ProbeAt(kSampleSector, context), kTypeTransportStream);
  EXPECT_EQ(ProbeAt(inside, context), kTypeNotRecognized);  // grid began earlier
  context.streamContinuation = 0;
  EXPECT_EQ(ProbeAt(inside, context), kTypeTransportStream);

  context.transportStreamExtents.push_back({kSampleSector, kSampleSector + 200});
  EXPECT_EQ(ProbeAt(kSampleSector, context), kTypeTransportStream);  // flag 0: list not asked
  context.streamContinuation = 1;
  EXPECT_EQ(ProbeAt(kSampleSector, context), kTypeNotRecognized);
  context.transportStreamExtents = {{0, kSampleSector - 1}, {kSampleSector + 1, 1000}};
  EXPECT_EQ(ProbeAt(kSampleSector, context), kTypeTransportStream);
}

TEST_F(TransportStream, NeedsTheLookAheadAndHandlesTheFirstSector) {
  // A stream at sector 0 has no sector before it: recognised, not an error.
  std::vector<uint8_t> first(file_.begin(), file_.begin() + kSectorSize);
  const std::u16string folder = test_support::MakeTempFolder("ts0");
  const std::u16string path = platform::JoinPath(folder, u"ts0.img");
  std::vector<uint8_t> image = file_;
  image.resize(65536, 0);
  ASSERT_TRUE(test_support::WriteWholeFile(path, image));
  SectorSource source;
  ASSERT_EQ(OpenImageSource(source, path), 0);
  CarveContext context;
  context.BeginQuestion(kSectorSize, &source, 0);
  context.streamContinuation = 1;
  EXPECT_EQ(ProbeTransportStream(first.data(), first.size(), context), kTypeTransportStream);
  // The look-ahead past the source's end, or without a source, answers no.
  context.BeginQuestion(kSectorSize, &source, source.totalSectors - 2);
  EXPECT_EQ(ProbeTransportStream(first.data(), first.size(), context), kTypeNotRecognized);
  context.source = nullptr;
  EXPECT_EQ(ProbeTransportStream(first.data(), first.size(), context), kTypeNotRecognized);
  CloseSource(source);
  platform::DeleteTree(folder);

  // A broken grid inside the first sector, or empty bytes after the sync byte.
  CarveContext unused;
  std::vector<uint8_t> broken = first;
  broken[376] = 0;
  EXPECT_EQ(ProbeTransportStream(broken.data(), broken.size(), unused), kTypeNotRecognized);
  std::vector<uint8_t> empty = first;
  empty[1] = empty[2] = empty[3] = 0;
  EXPECT_EQ(ProbeTransportStream(empty.data(), empty.size(), unused), kTypeNotRecognized);
}

// Header cases no tool here writes; each is the smallest sector showing the
// condition.
std::vector<uint8_t> SectorWith(std::initializer_list<std::pair<size_t, std::string>> parts) {
  std::vector<uint8_t> sector(kSectorSize, 0x55);
  for (const auto& [offset, bytes] : parts) std::memcpy(sector.data() + offset, bytes.data(), bytes.size());
  return sector;
}

TEST(SignatureProbes, HeaderConditionsWithoutSamples) {
  using std::string;
  struct Case {
    const char* what;
    std::vector<uint8_t> sector;
    uint32_t avchdCarved;
    uint32_t type;
  };
  const string pat("\x00\x00\xB0\x11\x00\x00\xC1\x00", 8);
  const Case cases[] = {
      {"AVCHD, zero timestamp", SectorWith({{0, string(4, '\0')}, {8, pat}}), 1, kTypeAvchd},
      {"AVCHD, first stream", SectorWith({{8, pat}}), 0, kTypeAvchd},
      {"AVCHD right after another", SectorWith({{8, pat}}), 1, kTypeNotRecognized},
      {"MIDI", SectorWith({{0, string("MThd\0\0\0\x06\0\x01\0\x02\0\x60MTrk", 18)}}), 0, kTypeMidi},
      {"MIDI header length 7", SectorWith({{0, string("MThd\0\0\0\x07\0\x01\0\x02\0\x60MTrk", 18)}}), 0,
       kTypeNotRecognized},
      {"Monkey's Audio", SectorWith({{0, "MAC "}}), 0, kTypeMonkeysAudio},
      {"SMAF", SectorWith({{0, "MMMD"}}), 0, kTypeSmaf},
      {"QuickTime moov", SectorWith({{0, "moov"}}), 0, kTypeQuickTime},
      {"compressed SWF", SectorWith({{0, "CWS\x0A"}}), 0, kTypeSwf},
      {"compressed SWF, version 5", SectorWith({{0, "CWS\x05"}}), 0, kTypeNotRecognized},
      {"PDF", SectorWith({{0, "%PDF-1.4"}}), 0, kTypePdf},
      {"RAR", SectorWith({{0, string("Rar!\x1A\x07\x00", 7)}}), 0, kTypeRar},
      {"Ghost", SectorWith({{0, string("\xFE\xEF\x00\x00", 4)}}), 0, kTypeGhost},
      {"DBX", SectorWith({{0, "\xCF\xAD\x12\xFE"}}), 0, kTypeDbx},
      {"PST", SectorWith({{0, "!BDN"}, {8, "SM"}}), 0, kTypePst},
      {"ID3 with unsynchronised size", SectorWith({{0, string("ID3\x04\x00\x00\x00\x00\x80\x00", 10)}}),
       0, kTypeNotRecognized},
      {"ID3 with a flag in the low bits", SectorWith({{0, string("ID3\x03\x00\x01\x00\x00\x00\x00", 10)}}),
       0, kTypeNotRecognized},
      {"ASF header GUID", SectorWith({{0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9"}, {10, string("\x00\xAA\x00\x62\xCE\x6C", 6)}}),
       0, kTypeAsf},
      {"MPEG pack without system header", SectorWith({{0, string("\x00\x00\x01\xBA", 4)}}), 0,
       kTypeNotRecognized},
      {"MPEG system header beyond 32 bytes", SectorWith({{0, string("\x00\x00\x01\xBA", 4)}, {29, string("\x00\x00\x01\xBB", 4)}}),
       0, kTypeNotRecognized},
      {"MPEG system header at 28", SectorWith({{0, string("\x00\x00\x01\xBA", 4)}, {28, string("\x00\x00\x01\xBB", 4)}}),
       0, kTypeMpegStream},
      {"gzip with default compression", SectorWith({{0, string("\x1F\x8B\x08\x00\0\0\0\0\x00\x03", 10)}}),
       0, kTypeNotRecognized},
  };
  for (const Case& c : cases) {
    CarveContext context;
    context.avchdCarved = c.avchdCarved;
    EXPECT_EQ(FindFirstMatchingRowSlow(c.sector.data(), c.sector.size(), context).type, c.type) << c.what;
    EXPECT_EQ(FindFirstMatchingRow(c.sector.data(), c.sector.size(), context).type, c.type) << c.what;
  }
}

TEST(SignatureProbes, PeImageKinds) {
  REQUIRE_FIXTURE(SamplePath("sample.exe"));
  std::vector<uint8_t> exe;
  ASSERT_TRUE(LoadSample("sample.exe", &exe));
  exe.resize(kSectorSize);
  uint32_t peOffset = 0;
  std::memcpy(&peOffset, exe.data() + 60, 4);
  CarveContext context;
  const size_t characteristics = peOffset + 22;
  exe[characteristics + 1] |= 0x10;  // IMAGE_FILE_SYSTEM
  EXPECT_EQ(RunProbe(ProbeKind::PeImage, exe.data(), exe.size(), context), kTypeSystemDriver);
  exe[characteristics] &= static_cast<uint8_t>(~0x02);  // not executable
  EXPECT_EQ(RunProbe(ProbeKind::PeImage, exe.data(), exe.size(), context), kTypeNotRecognized);
  const uint8_t farHeader[4] = {0xE9, 0x01, 0, 0};  // 489: characteristics past 512 bytes
  std::memcpy(exe.data() + 60, farHeader, 4);
  EXPECT_EQ(RunProbe(ProbeKind::PeImage, exe.data(), exe.size(), context), kTypeNotRecognized);
}

TEST(SignatureProbes, ZerosAndRandomDataMatchNothing) {
  CarveContext context;
  const std::vector<uint8_t> zeros(kSectorSize, 0);
  EXPECT_EQ(FindFirstMatchingRowSlow(zeros.data(), zeros.size(), context).row, kNoRow);
  EXPECT_EQ(FindFirstMatchingRow(zeros.data(), zeros.size(), context).row, kNoRow);
  std::mt19937 random(7);
  std::vector<uint8_t> sector(kSectorSize);
  size_t matches = 0;
  for (int i = 0; i < 20000; ++i) {
    for (uint8_t& b : sector) b = static_cast<uint8_t>(random());
    const RowMatch slow = FindFirstMatchingRowSlow(sector.data(), sector.size(), context);
    const RowMatch fast = FindFirstMatchingRow(sector.data(), sector.size(), context);
    ASSERT_EQ(fast.row, slow.row);
    ASSERT_EQ(fast.type, slow.type);
    matches += slow.row != kNoRow;
  }
  // Random data starts a two-byte signature only by chance (7-Zip, TrueType
  // and the like need five or more fixed bytes).
  EXPECT_LE(matches, 5u);
}

// Sectors close to real signatures: every sample's first sector with a few
// bytes of its first 64 changed, and every probe's anchor bytes planted in
// random data.
TEST(SignatureDispatch, AgreesWithTheRowByRowWalk) {
  std::mt19937 random(11);
  std::vector<std::vector<uint8_t>> sectors;
  for (const SampleCase& sample : kSamples) {
    std::vector<uint8_t> file;
    if (!LoadSample(sample.file, &file)) continue;
    file.resize(kSectorSize, 0);
    for (int variant = 0; variant < 300; ++variant) {
      std::vector<uint8_t> changed = file;
      const int flips = variant == 0 ? 0 : 1 + static_cast<int>(random() % 3);
      for (int f = 0; f < flips; ++f) changed[random() % 64] = static_cast<uint8_t>(random());
      sectors.push_back(std::move(changed));
    }
  }
  const size_t sampleSectors = sectors.size();
  for (size_t kind = 0; kind < kProbeCount; ++kind) {
    const ProbeDescriptor& probe = DescribeProbe(static_cast<ProbeKind>(kind));
    for (size_t a = 0; a < probe.anchorCount; ++a) {
      for (int variant = 0; variant < 200; ++variant) {
        std::vector<uint8_t> sector(kSectorSize);
        for (uint8_t& b : sector) b = variant % 2 ? static_cast<uint8_t>(random()) : 0;
        sector[probe.anchors[a].offset] = probe.anchors[a].first;
        if (probe.anchors[a].second != kAnyByte)
          sector[probe.anchors[a].offset + 1] = static_cast<uint8_t>(probe.anchors[a].second);
        sectors.push_back(std::move(sector));
      }
    }
  }
  CarveContext context;  // no source: reading probes answer as after a failed read
  size_t recognised = 0;
  for (const std::vector<uint8_t>& sector : sectors) {
    const RowMatch slow = FindFirstMatchingRowSlow(sector.data(), sector.size(), context);
    const RowMatch fast = FindFirstMatchingRow(sector.data(), sector.size(), context);
    ASSERT_EQ(fast.row, slow.row);
    ASSERT_EQ(fast.type, slow.type);
    recognised += slow.row != kNoRow;
  }
  // With the samples built, the set exercises many real matches.
  if (sampleSectors > 0) {
    EXPECT_GT(recognised, sampleSectors / 4);
  }
}

// Every probe on every prefix of real first sectors, each prefix in a buffer
// of exactly its length (the sanitizer build catches any read past it), with
// the fast and slow walks agreeing at every length.
TEST(SignatureProbes, SurviveEveryTruncation) {
  REQUIRE_FIXTURE(SamplePath("sample.jpg"));
  for (const SampleCase& sample : kSamples) {
    std::vector<uint8_t> file;
    if (!LoadSample(sample.file, &file)) continue;
    SampleImage image(file);
    const size_t longest = std::min<size_t>(file.size(), 2 * kSectorSize);
    for (size_t length = 0; length <= longest; ++length) {
      std::unique_ptr<uint8_t[]> prefix(new uint8_t[length == 0 ? 1 : length]);
      std::memcpy(prefix.get(), file.data(), length);
      CarveContext context = image.Context();
      for (size_t kind = 0; kind < kProbeCount; ++kind)
        RunProbe(static_cast<ProbeKind>(kind), prefix.get(), length, context);
      const RowMatch slow = FindFirstMatchingRowSlow(prefix.get(), length, context);
      const RowMatch fast = FindFirstMatchingRow(prefix.get(), length, context);
      ASSERT_EQ(fast.row, slow.row) << sample.file << " at " << length;
    }
  }
}

}  // namespace
