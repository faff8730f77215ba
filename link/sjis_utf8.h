// Text at the program's edges: the data file and the controller's server keep Shift-JIS (code
// page 932) bytes, while terminals, JSON and MQTT speak UTF-8. Conversions for those edges live
// here, on the same coder the windows use, so every edge maps a byte the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kavro {

// The coder's name: Qt's ICU tables behind it are code page 932's (glibc's "SHIFT_JIS" is another
// table and must not be used for our files).
inline constexpr const char* kShiftJisCodec = "Shift_JIS";

// Shift-JIS bytes as UTF-8; a byte that starts no character becomes the coder's substitute,
// U+001A.
std::string SjisToUtf8(std::string_view sjis);
// UTF-8 text as Shift-JIS bytes; nothing when `utf8` is not UTF-8 or holds a character that code
// page 932 has no code for.
std::optional<std::string> Utf8ToSjis(std::string_view utf8);

// UTF-8 text as Shift-JIS bytes, each character code page 932 has no code for (and each byte that
// is no UTF-8) as "?": for names taken from other tools' files, where one odd character must not
// lose the whole name.
std::string Utf8ToSjisReplacing(std::string_view utf8);

// Every control byte (0x00-0x1F, 0x7F) as "\xHH", so that outside text cannot move a cursor,
// clear a screen or retitle a window where it is shown. Other bytes stay as they are.
std::string EscapeControlBytes(std::string_view bytes);

// UTF-8 text for a terminal: control bytes as above and the C1 controls (U+0080-U+009F) escaped
// as "\xHH" too.
std::string Utf8ToTerminal(std::string_view utf8);

// Shift-JIS bytes for a terminal: control bytes escaped as above, converted to UTF-8, a byte that
// starts no character shown as U+FFFD, and the C1 controls (U+0080-U+009F) that decoding can
// yield escaped as "\xHH" too.
std::string SjisToTerminal(std::string_view sjis);

}  // namespace kavro
