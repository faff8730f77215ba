#include "mainwin/port_setting.h"

#include <stdexcept>
#include <string>

#include "datafile/leading_decimal.h"
#include "gui/conversion_error.h"
#include "gui/gui_text.h"

namespace kavro {

int PortFromSetting(std::string_view stored) {
  // The error message is shown as UTF-8; the stored text is Shift-JIS. Blanks left after the
  // number by a hand edit are forgiven.
  std::string text = FromSjis(stored).toStdString();
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  const int port = StrToInt(text);
  if (port < 1 || port > 65535)
    throw std::out_of_range("'" + text + "' is not a valid port number (1-65535)");
  return port;
}

}  // namespace kavro
