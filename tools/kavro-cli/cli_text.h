// Text crossing the tool's edge: operands come in as the terminal's UTF-8 and go into the data
// file as Shift-JIS bytes; stored text goes out to the terminal as UTF-8. With --raw every byte
// passes as it is, both ways.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavro::cli {

inline constexpr std::size_t kCommentMaxBytes = 20;

// `argument` as the data file stores it. UTF-8 text is converted to Shift-JIS; bytes that are
// not UTF-8 but valid Shift-JIS (copied from --raw output) are kept as given, as is everything
// when `raw`. Refused, with `error` naming the operand `name`: a character Shift-JIS has no code
// for, and bytes that are neither.
std::optional<std::string> OperandToShiftJis(std::string_view name, std::string_view argument,
                                             bool raw, std::string& error);

// The COMMENT of `learn`, converted as above. Refused as well: a line break (it would start a new
// line of the file) and more than 20 bytes (it is not cut: a script should learn what it asked
// for or nothing).
std::optional<std::string> CommentToShiftJis(std::string_view argument, bool raw,
                                             std::string& error);

// Stored text for the terminal: UTF-8 with control characters escaped, or the bytes as they are
// when `raw`.
std::string ForTerminal(std::string_view sjis, bool raw);

}  // namespace kavro::cli
