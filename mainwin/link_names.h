// How the windows name a link for the user: the port with the device behind it, or the address
// of the network IR server.
#pragma once

#include <QString>

#include <string>

namespace kavro {

// "COM1 (/dev/ttyUSB0)" for the choices 1..5 ("COM1" alone when no device stands for the
// port); "RaViz (127.0.0.1:1024)" for the TCP link, an IPv6 address in brackets.
QString LinkName(int choice, const std::string& host, int tcp_port);

// The About dialog's line: "Link: COM1 (/dev/ttyUSB0), open".
QString LinkStateLine(const QString& link_name, bool open);

// `text` as a menu item's caption: an "&" in a device path or host name is shown, not taken for
// the mark of an access key.
QString MenuItemText(const QString& text);

}  // namespace kavro
