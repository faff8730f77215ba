#include "datafile/signal_block.h"

#include <algorithm>
#include <vector>

#include "datafile/hex_text.h"

namespace kavro {

SignalBlock::SignalBlock(std::span<const unsigned char> bytes) {
  std::copy_n(bytes.begin(), std::min(bytes.size(), bytes_.size()), bytes_.begin());
}

int SignalBlock::LeaderMark(int frame) const {
  if (!ValidFrame(frame)) return 0;
  const int h = HeaderAt(frame);
  return ((bytes_[h] & 0x03) << 8) | bytes_[h + 1];
}

int SignalBlock::LeaderSpace(int frame) const {
  if (!ValidFrame(frame)) return 0;
  const int h = HeaderAt(frame);
  return ((bytes_[h + 2] & 0x01) << 8) | bytes_[h + 3];
}

int SignalBlock::BitCount(int frame) const {
  if (!ValidFrame(frame)) return 0;
  return bytes_[HeaderAt(frame) + 2] >> 1;
}

bool SignalBlock::Bit(int index) const {
  if (index < 0 || index >= kSignalBitCount) return false;
  return ((bytes_[19 + index / 8] >> (7 - index % 8)) & 1) != 0;
}

void SignalBlock::ClearAbsentFrames() {
  if (bytes_[7] == 0) {
    std::fill(bytes_.begin() + 8, bytes_.begin() + 19, 0);
  } else if (bytes_[13] == 0) {
    std::fill(bytes_.begin() + 14, bytes_.begin() + 19, 0);
  }
}

bool IsFullDataText(std::string_view text) {
  return text.size() == kFullDataTextSize && IsHexText(text);
}

SignalBlock SignalBlockFromText(std::string_view data_text) {
  std::vector<unsigned char> bytes;
  const int count = HexTextToBytes(data_text, bytes);
  return SignalBlock(std::span<const unsigned char>(bytes.data(), count > 0 ? count : 0));
}

}  // namespace kavro
