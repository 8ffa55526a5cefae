#include "carving/type_lists.h"

#include "platform/platform.h"

const char16_t kPhotoTypeList[] =
    u"*.bmp|*.gif|*.jpg|*.jpeg|*.png|*.psd|*.tif|*.tiff|*.pcx|*.scr|*.ico|*.nef|*.nrw|*.crw|"
    u"*.cr2|*.sr2|*.arw|*.srf|*.divu|*.pgm|*.k25|*.kdc|*.dcr|*.raf|*.iff|*.pbm|*.mef|*.jp2|"
    u"*.mos|*.x3f|*.orf|*.erf|*.indd|*.pef|*.psp|*.mrw|*.dng|*.raw|*.pct|*.tga|*.thm|";
const char16_t kAudioTypeList[] =
    u"*.mp3|*.wav|*.aiff|*.rps|*.mid|*.midi|*.m4a|*.m4p|*.au|*.ogg|*.wma|*.rm|*.ra|*.acd|"
    u"*.amr|*.at3|*.caf|*.dss|*.m4r|*.nra|*.snd|";
const char16_t kVideoTypeList[] =
    u"*.rmvb|*.rm|*.mpeg|*.mov|*.avi|*.wmv|*.asf|*.mp4|*.m4v|*.3gp|*.dv|*.3g2|*.m4b|*.mkv|"
    u"*.mts|*.divx|*.ogm|*.moi|*.vob|*.ajp|*.f4v|*.mqv|*.svi|*.vid|*.tod|*.hdmov|*.mod|*.mxf|"
    u"*.lrv|";
const char16_t kDocumentTypeList[] =
    u"*.doc|*.xls|*.ppt|*.odt|*.ods|*.pdf|*.docx|*.xlsx|*.pptx|*.ole|*.txt|*.xml|*.chm|*.html|"
    u"*.pst|*.dbx|*.wps|*.dps|*.et|*.one|*.mpp|*.mdb|*.accdb|";
const char16_t kArchiveTypeList[] =
    u"*.zip|*.rar|*.gzip|*.tar|*.7z|*.cab|*.arj|*.lzh|*.ace|*.gz|*.uue|*.bz2|*.jar|*.iso|";

std::u16string_view TypeListText(TypeList list) {
  switch (list) {
    case TypeList::Photo: return kPhotoTypeList;
    case TypeList::Audio: return kAudioTypeList;
    case TypeList::Video: return kVideoTypeList;
    case TypeList::Document: return kDocumentTypeList;
    case TypeList::Archive: return kArchiveTypeList;
  }
  return {};
}

