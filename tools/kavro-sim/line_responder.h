#pragma once
// The network IR server's side of the text protocol: lines ending in LF (a CR before it is
// dropped) and the answer to each.
//
//   "RAVIZ C"                 learn: one line "R" + c per --learn-prefix letter at once, then
//                             after the learn delay "RG" + 58 hex digits, or "RN" with
//                             --learn-fail. The program takes "RN" for the controller's 'N'
//                             (a failed learn) and any other letter but G or E as "look at the
//                             reply buffer as it stands".
//   "RAVIZ S53" + 58 hex      IR send: "RE", or with any other --send-reply the line
//                             "ERROR " + the reply bytes in hex; the program shows a line
//                             starting with 'E' whole as a message, so the user sees the code.
//   "RAVIZ D"                 accepted quietly; with --answer-d the line "MOK".
// Hex digits may be of either case. Anything else is logged as "unknown" and not answered.
// Every answer line ends in CR LF. A line longer than kMaxLine is logged cut and dropped.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kavro-sim/received.h"
#include "tools/kavro-sim/sim_options.h"

namespace kavro::sim {

class LineResponder {
 public:
  static constexpr std::size_t kMaxLine = 4096;

  explicit LineResponder(const SimOptions& options);

  // Takes received bytes; returns every line finished by them, in order.
  std::vector<Received> feed(const std::uint8_t* data, std::size_t size);

 private:
  Received respond(std::string_view line) const;

  const SimOptions options_;
  std::string held_;
  bool dropping_ = false;  // inside a line that was too long
};

}  // namespace kavro::sim
