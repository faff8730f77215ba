#include "server/api_routes.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include "datafile/hex_text.h"
#include "datafile/records.h"
#include "datafile/signal_block.h"
#include "server/pad_layout.h"

namespace kavro::server {
namespace {

using json = Json;

HttpResponse JsonAnswer(int status, const json& body) { return {status, Dump(body) + "\n"}; }
HttpResponse Error(int status, std::string_view text) {
  return JsonAnswer(status, json{{"error", std::string(text)}});
}

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> out;
  while (!path.empty()) {
    if (path.front() == '/') {
      path.remove_prefix(1);
      continue;
    }
    const std::size_t end = std::min(path.find('/'), path.size());
    out.push_back(path.substr(0, end));
    path.remove_prefix(end);
  }
  return out;
}

// Decimal digits only, within 0..max; "0x" and hex digits too where `hex` (port addresses).
std::optional<int> ParseNumber(std::string_view text, int max, bool hex = false) {
  int base = 10;
  if (hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || text.size() > 6 || text.front() == '-' || text.front() == '+' ||
      ec != std::errc() || ptr != text.data() + text.size() || value > max)
    return std::nullopt;
  return value;
}

// The body as a JSON object; an empty body is {} where `empty_ok`.
std::optional<json> ParseObject(const std::string& body, bool empty_ok, std::string& error) {
  if (body.empty() && empty_ok) return json::object();
  json value = json::parse(body, nullptr, false);
  if (value.is_discarded()) {
    error = "the body is not JSON";
    return std::nullopt;
  }
  if (!value.is_object()) {
    error = "the body must be a JSON object";
    return std::nullopt;
  }
  return value;
}

// A whole data text: 58 hex digits, the signal block.
std::optional<std::string> FullDataText(const json& body, std::string& error) {
  const auto found = body.find("data");
  if (found == body.end() || !found->is_string()) {
    error = "\"data\" must be a string of 58 hex digits";
    return std::nullopt;
  }
  const std::string& data = found->get_ref<const std::string&>();
  if (!IsFullDataText(data)) {
    error = "\"data\" must be 58 hex digits, not \"" + data.substr(0, 80) + "\"";
    return std::nullopt;
  }
  return data;
}

std::optional<int> IntField(const json& body, const char* name, int low, int high,
                            std::string& error) {
  const auto found = body.find(name);
  if (found == body.end() || !found->is_number_integer() || found->get<long long>() < low ||
      found->get<long long>() > high) {
    error = std::string("\"") + name + "\" must be an integer from " + std::to_string(low) +
            " to " + std::to_string(high);
    return std::nullopt;
  }
  return static_cast<int>(found->get<long long>());
}

int FailureStatus(const Result& result) {
  switch (result.kind) {
    case Result::Kind::kTimeout: return 504;
    case Result::Kind::kOffline: return 503;
    case Result::Kind::kRefused: return 400;
    default: return 502;
  }
}

HttpResponse FileFailure(const CodeStore& store, FileError error) {
  return Error(500, FileErrorText(store.Path(), error));
}

}  // namespace

ApiRoutes::ApiRoutes(ApiBackend& backend, CodeStore& store, TextCodec codec, std::string token)
    : backend_(backend), store_(store), codec_(std::move(codec)), token_(std::move(token)) {}

bool ApiRoutes::Authorized(std::string_view authorization) const {
  // The scheme's name is case-insensitive in HTTP.
  constexpr std::string_view kScheme = "bearer ";
  if (token_.empty() || authorization.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i)
    if ((authorization[i] | 0x20) != kScheme[i]) return false;
  const std::string_view given = authorization.substr(kScheme.size());
  // Every byte of the token is looked at, whatever was given, so timing tells nothing.
  unsigned char differ = given.size() == token_.size() ? 0 : 1;
  for (std::size_t i = 0; i < token_.size(); ++i)
    differ |= static_cast<unsigned char>(token_[i] ^ (i < given.size() ? given[i] : 0));
  return differ == 0;
}

