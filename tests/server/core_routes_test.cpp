// The HTTP API's routes over a fake backend and a real data file: the token, routing, the code
// records, input checks, admission, results as statuses, learn jobs, status and metrics.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/api_routes.h"
#include "tests/datafile/store_test_support.h"

namespace kavro::server {
namespace {

using K = Result::Kind;

const std::string kToken = "t0ken-of-the-test";
const std::string kNec = "6020000200430000000000000000000000000020DF10EF000000000000";
const std::string kOther = "6020000200430088B00200028000000000000020DF40BF000000000000";
// Decodes as nothing known: no data bits.
const std::string kNoSignal = "6020000200430000000000000000000000000000000000000000000000";

class FakeBackend : public ApiBackend {
 public:
  struct Submitted {
    ClientId client;
    Exchange exchange;
    RequestQueue::Reply reply;
  };
  Admission Submit(ClientId client, Exchange exchange, RequestQueue::Reply reply) override {
    if (admission == Admission::kQueued) submitted.push_back({client, exchange, reply});
    return admission;
  }
  ServerStatus Status() const override { return status; }

  // Submitted exchange `index` reaches the controller, as the queue tells it: once.
  void Start(std::size_t index) {
    Exchange& exchange = submitted.at(index).exchange;
    if (exchange.on_start) std::exchange(exchange.on_start, nullptr)();
  }
  // ... and ends with `result`.
  void Answer(std::size_t index, const Result& result) {
    Start(index);
    submitted.at(index).reply(result);
  }

  Admission admission = Admission::kQueued;
  ServerStatus status;
  std::vector<Submitted> submitted;
};

struct Answer {
  int count = 0;  // how often `respond` was called
  HttpResponse response;
  Json Body() const { return Json::parse(response.body); }
};

class Routes : public testing::Test {
 protected:
  Routes() {
    test::WriteBytes(
        path_, "\r\n[Data]\r\n0001=" + kNec + " tv power\r\n0002=" + kNoSignal + " blank\r\n");
  }

  // Handles "METHOD path"; the answer fills in when the routes respond, now or later.
  std::shared_ptr<Answer> Call(const std::string& request, const std::string& body = "",
                               const std::string& authorization = "Bearer " + kToken) {
    auto answer = std::make_shared<Answer>();
    const std::size_t space = request.find(' ');
    const HttpRequest http{request.substr(0, space), request.substr(space + 1), "", authorization,
                           body};
    routes_.Handle(http, 7, [answer](HttpResponse response) {
      ++answer->count;
      answer->response = std::move(response);
    });
    return answer;
  }
  std::string File() const { return test::ReadBytes(path_); }

