// The remote pad as the web page draws it: the desktop's key table, the codes each key sends on
// each page, and what the data file says about the pad (the extension keys' captions, the mode
// and page the desktop was left in).
#pragma once

#include <array>
#include <string>

#include "datafile/file_error.h"
#include "datafile/layout.h"
#include "datafile/pad_keys.h"
#include "server/json_text.h"

namespace kavro::server {

struct PadSettings {
  ExtLabels ext_labels;
  bool vtr = false;
  int page = 1;
};

// The pad's settings in the data file at `path`; defaults where it has none. An unreadable
// file also gives the defaults, and `error` tells why.
PadSettings ReadPadSettings(const std::string& path, FileError* error = nullptr);

// {"vtr_offset", "mode", "page", "tv_vtr", "pages": [{"page", "keys": [...]}]}, one key
// {"name", "caption", "x", "y", "width", "height", "index", "shifted", "graphic", "color",
//  "ext", "code_tv", "code_vtr", "label", "label_vtr"}.
Json PadJson(const PadSettings& settings, const TextCodec& codec);

}  // namespace kavro::server
