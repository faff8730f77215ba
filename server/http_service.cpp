#include "server/http_service.h"

namespace kavro::server {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool IsApiPath(std::string_view path) { return path == "/api" || path.starts_with("/api/"); }

}  // namespace

const HttpHeaders& SecurityHeaders() {
  static const HttpHeaders headers = {
      {"Content-Security-Policy", std::string(kContentSecurityPolicy)},
      {"X-Content-Type-Options", "nosniff"},
      {"Referrer-Policy", "no-referrer"},
  };
  return headers;
}

bool EtagMatches(std::string_view if_none_match, std::string_view etag) {
  while (!if_none_match.empty()) {
    const std::size_t comma = if_none_match.find(',');
    std::string_view tag = Trim(if_none_match.substr(0, comma));
    if_none_match.remove_prefix(comma == std::string_view::npos ? if_none_match.size() : comma + 1);
    if (tag == "*") return true;
    if (tag.starts_with("W/")) tag.remove_prefix(2);
    if (!tag.empty() && tag == etag) return true;
  }
  return false;
}

HttpResponse StaticAnswer(const HttpRequest& request, std::span<const StaticFile> files) {
  const StaticFile* file = FindStaticFile(request.path, files);
  if (file == nullptr)
    return {404, Dump(Json{{"error", "no such file: " + request.path.substr(0, 200)}}) + "\n"};
  if (request.method != "GET" && request.method != "HEAD") {
    HttpResponse answer(
        405, Dump(Json{{"error", request.method + " is not allowed here (GET, HEAD)"}}) + "\n");
    answer.headers.push_back({"Allow", "GET, HEAD"});
    return answer;
  }
  // no-cache: the browser asks every time, and a current copy costs a 304 without a body. The
  // 304 keeps the body for its Content-Length, which must be the 200's; the listener sends it
  // no more than a HEAD's.
  HttpResponse answer(200, std::string(file->Body()), std::string(file->content_type));
  if (EtagMatches(request.if_none_match, file->etag)) answer.status = 304;
  answer.headers.push_back({"ETag", std::string(file->etag)});
  answer.headers.push_back({"Cache-Control", "no-cache"});
  return answer;
}

void HandleHttp(ApiRoutes& api, const HttpRequest& request, ClientId client,
                const ApiRoutes::Respond& respond) {
  auto secured = [respond](HttpResponse response) {
    const HttpHeaders& security = SecurityHeaders();
    response.headers.insert(response.headers.end(), security.begin(), security.end());
    respond(std::move(response));
  };
  if (IsApiPath(request.path)) return api.Handle(request, client, secured);
  secured(StaticAnswer(request));
}

}  // namespace kavro::server
