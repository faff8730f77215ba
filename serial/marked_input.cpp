#include "serial/marked_input.h"

namespace kavro {

void MarkedInputDecoder::Decode(const uint8_t* in, size_t size, std::vector<uint8_t>& out,
                                Counts& counts) {
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = in[i];
    switch (state_) {
      case State::Plain:
        if (b == 0xFF) {
          state_ = State::Mark;
        } else {
          out.push_back(b);
        }
        break;
      case State::Mark:
        if (b == 0xFF) {
          out.push_back(0xFF);
          state_ = State::Plain;
        } else if (b == 0x00) {
          state_ = State::MarkZero;
        } else {
          // Not a mark the driver makes: keep both bytes rather than lose one.
          out.push_back(0xFF);
          out.push_back(b);
          state_ = State::Plain;
        }
        break;
      case State::MarkZero:
        if (b == 0x00) {
          ++counts.breaks;
        } else {
          ++counts.errorChars;
          out.push_back(b);
        }
        state_ = State::Plain;
        break;
    }
  }
}

}  // namespace kavro
