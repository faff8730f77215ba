// The HTTP listener over loopback sockets: answers given at once and later, keep-alive and
// pipelining, clients that leave, oversized bodies, the connection limit, idle time-outs, Close.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/http_front.h"

namespace kavro::server {
namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000) { return QTest::qWaitFor(done, ms); }

struct Reply {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

// A client on the test's own event loop; replies carry a Content-Length.
class Client {
 public:
  explicit Client(int port) { socket_.connectToHost(QHostAddress::LocalHost, port); }
  void Write(const std::string& bytes) { socket_.write(bytes.data(), qint64(bytes.size())); }
  std::optional<Reply> Next() {
    std::optional<Reply> reply;
    WaitFor([&] { return (reply = Parse()).has_value(); });
    return reply;
  }
  bool Open() const { return socket_.state() == QAbstractSocket::ConnectedState; }
  bool Closed(int ms = 5000) {
    return WaitFor([this] { return socket_.state() == QAbstractSocket::UnconnectedState; }, ms);
  }
  QTcpSocket socket_;

 private:
  std::optional<Reply> Parse() {
    buffer_ += socket_.readAll().toStdString();
    const std::size_t head_end = buffer_.find("\r\n\r\n");
    if (head_end == std::string::npos) return std::nullopt;
    Reply reply;
    reply.status = std::stoi(buffer_.substr(9, 3));
    for (std::size_t line = buffer_.find("\r\n") + 2; line < head_end;) {
      const std::size_t colon = buffer_.find(':', line), end = buffer_.find("\r\n", line);
      QByteArray name = QByteArray::fromStdString(buffer_.substr(line, colon - line)).toLower();
      reply.headers[name.toStdString()] = buffer_.substr(colon + 2, end - colon - 2);
      line = end + 2;
    }
    const std::size_t length = std::stoul(reply.headers["content-length"]);
    if (buffer_.size() < head_end + 4 + length) return std::nullopt;
    reply.body = buffer_.substr(head_end + 4, length);
    buffer_.erase(0, head_end + 4 + length);
    return reply;
  }
  std::string buffer_;
};

std::string Get(const std::string& target, const std::string& more = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: kavro\r\n" + more + "\r\n";
}

class HttpFrontTest : public ::testing::Test {
 protected:
  HttpFrontTest() {
    static int argc = 1;
    static char name[] = "server_http_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
  }
  void Start(HttpFront::Limits limits = {}) {
    front = std::make_unique<HttpFront>(
        [this](const HttpRequest& request, std::shared_ptr<HttpAnswer> answer) {
          requests.push_back(request);
          answers.push_back(answer);
          if (respond) respond(request, *answer);
        },
        limits);
    std::string error;
    ASSERT_TRUE(front->Listen("127.0.0.1", 0, error)) << error;
  }
  void AnswerAtOnce() {
    respond = [](const HttpRequest&, HttpAnswer& answer) { answer.Send({200, "{}"}); };
  }

  // Answers at once when set; otherwise the answers wait in `answers`.
  std::function<void(const HttpRequest&, HttpAnswer&)> respond;
  std::unique_ptr<HttpFront> front;
  std::vector<HttpRequest> requests;
  std::vector<std::shared_ptr<HttpAnswer>> answers;
};

TEST_F(HttpFrontTest, ImmediateAnswersOnOneConnectionCarryTheirHeaders) {
  struct Case {
    std::string request;
    HttpResponse answer;
    std::string cache_control;  // as received; empty: none
  };
  HttpResponse created(201, "{\"id\":7}");
  created.headers = {{"X-Kavro-Test", "yes"}};
  HttpResponse cached(200, "{}");
  cached.headers = {{"cache-control", "max-age=5"}};
  const std::vector<Case> cases = {
      {"PUT /api/codes/1%202?x=1&y=%2F HTTP/1.1\r\nHost: kavro\r\nAuthorization: Bearer t0k\r\n"
       "Content-Length: 7\r\n\r\n{\"a\":1}",
       created, "no-store"},
      {Get("/text"), {200, "plain", "text/plain"}, ""},
      {Get("/cached?"), cached, "max-age=5"},
  };
  Start();
  respond = [&](const HttpRequest&, HttpAnswer& answer) {
    answer.Send(cases[requests.size() - 1].answer);
  };
  Client client(front->Port());
  for (const Case& c : cases) {
    client.Write(c.request);
    auto reply = client.Next();
    ASSERT_TRUE(reply) << c.request;
    EXPECT_EQ(reply->status, c.answer.status);
    EXPECT_EQ(reply->body, c.answer.body);
    EXPECT_EQ(reply->headers["content-type"], c.answer.content_type);
    EXPECT_EQ(reply->headers["cache-control"], c.cache_control);
    EXPECT_EQ(reply->headers["x-kavro-test"], c.answer.status == 201 ? "yes" : "");
  }
  ASSERT_EQ(requests.size(), 3u);
  const HttpRequest& put = requests[0];
  EXPECT_EQ(put.method + " " + put.path + " " + put.query, "PUT /api/codes/1%202 x=1&y=%2F");
  EXPECT_EQ(put.authorization, "Bearer t0k");
  EXPECT_EQ(put.body, "{\"a\":1}");
  EXPECT_EQ(requests[1].query + requests[1].authorization + requests[1].body, "");

  HttpFront other([](const HttpRequest&, std::shared_ptr<HttpAnswer>) {}, {});
  std::string error;
  EXPECT_FALSE(other.Listen("127.0.0.1", front->Port(), error));
  EXPECT_EQ(error, "127.0.0.1:" + std::to_string(front->Port()) + ": Address already in use");
}

TEST_F(HttpFrontTest, PipelinedRequestsAreAnsweredInOrderWhenTheFirstWaits) {
  Start();
  respond = [](const HttpRequest& request, HttpAnswer& answer) {
    if (request.path == "/fast") answer.Send({200, "\"fast\""});
  };
  Client client(front->Port());
  client.Write(Get("/slow") + Get("/fast"));
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 1; }));
  QTimer::singleShot(20, [&] { answers[0]->Send({200, "\"slow\""}); });
  auto first = client.Next();
  auto second = client.Next();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->body + second->body, "\"slow\"\"fast\"");
  EXPECT_TRUE(client.Open());
}

