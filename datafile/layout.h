// What the data file holds: its sections, the settings keys with their defaults, the record
// section and the sizes of the slots its values are read into.
//
// Section and key names are matched by the store without regard to the case of a to z, so the
// spellings here only decide how a key is written when it is new.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kavro {

// One settings key: where it lives and what a missing key reads as.
struct Setting {
  std::string_view section;
  std::string_view key;
  std::string_view deflt;
};

inline constexpr std::string_view kCommonSection = "COMMON";
inline constexpr std::string_view kLanSection = "Lan";
inline constexpr std::string_view kExtSection = "EXT";
inline constexpr std::string_view kDataSection = "Data";
// Hand-edited only: "COM1".."COM5" name the device behind each port choice of the Com_Lan menu
// (for instance COM1=/dev/ttyUSB0). The program reads it and never writes it.
inline constexpr std::string_view kSerialSection = "Serial";

// Link choice: first character "1".."5" = COM1..COM5, "6" = the TCP link.
inline constexpr Setting kComSetting{kCommonSection, "COM", "1"};
// Remote pad page: first character "2" or "3", anything else page 1.
inline constexpr Setting kPadPageSetting{kCommonSection, "PAGE", "1"};
// Page of the code list, decimal. Written as "PAGE2"; the start-up read spells it "Page2",
// which is the same key.
inline constexpr Setting kListPageSetting{kCommonSection, "PAGE2", "0"};
inline constexpr std::string_view kListPageReadKey = "Page2";
// Pad mode: first character "1" = VTR, anything else TV.
inline constexpr Setting kTvVtrSetting{kCommonSection, "TV_VTR", "0"};
// Exactly "true" keeps the main window on top. Hand-edited only.
inline constexpr Setting kStayOnTopSetting{kCommonSection, "StayOnTop", ""};
inline constexpr Setting kListFontNameSetting{kCommonSection, "ListFontName", ""};
inline constexpr Setting kListFontSizeSetting{kCommonSection, "ListFontSize", ""};
// The loopback address rather than "localhost": it needs no name lookup and cannot resolve to
// an IPv6 address that a server listening on IPv4 only would refuse.
inline constexpr Setting kLanHostSetting{kLanSection, "Host", "127.0.0.1"};
inline constexpr Setting kLanPortSetting{kLanSection, "Port", "1024"};

// The "Serial" keys, index 0 for COM1; their default is empty (no device configured).
inline constexpr std::array<std::string_view, 5> kSerialDeviceKeys{"COM1", "COM2", "COM3", "COM4",
                                                                   "COM5"};

// Extension key captions: key "msg" + page digit + label digit, default "EXT" + label digit.
inline constexpr int kPadPageCount = 3;
inline constexpr int kExtLabelsPerPage = 6;

struct ExtLabelKey {
  std::string key;
  std::string deflt;
};

// Key and default of label `label` (1..6) of pad page `page` (1..3). Other arguments give an
// empty key and default, which a caller must not hand to the store.
inline ExtLabelKey ExtLabelKeyFor(int page, int label) {
  if (page < 1 || page > kPadPageCount || label < 1 || label > kExtLabelsPerPage) return {};
  const char p = static_cast<char>('0' + page);
  const char k = static_cast<char>('0' + label);
  return {std::string("msg") + p + k, std::string("EXT") + k};
}

// Slot sizes in bytes (without a terminator): what one value may fill in memory.
inline constexpr std::size_t kDataTextSlot = 60;
inline constexpr std::size_t kCommentSlot = 20;
inline constexpr std::size_t kExtLabelSlot = 19;
inline constexpr std::size_t kFileNameSlot = 1023;

// Code numbers: the main window owns 0..249, the library window 250 and up.
inline constexpr int kMainWindowFirstCode = 0;
inline constexpr int kMainWindowLastCode = 249;
inline constexpr int kLibraryFirstCode = 250;

}  // namespace kavro
