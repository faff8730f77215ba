#include "codec/fmt_broadlink.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "codec/fmt_lines.h"
#include "codec/fmt_signal.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

constexpr double kTickUs = 32.84;
constexpr unsigned char kIrPacket = 0x26;
// Header, every duration in its long form, the end mark and some padding.
constexpr size_t kMaxPacketBytes = 4 + 3 * kMaxDurations + 2 + 64;
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c == '-') return 62;  // the URL-safe alphabet as well
  if (c == '_') return 63;
  const size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

Outcome<std::vector<unsigned char>> DecodeBase64(std::string_view text) {
  using Result = Outcome<std::vector<unsigned char>>;
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  if (text.size() / 4 * 3 > kMaxPacketBytes) {
    return Result::Fail("a packet longer than " + std::to_string(kMaxPacketBytes) + " bytes");
  }
  std::vector<unsigned char> bytes;
  uint32_t bits = 0;
  int held = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const int value = Base64Value(text[i]);
    if (value < 0) {
      return Result::Fail("not base64 at character " + std::to_string(i + 1) + " " +
                          Quoted(text.substr(i, 1)));
    }
    bits = (bits << 6) | static_cast<uint32_t>(value);
    held += 6;
    if (held >= 8) {
      held -= 8;
      bytes.push_back(static_cast<unsigned char>(bits >> held));
    }
  }
  return bytes;
}

std::string EncodeBase64(const std::vector<unsigned char>& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) {
      text += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return text;
}

std::string WrongPacketType(unsigned char type) {
  if (type == 0xB2) return "a Broadlink RF packet (433 MHz), not IR";
  if (type == 0xD7) return "a Broadlink RF packet (315 MHz), not IR";
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02x", type);
  return std::string("a Broadlink IR packet starts with 0x26, this one with ") + hex;
}

}  // namespace

Outcome<IrSignal> ParseBroadlinkText(std::string_view text) {
  using Result = Outcome<IrSignal>;
  text = Trim(text);
  if (StartsWithNoCase(text, "b64:")) text = Trim(text.substr(4));
  const Outcome<std::vector<unsigned char>> decoded = DecodeBase64(text);
  if (!decoded) return Result::Fail(decoded.reason());
  const std::vector<unsigned char>& bytes = *decoded;
  if (bytes.size() < 4) {
    return Result::Fail("a Broadlink packet of " + std::to_string(bytes.size()) +
                        " bytes; the header alone has 4");
  }
  if (bytes[0] != kIrPacket) return Result::Fail(WrongPacketType(bytes[0]));

  size_t end = bytes.size();  // past the last byte that is not padding
  while (end > 4 && bytes[end - 1] == 0) --end;
  if (end >= 6 && bytes[end - 2] == 0x0D && bytes[end - 1] == 0x05) end -= 2;  // the end mark
  IrSignal signal;
  for (size_t i = 4; i < end;) {
    unsigned units = bytes[i++];
    if (units == 0) {
      if (i + 2 > bytes.size()) return Result::Fail("a long duration cut short at the end");
      units = static_cast<unsigned>(bytes[i]) << 8 | bytes[i + 1];
      i += 2;
      if (units == 0) return Result::Fail("a duration of 0 at byte " + std::to_string(i - 2));
    }
    if (signal.intro.size() >= kMaxDurations) return Result::Fail(TooManyDurations());
    const auto us = static_cast<int32_t>(std::lround(units * kTickUs));
    signal.intro.push_back(signal.intro.size() % 2 == 0 ? us : -us);
  }
  if (signal.intro.empty()) return Result::Fail("no durations");
  return signal;
}

Outcome<std::string> BroadlinkText(const IrSignal& signal) {
  std::vector<unsigned char> bytes = {kIrPacket, 0, 0, 0};
  for (const std::vector<int32_t>* part : {&signal.intro, &signal.repeat}) {
    for (const int32_t us : *part) {
      const long units = std::max(1L, std::lround(std::abs(us) / kTickUs));
      if (units > 0xFFFF) {
        return Outcome<std::string>::Fail("a duration of " + std::to_string(std::abs(us)) +
                                          " µs is longer than Broadlink's 2152 ms");
      }
      if (units > 0xFF) {
        bytes.push_back(0);
        bytes.push_back(static_cast<unsigned char>(units >> 8));
      }
      bytes.push_back(static_cast<unsigned char>(units & 0xFF));
    }
  }
  const size_t length = bytes.size() - 4;  // the durations' bytes, as the devices read it
  bytes[2] = static_cast<unsigned char>(length & 0xFF);
  bytes[3] = static_cast<unsigned char>(length >> 8);
  bytes.push_back(0x0D);
  bytes.push_back(0x05);
  return "b64:" + EncodeBase64(bytes);
}

bool LooksLikeBroadlink(std::string_view text) {
  text = Trim(text);
  if (StartsWithNoCase(text, "b64:")) return true;
  if (text.size() < 8 || text.substr(0, 2) != "Jg") return false;
  for (const char c : text) {
    if (Base64Value(c) < 0 && c != '=') return false;
  }
  return true;
}

std::vector<ImportEntry> ParseBroadlink(std::string_view content) {
  return ParseLineEntries(content, ParseBroadlinkText);
}

std::string WriteBroadlink(std::span<const ExportCode> codes, const ExportOptions& options) {
  return WriteLineEntries(codes, options, BroadlinkText);
}

}  // namespace kavro::codec