  test::ScratchDir dir_;
  std::string path_ = dir_.Path("kavro.dat");
  FakeBackend backend_;
  CodeStore store_{path_};
  ApiRoutes routes_{backend_, store_,
                    TextCodec{[](std::string_view s) { return std::string(s); },
                              [](std::string_view s) { return std::optional<std::string>(s); }},
                    kToken};
};

TEST_F(Routes, TokenIsRequired) {
  const std::string refused[] = {"",
                                 "Bearer ",
                                 "Bearer wrong",
                                 kToken,
                                 "Bearer " + kToken + "x",
                                 "Bearer " + kToken.substr(0, kToken.size() - 1)};
  for (const std::string& authorization : refused) {
    SCOPED_TRACE(authorization);
    const auto answer = Call("GET /api/v1/status", "", authorization);
    ASSERT_EQ(answer->count, 1);
    EXPECT_EQ(answer->response.status, 401);
    EXPECT_NE(answer->response.body.find("token"), std::string::npos);
  }
  EXPECT_EQ(Call("GET /api/v1/status")->response.status, 200);
  EXPECT_EQ(Call("GET /api/v1/status", "", "bearer " + kToken)->response.status, 200);
}

TEST_F(Routes, UnknownRoutesAndWrongMethods) {
  const std::pair<const char*, int> cases[] = {{"GET /", 404},
                                               {"GET /api/v2/codes", 404},
                                               {"GET /api/v1/nothing", 404},
                                               {"GET /api/v1/codes/1/2", 404},
                                               {"GET /api/v1/codes/abc", 404},
                                               {"GET /api/v1/codes/10000", 404},
                                               {"POST /api/v1/codes", 405},
                                               {"POST /api/v1/codes/1", 405},
                                               {"GET /api/v1/codes/1/send", 405},
                                               {"GET /api/v1/learn", 405},
                                               {"DELETE /api/v1/status", 405}};
  for (const auto& [request, status] : cases) {
    SCOPED_TRACE(request);
    const auto answer = Call(request);
    ASSERT_EQ(answer->count, 1);
    EXPECT_EQ(answer->response.status, status);
    EXPECT_TRUE(answer->Body().contains("error"));
  }
  EXPECT_TRUE(backend_.submitted.empty());
}

TEST_F(Routes, ListsCodesWithTheirDecoding) {
  const auto answer = Call("GET /api/v1/codes");
  ASSERT_EQ(answer->response.status, 200);
  // Field order as documented, numbers as integers.
  EXPECT_EQ(answer->response.body,
            R"([{"number":1,"data":")" + kNec +
                R"(","comment":"tv power","decode":{"protocol":"NEC1","device":4,)"
                R"("subdevice":251,"function":8,"confident":true,"brief":"NEC1 4.251 8"}},)"
                R"({"number":2,"data":")" +
                kNoSignal + R"(","comment":"blank","decode":null}])" + "\n");
}

TEST_F(Routes, PutCreatesThenReplacesAndDeleteRemoves) {
  auto answer = Call("PUT /api/v1/codes/101", R"({"data":")" + kNec + R"(","comment":"x"})");
  EXPECT_EQ(answer->response.status, 201);
  answer = Call("PUT /api/v1/codes/101", R"({"data":")" + kOther + R"(","comment":"amp on"})");
  EXPECT_EQ(answer->response.status, 200);
  EXPECT_EQ(answer->Body()["data"], kOther);
  EXPECT_NE(File().find("\r\n0101=" + kOther + " amp on\r\n"), std::string::npos);
  EXPECT_EQ(File().find(kNec + " x"), std::string::npos);
  EXPECT_EQ(Call("GET /api/v1/codes/101")->Body()["comment"], "amp on");

  EXPECT_EQ(Call("DELETE /api/v1/codes/101")->response.status, 204);
  EXPECT_EQ(File().find("0101="), std::string::npos);
  EXPECT_EQ(Call("DELETE /api/v1/codes/101")->response.status, 404);
  EXPECT_EQ(Call("GET /api/v1/codes/101")->response.status, 404);
}

TEST_F(Routes, AHandEditedKeyIsReplacedAndRemovedUnderItsOwnSpelling) {
  test::WriteBytes(path_, "[Data]\r\n101=" + kNec + " old\r\n0101=" + kOther + " hidden\r\n");
  EXPECT_EQ(Call("PUT /api/v1/codes/101", R"({"data":")" + kOther + R"(","comment":"new"})")
                ->response.status,
            200);
  EXPECT_NE(File().find("\r\n101=" + kOther + " new\r\n"), std::string::npos);
  EXPECT_EQ(Call("DELETE /api/v1/codes/101")->response.status, 204);
  EXPECT_EQ(Call("GET /api/v1/codes/101")->response.status, 404);
}

