// The web remote through the real listener: --show-url's line, and what a browser receives
// (HEAD without a body, 304 without a body, the security headers on every answer, the
// listener's own 413 included).
#include <gtest/gtest.h>

#include <map>

#include "server/http_service.h"
#include "tests/server/server_fixture.h"

namespace kavro::test {
namespace {

TEST(WebRemoteUrl, NamesAnAddressAPhoneCanReach) {
  const std::vector<std::string> addresses = {"127.0.0.1",    "::1",         "fe80::1c2",
                                              "192.168.1.20", "2001:db8::5", "10.0.0.2"};
  const struct {
    const char* listen;
    std::vector<std::string> addresses;
    const char* host;
  } cases[] = {
      {"0.0.0.0", addresses, "192.168.1.20"},
      {"::", addresses, "2001:db8::5"},  // an IPv6 listener takes no IPv4, nor link-local
      {"0.0.0.0", {"127.0.0.1", "fe80::1c2"}, "kitchen"},
      {"10.0.0.2", addresses, "10.0.0.2"},
      {"127.0.0.1", addresses, "127.0.0.1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listen);
    EXPECT_EQ(server::ReachableHost(c.listen, c.addresses, "kitchen"), c.host);
  }
  EXPECT_EQ(server::WebRemoteUrl("2001:db8::5", 8024, "ab12"),
            "http://[2001:db8::5]:8024/#token=ab12");
  EXPECT_EQ(server::WebRemoteUrl("10.0.0.2", 80, "a b&c=d%~"),
            "http://10.0.0.2:80/#token=a%20b%26c%3Dd%25~");
}

struct Raw {
  int status = 0;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;                            // all that came after the head
};

// One request on a connection of its own, read to its end.
Raw Ask(int port, const std::string& head, const std::string& body = "") {
  Client client(port);
  std::string all;
  if (client.Connected()) {
    // A refused body may be left partly unsent: the answer is what counts.
    client.Write(head + "Host: x\r\nConnection: close\r\n\r\n" + body);
    all = client.ReadToEnd();
  }
  Raw raw;
  const std::size_t end = all.find("\r\n\r\n");
  if (end == std::string::npos) return raw;
  raw.status = std::stoi(all.substr(9, 3));
  for (std::size_t line = all.find("\r\n") + 2; line < end;) {
    const std::size_t colon = all.find(':', line), next = all.find("\r\n", line);
    std::string name = all.substr(line, colon - line);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    raw.headers[name] = all.substr(colon + 2, next - colon - 2);
    line = next + 2;
  }
  raw.body = all.substr(end + 4);
  return raw;
}

class WebServing : public ServerFixture {};

TEST_F(WebServing, ShowUrlAndWhatABrowserGets) {
  WriteDataFile({});
  server::ServerOptions options = Options();
  options.show_url = true;
  StartServer(options);
  const int port = server_->HttpPort();
  const std::string listening = "listening http 127.0.0.1:" + std::to_string(port) + "\n";
  EXPECT_NE(server_->Out().find(listening + "open http://127.0.0.1:" + std::to_string(port) +
                                "/#token=" + kToken + "\n"),
            std::string::npos)
      << server_->Out();
  EXPECT_NE(server_->Log().find("loopback"), std::string::npos) << server_->Log();

  const server::StaticFile* index = server::FindStaticFile("/");
  ASSERT_NE(index, nullptr);
  const std::string etag(index->etag);
  Client browser(port);
  std::string body;
  browser.Write("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(browser.ReadHttp(&body), 200);
  EXPECT_TRUE(body == index->Body());

  const struct {
    std::string head;
    std::string body;
    int status;
  } cases[] = {
      {"HEAD / HTTP/1.1\r\n", "", 200},
      {"GET /index.html HTTP/1.1\r\nIf-None-Match: " + etag + "\r\n", "", 304},
      {"GET /api/v1/status HTTP/1.1\r\n", "", 401},
      {"PUT /api/v1/codes/1 HTTP/1.1\r\nContent-Length: 70000\r\n", std::string(70000, ' '), 413},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.head);
    Raw raw = Ask(port, c.head, c.body);
    EXPECT_EQ(raw.status, c.status);
    EXPECT_EQ(raw.headers["content-security-policy"], server::kContentSecurityPolicy);
    EXPECT_EQ(raw.headers["x-content-type-options"], "nosniff");
    EXPECT_EQ(raw.headers["referrer-policy"], "no-referrer");
    if (c.status < 400) {
      EXPECT_EQ(raw.headers["etag"], etag);
      EXPECT_EQ(raw.body, "");  // but the length of the file
      EXPECT_EQ(raw.headers["content-length"], std::to_string(index->size));
    }
  }
  EXPECT_EQ(Ask(port, "HEAD / HTTP/1.1\r\n").headers["content-type"], "text/html; charset=utf-8");
}

}  // namespace
}  // namespace kavro::test
