// The probes that decide from the first sector alone, and the descriptor
// table of every probe.
#include "carving/probes.h"

#include "carving/probe_bytes.h"

using namespace probe_bytes;

namespace {

constexpr uint32_t kNo = kTypeNotRecognized;

uint32_t Answer(bool recognised, uint32_t type) { return recognised ? type : kNo; }

uint32_t ProbeMpeg(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kPack[4] = {0, 0, 1, 0xBA}, kSystem[4] = {0, 0, 1, 0xBB};
  static constexpr uint8_t kSequence[4] = {0, 0, 1, 0xB3}, kGroup[4] = {0, 0, 1, 0xB8};
  if (n < 16) return kNo;
  // The second code must lie wholly inside the first 32 bytes.
  constexpr size_t kLastStart = 32 - 4 + 1;
  if (HasAt(b, n, 0, kPack, 4)) return Answer(Find4(b, n, 1, kLastStart, kSystem), kTypeMpegStream);
  if (HasAt(b, n, 0, kSequence, 4))
    return Answer(Find4(b, n, 1, kLastStart, kGroup), kTypeMpegStream);
  return kNo;
}

uint32_t ProbeMp4(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 32 && HasText(b, n, 4, "ftyp") && HasText(b, n, 8, "iso"), kTypeMp4);
}

uint32_t ProbeRealMedia(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 4 && HasText(b, n, 0, ".RMF"), kTypeRealMedia);
}

uint32_t ProbeAsf(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  return Answer(n >= 24 && HasAt(b, n, 0, kHeaderGuid, 16), kTypeAsf);
}

uint32_t ProbeSwf(const uint8_t* b, size_t n, CarveContext&) {
  if (n < 8) return kNo;
  const uint8_t version = b[3];
  if (HasText(b, n, 0, "CWS")) return Answer(version >= 6 && version <= 15, kTypeSwf);
  if (HasText(b, n, 0, "FWS")) return Answer(version <= 5, kTypeSwf);
  return kNo;
}

uint32_t ProbeAvi(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 16 && HasText(b, n, 0, "RIFF") && HasText(b, n, 8, "AVI ") &&
                    HasText(b, n, 12, "LIST"),
                kTypeAvi);
}

uint32_t ProbeFlv(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kHeaderSize[4] = {0, 0, 0, 9};
  return Answer(n >= 16 && HasText(b, n, 0, "FLV\x01") && HasAt(b, n, 5, kHeaderSize, 4),
                kTypeFlv);
}

uint32_t ProbeThreeGpp(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 32 && HasText(b, n, 4, "ftyp") && HasText(b, n, 8, "3gp"), kType3gpp);
}

uint32_t ProbeMatroska(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kEbml[4] = {0x1A, 0x45, 0xDF, 0xA3};
  return Answer(n >= 16 && HasAt(b, n, 0, kEbml, 4), kTypeMatroska);
}

uint32_t ProbeAvchd(const uint8_t* b, size_t n, CarveContext& context) {
  // The program association section of the stream's first packet.
  static constexpr uint8_t kPat[8] = {0x00, 0x00, 0xB0, 0x11, 0x00, 0x00, 0xC1, 0x00};
  if (n < 16 || !HasAt(b, n, 8, kPat, 8)) return kNo;
  const bool zeroTimestamp = b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0;
  return Answer(zeroTimestamp || context.avchdCarved == 0, kTypeAvchd);
}

uint32_t ProbeMxf(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kHeaderPartition[16] = {0x06, 0x0E, 0x2B, 0x34, 0x02, 0x05,
                                                   0x01, 0x01, 0x0D, 0x01, 0x02, 0x01,
                                                   0x01, 0x02, 0x04, 0x00};
  return Answer(n >= 16 && HasAt(b, n, 0, kHeaderPartition, 16), kTypeMxf);
}