void ApiRoutes::Handle(const HttpRequest& request, ClientId client, const Respond& respond) {
  if (!Authorized(request.authorization)) {
    HttpResponse answer = Error(401, "missing or wrong token (Authorization: Bearer <token>)");
    answer.headers.push_back({"WWW-Authenticate", "Bearer"});
    return respond(std::move(answer));
  }
  Route(request, client, respond);
}

void ApiRoutes::Route(const HttpRequest& request, ClientId client, const Respond& respond) {
  const std::string& method = request.method;
  const std::vector<std::string_view> parts = Segments(request.path);
  auto is = [&](std::initializer_list<std::string_view> names) {
    return parts.size() == names.size() + 2 &&
           std::equal(names.begin(), names.end(), parts.begin() + 2);
  };
  auto wrong_method = [&](std::string_view allowed) {
    HttpResponse answer =
        Error(405, method + " is not allowed here (" + std::string(allowed) + ")");
    answer.headers.push_back({"Allow", std::string(allowed)});
    respond(std::move(answer));
  };
  if (parts.size() < 3 || parts[0] != "api" || parts[1] != "v1")
    return respond(Error(404, "no such route: " + method + " " + request.path.substr(0, 200)));
  const std::string_view head = parts[2];
  std::string error;

  if (is({"codes"})) {
    if (method != "GET") return wrong_method("GET");
    FileError file_error;
    const std::vector<StoredCode>& codes = store_.All(&file_error);
    if (file_error) return respond(FileFailure(store_, file_error));
    json list = json::array();
    for (const StoredCode& code : codes) list.push_back(CodeJson(code, codec_));
    return respond(JsonAnswer(200, list));
  }
  if (head == "codes" && (parts.size() == 4 || (parts.size() == 5 && parts[4] == "send"))) {
    const std::optional<int> number = ParseNumber(parts[3], CodeStore::kLastNumber);
    if (!number)
      return respond(Error(404, "no code \"" + std::string(parts[3].substr(0, 40)) +
                                    "\": code numbers are integers from 0 to 9999"));
    if (parts.size() == 5) {
      if (method != "POST") return wrong_method("POST");
      return SendCode(*number, request.body, client, respond);
    }
    if (method == "GET") {
      FileError file_error;
      const std::optional<StoredCode> code = store_.Find(*number, &file_error);
      if (file_error) return respond(FileFailure(store_, file_error));
      if (!code) return respond(Error(404, "no code " + std::to_string(*number)));
      return respond(JsonAnswer(200, CodeJson(*code, codec_)));
    }
    if (method == "PUT") return PutCode(*number, request.body, respond);
    if (method == "DELETE") {
      bool found = false;
      if (const FileError file_error = store_.Remove(*number, &found))
        return respond(FileFailure(store_, file_error));
      if (!found) return respond(Error(404, "no code " + std::to_string(*number)));
      return respond(HttpResponse{204, "", ""});
    }
    return wrong_method("GET, PUT, DELETE");
  }
  if (is({"send"})) {
    if (method != "POST") return wrong_method("POST");
    const std::optional<json> body = ParseObject(request.body, false, error);
    std::optional<std::string> data;
    if (body) data = FullDataText(*body, error);
    if (!data) return respond(Error(400, error));
    return Run(client, Exchange::Send(*data), respond);
  }
  if (is({"learn"})) {
    if (method != "POST") return wrong_method("POST");
    return Learn(request.body, respond);
  }
  if (head == "jobs" && parts.size() == 4) {
    if (method != "GET") return wrong_method("GET");
    const auto id = ParseNumber(parts[3], 999999999);
    const auto found = id ? jobs_.find(static_cast<std::uint64_t>(*id)) : jobs_.end();
    if (found == jobs_.end())
      return respond(Error(404, "no job \"" + std::string(parts[3].substr(0, 40)) + "\""));
    json job = {{"state", found->second.state}};
    job["data"] = found->second.data.empty() ? json(nullptr) : json(found->second.data);
    job["error"] = found->second.error.empty() ? json(nullptr) : json(found->second.error);
    return respond(JsonAnswer(200, job));
  }
  if (head == "ports" && parts.size() == 4) {
    const std::optional<int> address = ParseNumber(parts[3], 0xFF, true);
    if (method == "PUT") {
      if (!address || *address > 0x0F)
        return respond(Error(400, "output ports are 0 to 15 (0x0 to 0xF)"));
      const std::optional<json> body = ParseObject(request.body, false, error);
      std::optional<int> value;
      if (body) value = IntField(*body, "value", 0, 255, error);
      if (!value) return respond(Error(400, error));
      return Run(client, Exchange::PortOut(*address, *value), respond);
    }
    if (method == "GET") {
      if (!address || *address < 0x10 || *address > 0x1F)
        return respond(Error(400, "input ports are 16 to 31 (0x10 to 0x1F)"));
      return Run(client, Exchange::PortIn(*address), respond);
    }
    return wrong_method("GET, PUT");
  }
  if (is({"input"})) {
    if (method != "GET") return wrong_method("GET");
    return Run(client, Exchange::InputData(), respond);
  }
  if (is({"status"})) {
    if (method != "GET") return wrong_method("GET");
    const ServerStatus s = backend_.Status();
    return respond(JsonAnswer(200, json{{"link", s.link},
                                        {"device", s.device},
                                        {"online", s.online},
                                        {"queue", s.queue},
                                        {"sent", s.sent},
                                        {"learned", s.learned},
                                        {"errors", s.errors}}));
  }
  if (is({"pad"})) {
    if (method != "GET") return wrong_method("GET");
    FileError file_error;
    const PadSettings settings = ReadPadSettings(store_.Path(), &file_error);
    if (file_error) return respond(FileFailure(store_, file_error));
    return respond(JsonAnswer(200, PadJson(settings, codec_)));
  }
  if (is({"metrics"})) {
    if (method != "GET") return wrong_method("GET");
    return respond(Metrics());
  }
  respond(Error(404, "no such route: " + method + " " + request.path.substr(0, 200)));
}

