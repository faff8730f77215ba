// The controller behind the server's queue: a ControllerStack on one serial port, running one
// queued exchange at a time with the link's own time-outs, and watching the device. A device
// that cannot be opened or goes away puts the runner offline: queued and new requests fail at
// once, and opening is tried again with a back-off doubling up to kMaxBackoff.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "link/controller_stack.h"
#include "link/link_ui.h"
#include "server/api_routes.h"
#include "server/exchange.h"
#include "server/request_queue.h"

namespace kavro::server {

class ControllerRunner : public QObject, private WindowlessUi {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kFirstBackoff{500};
  static constexpr std::chrono::milliseconds kMaxBackoff{30000};
  // Sees every finished exchange of every front end (repeats one by one), after its request was
  // answered (a learned code is stored by then).
  using Observer = std::function<void(const Exchange&, const Result&)>;
  // Told when the controller goes online or offline.
  using OnlineObserver = std::function<void(bool online)>;

  // `port` is 1..5 (COM1..COM5); `log` gets one line per state change, and with `verbose` the
  // traffic too.
  ControllerRunner(int port, std::size_t queue_limit, bool verbose, std::ostream& log,
                   QObject* parent = nullptr);
  ~ControllerRunner() override;

  // Opens the port (or starts retrying) and begins serving the queue.
  void Start();
  // Lets the exchange in progress finish (within `patience`), answers the queued requests
  // "controller offline", and closes the port.
  void Stop(std::chrono::milliseconds patience);

  ApiBackend::Admission Submit(ClientId client, Exchange exchange, RequestQueue::Reply reply);
  void DropClient(ClientId client) { queue_.DropClient(client); }
  ServerStatus Status() const;
  bool Online() const { return online_; }
  void SetObserver(Observer observer) { observer_ = std::move(observer); }
  void SetOnlineObserver(OnlineObserver observer) { online_observer_ = std::move(observer); }

  // The retry delay for tests: the back-off starts at `first` instead of kFirstBackoff.
  void SetFirstBackoff(std::chrono::milliseconds first) { first_backoff_ = backoff_ = first; }

 private:
  // The server has no screen: the link's messages (frames included, as on the I/O page) go to
  // the log when verbose; learned codes come through the link's end observer.
  void MsgOut(std::string_view text) override;
  void LearnData(std::string_view) override {}

  void ScheduleNext();
  void RunNext();
  // Starts `exchange` on the link; a result when it ended at once.
  std::optional<Result> Begin(const Exchange& exchange);
  void OnEnd(const ExchangeEnd& end);
  void Finish(const Result& result);
  bool TryOpen();
  void GoOffline(const std::string& why);

  const int port_;
  const bool verbose_;
  std::ostream& log_;
  ControllerStack stack_;
  RequestQueue queue_;
  std::optional<Exchange> running_;
  bool online_ = false;
  bool offline_said_ = false;
  bool stopping_ = false;
  bool next_scheduled_ = false;
  std::chrono::milliseconds first_backoff_ = kFirstBackoff;
  std::chrono::milliseconds backoff_ = kFirstBackoff;
  QTimer retry_;
  long long sent_ = 0, learned_ = 0, errors_ = 0;
  Observer observer_;
  OnlineObserver online_observer_;
};

}  // namespace kavro::server
