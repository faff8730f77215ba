#include "link/frames.h"

#include <algorithm>

#include "datafile/hex_text.h"
#include "datafile/sjis.h"
#include "link/sjis_utf8.h"

namespace kavro {

Frame LearnRequestFrame() { return Frame{'L', '0'}; }

Frame IrSendFrame(std::span<const unsigned char> block) {
  Frame frame(kIrSendFrameSize, 0);
  frame[0] = 'S';
  const std::size_t n = std::min<std::size_t>(block.size(), kSignalBlockSize);
  std::copy_n(block.begin(), n, frame.begin() + 1);
  return frame;
}

Frame OutputFrame(int address, int data) {
  return Frame{static_cast<unsigned char>(address), static_cast<unsigned char>(data)};
}

Frame InputFrame(int address) { return Frame{static_cast<unsigned char>(address)}; }

Frame InputDataRequestFrame() { return Frame{0x40}; }

std::optional<std::string> FrameToLine(std::span<const unsigned char> frame) {
  if (frame.size() >= 2 && frame[0] == 'L' && frame[1] == '0') return std::string("RAVIZ C\r\n");
  if (!frame.empty() && frame[0] == 'S') {
    std::array<unsigned char, kSignalBlockSize> block{};
    std::copy_n(frame.begin() + 1, std::min(frame.size() - 1, block.size()), block.begin());
    std::string line = "RAVIZ S53";
    line += BytesToHexText(block);
    line += "\r\n";
    return line;
  }
  return std::nullopt;
}

bool IsUnfinishedReplyLine(std::string_view text) {
  if (text.empty() || text[0] != 'R') return false;
  if (text.size() == 1) return true;
  if (text[1] != 'G') return false;
  const std::string_view digits = text.substr(2);
  if (digits.size() >= 2 * kSignalBlockSize) return false;
  for (char c : digits)
    if (HexDigitValue(c) < 0) return false;
  return true;
}

std::string ShownServerText(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  const std::string_view kept = CutSjis(text, kShownServerTextMax);
  std::string shown = EscapeControlBytes(kept);
  if (kept.size() < text.size())
    shown += "...(" + std::to_string(text.size() - kept.size()) + " more bytes)";
  return shown;
}

TcpReplyAction RewriteTcpReply(std::string_view text, ReplyBuffer& reply) {
  text = text.substr(0, text.find('\0'));
  if (text.empty()) return TcpReplyAction::kIgnore;
  switch (text[0]) {
    case 'E': return TcpReplyAction::kShowText;
    case 'M': return TcpReplyAction::kShowMessage;
    case 'R': break;
    default: return TcpReplyAction::kIgnore;
  }
  if (text.size() >= 2 && text[1] == 'G') {
    reply.bytes[0] = 'G';
    // A short line must not leave bytes of an earlier reply in the signal block.
    std::fill(reply.bytes.begin() + 1, reply.bytes.begin() + 1 + kSignalBlockSize, 0);
    std::size_t pos = 2;
    int out = 1;
    while (out < ReplyBuffer::kSize && pos + 1 < text.size()) {
      const int high = HexDigitValue(text[pos]);
      const int low = HexDigitValue(text[pos + 1]);
      if (high < 0 || low < 0) break;
      reply.bytes[out++] = static_cast<unsigned char>(high * 16 + low);
      pos += 2;
    }
    reply.count = kLearnReplySize;
  } else if (text.size() >= 2 && (text[1] == 'E' || text[1] == 'N')) {
    // "RN" is a learn the server could not make: the controller's 'N', so the user hears of it
    // at once instead of after the time-out.
    reply.bytes[0] = static_cast<unsigned char>(text[1]);
    reply.count = 1;
  }
  return TcpReplyAction::kParse;
}

}  // namespace kavro
