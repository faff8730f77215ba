// kavro-server's command line, and its token file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "server/server_app.h"

namespace kavro::server {

struct CommandLine {
  ServerOptions options;
  std::optional<std::string> data_file;   // --data
  std::optional<std::string> link;        // --link
  std::optional<std::string> token_file;  // --token-file
  bool help = false;
};

inline constexpr const char* kUsage =
    "usage: kavro-server [--data FILE] [--link COM1..COM5] [--line HOST:PORT] [--http HOST:PORT]\n"
    "                    [--token-file FILE] [--queue N] [-v]\n";

// Nothing (with `error` naming the option) for a bad command line.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// "HOST:PORT" with a numeric host ("[::1]:8024" for IPv6) and a port 0..65535.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);

// The token in `path`, made first when the file is missing (32 random bytes as hex, mode 0600).
// Nothing, with `error` set, when it can be neither read nor made, or holds no token.
std::optional<std::string> LoadOrMakeToken(const std::string& path, std::string& error);

}  // namespace kavro::server
