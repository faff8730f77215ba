// Every HTTP request of kavro-server, as the listener hands it over: the web page's files
// outside /api/ (no token needed: the page has to load before it knows one), the API under it.
// Every answer, of either kind and whenever it is given, carries the security headers.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "server/api_routes.h"
#include "server/http_types.h"
#include "server/static_files.h"

namespace kavro::server {

// The page may load its own scripts, styles, images and manifest and talk to its own server;
// nothing inline, nothing from elsewhere, no framing.
inline constexpr std::string_view kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; manifest-src 'self'; base-uri 'none'; form-action 'none'; "
    "frame-ancestors 'none'";

// Content-Security-Policy, X-Content-Type-Options and Referrer-Policy.
const HttpHeaders& SecurityHeaders();

// Whether an If-None-Match value ("a list of entity tags, or *") names `etag`. Weak tags match
// too, as the comparison for If-None-Match is the weak one.
bool EtagMatches(std::string_view if_none_match, std::string_view etag);

// GET and HEAD of a file in `files`: 200 with the file, or 304 when the client's copy is
// current (the listener sends the body of neither a HEAD nor a 304, but its length); 404 for no
// such file, 405 for other methods.
HttpResponse StaticAnswer(const HttpRequest& request,
                          std::span<const StaticFile> files = StaticFiles());

// Answers `request`: the API's route for paths under /api/, a file otherwise.
void HandleHttp(ApiRoutes& api, const HttpRequest& request, ClientId client,
                const ApiRoutes::Respond& respond);

}  // namespace kavro::server
