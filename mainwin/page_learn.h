// Learning a whole pad page: the keys in pad order, one after the other, each learned or skipped.
// Which key is next and what came of the others; the window does the learning and the showing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kavro {

class PageLearn {
 public:
  struct Key {
    std::size_t pad_key = 0;  // position in PadKeys()
    int send_key = 0;         // what the pad hands the link: key index plus the TV/VTR offset
    int code = 0;
    std::string name;  // the learned code's comment, "P1 TV VOL UP"
  };

  explicit PageLearn(std::vector<Key> keys) : keys_(std::move(keys)) {}

  // Every key of pad page 1..3 in the given TV/VTR offset, in pad order.
  static std::vector<Key> KeysOfPage(int page, int tv_vtr_offset);

  // The key to learn now; null once every key is done.
  const Key* Current() const { return at_ < keys_.size() ? &keys_[at_] : nullptr; }
  // The current key got its code; `incomplete` when the code looks cut short.
  void Learned(bool incomplete);
  void Skip();

  // "Push Controller! P1 TV VOL UP"
  std::string Prompt() const;
  // "Learned 3 keys: P1 TV 1, P1 TV 2 (incomplete), P1 TV 4; skipped 1"
  std::string Summary() const;
  // Anything learned or skipped: worth a summary box.
  bool AnyDone() const { return !learned_.empty() || skipped_ > 0; }

 private:
  std::vector<Key> keys_;
  std::size_t at_ = 0;
  std::vector<std::string> learned_;
  int skipped_ = 0;
};

}  // namespace kavro