void ApiRoutes::SendCode(int number, const std::string& body_text, ClientId client,
                         const Respond& respond) {
  std::string error;
  const std::optional<json> body = ParseObject(body_text, true, error);
  if (!body) return respond(Error(400, error));
  int repeat = 1;
  if (body->contains("repeat")) {
    const std::optional<int> value = IntField(*body, "repeat", 1, kMaxRepeat, error);
    if (!value) return respond(Error(400, error));
    repeat = *value;
  }
  FileError file_error;
  const std::optional<StoredCode> code = store_.Find(number, &file_error);
  if (file_error) return respond(FileFailure(store_, file_error));
  if (!code || code->data.empty()) return respond(Error(404, "no code " + std::to_string(number)));
  Exchange exchange = Exchange::Send(code->data, repeat);
  exchange.number = number;
  Run(client, std::move(exchange), respond);
}

void ApiRoutes::Run(ClientId client, Exchange exchange, const Respond& respond) {
  const Exchange::Kind kind = exchange.kind;
  auto reply = [respond, kind](const Result& result) {
    if (!result.Ok()) return respond(Error(FailureStatus(result), FailureText(result)));
    if (kind == Exchange::Kind::kPortIn || kind == Exchange::Kind::kInputData)
      return respond(JsonAnswer(200, json{{"value", result.reply}}));
    respond(JsonAnswer(200, json{{"result", "done"}}));
  };
  switch (backend_.Submit(client, std::move(exchange), reply)) {
    case ApiBackend::Admission::kQueued: return;
    case ApiBackend::Admission::kFull: return respond(Error(503, "queue full"));
    case ApiBackend::Admission::kOffline: return respond(Error(503, "controller offline"));
  }
}

