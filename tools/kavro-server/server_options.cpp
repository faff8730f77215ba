#include "tools/kavro-server/server_options.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kavro::server {
namespace {

std::optional<int> Number(std::string_view text, int low, int high) {
  int value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || ptr != text.data() + text.size() || value < low ||
      value > high)
    return std::nullopt;
  return value;
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string& host, int& port) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string name = text.substr(0, colon);
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  const std::optional<int> number = Number(std::string_view(text).substr(colon + 1), 0, 65535);
  if (!number) return false;
  host = name;
  port = *number;
  return true;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "-h" || arg == "--help") {
      line.help = true;
      continue;
    }
    if (arg == "-v" || arg == "--verbose") {
      line.options.verbose = true;
      continue;
    }
    if (arg == "--show-url") {
      line.options.show_url = true;
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string name = arg, value;
    if (const std::size_t equals = arg.find('=');
        arg.starts_with("--") && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      error = arg.starts_with("-") ? arg + " needs a value" : "unexpected \"" + arg + "\"";
      return std::nullopt;
    }
    ServerOptions& o = line.options;
    if (name == "--data" && !value.empty()) {
      line.data_file = value;
    } else if (name == "--link") {
      line.link = value;
    } else if (name == "--token-file" && !value.empty()) {
      line.token_file = value;
    } else if (name == "--line") {
      if (!ParseListenAddress(value, o.line_host, o.line_port)) {
        error = "--line \"" + value + "\" is not HOST:PORT (a numeric address, port 0 to 65535)";
        return std::nullopt;
      }
    } else if (name == "--http") {
      if (!ParseListenAddress(value, o.http_host, o.http_port)) {
        error = "--http \"" + value + "\" is not HOST:PORT (a numeric address, port 0 to 65535)";
        return std::nullopt;
      }
    } else if (name == "--queue") {
      const std::optional<int> limit = Number(value, 1, 10000);
      if (!limit) {
        error = "--queue \"" + value + "\" is not a number from 1 to 10000";
        return std::nullopt;
      }
      o.queue_limit = static_cast<std::size_t>(*limit);
    } else if (name == "--mqtt") {
      line.mqtt_address = value;
    } else if (name == "--node") {
      line.node = value;
    } else if (name == "--mqtt-base") {
      line.mqtt_base = value;
    } else if (name == "--discovery-prefix") {
      line.discovery_prefix = value == "none" ? "" : value;
    } else if (name == "--mqtt-cafile" && !value.empty()) {
      line.mqtt_cafile = value;
    } else if (name == "--mqtt-user" && !value.empty()) {
      line.mqtt_user = value;
    } else if (name == "--mqtt-password-file" && !value.empty()) {
      line.mqtt_password_file = value;
    } else {
      error = "unknown option \"" + name + "\"";
      return std::nullopt;
    }
  }
  return line;
}

namespace {

// A topic level of our own making: no wildcard, no empty level, no leading or trailing '/'.
bool GoodTopicRoot(const std::string& text) {
  return !text.empty() && text.find_first_of("+#") == std::string::npos && text.front() != '/' &&
         text.back() != '/' && text.find("//") == std::string::npos;
}

}  // namespace

std::optional<MqttFront::Options> ResolveMqtt(const CommandLine& line, std::string& error) {
  MqttFront::Options mqtt;
  if (!ParseListenAddress(*line.mqtt_address, mqtt.host, mqtt.port) || mqtt.port == 0) {
    error = "--mqtt \"" + *line.mqtt_address + "\" is not HOST:PORT (port 1 to 65535)";
    return std::nullopt;
  }
  std::string node;
  if (line.node) {
    node = *line.node;
  } else {
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    node = host;
  }
  mqtt.names.node = NodeIdFrom(node);
  mqtt.names.base = line.mqtt_base;
  mqtt.names.prefix = line.discovery_prefix;
  if (!GoodTopicRoot(mqtt.names.base)) {
    error = "--mqtt-base \"" + mqtt.names.base + "\" must be a topic without + # or empty levels";
    return std::nullopt;
  }
  if (!mqtt.names.prefix.empty() && !GoodTopicRoot(mqtt.names.prefix)) {
    error = "--discovery-prefix \"" + mqtt.names.prefix +
            "\" must be a topic without + # or empty levels, or none";
    return std::nullopt;
  }
  mqtt.cafile = line.mqtt_cafile;
  mqtt.user = line.mqtt_user;
  if (line.mqtt_password_file) {
    std::ifstream in(*line.mqtt_password_file);
    if (!in || !std::getline(in, mqtt.password)) {
      error = *line.mqtt_password_file + ": cannot read the MQTT password";
      return std::nullopt;
    }
    if (!mqtt.password.empty() && mqtt.password.back() == '\r') mqtt.password.pop_back();
  }
  return mqtt;
}

std::optional<std::string> LoadOrMakeToken(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    unsigned char random[32];
    const bool got = ::getrandom(random, sizeof random, 0) == static_cast<ssize_t>(sizeof random);
    std::string token;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const unsigned char byte : random) {
      token += kDigits[byte >> 4];
      token += kDigits[byte & 15];
    }
    const std::string line = token + "\n";
    const bool written =
        got && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    if (!written) {
      ::unlink(path.c_str());
      error = path + ": cannot write the token";
      return std::nullopt;
    }
    return token;
  }
  if (errno != EEXIST) {
    error = path + ": cannot make the token file: " + std::strerror(errno);
    return std::nullopt;
  }
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot read the token file: " + std::strerror(errno);
    return std::nullopt;
  }
  std::string token;
  in >> token;
  if (token.size() < 16) {
    error = path + ": holds no token (at least 16 characters on its first line)";
    return std::nullopt;
  }
  return token;
}

}  // namespace kavro::server
