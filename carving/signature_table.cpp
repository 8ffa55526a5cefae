#include "carving/signature_table.h"

namespace {

using P = ProbeKind;
using R = SizeRule;

const std::array<SignatureEntry, kSignatureRowCount + 1> kRows = {{
    {"mpeg", kTypeMpegStream, P::Mpeg, R::MpegEndCode},
    {"mpg", kTypeMpegStream, P::Mpeg, R::MpegEndCode},
    {"vob", kTypeMpegStream, P::Mpeg, R::MpegEndCode},
    {"mp4", kTypeMp4, P::Mp4, R::IsoMediaText},
    {"rmvb", kTypeRealMedia, P::RealMedia, R::RealMediaIndex},
    {"rm", kTypeRealMedia, P::RealMedia, R::RealMediaIndex},
    {"wmv", kTypeAsf, P::Asf, R::AsfFileSize},
    {"asf", kTypeAsf, P::Asf, R::AsfFileSize},
    {"wma", kTypeAsf, P::Asf, R::AsfFileSize},
    {"swf", kTypeSwf, P::Swf, R::SwfLength},
    {"avi", kTypeAvi, P::Avi, R::RiffLength},
    {"flv", kTypeFlv, P::Flv, R::ForwardScan4GiB},
    {"3gp", kType3gpp, P::ThreeGpp, R::ForwardScan4GiB},
    {"mkv", kTypeMatroska, P::Matroska, R::ForwardScan64GiB},
    {"ts", kTypeTransportStream, P::TransportStream, R::PacketGrid},
    {"mts", kTypeAvchd, P::Avchd, R::ForwardScan4GiB},
    {"mxf", kTypeMxf, P::Mxf, R::ForwardScan4GiB},
    {"mp3", kTypeMp3Id3, P::Id3, R::Id3v1Tag},
    {"mid", kTypeMidi, P::Midi, R::MidiTracks},
    {"ape", kTypeMonkeysAudio, P::MonkeysAudio, R::ApeTag},
    {"wav", kTypeWav, P::Wav, R::RiffLength},
    {"mov", kTypeQuickTime, P::QuickTime, R::ForwardScan64MiB},
    {"mp2", kTypeMpegAudioLayer2, P::MpegAudioLayer2, R::ForwardScan64MiB},
    {"mmf", kTypeSmaf, P::Smaf, R::ForwardScan64MiB},
    {"fla", kTypeFlashAuthoring, P::CompoundMagic, R::ForwardScan64MiB},
    {"gif", kTypeGif, P::Gif, R::GifTrailer},
    {"bmp", kTypeBmp, P::Bmp, R::BmpLength},
    {"dib", kTypeBmp, P::Bmp, R::BmpLength},
    {"jpg", kTypeJpeg, P::Jpeg, R::JpegEndMarker},
    {"jpeg", kTypeJpeg, P::Jpeg, R::JpegEndMarker},
    {"jpe", kTypeJpeg, P::Jpeg, R::JpegEndMarker},
    {"jfif", kTypeJpeg, P::Jpeg, R::JpegEndMarker},
    {"png", kTypePng, P::Png, R::PngEndChunk},
    {"psd", kTypePhotoshop, P::Photoshop, R::ForwardScan128MiB},
    {"tif", kTypeTiff, P::Tiff, R::ForwardScan128MiB},
    {"tiff", kTypeTiff, P::Tiff, R::ForwardScan128MiB},
    {"ico", kTypeIcon, P::Icon, R::IconDirectory},
    {"doc", kTypeWordCompound, P::CompoundFile, R::None},
    {"dot", kTypeWordCompound, P::CompoundFile, R::None},
    {"wps", kTypeWordCompound, P::CompoundFile, R::None},
    {"wpt", kTypeWordCompound, P::CompoundFile, R::None},
    {"xls", kTypeExcelCompound, P::CompoundFile, R::None},
    {"xlt", kTypeExcelCompound, P::CompoundFile, R::None},
    {"xla", kTypeExcelCompound, P::CompoundFile, R::None},
    {"et", kTypeExcelCompound, P::CompoundFile, R::None},
    {"ett", kTypeExcelCompound, P::CompoundFile, R::None},
    {"ppt", kTypePowerPointCompound, P::CompoundFile, R::None},
    {"pot", kTypePowerPointCompound, P::CompoundFile, R::None},
    {"pps", kTypePowerPointCompound, P::CompoundFile, R::None},
    {"dps", kTypePowerPointCompound, P::CompoundFile, R::None},
    {"dpt", kTypePowerPointCompound, P::CompoundFile, R::None},
    {"ole", kTypeOtherCompound, P::CompoundFile, R::None},
    {"docx", kTypeWordPackage, P::Package, R::None},
    {"docm", kTypeWordPackage, P::Package, R::None},
    {"dotm", kTypeWordPackage, P::Package, R::None},
    {"dotx", kTypeWordPackage, P::Package, R::None},
    {"xlsx", kTypeExcelPackage, P::Package, R::None},
    {"xlsb", kTypeExcelPackage, P::Package, R::None},
    {"xlsm", kTypeExcelPackage, P::Package, R::None},
    {"xlsx", kTypeExcelPackage, P::Package, R::None},
    {"xlam", kTypeExcelPackage, P::Package, R::None},
    {"xltx", kTypeExcelPackage, P::Package, R::None},
    {"xltm", kTypeExcelPackage, P::Package, R::None},
    {"pptx", kTypePowerPointPackage, P::Package, R::None},
    {"pptm", kTypePowerPointPackage, P::Package, R::None},
    {"potx", kTypePowerPointPackage, P::Package, R::None},
    {"potm", kTypePowerPointPackage, P::Package, R::None},
    {"ppsx", kTypePowerPointPackage, P::Package, R::None},
    {"ppsm", kTypePowerPointPackage, P::Package, R::None},
    {"mso07", kTypeOtherPackage, P::Package, R::None},
    {"pdf", kTypePdf, P::Pdf, R::None},
    {"gz", kTypeGzip, P::Gzip, R::None},
    {"gzip", kTypeGzip, P::Gzip, R::None},
    {"7z", kType7Zip, P::SevenZip, R::None},
    {"zip", kTypeZip, P::Zip, R::None},
    {"rar", kTypeRar, P::Rar, R::None},
    {"cab", kTypeCab, P::Cab, R::None},
    {"exe", kTypeExecutable, P::PeImage, R::None},
    {"dll", kTypeDll, P::PeImage, R::None},
    {"sys", kTypeSystemDriver, P::PeImage, R::None},
    {"gho", kTypeGhost, P::Ghost, R::None},
    {"db", kTypeSqlite, P::Sqlite, R::None},
    {"dbx", kTypeDbx, P::Dbx, R::None},
    {"pst", kTypePst, P::Pst, R::None},
    {"ttf", kTypeTrueType, P::TrueType, R::None},
    {"", kTypeNotRecognized, P::Mpeg, R::None},
}};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (LowerAscii(*a) != LowerAscii(*b)) return false;
  }
  return *a == *b;
}

}  // namespace

