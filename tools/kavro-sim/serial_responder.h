#pragma once
// The controller's side of the serial protocol: a parser of the byte stream the program writes
// (no framing: frames may arrive split or back to back) and the answer to each frame.
//
// Parsing: the first byte held selects the frame and so its length:
//   0x58 'X'    opening preamble, five 0x58 bytes        no answer
//   0x4C 'L'    learn request "L0"                       [prefix] then 'G' + 29 bytes, or 'N'
//   0x53 'S'    IR send frame, 'S' and any 29 bytes      'E' or the chosen error bytes
//   0x00..0x0F  output frame: address, any data byte     no answer; the port takes the value
//   0x10..0x1F  input frame                              the port's value
//   0x40        input data request                       the input data value
// A byte that starts no frame, or starts one that the next bytes contradict ('L' not followed
// by '0', 'X' followed by something else within five bytes), is skipped alone and parsing
// goes on at the next byte; the skipped bytes of one pass are logged together as "unknown".
// Data bytes (of 'S' and output frames) are never checked, since any value is valid there.
// A frame still unfinished after the frame gap without a byte is given up the same way, so a
// raw frame such as a lone 'S' cannot swallow the frames that follow it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "tools/kavro-sim/received.h"
#include "tools/kavro-sim/sim_options.h"

namespace kavro::sim {

using Millis = std::int64_t;

class SerialResponder {
 public:
  explicit SerialResponder(const SimOptions& options);

  // Takes bytes received at `now`; returns every frame finished by them, in order.
  std::vector<Received> feed(Millis now, const std::uint8_t* data, std::size_t size);
  // Gives up an unfinished frame whose last byte came a frame gap or more before `now`.
  std::vector<Received> expire(Millis now);
  // When expire() will have work; nullopt when no frame is unfinished or the gap is off.
  std::optional<Millis> deadline() const;

  std::uint8_t inputValue(int port) const;

 private:
  enum class Match { Complete, Partial, Unknown };
  Match match(std::size_t& length) const;
  Received respond(std::size_t length);
  void parse(std::vector<Received>& out, bool giveUp);

  const SimOptions options_;
  Bytes held_;
  Bytes skipped_;
  Millis lastArrival_ = 0;
  std::array<std::optional<std::uint8_t>, 16> ports_{};
};

}  // namespace kavro::sim