namespace {

constexpr TypeGroup P = TypeGroup::Photo;
constexpr TypeGroup A = TypeGroup::Audio;
constexpr TypeGroup V = TypeGroup::Video;

// Every option's key is the key its files are grouped under, so that each
// option finds its own files (the raw formats k25, mrw and dng and the mqv
// video each have their own key).
const std::array<SelectableType, kSelectableTypeCount> kOptions = {{
    {P, u"Bitmap (.bmp)", u"bmp"},
    {P, u"Gif Graphics Files (.gif)", u"gif"},
    {P, u"JPG/JPEG (.jpg .jpeg)", u"jpg"},
    {P, u"PNG Graphics Files (.png)", u"png"},
    {P, u"Adobe Photoshop (.psd)", u"psd"},
    {P, u"TIFF Graphics Files (.tif .tiff)", u"tif"},
    {P, u"Paintbrush Files (.pcx .scr)", u"pcx"},
    {P, u"ICON File (.ico)", u"ico"},
    {P, u"Nikon (.nef)", u"nef"},
    {P, u"Nikon (.nrw)", u"nrw"},
    {P, u"Canon (.crw)", u"crw"},
    {P, u"Canon (.cr2)", u"cr2"},
    {P, u"Sony (.sr2)", u"sr2"},
    {P, u"Sony (.arw)", u"arw"},
    {P, u"Sony (.srf)", u"srf"},
    {P, u"DJVU Files (.djvu)", u"djvu"},
    {P, u"PGM Files (.pgm)", u"pgm"},
    {P, u"Kodak (.k25)", u"k25"},
    {P, u"Kodak (.kdc)", u"kdc"},
    {P, u"Kodak (.dcr)", u"dcr"},
    {P, u"Fuji (.raf)", u"raf"},
    {P, u"IFF Files (.iff)", u"iff"},
    {P, u"PBM Files (.pbm)", u"pbm"},
    {P, u"Mamiya (.mef)", u"mef"},
    {P, u"JP2 Files (.jp2)", u"jp2"},
    {P, u"Mamiya (.mos)", u"mos"},
    {P, u"Sigma (.x3f)", u"x3f"},
    {P, u"Olympus (.orf)", u"orf"},
    {P, u"EPSON (.erf)", u"erf"},
    {P, u"Adobe Indesign (.indd)", u"indd"},
    {P, u"Pentax (.pef)", u"pef"},
    {P, u"Paint Shop Pro Image (.psp)", u"psp"},
    {P, u"Minolta (.mrw)", u"mrw"},
    {P, u"DNG Photo Files (.dng)", u"dng"},
    {P, u"RAW Photo Files (.raw)", u"raw"},
    {P, u"Picture Files (.pct)", u"pct"},
    {P, u"TGA File (.tga)", u"tga"},
    {P, u"THM Files (.thm)", u"thm"},
    {A, u"MP3 Files (.mp3)", u"mp3"},
    {A, u"WAV Files (.wav)", u"wav"},
    {A, u"AIFF Files (.aiff)", u"aiff"},
    {A, u"Reason Song (.rps)", u"rps"},
    {A, u"MIDI Files (.mid .midi)", u"mid"},
    {A, u"M4A M4P Files (.m4a .m4p)", u"m4a"},
    {A, u"AU Files (.au)", u"au"},
    {A, u"OGG Files(.ogg)", u"ogg"},
    {A, u"WMA Files (.wma)", u"wma"},
    {A, u"Real Media (.rm)", u"rm"},
    {A, u"Real Audio (.ra)", u"ra"},
    {A, u"ACID Files(.acd)", u"acd"},
    {A, u"AMR Files (.amr)", u"amr"},
    {A, u"AT3 Files (.at3)", u"at3"},
    {A, u"CAFF Files (.caf)", u"caf"},
    {A, u"DSS Files(.dss)", u"dss"},
    {A, u"M4R Files (.m4r)", u"m4r"},
    {A, u"NRA Files (.nra)", u"nra"},
    {A, u"SND Files (.snd)", u"snd"},
    {V, u"RMVB Video Files (.rmvb)", u"rmvb"},
    {V, u"RM Video Files (.rm)", u"rm"},
    {V, u"MPEG Video Files (.mpeg)", u"mpeg"},
    {V, u"Quick Time Video Files (.mov)", u"mov"},
    {V, u"AVI Multimedias File (.avi)", u"avi"},
    {V, u"WMV Files (.wmv)", u"wmv"},
    {V, u"ASF Files (.asf)", u"asf"},
    {V, u"MP4 Files (.mp4)", u"mp4"},
    {V, u"M4V Files (.m4v)", u"m4v"},
    {V, u"3GP Files (.3gp)", u"3gp"},
    {V, u"Digital Video (.dv)", u"dv"},
    {V, u"3G2 Files (.3g2)", u"3g2"},
    {V, u"M4B (.m4b)", u"m4b"},
    {V, u"Matroska Video File (.mkv)", u"mkv"},
    {V, u"AVCHD Video File (.mts)", u"mts"},
    {V, u"Divx Movie File (.divx)", u"divx"},
    {V, u"OGG Media Player (.ogm)", u"ogm"},
    {V, u"MOI Video Files (.moi)", u"moi"},
    {V, u"Video Object Files (.vob)", u"vob"},
    {V, u"AJP Files (.ajp)", u"ajp"},
    {V, u"F4V Files (.f4v)", u"f4v"},
    {V, u"MQV Files (.mqv)", u"mqv"},
    {V, u"SVI Files (.svi)", u"svi"},
    {V, u"VID Files (.vid)", u"vid"},
    {V, u"TOD Files (.tod)", u"tod"},
    {V, u"HDMOV Files (.hdmov)", u"hdmov"},
    {V, u"MOD Files (.mod)", u"mod"},
    {V, u"MXF Files (.mxf)", u"mxf"},
    {V, u"LRV Files (.lrv)", u"lrv"},
}};

char16_t LowerCaseChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c < 0xC0) return c;
  if ((c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c == 0x130) return u'i';  // capital I with dot above
  // Latin Extended-A: capitals at the even code points of 0x100-0x137 and
  // 0x14A-0x177, at the odd ones of 0x139-0x148 and 0x179-0x17E.
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return (c % 2 == 0) ? static_cast<char16_t>(c + 1) : c;
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c % 2 == 1) ? static_cast<char16_t>(c + 1) : c;
  return c;
}

}  // namespace

