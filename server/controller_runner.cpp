#include "server/controller_runner.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cstdio>
#include <ostream>

#include "serial/comm_error.h"
#include "serial/port_table.h"

namespace kavro::server {
namespace {

std::string Hex(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

const char* KindName(Exchange::Kind kind) {
  switch (kind) {
    case Exchange::Kind::kSend: return "send";
    case Exchange::Kind::kLearn: return "learn";
    case Exchange::Kind::kPortOut: return "port out";
    case Exchange::Kind::kPortIn: return "port in";
    case Exchange::Kind::kInputData: return "input";
  }
  return "?";
}

Result Offline() { return Result(Result::Kind::kOffline); }

}  // namespace

ControllerRunner::ControllerRunner(int port, std::size_t queue_limit, bool verbose,
                                   std::ostream& log, QObject* parent)
    : QObject(parent),
      WindowlessUi(LinkPage::kIo),
      port_(port),
      verbose_(verbose),
      log_(log),
      stack_(*this),
      queue_(queue_limit) {
  stack_.Link().SetPortChoice(port);
  stack_.Link().SetEndObserver([this](const ExchangeEnd& end) { OnEnd(end); });
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, [this] {
    if (!stopping_ && !online_ && TryOpen()) ScheduleNext();
  });
}

ControllerRunner::~ControllerRunner() {
  stack_.Link().SetEndObserver(nullptr);
  stopping_ = true;
}

void ControllerRunner::Start() {
  if (!TryOpen()) return;
  ScheduleNext();
}

void ControllerRunner::Stop(std::chrono::milliseconds patience) {
  stopping_ = true;
  retry_.stop();
  const QDeadlineTimer deadline(patience.count());
  while (running_ && !deadline.hasExpired())
    stack_.Dispatcher().WaitAndProcess(std::chrono::milliseconds(20));
  queue_.FailQueued(Offline());
  // The last frame must reach the line before the port is closed (closing drops what the driver
  // still holds).
  while (stack_.Link().TransmitPending() && !deadline.hasExpired())
    stack_.Dispatcher().WaitAndProcess(std::chrono::milliseconds(5));
  stack_.Link().CloseLink();
  online_ = false;
}

ApiBackend::Admission ControllerRunner::Submit(ClientId client, Exchange exchange,
                                               RequestQueue::Reply reply) {
  if (!online_ || stopping_) return ApiBackend::Admission::kOffline;
  if (!queue_.Push(client, std::move(exchange), std::move(reply)))
    return ApiBackend::Admission::kFull;
  ScheduleNext();
  return ApiBackend::Admission::kQueued;
}

ServerStatus ControllerRunner::Status() const {
  ServerStatus status;
  status.link = "COM" + std::to_string(port_);
  status.device = PortTable::DevicePath(port_);
  status.online = online_;
  status.queue = queue_.Depth();
  status.sent = sent_;
  status.learned = learned_;
  status.errors = errors_;
  return status;
}

void ControllerRunner::MsgOut(std::string_view text) {
  if (verbose_ && !text.empty()) log_ << "link: " << text << std::endl;
}

// A queued call, so the next exchange never starts inside the link's own reply handling.
void ControllerRunner::ScheduleNext() {
  if (next_scheduled_) return;
  next_scheduled_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        next_scheduled_ = false;
        RunNext();
      },
      Qt::QueuedConnection);
}

void ControllerRunner::RunNext() {
  while (!running_ && online_ && !stopping_) {
    std::optional<Exchange> exchange = queue_.StartNext();
    if (!exchange) return;
    running_ = std::move(exchange);
    if (std::optional<Result> at_once = Begin(*running_)) Finish(*at_once);
  }
}

