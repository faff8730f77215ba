// The frames the controller understands, their text lines on the TCP link, and the rewriting of
// the network server's reply lines into the controller's reply bytes, so that one parser serves
// both transports. Pure functions: nothing here touches a port or a socket.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datafile/signal_block.h"

namespace kavro {

using Frame = std::vector<unsigned char>;

// An IR send frame: 'S' and the signal block.
inline constexpr int kIrSendFrameSize = 1 + static_cast<int>(kSignalBlockSize);
// A learn reply: 'G' and the signal block.
inline constexpr int kLearnReplySize = 1 + static_cast<int>(kSignalBlockSize);

// Queued once each time the serial port is opened, before the first frame. Never sent on TCP.
inline constexpr std::array<unsigned char, 5> kPreamble = {'X', 'X', 'X', 'X', 'X'};
// Sent on TCP after a learned code went into the main window's code table.
inline constexpr std::string_view kLearnDoneLine = "RAVIZ D\r\n";

Frame LearnRequestFrame();  // "L0"
// 'S' and the signal block; positions the block does not supply are 0. At most 29 bytes of
// `block` are used (callers refuse longer data texts before building the frame).
Frame IrSendFrame(std::span<const unsigned char> block);
Frame OutputFrame(int address, int data);  // address 0x00..0x0F, data byte
Frame InputFrame(int address);             // address 0x10..0x1F
Frame InputDataRequestFrame();             // 0x40

// The TCP line a frame becomes: "RAVIZ C\r\n" for a frame starting "L0"; "RAVIZ S53" and frame
// bytes 1..29 in hex (0 where the frame is shorter) and "\r\n" for a frame starting 'S'; no line
// for any other frame.
std::optional<std::string> FrameToLine(std::span<const unsigned char> frame);

// The reply bytes of the current exchange; byte 0 is the reply code.
struct ReplyBuffer {
  static constexpr int kSize = 256;
  std::array<unsigned char, kSize> bytes{};
  int count = 0;
};

enum class TcpReplyAction {
  kIgnore,       // nothing to do
  kShowText,     // show the received text as it is
  kShowMessage,  // show "MESSAGE"
  kParse,        // the reply buffer holds a reply: parse it
};

// True for a text that is the start of a reply line cut off by the network: a lone "R", or "RG"
// followed by fewer than 58 hex digits and nothing else (no line end). Such a text is held and
// put in front of the next read, so that a learned code split over two reads is not stored with
// its tail missing.
bool IsUnfinishedReplyLine(std::string_view text);

// How a text of the server's own ('E' lines) is shown: its line end dropped, control characters
// escaped ("\x1B") so that it cannot act on a terminal, and cut on a character boundary after
// kShownServerTextMax bytes with a mark saying how much was left out.
inline constexpr std::size_t kShownServerTextMax = 200;
std::string ShownServerText(std::string_view text);

// Applies one received text (up to its first NUL) to the reply buffer: "RG" and hex pairs
// become 'G' and the signal block with the count set to 30 (positions 1..29 not supplied are
// cleared), "RE" becomes 'E' and "RN" 'N' with count 1, any other 'R' line leaves the buffer as
// it stands.
TcpReplyAction RewriteTcpReply(std::string_view text, ReplyBuffer& reply);

}  // namespace kavro
