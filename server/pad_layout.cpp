#include "server/pad_layout.h"

#include "datafile/pad_keys.h"
#include "datafile/sjis.h"
#include "datafile/store.h"

namespace kavro::server {
namespace {

char FirstChar(const std::string& value) { return value.empty() ? '\0' : value.front(); }

const char* ColorName(PadKey::Color color) {
  switch (color) {
    case PadKey::kTeal: return "teal";
    case PadKey::kRed: return "red";
    case PadKey::kBlue: return "blue";
    case PadKey::kBlack: break;
  }
  return "black";
}

}  // namespace

PadSettings ReadPadSettings(const std::string& path, FileError* error) {
  // About twenty settings from one read of the file, which may hold thousands of codes.
  const ReadSnapshot snapshot(path);
  PadSettings settings;
  FileError failure;
  std::string value;
  ReadKeyValue(path, kTvVtrSetting.section, kTvVtrSetting.key, value, kTvVtrSetting.deflt,
               &failure);
  settings.vtr = FirstChar(value) == '1';
  ReadKeyValue(path, kPadPageSetting.section, kPadPageSetting.key, value, kPadPageSetting.deflt);
  const char page = FirstChar(value);
  settings.page = page == '3' ? 3 : page == '2' ? 2 : 1;
  settings.ext_labels = ReadExtLabels(path);
  if (error != nullptr) *error = failure;
  return settings;
}

Json PadJson(const PadSettings& settings, const TextCodec& codec) {
  Json pages = Json::array();
  for (int page = 1; page <= kPadPageCount; ++page) {
    Json keys = Json::array();
    for (const PadKey& key : PadKeys()) {
      const bool ext = key.index >= kFirstExtIndex;
      const int vtr_index = SentKeyIndex(key, kVtrOffset);
      keys.push_back(
          {{"name", key.name},
           {"caption",
            ext ? codec.to_utf8(settings.ext_labels[page - 1][key.index - kFirstExtIndex])
                : std::string(key.caption)},
           {"x", key.x},
           {"y", key.y},
           {"width", key.width},
           {"height", key.height},
           {"index", key.index},
           {"shifted", key.shifted},
           {"graphic", key.graphic},
           {"color", ColorName(key.color)},
           {"ext", ext},
           {"code_tv", PadCode(page, key.index)},
           {"code_vtr", PadCode(page, vtr_index)},
           {"label", PadKeyName(key.index)},
           {"label_vtr", PadKeyName(vtr_index)}});
    }
    pages.push_back({{"page", page}, {"keys", std::move(keys)}});
  }
  return {{"vtr_offset", kVtrOffset},
          {"mode", settings.vtr ? "VTR" : "TV"},
          {"page", settings.page},
          {"tv_vtr",
           {{"x", kTvVtrKey.x},
            {"y", kTvVtrKey.y},
            {"width", kTvVtrKey.width},
            {"height", kTvVtrKey.height}}},
          {"pages", std::move(pages)}};
}

}  // namespace kavro::server
