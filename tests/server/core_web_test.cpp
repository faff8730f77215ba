// The web remote's side of the server core: the page's files as built in, how they are answered
// (types, ETag and 304, HEAD, 404, 405), the security headers on every answer, and the pad's
// layout with the data file's extension-key captions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "server/http_service.h"
#include "server/pad_layout.h"
#include "tests/datafile/store_test_support.h"

namespace kavro::server {
namespace {

const std::string kToken = "t0ken-of-the-web-test";

std::string Header(const HttpResponse& response, std::string_view name) {
  for (const auto& [key, value] : response.headers)
    if (key == name) return value;
  return "";
}

// A table of its own, so the cases do not depend on what the page holds today.
const unsigned char kHtml[] = {'<', 'p', '>'};
const unsigned char kJs[] = {'1', ';'};
const StaticFile kFiles[] = {
    {"/index.html", "text/html; charset=utf-8", "\"e-html\"", kHtml, sizeof kHtml},
    {"/app.js", "text/javascript; charset=utf-8", "\"e-js\"", kJs, sizeof kJs},
    {"/img/icon.svg", "image/svg+xml", "\"e-svg\"", kJs, 0},
};

TEST(StaticAnswer, FilesByMethodPathAndTag) {
  const struct {
    const char* method;
    const char* path;
    const char* if_none_match;
    int status;
    const char* type;
    const char* etag;
  } cases[] = {
      {"GET", "/", "", 200, "text/html; charset=utf-8", "\"e-html\""},
      {"GET", "/index.html", "\"e-js\"", 200, "text/html; charset=utf-8", "\"e-html\""},
      {"HEAD", "/app.js", "", 200, "text/javascript; charset=utf-8", "\"e-js\""},
      {"GET", "/img/icon.svg", "", 200, "image/svg+xml", "\"e-svg\""},
      {"GET", "/app.js", "\"e-js\"", 304, "text/javascript; charset=utf-8", "\"e-js\""},
      {"HEAD", "/app.js", "\"x\", W/\"e-js\"", 304, "text/javascript; charset=utf-8", "\"e-js\""},
      {"GET", "/", "*", 304, "text/html; charset=utf-8", "\"e-html\""},
      {"GET", "/app.js", "\"e-js", 200, "text/javascript; charset=utf-8", "\"e-js\""},
      {"GET", "/nothing.js", "", 404, "application/json", nullptr},
      {"GET", "/app.js/", "", 404, "application/json", nullptr},
      {"GET", "//app.js", "", 404, "application/json", nullptr},
      {"POST", "/", "", 405, "application/json", nullptr},
      {"DELETE", "/app.js", "", 405, "application/json", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path + " " + c.if_none_match);
    HttpRequest request{c.method, c.path, "", "", ""};
    request.if_none_match = c.if_none_match;
    const HttpResponse answer = StaticAnswer(request, kFiles);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(answer.content_type, c.type);
    if (c.etag == nullptr) {
      EXPECT_EQ(Header(answer, "ETag"), "");
      EXPECT_NE(answer.body.find("\"error\""), std::string::npos);
    } else {
      EXPECT_EQ(Header(answer, "ETag"), c.etag);
      EXPECT_EQ(Header(answer, "Cache-Control"), "no-cache");
      EXPECT_EQ(answer.body.empty(), std::string(c.path) == "/img/icon.svg");
    }
    EXPECT_EQ(Header(answer, "Allow"), c.status == 405 ? "GET, HEAD" : "");
  }
  EXPECT_EQ(StaticAnswer({"GET", "/", "", "", ""}, kFiles).body, "<p>");
}

// What the build put in is every served file of server/web/, byte for byte, with its type.
TEST(StaticFiles, AreTheFilesOfTheTree) {
  namespace fs = std::filesystem;
  const std::map<std::string, std::string> types = {{".html", "text/html; charset=utf-8"},
                                                    {".js", "text/javascript; charset=utf-8"},
                                                    {".css", "text/css; charset=utf-8"},
                                                    {".svg", "image/svg+xml"},
                                                    {".png", "image/png"},
                                                    {".webmanifest", "application/manifest+json"},
                                                    {".json", "application/json"}};
  std::size_t count = 0;
  std::map<std::string_view, std::string_view> tags;  // tag -> body
  for (const auto& entry : fs::recursive_directory_iterator(KAVRO_WEB_DIR)) {
    const std::string relative = fs::relative(entry.path(), KAVRO_WEB_DIR).string();
    if (!entry.is_regular_file() || relative.starts_with('.') ||
        relative.find("/.") != std::string::npos || relative.ends_with('~'))
      continue;
    SCOPED_TRACE(relative);
    ++count;
    const StaticFile* file = FindStaticFile("/" + relative);
    ASSERT_NE(file, nullptr) << "rebuild after adding a file to server/web/";
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_TRUE(file->Body() == bytes.str()) << "rebuild after changing server/web/";
    const auto type = types.find(entry.path().extension().string());
    if (type != types.end()) {
      EXPECT_EQ(file->content_type, type->second);
    }
    EXPECT_EQ(file->etag.size(), 22u);
    // The tag follows the content: two files share one only when they are alike.
    EXPECT_EQ(tags.emplace(file->etag, file->Body()).first->second, file->Body());
  }
  EXPECT_EQ(StaticFiles().size(), count);
  ASSERT_NE(FindStaticFile("/"), nullptr);
  EXPECT_EQ(FindStaticFile("/")->path, "/index.html");
}

class Backend : public ApiBackend {
 public:
  Admission Submit(ClientId, Exchange, RequestQueue::Reply reply) override {
    replies.push_back(std::move(reply));
    return Admission::kQueued;
  }
  ServerStatus Status() const override { return {}; }
  std::vector<RequestQueue::Reply> replies;
};

// Shift-JIS "テレビ" and the same in UTF-8; the codec knows just that.
const std::string kSjisTv = "\x83\x65\x83\x8C\x83\x72";
const std::string kUtf8Tv = "テレビ";

class WebService : public testing::Test {
 protected:
  // The answer fills in when it is given, now or later; status 0 until then.
  std::shared_ptr<HttpResponse> Call(const std::string& method, const std::string& path,
                                     const std::string& body = "",
                                     const std::string& authorization = "Bearer " + kToken) {
    auto answer = std::make_shared<HttpResponse>();
    answer->status = 0;
    HandleHttp(routes_, {method, path, "", authorization, body}, 3,
               [answer](HttpResponse response) { *answer = std::move(response); });
    return answer;
  }
  Json Pad() {
    const auto answer = Call("GET", "/api/v1/pad");
    EXPECT_EQ(answer->status, 200) << answer->body;
    return Json::parse(answer->body);
  }

