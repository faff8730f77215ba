// Which link a program uses, and where: from its options, else from the data file as the main
// window reads it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavro {

// What a command line may say about the link; what it leaves out comes from the data file.
struct LinkChoice {
  std::optional<std::string> link;  // "COM1".."COM5" or "RaViz", any case
  std::optional<std::string> host;
  std::optional<std::string> port;
};

struct LinkSettings {
  int port_choice = 1;  // 1..5 COM1..COM5, 6 the TCP link
  std::string host;
  int tcp_port = 0;
};

// "COM1".."COM5" give 1..5, "RaViz" gives 6, in any case; anything else nothing.
std::optional<int> ParseLinkName(std::string_view name);
// A TCP port: decimal digits only (blanks around them allowed), 1..65535.
std::optional<int> ParseTcpPort(std::string_view text);

// The settings for `options` and the data file: the link named by --link, else the choice
// stored in COMMON/COM (first character "1".."5", "6" for the TCP link, anything else COM1);
// host and port from --host/--port, else from section Lan. Reads the data file's Serial
// section into the port table. A port that is not a number is bad input: nothing, with `error`
// set. Host and port are checked only when the TCP link is used.
std::optional<LinkSettings> ResolveLinkSettings(const LinkChoice& options,
                                                const std::string& data_file, std::string& error);

}  // namespace kavro
