#include "tools/kavro-cli/controller_session.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string_view>

#include "link/frames.h"
#include "serial/comm_error.h"
#include "serial/port_table.h"

namespace kavro::cli {
namespace {

using Clock = std::chrono::steady_clock;

// Runs Qt's events until `done` holds or `deadline` has passed; whether `done` held.
template <typename Done>
bool RunEventsUntil(Done done, Clock::time_point deadline = Clock::time_point::max()) {
  if (done()) return true;
  QEventLoop loop;
  QTimer poll;
  poll.setTimerType(Qt::PreciseTimer);
  bool held = false;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    held = done();
    if (held || Clock::now() >= deadline) loop.quit();
  });
  poll.start(1);
  loop.exec();
  return held;
}

// What the serial component allows one write to wait for the line (flow control).
constexpr std::chrono::milliseconds kLineDrainMax{3000};
constexpr std::uint32_t kClosedHandle = 0xFFFFFFFF;

}  // namespace

ControllerSession::ControllerSession(const LinkSettings& settings, LinkPage page, int tick_ms,
                                     bool verbose, std::ostream& out, std::ostream& err)
    : out_(out),
      err_(err),
      settings_(settings),
      page_(page),
      verbose_(verbose),
      ticks_(tick_ms),
      ui_(out, page) {
  link_.SetPortChoice(settings.port_choice);
  if (settings.port_choice == kTcpPort) {
    link_.SetTcpHost(settings.host);
    link_.SetTcpPort(settings.tcp_port);
  }
  // The windows show a failed connection in an error box and wait for the time-out; a command
  // that cannot reach the server has nothing to wait for.
  tcp_.SetErrorHandler([this](const std::string& text) {
    err_ << "kavro-cli: " << settings_.host << ':' << settings_.tcp_port << ": " << text << '\n';
    tcp_failed_ = true;
    ui_.SetFailed();
  });
  link_.SetTrafficObserver(
      [this](ControllerLink::Traffic traffic, std::span<const unsigned char> bytes) {
        Observe(traffic, bytes);
      });
}

ControllerSession::~ControllerSession() { link_.CloseLink(); }

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
  if (settings_.port_choice != kTcpPort) return Say(out_, std::string(prefix) + HexOf(bytes));

  // On the TCP link the lines themselves, without their line ends.
  std::string text;
  if (frame) {
    const std::optional<std::string> line = FrameToLine(bytes);
    text = line ? *line : "(" + HexOf(bytes) + ": not sent on TCP)";
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
    const int port = settings_.port_choice;
    err_ << "kavro-cli: COM" << port << " (" << PortTable::DevicePath(port) << "): " << e.what()
         << '\n';
    ui_.SetFailed();
    return false;
  }
}

bool ControllerSession::Finished() const {
  return tcp_failed_ ||
         (link_.State() == kIdle && !ticks_.Enabled() && !link_.TransmitPending());
}

void ControllerSession::Finish() {
  RunEventsUntil([this] { return Finished(); });
  const bool serial_open = link_.LinkPort() != kLinkClosed && link_.LinkPort() != kTcpPort;
  if (serial_open && unanswered_bytes_ > 0) LetTheLineSend();
  link_.CloseLink();
}

// The component has handed its bytes to the driver, but closing the port purges the driver's
// queue and a pseudo-terminal's unread input: wait until the driver's queue is empty and then
// for the time the bytes need on the line, so that a frame without a reply (an output write)
// is not lost.
void ControllerSession::LetTheLineSend() {
  if (commx_.Handle() == kClosedHandle) return;
  const bool drained = RunEventsUntil([this] { return commx_.GetDriverTransLength() == 0; },
                                      Clock::now() + kLineDrainMax);
  if (!drained) {
    err_ << "kavro-cli: COM" << settings_.port_choice
         << ": the line did not take the bytes (is the controller ready?)\n";
    ui_.SetFailed();
    return;
  }
  // Start bit, 8 data bits and a stop bit per byte.
  const int bit_rate = std::max(1, commx_.BitRate());
  const auto line_time =
      std::chrono::microseconds(1000000LL * 10 * unanswered_bytes_ / bit_rate + 1000);
  const Clock::time_point until = Clock::now() + line_time;
  RunEventsUntil([] { return false; }, until);
}

}  // namespace kavro::cli