const std::array<SignatureEntry, kSignatureRowCount + 1>& SignatureTable() { return kRows; }

size_t FindRowByExtension(const char* extension) {
  if (extension == nullptr) return kNoRow;
  for (size_t row = 0; row < kSignatureRowCount; ++row) {
    if (EqualsNoCase(kRows[row].extension, extension)) return row;
  }
  return kNoRow;
}

size_t FirstRowOfType(uint32_t type) {
  for (size_t row = 0; row < kSignatureRowCount; ++row) {
    if (kRows[row].type == type) return row;
  }
  return kNoRow;
}

uint32_t CheckFileContent(CarveContext& context, const uint8_t* bytes, size_t n,
                          const char* extension, const SectorSource* source, uint32_t sectorSize,
                          uint64_t sector) {
  const size_t row = FindRowByExtension(extension);
  if (row == kNoRow) return 1;
  context.BeginQuestion(sectorSize, source, sector);
  context.streamContinuation = 0;
  const SignatureEntry& entry = kRows[row];
  return RunProbe(entry.probe, bytes, n, context) == entry.type ? 1 : 0;
}

uint32_t CheckFileContent(const uint8_t* bytes, size_t n, const char* extension,
                          const SectorSource* source, uint32_t sectorSize, uint64_t sector) {
  return CheckFileContent(SharedCarveContext(), bytes, n, extension, source, sectorSize, sector);
}
