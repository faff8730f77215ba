// An HTTP request as the routes see it and the answer they give: plain values, no sockets, so
// the routes can be tested and fuzzed without a listener.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kavro::server {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method;         // "GET", "PUT", ...
  std::string path;           // without the query string, not decoded
  std::string query;          // after '?', not decoded; empty when none
  std::string authorization;  // the Authorization header, empty when none
  std::string body;
  // The If-None-Match header, empty when none. Initialised here, so that the requests written
  // as {method, path, query, authorization, body} need not name it.
  std::string if_none_match = {};
};

struct HttpResponse {
  HttpResponse() = default;
  HttpResponse(int status_code, std::string body_text, std::string type = "application/json")
      : status(status_code), body(std::move(body_text)), content_type(std::move(type)) {}

  int status = 200;
  std::string body;
  std::string content_type = "application/json";
  // Further headers, e.g. {"Cache-Control", "no-store"}.
  HttpHeaders headers;
};

}  // namespace kavro::server