TEST_F(HttpFrontTest, AClientLeavingMakesItsWaitingAnswerGone) {
  Start();
  for (bool abort : {true, false}) {
    answers.clear();
    Client client(front->Port());
    client.Write(Get("/wait"));
    ASSERT_TRUE(WaitFor([&] { return answers.size() == 1; }));
    int gone = 0;
    answers[0]->OnGone([&] { ++gone; });
    EXPECT_FALSE(answers[0]->Gone());
    abort ? client.socket_.abort() : client.socket_.disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return gone == 1; })) << abort;
    EXPECT_TRUE(answers[0]->Gone());
    answers[0]->Send({200, "{}"});  // nobody to send to: nothing happens
  }
}

TEST_F(HttpFrontTest, BodiesOverTheLimitGet413WithoutReachingTheHandler) {
  const std::string head = "POST /api/codes HTTP/1.1\r\nHost: kavro\r\n";
  std::string chunked = head + "Transfer-Encoding: chunked\r\n\r\n";
  for (int i = 0; i < 17; ++i) chunked += "1000\r\n" + std::string(0x1000, 'x') + "\r\n";
  Start();
  for (const std::string& request :
       {head + "Content-Length: 65537\r\n\r\n",
        head + "Content-Length: 70000\r\n\r\n" + std::string(70000, 'x'), chunked}) {
    Client client(front->Port());
    client.Write(request);
    auto reply = client.Next();
    ASSERT_TRUE(reply) << request.substr(0, 80);
    EXPECT_EQ(reply->status, 413);
    EXPECT_EQ(reply->body, "{\"error\":\"request body too large (over 65536 bytes)\"}");
    EXPECT_TRUE(client.Closed());
  }
  EXPECT_TRUE(requests.empty());

  AnswerAtOnce();
  Client client(front->Port());
  client.Write(head + "Content-Length: 65536\r\n\r\n" + std::string(65536, 'y'));
  ASSERT_TRUE(client.Next());
  EXPECT_EQ(requests.at(0).body.size(), 65536u);
}

TEST_F(HttpFrontTest, ConnectionsBeyondTheLimitAreRefused) {
  Start({.max_connections = 3});
  AnswerAtOnce();
  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::make_unique<Client>(front->Port()));
    clients.back()->Write(Get("/"));
    ASSERT_TRUE(clients.back()->Next());
  }
  Client refused(front->Port());
  refused.Write(Get("/"));
  EXPECT_TRUE(refused.Closed());
  EXPECT_EQ(requests.size(), 3u);

  // A connection that ended frees its place.
  clients[0]->Write(Get("/", "Connection: close\r\n"));
  ASSERT_TRUE(clients[0]->Next());
  ASSERT_TRUE(clients[0]->Closed());
  Client next(front->Port());
  next.Write(Get("/"));
  EXPECT_TRUE(next.Next());
}

TEST_F(HttpFrontTest, IdleConnectionsCloseButWaitingAnswersDoNotTimeOut) {
  Start({.idle_timeout_s = 1});
  Client idle(front->Port());
  Client waiting(front->Port());
  waiting.Write(Get("/wait"));
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 1 && idle.Open(); }));
  EXPECT_TRUE(idle.Closed(3000));
  EXPECT_TRUE(waiting.Open());
  answers[0]->Send({200, "\"late\""});
  auto reply = waiting.Next();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->body, "\"late\"");
}

TEST_F(HttpFrontTest, CloseAndTheEndOfTheListenerDropWaitingAnswers) {
  Start();
  int gone = 0;
  for (bool destroy : {false, true}) {
    Client client(front->Port());
    client.Write(Get("/wait"));
    ASSERT_TRUE(WaitFor([&] { return answers.size() == std::size_t(destroy) + 1; }));
    answers.back()->OnGone([&] { ++gone; });
    if (destroy) {
      front.reset();
    } else {
      front->Close();
    }
    EXPECT_EQ(gone, int(destroy) + 1);
    EXPECT_TRUE(answers.back()->Gone());
    EXPECT_TRUE(client.Closed());
    answers.back()->Send({200, "{}"});  // touches nothing
    std::string error;
    if (!destroy) {
      ASSERT_TRUE(front->Listen("127.0.0.1", 0, error)) << error;
    }
  }
}

}  // namespace
}  // namespace kavro::server
