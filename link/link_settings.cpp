#include "link/link_settings.h"

#include <charconv>

#include "datafile/layout.h"
#include "datafile/leading_decimal.h"
#include "datafile/store.h"
#include "link/controller_link.h"
#include "link/serial_devices.h"

namespace kavro {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string Read(const std::string& data_file, const Setting& setting) {
  std::string value;
  ReadKeyValue(data_file, setting.section, setting.key, value, setting.deflt);
  return value;
}

}  // namespace

std::optional<int> ParseLinkName(std::string_view name) {
  if (EqualsIgnoringCase(name, "RaViz")) return kTcpPort;
  if (name.size() == 4 && EqualsIgnoringCase(name.substr(0, 3), "COM") && name[3] >= '1' &&
      name[3] <= '5')
    return name[3] - '0';
  return std::nullopt;
}

std::optional<int> ParseTcpPort(std::string_view text) {
  text = TrimBlanks(text);
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || text.front() == '-' || ec != std::errc() || ptr != end || value < 1 ||
      value > 65535)
    return std::nullopt;
  return value;
}

std::optional<LinkSettings> ResolveLinkSettings(const LinkChoice& options,
                                                const std::string& data_file, std::string& error) {
  LinkSettings settings;
  if (options.link) {
    settings.port_choice = ParseLinkName(*options.link).value_or(1);
  } else {
    const std::string com = Read(data_file, kComSetting);
    const char first = com.empty() ? '\0' : com.front();
    settings.port_choice = first >= '1' && first <= '6' ? first - '0' : 1;
  }
  LoadSerialDevices(data_file);
  if (settings.port_choice != kTcpPort) return settings;

  settings.host = options.host ? *options.host : Read(data_file, kLanHostSetting);
  const std::string port = options.port ? *options.port : Read(data_file, kLanPortSetting);
  const std::optional<int> number = ParseTcpPort(port);
  if (!number) {
    error = "the TCP port \"" + port + "\" " +
            (options.port ? "given with --port" : "of section Lan, key Port, in " + data_file) +
            " is not a number from 1 to 65535";
    return std::nullopt;
  }
  settings.tcp_port = *number;
  return settings;
}

}  // namespace kavro
