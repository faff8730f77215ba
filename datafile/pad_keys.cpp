#include "datafile/pad_keys.h"

#include <iterator>

#include "datafile/sjis.h"
#include "datafile/store.h"

namespace kavro {

namespace {

constexpr int kDigit = 25;  // digit keys are square
constexpr int kWide = 41;   // right column and extension keys
constexpr int kTall = 25;

constexpr PadKey kKeys[] = {
    {"Button1", "1", 8, 8, kDigit, kTall, 1, true, false, PadKey::kBlack},
    {"Button2", "2", 40, 8, kDigit, kTall, 2, true, false, PadKey::kBlack},
    {"Button3", "3", 72, 8, kDigit, kTall, 3, true, false, PadKey::kBlack},
    {"SpeedButton4", "PWR", 104, 8, kWide, kTall, 15, false, true, PadKey::kTeal},
    {"Button4", "4", 8, 40, kDigit, kTall, 4, true, false, PadKey::kBlack},
    {"Button5", "5", 40, 40, kDigit, kTall, 5, true, false, PadKey::kBlack},
    {"Button6", "6", 72, 40, kDigit, kTall, 6, true, false, PadKey::kBlack},
    {"Button21", "CH+", 104, 40, kWide, kTall, 13, true, false, PadKey::kBlack},
    {"Button7", "7", 8, 72, kDigit, kTall, 7, true, false, PadKey::kBlack},
    {"Button8", "8", 40, 72, kDigit, kTall, 8, true, false, PadKey::kBlack},
    {"Button9", "9", 72, 72, kDigit, kTall, 9, true, false, PadKey::kBlack},
    {"Button22", "CH-", 104, 72, kWide, kTall, 14, true, false, PadKey::kBlack},
    {"Button10", "10", 8, 104, kDigit, kTall, 10, true, false, PadKey::kBlack},
    {"Button11", "11", 40, 104, kDigit, kTall, 11, true, false, PadKey::kBlack},
    {"Button12", "12", 72, 104, kDigit, kTall, 12, true, false, PadKey::kBlack},
    {"SpeedButton6", "Mute", 104, 104, kWide, kTall, 16, false, true, PadKey::kRed},
    {"Button23", "VOL+", 104, 136, kWide, kTall, 17, false, false, PadKey::kBlack},
    {"Button14", "<<", 8, 168, kDigit, kTall, 19, false, false, PadKey::kBlack},
    {"Button15", ">", 40, 168, kDigit, kTall, 20, false, false, PadKey::kBlack},
    {"Button16", ">>", 72, 168, kDigit, kTall, 21, false, false, PadKey::kBlack},
    {"Button24", "VOL-", 104, 168, kWide, kTall, 18, false, false, PadKey::kBlack},
    {"SpeedButton1", "●", 8, 200, kDigit, kTall, 22, false, true, PadKey::kRed},
    {"SpeedButton2", "■", 40, 200, kDigit, kTall, 23, false, true, PadKey::kBlue},
    {"SpeedButton3", "||", 72, 200, kDigit, kTall, 24, false, true, PadKey::kRed},
    {"SpeedButton5", "PWR", 104, 200, kWide, kTall, 25, false, true, PadKey::kTeal},
    {"Button26", "EXT1", 8, 232, kWide, kTall, 26, false, false, PadKey::kBlack},
    {"Button27", "EXT2", 56, 232, kWide, kTall, 27, false, false, PadKey::kBlack},
    {"Button28", "EXT3", 104, 232, kWide, kTall, 28, false, false, PadKey::kBlack},
    {"Button29", "EXT4", 8, 264, kWide, kTall, 29, false, false, PadKey::kBlack},
    {"Button30", "EXT5", 56, 264, kWide, kTall, 30, false, false, PadKey::kBlack},
    {"Button31", "EXT6", 104, 264, kWide, kTall, 31, false, false, PadKey::kBlack},
};
static_assert(std::size(kKeys) == kPadKeyCount);

}  // namespace

std::span<const PadKey> PadKeys() { return kKeys; }

std::string PadKeyName(int k) {
  if (k >= 1 && k <= 12) return "TV " + std::to_string(k);
  switch (k) {
    case 13: return "TV CH UP";
    case 14: return "TV CH DOWN";
    case 15: return "TV POWER";
    case 16: return "TV Mute";
    case 17: return "TV VOL UP";
    case 18: return "TV VOL DOWN";
    case 19: return "VTR REW";
    case 20: return "VTR PLAY";
    case 21: return "VTR FF";
    case 22: return "VTR REC";
    case 23: return "VTR STOP";
    case 24: return "VTR PAUSE";
    case 25: return "VTR POWER";
    case 44: return "VTR CH UP";
    case 45: return "VTR CH DOWN";
    default: break;
  }
  if (k >= 26 && k <= 31) return "EXT " + std::to_string(k - 25);
  // 32..43 are the VTR digit keys; 46..50 have no key but are named the same way.
  if (k >= 32 && k <= 50) return "VTR " + std::to_string(k - 31);
  return {};
}

std::string PadLearnComment(int code) {
  if (code >= 101 && code <= 150) return "P1 " + PadKeyName(code - 100);
  if (code >= 151 && code <= 200) return "P2 " + PadKeyName(code - 150);
  if (code >= 201 && code <= 250) return "P3 " + PadKeyName(code - 200);
  return {};
}

ExtLabels ReadExtLabels(const std::string& path) {
  ExtLabels labels;
  // Without an EXT section every caption is its default: no key need be looked up.
  const bool stored = SectionHasLines(path, kExtSection);
  std::string value;
  for (int page = 1; page <= kPadPageCount; ++page) {
    for (int label = 1; label <= kExtLabelsPerPage; ++label) {
      const ExtLabelKey key = ExtLabelKeyFor(page, label);
      if (stored)
        ReadKeyValue(path, kExtSection, key.key, value, key.deflt);
      else
        value = key.deflt;
      labels[page - 1][label - 1] = std::string(CutSjis(value, kExtLabelSlot));
    }
  }
  return labels;
}

}  // namespace kavro