void ApiRoutes::PutCode(int number, const std::string& body_text, const Respond& respond) {
  std::string error;
  const std::optional<json> body = ParseObject(body_text, false, error);
  if (!body) return respond(Error(400, error));
  const auto data = body->find("data");
  if (data == body->end() || !data->is_string() || data->get_ref<const std::string&>().empty() ||
      data->get_ref<const std::string&>().size() > kFullDataTextSize ||
      !IsHexText(data->get_ref<const std::string&>()))
    return respond(Error(400, "\"data\" must be 1 to 58 hex digits"));
  std::string comment;
  if (const auto found = body->find("comment"); found != body->end()) {
    if (!found->is_string()) return respond(Error(400, "\"comment\" must be a string"));
    const std::optional<std::string> sjis =
        StoredComment(found->get_ref<const std::string&>(), codec_, error);
    if (!sjis) return respond(Error(400, "\"comment\" " + error));
    comment = *sjis;
  }
  bool created = false;
  if (const FileError file_error =
          store_.Put(number, data->get_ref<const std::string&>(), comment, &created))
    return respond(FileFailure(store_, file_error));
  const std::optional<StoredCode> stored = store_.Find(number);
  respond(JsonAnswer(created ? 201 : 200,
                     CodeJson(stored.value_or(StoredCode{number, RecordKey(number),
                                                         data->get<std::string>(), comment}),
                              codec_)));
}

void ApiRoutes::Learn(const std::string& body_text, const Respond& respond) {
  std::string error;
  const std::optional<json> body = ParseObject(body_text, false, error);
  std::optional<int> number;
  if (body) number = IntField(*body, "number", 0, CodeStore::kLastNumber, error);
  if (!number) return respond(Error(400, error));
  std::string comment;
  if (const auto found = body->find("comment"); found != body->end()) {
    if (!found->is_string()) return respond(Error(400, "\"comment\" must be a string"));
    const std::optional<std::string> sjis =
        StoredComment(found->get_ref<const std::string&>(), codec_, error);
    if (!sjis) return respond(Error(400, "\"comment\" " + error));
    comment = *sjis;
  }
  const std::uint64_t id = next_job_++;
  ForgetOldJobs();
  jobs_[id] = Job{};
  auto reply = [this, id, number = *number, comment](const Result& result) {
    const auto job = jobs_.find(id);
    if (result.kind == Result::Kind::kLearned) {
      if (const FileError file_error = store_.Put(number, result.data, comment, nullptr)) {
        // The code is not lost: the job hands it out.
        if (job == jobs_.end()) return;
        job->second =
            Job{"failed", result.data,
                FileErrorText(store_.Path(), file_error) + "; the learned code is " + result.data};
        return;
      }
    }
    if (job == jobs_.end()) return;
    if (result.kind == Result::Kind::kLearned)
      job->second = Job{"done", result.data, ""};
    else
      job->second = Job{"failed", "", FailureText(result)};
  };
  Exchange exchange = Exchange::Learn();
  exchange.number = *number;
  exchange.on_start = [this, id] {
    if (const auto job = jobs_.find(id); job != jobs_.end()) job->second.state = "running";
  };
  switch (backend_.Submit(kNoClient, std::move(exchange), reply)) {
    case ApiBackend::Admission::kQueued: break;
    case ApiBackend::Admission::kFull: jobs_.erase(id); return respond(Error(503, "queue full"));
    case ApiBackend::Admission::kOffline:
      jobs_.erase(id);
      return respond(Error(503, "controller offline"));
  }
  respond(JsonAnswer(202, json{{"job", id}}));
}

void ApiRoutes::ForgetOldJobs() {
  for (auto it = jobs_.begin(); jobs_.size() >= kMaxJobs && it != jobs_.end();) {
    if (it->second.state == "done" || it->second.state == "failed")
      it = jobs_.erase(it);
    else
      ++it;
  }
}

HttpResponse ApiRoutes::Metrics() const {
  const ServerStatus s = backend_.Status();
  std::string text;
  auto metric = [&](const char* name, const char* type, const char* help, long long value) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" +
            name + " " + std::to_string(value) + "\n";
  };
  metric("kavro_online", "gauge", "1 when the controller is online.", s.online ? 1 : 0);
  metric("kavro_queue_depth", "gauge", "Requests queued, the running one included.",
         static_cast<long long>(s.queue));
  metric("kavro_sent_total", "counter", "IR sends done.", s.sent);
  metric("kavro_learned_total", "counter", "Codes learned.", s.learned);
  metric("kavro_errors_total", "counter", "Exchanges that failed.", s.errors);
  return {200, text, "text/plain; version=0.0.4; charset=utf-8"};
}

}  // namespace kavro::server