uint32_t ProbeId3(const uint8_t* b, size_t n, CarveContext&) {
  // The ten bytes of the tag header must be there.
  if (n < 10 || !HasText(b, n, 0, "ID3")) return kNo;
  if (b[3] == 0xFF || b[4] == 0xFF || (b[5] & 0x1F) != 0) return kNo;
  return Answer(b[6] < 0x80 && b[7] < 0x80 && b[8] < 0x80 && b[9] < 0x80, kTypeMp3Id3);
}

uint32_t ProbeMidi(const uint8_t* b, size_t n, CarveContext&) {
  // "MTrk" at 14 needs 18 bytes.
  return Answer(n >= 18 && HasText(b, n, 0, "MThd") && Be32(b + 4) == 6 &&
                    HasText(b, n, 14, "MTrk"),
                kTypeMidi);
}

uint32_t ProbeMonkeysAudio(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 4 && HasText(b, n, 0, "MAC "), kTypeMonkeysAudio);
}

uint32_t ProbeWav(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 16 && HasText(b, n, 0, "RIFF") && HasText(b, n, 8, "WAVE") &&
                    HasText(b, n, 12, "fmt "),
                kTypeWav);
}

uint32_t ProbeQuickTime(const uint8_t* b, size_t n, CarveContext&) {
  if (n < 16) return kNo;
  return Answer(HasText(b, n, 0, "moov") || (HasText(b, n, 4, "ftyp") && HasText(b, n, 8, "qt  ")),
                kTypeQuickTime);
}

uint32_t ProbeMpegAudioLayer2(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kFrameHeader[4] = {0xFF, 0xFD, 0xE4, 0x00};
  return Answer(n >= 4 && HasAt(b, n, 0, kFrameHeader, 4), kTypeMpegAudioLayer2);
}

uint32_t ProbeSmaf(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 4 && HasText(b, n, 0, "MMMD"), kTypeSmaf);
}

uint32_t ProbeCompoundMagic(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kMagic[4] = {0xD0, 0xCF, 0x11, 0xE0};
  return Answer(n >= 16 && HasAt(b, n, 0, kMagic, 4), kTypeFlashAuthoring);
}

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

uint32_t ProbeGif(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 8 && HasText(b, n, 0, "GIF") && IsDigit(b[3]) && IsDigit(b[4]) &&
                    b[5] >= 'a' && b[5] <= 'z',
                kTypeGif);
}

uint32_t ProbeBmp(const uint8_t* b, size_t n, CarveContext&) {
  if (n < 40 || !(HasText(b, n, 0, "BM") || HasText(b, n, 0, "BA"))) return kNo;
  return Answer(Le16(b + 6) == 0 && Le16(b + 8) == 0 && Le32(b + 14) == 40, kTypeBmp);
}

uint32_t ProbeJpeg(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kJfifStart[4] = {0xFF, 0xD8, 0xFF, 0xE0};
  static constexpr uint8_t kExifStart[4] = {0xFF, 0xD8, 0xFF, 0xE1};
  if (n < 16) return kNo;
  return Answer((HasAt(b, n, 0, kJfifStart, 4) && HasText(b, n, 6, "JFIF")) ||
                    (HasAt(b, n, 0, kExifStart, 4) && HasText(b, n, 6, "Exif")),
                kTypeJpeg);
}

uint32_t ProbePng(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  return Answer(n >= 8 && HasAt(b, n, 0, kSignature, 8), kTypePng);
}

uint32_t ProbePhotoshop(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 40 && HasText(b, n, 0, "8BPS"), kTypePhotoshop);
}

uint32_t ProbeTiff(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kBig[4] = {0x4D, 0x4D, 0x00, 0x2A}, kLittle[4] = {0x49, 0x49, 0x2A, 0x00};
  return Answer(n >= 4 && (HasAt(b, n, 0, kBig, 4) || HasAt(b, n, 0, kLittle, 4)), kTypeTiff);
}

