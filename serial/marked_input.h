#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

// Decodes input read with error marking on (parity checking with marks, no stripping of the
// eighth bit): "\377\377" stands for a data byte 0xFF, "\377\0\0" for a break, and "\377\0X"
// for a character X that arrived with a parity or framing error. A mark may be split across
// reads; the decoder keeps its place until Reset().
class MarkedInputDecoder {
 public:
  struct Counts {
    uint32_t breaks = 0;
    uint32_t errorChars = 0;
  };

  // Appends the data bytes of `in` to `out` (an error character is kept as data, a break is
  // not) and adds the breaks and error characters found to `counts`.
  void Decode(const uint8_t* in, size_t size, std::vector<uint8_t>& out, Counts& counts);
  void Reset() { state_ = State::Plain; }

 private:
  enum class State : uint8_t { Plain, Mark, MarkZero };
  State state_ = State::Plain;
};

}  // namespace kavro