TEST_F(Routes, BadInputIsRefusedNamingTheField) {
  const std::string bad_digit = kNec.substr(0, 57) + "x";
  auto data = [](const std::string& text) { return R"({"data":")" + text + "\"}"; };
  const struct {
    const char* request;
    std::string body;
    const char* names;
  } cases[] = {
      {"PUT /api/v1/codes/5", "{", "JSON"},
      {"PUT /api/v1/codes/5", "[1]", "object"},
      {"PUT /api/v1/codes/5", data(bad_digit), "\"data\""},
      {"PUT /api/v1/codes/5", data(kNec + "0"), "\"data\""},
      {"PUT /api/v1/codes/5", R"({"data":")" + kNec + R"(","comment":7})", "\"comment\""},
      {"PUT /api/v1/codes/5", R"({"data":")" + kNec + R"(","comment":"a\tb"})", "\"comment\""},
      {"POST /api/v1/send", "", "JSON"},
      {"POST /api/v1/send", data(kNec.substr(1)), "\"data\""},
      {"POST /api/v1/send", data(bad_digit), "\"data\""},
      {"POST /api/v1/codes/1/send", R"({"repeat":0})", "\"repeat\""},
      {"POST /api/v1/codes/1/send", R"({"repeat":21})", "\"repeat\""},
      {"POST /api/v1/codes/1/send", R"({"repeat":"3"})", "\"repeat\""},
      {"POST /api/v1/learn", "{}", "\"number\""},
      {"POST /api/v1/learn", R"({"number":10000})", "\"number\""},
      {"PUT /api/v1/ports/3", R"({"value":256})", "\"value\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.request + (" " + c.body));
    const auto answer = Call(c.request, c.body);
    ASSERT_EQ(answer->count, 1);
    EXPECT_EQ(answer->response.status, 400);
    EXPECT_NE(answer->Body()["error"].get<std::string>().find(c.names), std::string::npos);
  }
  EXPECT_TRUE(backend_.submitted.empty());
  EXPECT_EQ(File().find("0005="), std::string::npos);
}

TEST_F(Routes, SendOfAStoredCodeWithRepeats) {
  const auto answer = Call("POST /api/v1/codes/1/send", R"({"repeat":3})");
  EXPECT_EQ(answer->count, 0);  // answered when the controller has
  ASSERT_EQ(backend_.submitted.size(), 1u);
  const FakeBackend::Submitted& sent = backend_.submitted[0];
  EXPECT_EQ(sent.client, 7u);
  EXPECT_EQ(sent.exchange.kind, Exchange::Kind::kSend);
  EXPECT_EQ(sent.exchange.data, kNec);
  EXPECT_EQ(sent.exchange.repeat, 3);
  backend_.Answer(0, Result(K::kDone));
  EXPECT_EQ(answer->count, 1);
  EXPECT_EQ(answer->response.status, 200);

  EXPECT_EQ(Call("POST /api/v1/codes/1/send")->count, 0);  // no body: one send
  EXPECT_EQ(backend_.submitted.at(1).exchange.repeat, 1);
  EXPECT_EQ(Call("POST /api/v1/codes/3/send")->response.status, 404);
  EXPECT_EQ(backend_.submitted.size(), 2u);
}

