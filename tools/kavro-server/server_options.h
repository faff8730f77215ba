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
  // MQTT: on with --mqtt; the rest is kept aside until the node id and password are known.
  std::optional<std::string> mqtt_address;
  std::optional<std::string> node;
  std::string mqtt_base = "kavro";
  std::string discovery_prefix = "homeassistant";
  std::string mqtt_cafile;
  std::string mqtt_user;
  std::optional<std::string> mqtt_password_file;
  bool help = false;
};

inline constexpr const char* kUsage =
    "usage: kavro-server [--data FILE] [--link COM1..COM5] [--line HOST:PORT] [--http HOST:PORT]\n"
    "                    [--token-file FILE] [--queue N] [-v] [--show-url]\n"
    "                    [--mqtt HOST:PORT [--node ID] [--mqtt-base TOPIC] [--discovery-prefix P|none]\n"
    "                     [--mqtt-cafile FILE] [--mqtt-user USER] [--mqtt-password-file FILE]]\n"
    "  --show-url  also print \"open http://HOST:PORT/#token=TOKEN\", the web remote with its\n"
    "              token, to open on a phone (for --http 0.0.0.0 or [::], HOST is this machine's\n"
    "              first address other than loopback); the token is printed nowhere else\n";

// Nothing (with `error` naming the option) for a bad command line.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// "HOST:PORT" with a numeric host ("[::1]:8024" for IPv6) and a port 0..65535.
bool ParseListenAddress(const std::string& text, std::string& host, int& port);

// The MQTT options of `line`, with the node id from the host name when not given and the
// password read from its file; nothing (with `error`) when MQTT is asked for wrongly.
std::optional<MqttFront::Options> ResolveMqtt(const CommandLine& line, std::string& error);

// The token in `path`, made first when the file is missing (32 random bytes as hex, mode 0600).
// Nothing, with `error` set, when it can be neither read nor made, or holds no token.
std::optional<std::string> LoadOrMakeToken(const std::string& path, std::string& error);

}  // namespace kavro::server