  test::ScratchDir dir_;
  std::string path_ = dir_.Path("kavro.dat");
  Backend backend_;
  CodeStore store_{path_};
  ApiRoutes routes_{backend_, store_,
                    TextCodec{[](std::string_view s) {
                                std::string text(s);
                                for (std::size_t at;
                                     (at = text.find(kSjisTv)) != std::string::npos;)
                                  text.replace(at, kSjisTv.size(), kUtf8Tv);
                                return text;
                              },
                              [](std::string_view s) { return std::optional<std::string>(s); }},
                    kToken};
};

TEST_F(WebService, EveryAnswerCarriesTheSecurityHeaders) {
  test::WriteBytes(path_, "[Data]\r\n");
  const std::string data =
      R"({"data":"6020000200430000000000000000000000000020DF10EF000000000000"})";
  const auto sent = Call("POST", "/api/v1/send", data);
  EXPECT_EQ(sent->status, 0);  // waits for the controller
  const std::pair<std::shared_ptr<HttpResponse>, int> cases[] = {
      {Call("GET", "/", "", ""), 200},  // a file needs no token
      {Call("GET", "/missing.css"), 404},   {Call("GET", "/api/v1/status", "", "Bearer x"), 401},
      {Call("GET", "/api", "", ""), 401},  // the API's, not a file's
      {Call("GET", "/api/v1/status"), 200}, {sent, 200},
  };
  ASSERT_EQ(backend_.replies.size(), 1u);
  backend_.replies[0](Result(Result::Kind::kDone));
  for (const auto& [answer, status] : cases) {
    SCOPED_TRACE(status);
    EXPECT_EQ(answer->status, status);
    EXPECT_EQ(Header(*answer, "Content-Security-Policy"), kContentSecurityPolicy);
    EXPECT_EQ(Header(*answer, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(Header(*answer, "Referrer-Policy"), "no-referrer");
  }
  EXPECT_EQ(sent->body, "{\"result\":\"done\"}\n");
}

TEST_F(WebService, PadLayoutWithTheFilesCaptionsModeAndPage) {
  // msg12 is missing (its default), msg11 is Shift-JIS, msg36 is cut to its 19 bytes on a
  // character boundary; VTR mode on page 2.
  test::WriteBytes(path_, "[COMMON]\r\nTV_VTR=1\r\nPAGE=2\r\n[EXT]\r\nmsg11=" + kSjisTv +
                              "\r\nMSG36=ABCDEFGHIJKLMNOPQR" + kSjisTv + "\r\n[Data]\r\n");
  const Json pad = Pad();
  EXPECT_EQ(pad["vtr_offset"], 31);
  EXPECT_EQ(pad["mode"], "VTR");
  EXPECT_EQ(pad["page"], 2);
  EXPECT_EQ(Dump(pad["tv_vtr"]), R"({"x":8,"y":136,"width":57,"height":25})");
  ASSERT_EQ(pad["pages"].size(), 3u);
  for (int page = 1; page <= 3; ++page) {
    EXPECT_EQ(pad["pages"][page - 1]["page"], page);
    EXPECT_EQ(pad["pages"][page - 1]["keys"].size(), 31u);
  }
  // The whole of one key, in the documented order.
  EXPECT_EQ(Dump(pad["pages"][1]["keys"][0]),
            R"({"name":"Button1","caption":"1","x":8,"y":8,"width":25,"height":25,"index":1,)"
            R"("shifted":true,"graphic":false,"color":"black","ext":false,"code_tv":151,)"
            R"("code_vtr":182,"label":"TV 1","label_vtr":"VTR 1"})");
  auto key = [&](int page, const char* name) {
    for (const Json& k : pad["pages"][page - 1]["keys"])
      if (k["name"] == name) return k;
    ADD_FAILURE() << name;
    return Json();
  };
  const struct {
    int page;
    const char* name;
    const char* caption;
    int code_tv, code_vtr;
    const char* label_vtr;
    bool ext;
  } cases[] = {
      {1, "Button21", "CH+", 113, 144, "VTR CH UP", false},
      {3, "SpeedButton4", "PWR", 215, 215, "TV POWER", false},
      {1, "Button26", "テレビ", 126, 126, "EXT 1", true},
      {1, "Button27", "EXT2", 127, 127, "EXT 2", true},
      {2, "Button26", "EXT1", 176, 176, "EXT 1", true},
      {3, "Button31", "ABCDEFGHIJKLMNOPQR", 231, 231, "EXT 6", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Json k = key(c.page, c.name);
    EXPECT_EQ(k["caption"], c.caption);
    EXPECT_EQ(k["code_tv"], c.code_tv);
    EXPECT_EQ(k["code_vtr"], c.code_vtr);
    EXPECT_EQ(k["label_vtr"], c.label_vtr);
    EXPECT_EQ(k["ext"], c.ext);
  }
  EXPECT_EQ(key(1, "SpeedButton2")["color"], "blue");

  // No settings at all: TV on page 1, default captions.
  test::WriteBytes(path_, "[Data]\r\n");
  const Json plain = Pad();
  EXPECT_EQ(plain["mode"], "TV");
  EXPECT_EQ(plain["page"], 1);
  EXPECT_EQ(plain["pages"][0]["keys"][25]["caption"], "EXT1");

  // A data file that cannot be read is said, not shown as defaults.
  std::filesystem::remove(path_);
  std::filesystem::create_directory(path_);
  const auto unreadable = Call("GET", "/api/v1/pad");
  EXPECT_EQ(unreadable->status, 500);
  EXPECT_NE(unreadable->body.find(path_), std::string::npos) << unreadable->body;

  EXPECT_EQ(Call("PUT", "/api/v1/pad")->status, 405);
  EXPECT_EQ(Call("GET", "/api/v1/pad", "", "")->status, 401);
}

}  // namespace
}  // namespace kavro::server
