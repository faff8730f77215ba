// Flipper's protocol numbers and the IRP protocols' numbers, both ways (declared in
// fmt_flipper.h).
#include <cstdio>

#include "codec/fmt_flipper.h"
#include "codec/fmt_text.h"

namespace kavro::codec {
namespace {

// Kaseikyo vendor ids as Flipper packs them: the first byte sent is the low byte.
constexpr uint32_t kPanasonicVendor = 0x2002;
constexpr uint32_t kJvc48Vendor = 0x0103;
constexpr uint32_t kDenonKVendor = 0x3254;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// The 4-bit check Kaseikyo sends after the vendor id: the XOR of its four nibbles.
uint32_t VendorParity(uint32_t vendor) {
  const uint32_t x = (vendor & 0xFF) ^ (vendor >> 8);
  return (x & 0xF) ^ (x >> 4);
}

EncodeRequest Request(std::string protocol, uint32_t device, int subdevice, uint32_t function) {
  return {std::move(protocol), static_cast<int>(device), subdevice, static_cast<int>(function)};
}

Outcome<EncodeRequest> FromKaseikyo(uint32_t address, uint32_t command) {
  const uint32_t id = address >> 24;
  const uint32_t vendor = (address >> 8) & 0xFFFF;
  const uint32_t genre1 = (address >> 4) & 0xF;
  const uint32_t genre2 = address & 0xF;
  // The bytes after the vendor id, in send order: parity and genre1, genre2 and the command's
  // low nibble, the command's high six bits and the id.
  const uint32_t byte3 = VendorParity(vendor) | genre1 << 4;
  const uint32_t byte4 = genre2 | (command & 0xF) << 4;
  const uint32_t byte5 = (command >> 4) | id << 6;
  switch (vendor) {
    case kPanasonicVendor: return Request("Panasonic", byte3, static_cast<int>(byte4), byte5);
    case kJvc48Vendor: return Request("JVC-48", byte3, static_cast<int>(byte4), byte5);
    case kDenonKVendor:
      return Request("Denon-K", genre1, static_cast<int>(genre2), command | id << 10);
    default:
      return Outcome<EncodeRequest>::Fail("Kaseikyo vendor " + Hex(vendor) +
                                          " has no protocol here (Panasonic, JVC-48, Denon-K)");
  }
}

std::optional<FlipperParsed> ToKaseikyo(uint32_t vendor, const Decoded& decoded) {
  const uint32_t d = static_cast<uint32_t>(*decoded.device);
  const uint32_t s = static_cast<uint32_t>(*decoded.subdevice);
  const uint32_t f = static_cast<uint32_t>(*decoded.function);
  if (vendor == kDenonKVendor) {
    if (d > 0xF || s > 0xF || f > 0xFFF) return std::nullopt;
    return FlipperParsed{"Kaseikyo", (f >> 10) << 24 | vendor << 8 | d << 4 | s, f & 0x3FF};
  }
  // Flipper computes the parity nibble itself, so a device whose low nibble differs is lost.
  if (d > 0xFF || s > 0xFF || f > 0xFF || (d & 0xF) != VendorParity(vendor)) return std::nullopt;
  return FlipperParsed{"Kaseikyo", (f >> 6) << 24 | vendor << 8 | (d >> 4) << 4 | (s & 0xF),
                       (s >> 4) | (f & 0x3F) << 4};
}

}  // namespace

Outcome<EncodeRequest> RequestFromFlipper(std::string_view protocol, uint32_t address,
                                          uint32_t command) {
  using Result = Outcome<EncodeRequest>;
  const std::string name(protocol);
  auto fits = [&](uint32_t max_address, uint32_t max_command) -> std::string {
    if (address > max_address) return name + " address " + Hex(address) + " > " + Hex(max_address);
    if (command > max_command) return name + " command " + Hex(command) + " > " + Hex(max_command);
    return {};
  };
  auto is = [&](std::string_view flipper_name) { return EqualsNoCase(protocol, flipper_name); };
  std::string problem;
  if (is("RC5") || is("RC5X") || is("RC6")) {
    return Result::Fail(name + " is bi-phase coded and cannot be stored");
  }
  if (is("NEC")) {
    if (!(problem = fits(0xFFFF, 0xFF)).empty()) return Result::Fail(problem);
    if (address <= 0xFF) return Request("NEC1", address, -1, command);
    return Request("NEC1", address & 0xFF, static_cast<int>(address >> 8), command);
  }
  if (is("NECext")) {
    if (!(problem = fits(0xFFFF, 0xFFFF)).empty()) return Result::Fail(problem);
    const int subdevice = static_cast<int>(address >> 8);
    if (command <= 0xFF || (command >> 8) == (~command & 0xFF)) {
      return Request("NEC1", address & 0xFF, subdevice, command & 0xFF);
    }
    return Request("NEC1-f16", address & 0xFF, subdevice, command);
  }
  if (is("NEC42") || is("NEC42ext")) {
    if (is("NEC42ext")) {
      if (!(problem = fits(0x3FFFFFF, 0xFFFF)).empty()) return Result::Fail(problem);
      if ((address >> 13) != (~address & 0x1FFF) || (command >> 8) != (~command & 0xFF)) {
        return Result::Fail(
            "NEC42ext without complemented address and command has no protocol here");
      }
      address &= 0x1FFF;
      command &= 0xFF;
    }
    if (!(problem = fits(0x1FFF, 0xFF)).empty()) return Result::Fail(problem);
    return Request("Aiwa", address & 0xFF, static_cast<int>(address >> 8), command);
  }
  if (is("Samsung32")) {
    if (!(problem = fits(0xFF, 0xFF)).empty()) return Result::Fail(problem);
    return Request("NECx1", address, static_cast<int>(address), command);
  }
  if (is("SIRC") || is("SIRC15") || is("SIRC20")) {
    const uint32_t max_address = is("SIRC") ? 0x1F : is("SIRC15") ? 0xFF : 0x1FFF;
    if (!(problem = fits(max_address, 0x7F)).empty()) return Result::Fail(problem);
    if (is("SIRC")) return Request("Sony12", address, -1, command);
    if (is("SIRC15")) return Request("Sony15", address, -1, command);
    return Request("Sony20", address & 0x1F, static_cast<int>(address >> 5), command);
  }
  if (is("Kaseikyo")) {
    if (!(problem = fits(0x3FFFFFF, 0x3FF)).empty()) return Result::Fail(problem);
    return FromKaseikyo(address, command);
  }
  if (is("RCA")) {
    if (!(problem = fits(0xF, 0xFF)).empty()) return Result::Fail(problem);
    return Request("RCA", address, -1, command);
  }
  if (is("Pioneer")) {
    if (!(problem = fits(0xFF, 0xFF)).empty()) return Result::Fail(problem);
    return Request("NEC2", address, -1, command);
  }
  return Result::Fail("unknown Flipper protocol " + Quoted(protocol));
}

std::optional<FlipperParsed> FlipperFromDecoded(const Decoded& decoded) {
  if (!decoded.confident || !decoded.device || !decoded.function) return std::nullopt;
  if (*decoded.device < 0 || *decoded.function < 0 || decoded.subdevice.value_or(0) < 0) {
    return std::nullopt;
  }
  const std::string& p = decoded.protocol;
  const auto d = static_cast<uint32_t>(*decoded.device);
  const auto f = static_cast<uint32_t>(*decoded.function);
  const std::optional<int>& s = decoded.subdevice;
  const bool byte_fields = d <= 0xFF && f <= 0xFF;
  if (p == "NEC1" && byte_fields) {
    if (!s || *s == static_cast<int>(0xFF - d)) return FlipperParsed{"NEC", d, f};
    if (*s > 0xFF) return std::nullopt;
    return FlipperParsed{"NECext", d | static_cast<uint32_t>(*s) << 8, f | (~f & 0xFF) << 8};
  }
  if (p == "NEC1-f16" && d <= 0xFF && f <= 0xFFFF) {
    const int sub = s.value_or(static_cast<int>(0xFF - d));
    if (sub > 0xFF) return std::nullopt;
    return FlipperParsed{"NECext", d | static_cast<uint32_t>(sub) << 8, f};
  }
  if (p == "NECx1" && byte_fields && s && *s == static_cast<int>(d)) {
    return FlipperParsed{"Samsung32", d, f};
  }
  if (p == "Aiwa" && byte_fields && s && *s <= 0x1F) {
    return FlipperParsed{"NEC42", d | static_cast<uint32_t>(*s) << 8, f};
  }
  if (p == "Sony12" && d <= 0x1F && f <= 0x7F) return FlipperParsed{"SIRC", d, f};
  if (p == "Sony15" && d <= 0xFF && f <= 0x7F) return FlipperParsed{"SIRC15", d, f};
  if (p == "Sony20" && d <= 0x1F && f <= 0x7F && s && *s <= 0xFF) {
    return FlipperParsed{"SIRC20", d | static_cast<uint32_t>(*s) << 5, f};
  }
  if (s && (p == "Panasonic" || p == "JVC-48" || p == "Denon-K")) {
    return ToKaseikyo(p == "Panasonic" ? kPanasonicVendor
                      : p == "JVC-48"  ? kJvc48Vendor
                                       : kDenonKVendor,
                      decoded);
  }
  if (p == "RCA" && d <= 0xF && f <= 0xFF) return FlipperParsed{"RCA", d, f};
  if (p == "Pioneer" && byte_fields) return FlipperParsed{"Pioneer", d, f};
  return std::nullopt;
}

}  // namespace kavro::codec
