// Fuzz target over the HTTP API's routes, with a fake backend and a data file of a few codes.
// Whatever the request: it is answered exactly once, with a status of the API and a JSON body
// where it says JSON; 401 exactly when the token is wrong; only well-formed exchanges reach the
// backend; a learn job ends "done" exactly when its code was learned.
//
// Input: the method, the path (a query after '?'), the Authorization header and the body, the
// first three ended by a line feed. The input's size picks how the backend behaves: size % 4
// keeps the exchange and ends it after Handle returns, ends it inside Submit, or refuses it as
// full or offline; (size / 4) % 7 picks the result it ends with.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "datafile/hex_text.h"
#include "server/api_routes.h"

namespace {

using kavro::server::ApiBackend;
using kavro::server::ApiRoutes;
using kavro::server::ClientId;
using kavro::server::CodeStore;
using kavro::server::Exchange;
using kavro::server::HttpRequest;
using kavro::server::HttpResponse;
using kavro::server::Json;
using kavro::server::kNoClient;
using kavro::server::RequestQueue;
using kavro::server::Result;
using kavro::server::ServerStatus;
using kavro::server::TextCodec;

constexpr std::string_view kToken = "fuzz-token";
constexpr ClientId kClient = 9;
const std::string kLearnedData = "6020000200430000000000000000000000000020DF10EF000000000000";

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// A folder of our own, in memory where the machine has one. Never destroyed, so that the
// clean-up at exit can still name it.
const std::string& ScratchDir() {
  static const std::string& dir = *new std::string([] {
    struct stat st;
    std::string templ = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) ? "/dev/shm" : "/tmp";
    templ += "/kavro-routes-fuzz-XXXXXX";
    Check(mkdtemp(templ.data()) != nullptr, "no scratch folder");
    std::atexit([] {
      for (const char* name : {"/fuzz.dat", "/fuzz.dat.lock"})
        unlink((ScratchDir() + name).c_str());
      rmdir(ScratchDir().c_str());
    });
    return templ;
  }());
  return dir;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Result ResultFor(std::size_t pick) {
  using K = Result::Kind;
  switch (pick % 7) {
    case 0: return Result(K::kDone, static_cast<int>(pick & 0xFF));
    case 1: return Result(K::kLearned, -1, kLearnedData);
    case 2: return Result(K::kLearnFailed);
    case 3: return Result(K::kControllerError, 0x4E);
    case 4: return Result(K::kTimeout);
    case 5: return Result(K::kOffline);
    default: return Result(K::kRefused, -1, "", "refused");
  }
}

bool AllHex(std::string_view text) {
  for (char c : text)
    if (kavro::HexDigitValue(c) < 0) return false;
  return true;
}

void CheckExchange(ClientId client, const Exchange& exchange) {
  switch (exchange.kind) {
    case Exchange::Kind::kSend:
      Check(!exchange.data.empty() && exchange.data.size() <= 58 && AllHex(exchange.data),
            "send of a bad data text");
      Check(exchange.repeat >= 1 && exchange.repeat <= ApiRoutes::kMaxRepeat, "bad repeat");
      break;
    case Exchange::Kind::kPortOut:
      Check(exchange.address >= 0 && exchange.address <= 0x0F, "bad output port");
      Check(exchange.value >= 0 && exchange.value <= 0xFF, "bad output value");
      break;
    case Exchange::Kind::kPortIn:
      Check(exchange.address >= 0x10 && exchange.address <= 0x1F, "bad input port");
      break;
    case Exchange::Kind::kLearn:
    case Exchange::Kind::kInputData: break;
  }
  Check(client == (exchange.kind == Exchange::Kind::kLearn ? kNoClient : kClient),
        "queued for the wrong client");
}

class Backend : public ApiBackend {
 public:
  Backend(std::size_t mode, Result result) : mode_(mode), result_(std::move(result)) {}