uint32_t ProbeIcon(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kIconHeader[4] = {0x00, 0x00, 0x01, 0x00};
  if (n < 16 || !HasAt(b, n, 0, kIconHeader, 4)) return kNo;
  const uint32_t count = Le16(b + 4);
  const uint64_t directoryEnd = 16ull * count + 6;
  if (count == 0 || directoryEnd > n) return kNo;
  uint64_t expectedOffset = directoryEnd;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = b + 6 + 16 * static_cast<size_t>(i);
    if (entry[3] != 0 || Le32(entry + 12) != expectedOffset) return kNo;
    expectedOffset += Le32(entry + 8);
  }
  return kTypeIcon;
}

uint32_t ProbePdf(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 5 && HasText(b, n, 0, "%PDF-"), kTypePdf);
}

uint32_t ProbeGzip(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kDeflateMember[3] = {0x1F, 0x8B, 0x08};
  if (n < 16 || !HasAt(b, n, 0, kDeflateMember, 3)) return kNo;
  const uint8_t flags = b[3], extraFlags = b[8], os = b[9];
  return Answer((flags == 0 || flags == 8) && (extraFlags == 2 || extraFlags == 4) &&
                    (os <= 13 || os == 0xFF),
                kTypeGzip);
}

uint32_t ProbeSevenZip(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kSignature[5] = {0x37, 0x7A, 0xBC, 0xAF, 0x27};
  return Answer(HasAt(b, n, 0, kSignature, 5), kType7Zip);
}

uint32_t ProbeZip(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 48 && HasText(b, n, 0, "PK\x03\x04"), kTypeZip);
}

uint32_t ProbeRar(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kSignature[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
  return Answer(HasAt(b, n, 0, kSignature, 7), kTypeRar);
}

uint32_t ProbeCab(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 36 && HasText(b, n, 0, "MSCF"), kTypeCab);
}

uint32_t ProbePeImage(const uint8_t* b, size_t n, CarveContext&) {
  constexpr uint32_t kLastHeaderOffset = 488;  // keeps the characteristics inside 512 bytes
  if (n < 512 || !HasText(b, n, 0, "MZ")) return kNo;
  const uint32_t peOffset = Le32(b + 60);
  if (peOffset > kLastHeaderOffset || !HasAt(b, n, peOffset, "PE\0\0", 4)) return kNo;
  const uint16_t characteristics = Le16(b + peOffset + 22);
  if ((characteristics & 0x0002) == 0) return kNo;  // not executable
  if (characteristics & 0x1000) return kTypeSystemDriver;
  if (characteristics & 0x2000) return kTypeDll;
  return kTypeExecutable;
}

uint32_t ProbeGhost(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kSignature[4] = {0xFE, 0xEF, 0x00, 0x00};
  return Answer(HasAt(b, n, 0, kSignature, 4), kTypeGhost);
}

uint32_t ProbeSqlite(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 16 && HasAt(b, n, 0, "SQLite format 3", 16), kTypeSqlite);
}

uint32_t ProbeDbx(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kSignature[4] = {0xCF, 0xAD, 0x12, 0xFE};
  return Answer(n >= 16 && HasAt(b, n, 0, kSignature, 4), kTypeDbx);
}

uint32_t ProbePst(const uint8_t* b, size_t n, CarveContext&) {
  return Answer(n >= 16 && HasText(b, n, 0, "!BDN") && HasText(b, n, 8, "SM"), kTypePst);
}

uint32_t ProbeTrueType(const uint8_t* b, size_t n, CarveContext&) {
  static constexpr uint8_t kVersion[4] = {0x00, 0x01, 0x00, 0x00};
  if (n < 16 || !HasAt(b, n, 0, kVersion, 4)) return kNo;
  const uint32_t tableCount = Be16(b + 4);
  if (tableCount == 0 || Le16(b + 6) == 0 || Le16(b + 8) == 0 || Le16(b + 10) == 0) return kNo;
  const size_t directoryEnd = 16 * static_cast<size_t>(tableCount) + 16;
  if (directoryEnd > n) return kNo;
  return Answer(HasAt(b, n, directoryEnd - 4, kVersion, 4), kTypeTrueType);
}