TEST_F(Routes, ResultsAsStatuses) {
  const struct {
    Result result;
    int status;
    const char* body;
  } cases[] = {
      {Result(K::kDone), 200, R"({"result":"done"})"},
      {Result(K::kControllerError, 0x4E), 502, R"({"error":"controller error 0x4E"})"},
      {Result(K::kTimeout), 504, R"({"error":"time-out"})"},
      {Result(K::kOffline), 503, R"({"error":"controller offline"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const auto answer = Call("POST /api/v1/send", R"({"data":")" + kNec + R"("})");
    backend_.Answer(backend_.submitted.size() - 1, c.result);
    ASSERT_EQ(answer->count, 1);
    EXPECT_EQ(answer->response.status, c.status);
    EXPECT_EQ(answer->response.body, std::string(c.body) + "\n");
  }
  const auto input = Call("GET /api/v1/input");
  backend_.Answer(backend_.submitted.size() - 1, Result(K::kDone, 0x5A));
  EXPECT_EQ(input->response.body, "{\"value\":90}\n");
}

TEST_F(Routes, RefusedAdmission) {
  for (const auto& [admission, text] :
       {std::pair{ApiBackend::Admission::kFull, "queue full"},
        std::pair{ApiBackend::Admission::kOffline, "controller offline"}}) {
    SCOPED_TRACE(text);
    backend_.admission = admission;
    for (const auto& answer :
         {Call("POST /api/v1/codes/1/send"), Call("POST /api/v1/learn", R"({"number":5})")}) {
      ASSERT_EQ(answer->count, 1);
      EXPECT_EQ(answer->response.status, 503);
      EXPECT_EQ(answer->Body()["error"], text);
    }
  }
  // No learn job is left behind.
  EXPECT_EQ(Call("GET /api/v1/jobs/1")->response.status, 404);
}

TEST_F(Routes, LearnJobRunsAndStoresItsCode) {
  const auto answer = Call("POST /api/v1/learn", R"({"number":42,"comment":"aircon"})");
  ASSERT_EQ(answer->count, 1);
  EXPECT_EQ(answer->response.status, 202);
  const Json job = answer->Body()["job"];
  ASSERT_TRUE(job.is_number_integer());
  const std::string url = "/api/v1/jobs/" + job.dump();
  ASSERT_EQ(backend_.submitted.size(), 1u);
  EXPECT_EQ(backend_.submitted[0].client, kNoClient);
  EXPECT_EQ(backend_.submitted[0].exchange.kind, Exchange::Kind::kLearn);
  EXPECT_EQ(Call("GET " + url)->response.body, R"({"state":"queued","data":null,"error":null})"
                                               "\n");
  backend_.Start(0);
  EXPECT_EQ(Call("GET " + url)->Body()["state"], "running");

  backend_.Answer(0, Result(K::kLearned, -1, kOther));
  EXPECT_NE(File().find("\r\n0042=" + kOther + " aircon\r\n"), std::string::npos);
  EXPECT_EQ(Call("GET " + url)->Body(),
            Json::parse(R"({"state":"done","data":")" + kOther + R"(","error":null})"));
  EXPECT_EQ(Call("GET /api/v1/codes/42")->Body()["data"], kOther);
}

TEST_F(Routes, FailedLearnsAndAnUnwritableFile) {
  Call("POST /api/v1/learn", R"({"number":1})");
  backend_.Answer(0, Result(K::kLearnFailed));
  EXPECT_EQ(Call("GET /api/v1/jobs/1")->Body()["error"], "learn failed");
  EXPECT_NE(File().find("0001=" + kNec), std::string::npos);

  // The file cannot be written: the job fails but still hands out the learned code.
  CodeStore lost(dir_.Path("no-such-folder/kavro.dat"));
  ApiRoutes routes(backend_, lost, TextCodec{}, kToken);
  routes.Handle({"POST", "/api/v1/learn", "", "Bearer " + kToken, R"({"number":1})"}, 7,
                [](HttpResponse) {});
  backend_.Answer(1, Result(K::kLearned, -1, kOther));
  Json job;
  routes.Handle({"GET", "/api/v1/jobs/1", "", "Bearer " + kToken, ""}, 7,
                [&job](HttpResponse response) { job = Json::parse(response.body); });
  EXPECT_EQ(job["state"], "failed");
  EXPECT_EQ(job["data"], kOther);
  EXPECT_NE(job["error"].get<std::string>().find(kOther), std::string::npos);
}

TEST_F(Routes, StatusAndMetrics) {
  backend_.status = {"COM1", "/dev/ttyUSB0", true, 2, 5, 1, 3};
  EXPECT_EQ(Call("GET /api/v1/status")->response.body,
            R"({"link":"COM1","device":"/dev/ttyUSB0","online":true,"queue":2,"sent":5,)"
            R"("learned":1,"errors":3})"
            "\n");
  const auto metrics = Call("GET /api/v1/metrics");
  EXPECT_EQ(metrics->response.status, 200);
  EXPECT_TRUE(metrics->response.content_type.starts_with("text/plain"));
  for (const char* line : {"\n# TYPE kavro_queue_depth gauge\nkavro_queue_depth 2\n",
                           "\n# TYPE kavro_errors_total counter\nkavro_errors_total 3\n"})
    EXPECT_NE(metrics->response.body.find(line), std::string::npos) << line;
}

}  // namespace
}  // namespace kavro::server
