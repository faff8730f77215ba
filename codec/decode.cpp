#include "codec/decode.h"

#include "codec/protocol_table.h"

namespace kavro::codec {
namespace {

std::string Counted(int n, const char* what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

}  // namespace

DecodeDetail DecodeDetailed(const SignalBlock& block) {
  DecodeDetail detail;
  // A block the format reads as empty (see SignalBlock::IsEmpty) is no code, whatever it holds.
  if (!block.IsEmpty())
    for (FamilyDecoder decode : FamilyDecoders())
      if (decode(block, detail)) break;

  Decoded& decoded = detail.decoded;
  decoded.frames = block.HasFrame3() ? 3 : block.HasFrame2() ? 2 : 1;
  decoded.bits = 0;
  for (int f = 1; f <= decoded.frames; ++f) decoded.bits += block.BitCount(f);
  decoded.width_coding = block.WidthCoding();
  return detail;
}

Decoded Decode(const SignalBlock& block) { return DecodeDetailed(block).decoded; }

std::string DecodeSummary(const Decoded& decoded) {
  if (!decoded.Known()) {
    return std::string("unknown: ") + (decoded.width_coding ? "pulse width" : "pulse distance") +
           ", " + Counted(decoded.bits, "bit") + ", " + Counted(decoded.frames, "frame");
  }
  std::string text = decoded.protocol;
  if (decoded.device) {
    text += "  device " + std::to_string(*decoded.device);
    if (decoded.subdevice) text += "." + std::to_string(*decoded.subdevice);
  }
  if (decoded.function) text += "  function " + std::to_string(*decoded.function);
  if (!decoded.confident) text += " (check failed)";
  return text;
}

std::string DecodeBrief(const Decoded& decoded) {
  if (!decoded.Known()) return {};
  std::string text = decoded.protocol;
  if (decoded.device) {
    text += " " + std::to_string(*decoded.device);
    if (decoded.subdevice) text += "." + std::to_string(*decoded.subdevice);
  }
  if (decoded.function) text += " " + std::to_string(*decoded.function);
  if (!decoded.confident) text += " ?";
  return text;
}

bool LooksIncomplete(const SignalBlock& block) {
  if (block.IsEmpty() || block.BitCount(1) == 0) return true;
  const Decoded decoded = Decode(block);
  return decoded.Known() && !decoded.confident;
}

int NominalCarrier(const std::string& protocol) {
  const ProtocolInfo* info = FindProtocol(protocol);
  return info ? info->carrier_hz : 0;
}

}  // namespace kavro::codec
