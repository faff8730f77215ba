#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kavro {

// First-in first-out bytes: appended at the back, taken from the front.
class ByteQueue {
 public:
  size_t size() const { return bytes_.size() - head_; }
  bool empty() const { return size() == 0; }

  void Append(const uint8_t* data, size_t count) {
    if (head_ != 0 && head_ >= bytes_.size() / 2) {
      bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    bytes_.insert(bytes_.end(), data, data + count);
  }

  size_t Take(uint8_t* out, size_t max) {
    const size_t n = std::min(max, size());
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(head_), n, out);
    head_ += n;
    if (head_ == bytes_.size()) Clear();
    return n;
  }

  void Clear() {
    bytes_.clear();
    head_ = 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t head_ = 0;
};

}  // namespace kavro