const std::array<SelectableType, kSelectableTypeCount>& SelectableTypes() { return kOptions; }

const char16_t* TypeGroupSwitchName(TypeGroup group) {
  switch (group) {
    case TypeGroup::Photo: return u"OptPhotoFile";
    case TypeGroup::Audio: return u"OptAudioFile";
    case TypeGroup::Video: return u"OptVideoFile";
  }
  return u"";
}

std::u16string LowerCaseUtf16(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) c = LowerCaseChar(c);
  return lower;
}

bool NameHasExtensionDot(const std::string& name) { return name.find('.') != std::string::npos; }

std::string NameExtension(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool MatchesTypeList(std::u16string_view extension, TypeList list) {
  return TypeListText(list).find(LowerCaseUtf16(extension)) != std::u16string_view::npos;
}

bool MatchesTypeList(const std::string& extension, TypeList list) {
  return MatchesTypeList(std::u16string_view(platform::AnsiToWide(extension)), list);
}

bool PhotoListContains(std::u16string_view lowerExtension) {
  return std::u16string_view(kPhotoTypeList).find(lowerExtension) != std::u16string_view::npos;
}

const char* ClassifyFileCategory(const std::string& name) {
  struct Category {
    TypeList list;
    const char* name;
  };
  static constexpr Category kCategories[] = {
      {TypeList::Photo, "photo"},       {TypeList::Audio, "audio"},
      {TypeList::Video, "video"},       {TypeList::Document, "document"},
      {TypeList::Archive, "archive"},
  };
  const std::u16string extension = LowerCaseUtf16(platform::AnsiToWide(NameExtension(name)));
  for (const Category& category : kCategories) {
    if (TypeListText(category.list).find(extension) != std::u16string_view::npos)
      return category.name;
  }
  return "others";
}

std::u16string NormalizeTypeKey(std::u16string_view lowerExtension) {
  static constexpr std::pair<std::u16string_view, std::u16string_view> kAliases[] = {
      {u"jpeg", u"jpg"}, {u"tiff", u"tif"}, {u"scr", u"pcx"}, {u"midi", u"mid"}, {u"m4p", u"m4a"},
  };
  for (const auto& alias : kAliases) {
    if (lowerExtension == alias.first) return std::u16string(alias.second);
  }
  return std::u16string(lowerExtension);
}

std::u16string BuildTypeFilter(const std::set<std::u16string>& keys) {
  std::u16string filter;
  if (keys.empty()) {
    filter = kPhotoTypeList;
    filter += u'|';
    filter += kAudioTypeList;
    filter += u'|';
    filter += kVideoTypeList;
    return filter;
  }
  for (const std::u16string& key : keys) {
    if (!filter.empty()) filter += u'|';
    filter += u"*.";
    filter += key;
  }
  return filter;
}