constexpr ProbeAnchor At0(uint8_t first, int16_t second) { return {0, first, second}; }

const ProbeDescriptor kProbes[kProbeCount] = {
    {"MPEG", ProbeMpeg, 1, {At0(0x00, 0x00)}},
    {"MP4", ProbeMp4, 1, {{4, 'f', 't'}}},
    {"RealMedia", ProbeRealMedia, 1, {At0('.', 'R')}},
    {"ASF", ProbeAsf, 1, {At0(0x30, 0x26)}},
    {"SWF", ProbeSwf, 2, {At0('C', 'W'), At0('F', 'W')}},
    {"AVI", ProbeAvi, 1, {At0('R', 'I')}},
    {"FLV", ProbeFlv, 1, {At0('F', 'L')}},
    {"3GPP", ProbeThreeGpp, 1, {{4, 'f', 't'}}},
    {"Matroska", ProbeMatroska, 1, {At0(0x1A, 0x45)}},
    {"transport stream", ProbeTransportStream, 1, {At0(0x47, kAnyByte)}},
    {"AVCHD", ProbeAvchd, 1, {{10, 0xB0, 0x11}}},
    {"MXF", ProbeMxf, 1, {At0(0x06, 0x0E)}},
    {"ID3v2", ProbeId3, 1, {At0('I', 'D')}},
    {"MIDI", ProbeMidi, 1, {At0('M', 'T')}},
    {"Monkey's Audio", ProbeMonkeysAudio, 1, {At0('M', 'A')}},
    {"WAV", ProbeWav, 1, {At0('R', 'I')}},
    {"QuickTime", ProbeQuickTime, 2, {At0('m', 'o'), {4, 'f', 't'}}},
    {"MPEG audio layer II", ProbeMpegAudioLayer2, 1, {At0(0xFF, 0xFD)}},
    {"SMAF", ProbeSmaf, 1, {At0('M', 'M')}},
    {"compound-file magic", ProbeCompoundMagic, 1, {At0(0xD0, 0xCF)}},
    {"GIF", ProbeGif, 1, {At0('G', 'I')}},
    {"BMP", ProbeBmp, 2, {At0('B', 'M'), At0('B', 'A')}},
    {"JPEG", ProbeJpeg, 1, {At0(0xFF, 0xD8)}},
    {"PNG", ProbePng, 1, {At0(0x89, 'P')}},
    {"Photoshop", ProbePhotoshop, 1, {At0('8', 'B')}},
    {"TIFF", ProbeTiff, 2, {At0('M', 'M'), At0('I', 'I')}},
    {"icon", ProbeIcon, 1, {At0(0x00, 0x00)}},
    {"compound file", ProbeCompoundFile, 1, {At0(0xD0, 0xCF)}},
    {"OOXML package", ProbePackage, 2, {At0('P', 'K'), {31, '[', 'C'}}},
    {"PDF", ProbePdf, 1, {At0('%', 'P')}},
    {"gzip", ProbeGzip, 1, {At0(0x1F, 0x8B)}},
    {"7-Zip", ProbeSevenZip, 1, {At0('7', 'z')}},
    {"ZIP", ProbeZip, 1, {At0('P', 'K')}},
    {"RAR", ProbeRar, 1, {At0('R', 'a')}},
    {"CAB", ProbeCab, 1, {At0('M', 'S')}},
    {"PE image", ProbePeImage, 1, {At0('M', 'Z')}},
    {"Ghost", ProbeGhost, 1, {At0(0xFE, 0xEF)}},
    {"SQLite", ProbeSqlite, 1, {At0('S', 'Q')}},
    {"DBX", ProbeDbx, 1, {At0(0xCF, 0xAD)}},
    {"PST", ProbePst, 1, {At0('!', 'B')}},
    {"TrueType", ProbeTrueType, 1, {At0(0x00, 0x01)}},
};

}  // namespace

const ProbeDescriptor& DescribeProbe(ProbeKind kind) { return kProbes[static_cast<size_t>(kind)]; }
