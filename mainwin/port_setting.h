// The TCP port of the network IR server as stored in the data file.
#pragma once

#include <string_view>

namespace kavro {

// The stored text as a port number 1..65535. Text that is not a whole decimal integer raises
// the library's conversion error; a number outside the port range raises it too, rather than
// being cut to 16 bits and reaching some other port.
int PortFromSetting(std::string_view stored);

}  // namespace kavro
