// The remote pad: its keys, where they sit, which key index each stands for, and the names the
// pad gives a learned code. Plain data, so that every front end (the desktop window, the web
// page served by kavro-server) lays the pad out from one table.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>

#include "datafile/layout.h"

namespace kavro {

// One key of the pad. `index` is its key index in TV mode; a `shifted` key (digits and channel)
// adds the TV/VTR offset.
struct PadKey {
  const char* name;
  const char* caption;
  int x, y, width, height;
  int index;
  bool shifted;
  bool graphic;  // a graphic button: takes no focus
  enum Color { kBlack, kTeal, kRed, kBlue } color;
};

// Every key that sends a code (all but the TV/VTR key), in the order they are laid out.
inline constexpr std::size_t kPadKeyCount = 31;
std::span<const PadKey> PadKeys();

// The TV/VTR key: it sends nothing, but switches the shifted keys between TV and VTR.
inline constexpr PadKey kTvVtrKey{
    "SpeedButton7", "TV", 8, 136, 57, 25, 0, false, true, PadKey::kTeal,
};

// Key indexes 26..31 are the extension keys, whose captions come from the data file.
inline constexpr int kFirstExtIndex = 26;
// What the TV/VTR key adds to a shifted key's index in VTR mode.
inline constexpr int kVtrOffset = 31;

// The key index `key` sends: its own, plus `tv_vtr_offset` (0 in TV mode, kVtrOffset in VTR
// mode) for a shifted key.
inline int SentKeyIndex(const PadKey& key, int tv_vtr_offset) {
  return key.index + (key.shifted ? tv_vtr_offset : 0);
}

// The code a key index stands for on pad page 1..3: 100, 150 or 200 plus the index.
inline int PadCode(int page, int key_index) { return 50 + 50 * page + key_index; }

// The name of pad key index k (1..50), e.g. "TV CH UP", "EXT 3", "VTR 12"; empty outside 1..50.
std::string PadKeyName(int key_index);

// The comment of a code learned on the pad: "P1 ", "P2 " or "P3 " for codes 101..150, 151..200,
// 201..250, followed by the key name. Empty for codes outside 101..250.
std::string PadLearnComment(int code);

// The extension keys' captions of every pad page as the data file at `path` gives them,
// [page - 1][label - 1], Shift-JIS cut to their slot on a character boundary; the defaults where
// the file has none.
using ExtLabels = std::array<std::array<std::string, kExtLabelsPerPage>, kPadPageCount>;
ExtLabels ReadExtLabels(const std::string& path);

}  // namespace kavro
