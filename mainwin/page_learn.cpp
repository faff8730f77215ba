#include "mainwin/page_learn.h"

#include <span>

#include "datafile/pad_keys.h"
#include "link/link_messages.h"

namespace kavro {

std::vector<PageLearn::Key> PageLearn::KeysOfPage(int page, int tv_vtr_offset) {
  std::vector<Key> keys;
  const std::span<const PadKey> pad = PadKeys();
  for (std::size_t i = 0; i < pad.size(); ++i) {
    const int send_key = SentKeyIndex(pad[i], tv_vtr_offset);
    const int code = PadCode(page, send_key);
    keys.push_back({i, send_key, code, PadLearnComment(code)});
  }
  return keys;
}

void PageLearn::Learned(bool incomplete) {
  if (const Key* key = Current()) {
    learned_.push_back(incomplete ? key->name + " (incomplete)" : key->name);
    ++at_;
  }
}

void PageLearn::Skip() {
  if (Current() == nullptr) return;
  ++skipped_;
  ++at_;
}

std::string PageLearn::Prompt() const {
  const Key* key = Current();
  return std::string(link_msg::kPushController) + (key ? " " + key->name : std::string());
}

std::string PageLearn::Summary() const {
  std::string text =
      "Learned " + std::to_string(learned_.size()) + (learned_.size() == 1 ? " key" : " keys");
  for (std::size_t i = 0; i < learned_.size(); ++i) text += (i == 0 ? ": " : ", ") + learned_[i];
  return text + "; skipped " + std::to_string(skipped_);
}

}  // namespace kavro
