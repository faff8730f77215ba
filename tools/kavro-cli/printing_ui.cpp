#include "tools/kavro-cli/printing_ui.h"

#include <array>
#include <ostream>

namespace kavro::cli {
namespace {

// The link's own texts for an exchange that did not do what was asked.
bool IsFailureMessage(std::string_view text) {
  static constexpr std::array<std::string_view, 5> kFailures{
      "RS232C timeout!", "RS232C using!", "RS232C send error!", "TCP/IP send error!",
      "Learn error!"};
  for (std::string_view failure : kFailures)
    if (text == failure) return true;
  return text.starts_with("IR Data Error!");
}

// How the library window tells a learned data text from a message: by its first character.
bool IsDataText(std::string_view text) {
  if (text.empty()) return false;
  const char c = text.front();
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

void Say(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
  out.flush();
}

void PrintingUi::MsgOut(std::string_view text) {
  if (text.empty()) return;  // clears the status line in the windows: nothing to print
  Say(out_, text);
  if (IsFailureMessage(text)) failed_ = true;
}

void PrintingUi::LearnData(std::string_view text) {
  if (IsDataText(text)) {
    learned_ = std::string(text);
    return;
  }
  Say(out_, text);
  failed_ = true;
}

}  // namespace kavro::cli
