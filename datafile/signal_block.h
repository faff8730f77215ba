// The 29 bytes a learned code stands for: bit piece durations, up to three frame headers with
// the pauses between them, and 80 data bits. Durations are in the controller's time unit.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace kavro {

inline constexpr std::size_t kSignalBlockSize = 29;
inline constexpr int kSignalFrameCount = 3;
inline constexpr int kSignalBitCount = 80;

class SignalBlock {
 public:
  SignalBlock() = default;
  // The first 29 of `bytes`; positions not supplied are zero.
  explicit SignalBlock(std::span<const unsigned char> bytes);

  const std::array<unsigned char, kSignalBlockSize>& bytes() const { return bytes_; }

  int LongTime() const { return bytes_[0]; }
  int ShortTime() const { return bytes_[1]; }
  // The variable piece of a 0 bit; 0 means the same as ShortTime.
  int AltTime() const { return bytes_[2]; }
  // Set: pulse width coding; clear: pulse distance coding. One flag for all frames.
  bool WidthCoding() const { return (bytes_[3] & 0x80) != 0; }

  // Frame header fields of frame 1..3 (other numbers give 0).
  int LeaderMark(int frame) const;   // 10 bits
  int LeaderSpace(int frame) const;  // 9 bits
  int BitCount(int frame) const;     // 7 bits

  // Pause between frames 1 and 2, and between frames 2 and 3 (15 bits each).
  int Gap1() const { return ((bytes_[7] & 0x7F) << 8) | bytes_[8]; }
  int Gap2() const { return ((bytes_[13] & 0x7F) << 8) | bytes_[14]; }
  bool HasFrame2() const { return (bytes_[7] & 0x80) != 0; }
  bool HasFrame3() const { return HasFrame2() && (bytes_[13] & 0x80) != 0; }

  // A block that holds no signal: byte 0 (the long time) or byte 19 (the first data bits) is
  // zero. Such a block is neither drawn nor taken as a learned code.
  bool IsEmpty() const { return bytes_[0] == 0 || bytes_[19] == 0; }

  // Data bit `index` (0..79), most significant bit of byte 19 first; out of range gives false.
  bool Bit(int index) const;

  // What a learn does to a fresh block: a zero byte 7 clears bytes 8..18, otherwise a zero
  // byte 13 clears bytes 14..18. The whole byte is tested, not only its presence bit.
  void ClearAbsentFrames();

 private:
  static int HeaderAt(int frame) { return 3 + 6 * (frame - 1); }
  static bool ValidFrame(int frame) { return frame >= 1 && frame <= kSignalFrameCount; }

  std::array<unsigned char, kSignalBlockSize> bytes_{};
};

// The block a stored data text stands for (HexTextToBytes); positions it does not give are 0.
SignalBlock SignalBlockFromText(std::string_view data_text);

// A data text that gives the whole block: two hex digits per byte, nothing else. What other
// programs hand the server to send.
inline constexpr std::size_t kFullDataTextSize = 2 * kSignalBlockSize;
bool IsFullDataText(std::string_view text);

}  // namespace kavro
