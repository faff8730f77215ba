#include "tools/kavro-cli/controller_session.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string_view>

#include "datafile/hex_text.h"
#include "link/frames.h"
#include "serial/comm_error.h"
#include "serial/port_table.h"

namespace kavro::cli {
namespace {

using Clock = std::chrono::steady_clock;

// What the serial component allows one write to wait for the line (flow control).
constexpr std::chrono::milliseconds kLineDrainMax{3000};
constexpr std::uint32_t kClosedHandle = 0xFFFFFFFF;
// The longest single wait; only a deadline that far away ever needs more than one.
constexpr std::chrono::milliseconds kLongestWait{60000};

// The time `bytes` take on the line: start bit, 8 data bits and a stop bit each, and a
// millisecond for the driver.
std::chrono::microseconds LineTime(int bytes, int bit_rate) {
  return std::chrono::microseconds(1000000LL * 10 * bytes / std::max(1, bit_rate) + 1000);
}

}  // namespace

ControllerSession::ControllerSession(const LinkSettings& settings, LinkPage page, int tick_ms,
                                     bool verbose, bool raw, std::ostream& out, std::ostream& err)
    : out_(out),
      err_(err),
      settings_(settings),
      page_(page),
      verbose_(verbose),
      ui_(out, page, raw),
      stack_(ui_, nullptr, tick_ms) {
  link_.SetPortChoice(settings.port_choice);
  if (settings.port_choice == kTcpPort) {
    link_.SetTcpHost(settings.host);
    link_.SetTcpPort(settings.tcp_port);
  }
  // The windows show a failed connection in an error box and wait for the time-out; a command
  // that cannot reach the server has nothing to wait for.
  stack_.Tcp().SetErrorHandler([this](const std::string& text) {
    err_ << "kavro-cli: " << settings_.host << ':' << settings_.tcp_port << ": " << text << '\n';
    tcp_failed_ = true;
    ui_.SetFailed();
  });
  link_.SetTrafficObserver(
      [this](ControllerLink::Traffic traffic, std::span<const unsigned char> bytes) {
        Observe(traffic, bytes);
      });
}

ControllerSession::~ControllerSession() = default;

void ControllerSession::Observe(ControllerLink::Traffic traffic,
                                std::span<const unsigned char> bytes) {
  const bool frame = traffic == ControllerLink::Traffic::kFrame;
  if (frame) {
    // The first frame opens the port, which queues the preamble before it.
    if (frames_++ == 0) unanswered_bytes_ += static_cast<int>(kPreamble.size());
    unanswered_bytes_ += static_cast<int>(bytes.size());
  } else {
    unanswered_bytes_ = 0;
  }
  // The I/O page logs every frame and reply itself.
  if (!verbose_ || page_ == LinkPage::kIo) return;
  const std::string_view prefix = frame ? " S:" : " R:";
  if (settings_.port_choice != kTcpPort)
    return Say(out_, std::string(prefix) + BytesToHexText(bytes));

  // On the TCP link the lines themselves, without their line ends.
  std::string text;
  if (frame) {
    const std::optional<std::string> line = FrameToLine(bytes);
    text = line ? *line : "(" + BytesToHexText(bytes) + ": not sent on TCP)";
  } else {
    text.assign(bytes.begin(), bytes.end());
  }
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) Say(out_, std::string(prefix) + text.substr(begin, end - begin));
    begin = end + 1;
  }
}

bool ControllerSession::Start(const std::function<void()>& operation) {
  try {
    operation();
    return true;
  } catch (const ECommError& e) {
    // The error names the port, its device and the system's reason.
    err_ << "kavro-cli: " << e.what() << '\n';
    ui_.SetFailed();
    return false;
  }
}

// Sleeps in the event loop until an event (a tick, a reply, a socket event, the transmit queue
// running empty) may have made `done` true, or until the deadline: no polling.
template <typename Done>
bool ControllerSession::WaitUntil(Done done, Clock::time_point deadline) {
  while (!done()) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return false;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    stack_.Dispatcher().WaitAndProcess(std::min(left, kLongestWait));
  }
  return true;
}

bool ControllerSession::Finished() const {
  return tcp_failed_ ||
         (link_.State() == kIdle && !stack_.Ticks().Enabled() && !link_.TransmitPending());
}

void ControllerSession::Finish() {
  WaitUntil([this] { return Finished(); }, Clock::time_point::max());
  const bool serial_open = link_.LinkPort() != kLinkClosed && link_.LinkPort() != kTcpPort;
  if (serial_open && unanswered_bytes_ > 0) LetTheLineSend();
  link_.CloseLink();
}

// The component has handed its bytes to the driver, but closing the port purges the driver's
// queue and a pseudo-terminal's unread input: wait until the driver's queue is empty and then
// for the time the bytes need on the line, so that a frame without a reply (an output write)
// is not lost. The driver tells nobody when its queue drains: each wait lasts as long as the
// bytes it still holds need on the line.
void ControllerSession::LetTheLineSend() {
  if (stack_.Commx().Handle() == kClosedHandle) return;
  const int bit_rate = stack_.Commx().BitRate();
  const Clock::time_point give_up = Clock::now() + kLineDrainMax;
  for (int held; (held = stack_.Commx().GetDriverTransLength()) > 0;) {
    if (Clock::now() >= give_up) {
      err_ << "kavro-cli: " << PortTable::Describe(settings_.port_choice)
           << ": the line did not take the bytes (is the controller ready?)\n";
      ui_.SetFailed();
      return;
    }
    WaitUntil([] { return false; }, std::min(give_up, Clock::now() + LineTime(held, bit_rate)));
  }
  WaitUntil([] { return false; }, Clock::now() + LineTime(unanswered_bytes_, bit_rate));
}

}  // namespace kavro::cli
