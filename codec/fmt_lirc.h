// LIRC's lircd.conf: "begin remote" ... "end remote" blocks, each with its timing parameters and
// either "begin codes" (a name and a code number per line, sent bit by bit with the remote's
// one/zero pairs) or "begin raw_codes" ("name KEY", then µs, marks and spaces alternating).
// '#' starts a comment anywhere on a line.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "codec/formats.h"
#include "codec/outcome.h"

namespace kavro::codec {

// One entry per code, named by the code's name. A code is built as LIRC sends it: header,
// pre_data, pre, the code's bits, post, post_data, ptrail, most significant bit first unless
// the REVERSE flag is given; CONST_LENGTH makes gap the whole period. The repeat pair (a ditto)
// with ptrail is the signal's repeat; min_repeat adds copies to the intro, up to the block's
// three frames. A code of a remote whose flags or parameters cannot be read gets the remote's
// problem as its error.
std::vector<ImportEntry> ParseLirc(std::string_view content);

// One space_enc remote per protocol and frame shape that decodes alike (its timings the medians
// of its codes, its common leading bytes as pre_data), one raw_codes remote per carrier for the
// rest. Needs options.unit_ns.
Outcome<std::string> WriteLirc(std::span<const ExportCode> codes, const ExportOptions& options);

}  // namespace kavro::codec