std::optional<Result> ControllerRunner::Begin(const Exchange& exchange) {
  ControllerLink& link = stack_.Link();
  try {
    switch (exchange.kind) {
      case Exchange::Kind::kSend:
        switch (link.SendIrData(exchange.data)) {
          case kSendStarted: return std::nullopt;
          case kSendEmpty: return Result{Result::Kind::kRefused, -1, {}, "the code has no data"};
          case kSendTooLong:
            return Result{Result::Kind::kRefused, -1, {}, "the data text is longer than 58 digits"};
          case kSendBusy: return Result{Result::Kind::kRefused, -1, {}, "the link is busy"};
        }
        return std::nullopt;
      case Exchange::Kind::kLearn:
        if (link.SetLearnMode() == kLearnStarted) return std::nullopt;
        link.LearnModeOff();
        return Result{Result::Kind::kRefused, -1, {}, "the link is busy"};
      case Exchange::Kind::kPortOut:
        link.OutPort(Hex(exchange.address), Hex(exchange.value));
        // An output write has no reply: done once the frame is on its way.
        return Result(Result::Kind::kDone);
      case Exchange::Kind::kPortIn: link.InPort(Hex(exchange.address)); break;
      case Exchange::Kind::kInputData: link.InData(); break;
    }
  } catch (const ECommError& e) {
    GoOffline(e.what());
    return Offline();
  }
  return link.Busy() ? std::nullopt : std::optional<Result>(Result{Result::Kind::kRefused});
}

void ControllerRunner::OnEnd(const ExchangeEnd& end) {
  Result result;
  switch (end.kind) {
    case ExchangeEnd::Kind::kDone: result = Result{Result::Kind::kDone, end.reply}; break;
    case ExchangeEnd::Kind::kLearned: result = Result{Result::Kind::kLearned, -1, end.data}; break;
    case ExchangeEnd::Kind::kLearnFailed: result = Result{Result::Kind::kLearnFailed}; break;
    case ExchangeEnd::Kind::kControllerError:
      result = Result{Result::Kind::kControllerError, end.reply};
      break;
    case ExchangeEnd::Kind::kTimeout:
    case ExchangeEnd::Kind::kCancelled: result = Result{Result::Kind::kTimeout}; break;
    case ExchangeEnd::Kind::kDeviceGone:
      GoOffline(PortTable::Describe(port_) + " disappeared");
      result = Offline();
      break;
  }
  // A learn that failed leaves learn mode on for the windows' next key; here nothing follows.
  stack_.Link().LearnModeOff();
  if (running_) Finish(result);
}

void ControllerRunner::Finish(const Result& result) {
  const Exchange exchange = std::move(*running_);
  running_.reset();
  if (exchange.kind == Exchange::Kind::kSend && result.Ok()) ++sent_;
  if (result.kind == Result::Kind::kLearned) ++learned_;
  if (!result.Ok()) ++errors_;
  if (verbose_)
    log_ << KindName(exchange.kind) << ": "
         << (result.Ok() ? std::string("done") : FailureText(result)) << std::endl;
  queue_.Finish(result);
  if (observer_) observer_(exchange, result);
  ScheduleNext();
}

bool ControllerRunner::TryOpen() {
  try {
    stack_.Link().Open();
  } catch (const ECommError& e) {
    GoOffline(e.what());
    return false;
  }
  const bool was_online = online_;
  online_ = true;
  offline_said_ = false;
  if (!was_online) {
    log_ << "online " << PortTable::Describe(port_) << std::endl;
    if (online_observer_) online_observer_(true);
  }
  backoff_ = first_backoff_;
  return true;
}

void ControllerRunner::GoOffline(const std::string& why) {
  // Said once per outage, not at every retry.
  if (online_ || !offline_said_) log_ << "offline: " << why << "; trying again" << std::endl;
  offline_said_ = true;
  const bool was_online = online_;
  online_ = false;
  if (was_online && online_observer_) online_observer_(false);
  stack_.Link().CloseLink();
  queue_.FailQueued(Offline());
  if (stopping_) return;
  retry_.start(backoff_);
  backoff_ = std::min(backoff_ * 2, kMaxBackoff);
}

}  // namespace kavro::server
