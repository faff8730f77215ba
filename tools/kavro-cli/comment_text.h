// The COMMENT of `learn` as the data file stores it: Shift-JIS bytes, at most 20 of them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavro::cli {

inline constexpr std::size_t kCommentMaxBytes = 20;

// The command line gives UTF-8 text (the terminal's encoding); it is converted to Shift-JIS.
// Bytes that are not UTF-8 but valid Shift-JIS (a comment copied from the `codes` output) are
// kept as given. Refused, with `error` set: a character Shift-JIS has no code for, text that is
// neither, a line break (it would start a new line of the file) and more than 20 bytes (it is
// not cut: a script should learn what it asked for or nothing).
std::optional<std::string> CommentToShiftJis(std::string_view argument, std::string& error);

}  // namespace kavro::cli
