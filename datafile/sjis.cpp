#include "datafile/sjis.h"

namespace kavro {

std::string_view CutSjis(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[end]);
    const bool pair = IsSjisLeadByte(byte) && end + 1 < text.size();
    const std::size_t next = end + (pair ? 2 : 1);
    if (next > max_bytes) break;
    end = next;
  }
  return text.substr(0, end);
}

}  // namespace kavro
