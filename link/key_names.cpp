#include "link/key_names.h"

namespace kavro {

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

}  // namespace kavro