  Admission Submit(ClientId client, Exchange exchange, RequestQueue::Reply reply) override {
    CheckExchange(client, exchange);
    if (mode_ == 2) return Admission::kFull;
    if (mode_ == 3) return Admission::kOffline;
    kept_.push_back({std::move(exchange), std::move(reply)});
    if (mode_ == 1) Finish();
    return Admission::kQueued;
  }
  ServerStatus Status() const override {
    return {"COM1", "/dev/null", true, kept_.size(), 1, 2, 3};
  }

  // Runs every kept exchange as the queue would: started once, then ended.
  void Finish() {
    while (!kept_.empty()) {
      auto [exchange, reply] = std::move(kept_.front());
      kept_.erase(kept_.begin());
      if (exchange.on_start) exchange.on_start();
      reply(result_);
    }
  }
  const Result& result() const { return result_; }

 private:
  const std::size_t mode_;
  const Result result_;
  std::vector<std::pair<Exchange, RequestQueue::Reply>> kept_;
};

std::string_view Line(std::string_view& rest) {
  const std::size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  return line;
}

struct Answered {
  int count = 0;
  HttpResponse response;
};

void CheckResponse(const Answered& answered) {
  static const std::set<int> kStatuses = {200, 201, 202, 204, 400, 401,
                                          404, 405, 500, 502, 503, 504};
  Check(answered.count == 1, "not answered exactly once");
  const HttpResponse& response = answered.response;
  Check(kStatuses.count(response.status) == 1, "a status the API does not give");
  if (response.status == 204) {
    Check(response.body.empty(), "a body with 204");
  } else if (response.content_type == "application/json") {
    Check(!Json::parse(response.body, nullptr, false).is_discarded(), "a body that is not JSON");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  HttpRequest request;
  request.method = Line(rest);
  std::string_view target = Line(rest);
  if (const std::size_t question = target.find('?'); question != std::string_view::npos) {
    request.query = target.substr(question + 1);
    target = target.substr(0, question);
  }
  request.path = target;
  request.authorization = Line(rest);
  request.body = rest;

  const std::string path = ScratchDir() + "/fuzz.dat";
  WriteFile(path,
            "\r\n[COMMON]\r\nCOM=1\r\nTV_VTR=1\r\n[EXT]\r\nmsg11=\x83\x65\x83\x8C\x83\x72\r\n"
            "msg36=ABCDEFGHIJKLMNOPQR\x83\x65\r\n\r\n[Data]\r\n0001=" +
                kLearnedData + " tv power\r\n" +
                "0002=6020000200430088B00200028000000000000020DF40BF000000000000 \x83\x65\r\n" +
                "0250=8A1F short\r\n");
  CodeStore store(path);
  Backend backend(size % 4, ResultFor(size / 4));
  TextCodec codec{[](std::string_view sjis) { return std::string(sjis); },
                  [](std::string_view utf8) -> std::optional<std::string> {
                    for (char c : utf8)
                      if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
                    return std::string(utf8);
                  }};
  ApiRoutes routes(backend, store, codec, std::string(kToken));

  Answered answered;
  auto respond = [&answered](HttpResponse response) {
    Check(++answered.count == 1, "answered twice");
    answered.response = std::move(response);
  };
  routes.Handle(request, kClient, respond);
  backend.Finish();
  CheckResponse(answered);
  Check((answered.response.status == 401) == !routes.Authorized(request.authorization),
        "401 without a wrong token, or a wrong token let in");

  if (answered.response.status == 202) {
    const Json job = Json::parse(answered.response.body, nullptr, false);
    Check(job.is_object() && job.contains("job") && job["job"].is_number_unsigned(), "job id");
    Answered state;
    routes.Handle({"GET", "/api/v1/jobs/" + job["job"].dump(), "", request.authorization, ""},
                  kClient, [&state](HttpResponse response) {
                    ++state.count;
                    state.response = std::move(response);
                  });
    CheckResponse(state);
    Check(state.response.status == 200, "a job that cannot be found");
    const bool learned = backend.result().kind == Result::Kind::kLearned;
    Check(Json::parse(state.response.body)["state"] == (learned ? "done" : "failed"),
          "a learn job that did not end as its exchange did");
  }
  return 0;
}
