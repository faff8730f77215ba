// The HTTP JSON API under /api/v1: requests in, answers out, with the queue and the store behind
// an interface, so every route can be tested and fuzzed without sockets or a controller.
//
// Every request needs "Authorization: Bearer <token>" (401 otherwise). Code numbers are integers
// 0..9999. Errors are {"error": "..."}: 400 bad input, 404 unknown route or code, 405 wrong
// method, 502 the controller refused, 503 queue full or controller offline, 504 time-out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "server/code_store.h"
#include "server/exchange.h"
#include "server/http_types.h"
#include "server/json_text.h"
#include "server/request_queue.h"

namespace kavro::server {

struct ServerStatus {
  std::string link;    // "COM1"
  std::string device;  // "/dev/ttyUSB0"
  bool online = false;
  std::size_t queue = 0;
  long long sent = 0;
  long long learned = 0;
  long long errors = 0;
};

class ApiBackend {
 public:
  enum class Admission { kQueued, kFull, kOffline };
  virtual ~ApiBackend() = default;
  // Queues an exchange; `reply` is called when it has ended (only when queued).
  virtual Admission Submit(ClientId client, Exchange exchange, RequestQueue::Reply reply) = 0;
  virtual ServerStatus Status() const = 0;
};

// Learn jobs are queued for this client, which never goes away: a learn runs to its end and
// stores its code whether or not anyone still asks.
inline constexpr ClientId kNoClient = 0;

class ApiRoutes {
 public:
  using Respond = std::function<void(HttpResponse)>;
  static constexpr int kMaxRepeat = 20;
  // Jobs kept for GET /jobs/{id}; the oldest finished ones go first.
  static constexpr std::size_t kMaxJobs = 256;

  ApiRoutes(ApiBackend& backend, CodeStore& store, TextCodec codec, std::string token);

  // Answers `request` through `respond`, exactly once: at once, or when the controller has
  // answered. `client` stands for the request in the queue.
  void Handle(const HttpRequest& request, ClientId client, const Respond& respond);

  // Whether `authorization` carries the token; compared in constant time.
  bool Authorized(std::string_view authorization) const;

 private:
  struct Job {
    std::string state = "queued";
    std::string data;
    std::string error;
  };

  void Route(const HttpRequest& request, ClientId client, const Respond& respond);
  void SendCode(int number, const std::string& body, ClientId client, const Respond& respond);
  void Run(ClientId client, Exchange exchange, const Respond& respond);
  void Learn(const std::string& body, const Respond& respond);
  void PutCode(int number, const std::string& body, const Respond& respond);
  HttpResponse Metrics() const;
  void ForgetOldJobs();

  ApiBackend& backend_;
  CodeStore& store_;
  const TextCodec codec_;
  const std::string token_;
  std::map<std::uint64_t, Job> jobs_;
  std::uint64_t next_job_ = 1;
};

}  // namespace kavro::server
