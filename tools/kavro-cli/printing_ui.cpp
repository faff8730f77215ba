#include "tools/kavro-cli/printing_ui.h"

#include <ostream>

#include "link/link_messages.h"
#include "tools/kavro-cli/cli_text.h"

namespace kavro::cli {

void Say(std::ostream& out, std::string_view line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  out.put('\n');
  out.flush();
}

void PrintingUi::MsgOut(std::string_view text) {
  if (text.empty()) return;  // clears the status line in the windows: nothing to print
  Say(out_, ForTerminal(text, raw_));
  if (link_msg::IsFailureMessage(text)) failed_ = true;
}

void PrintingUi::LearnData(std::string_view text) {
  if (link_msg::IsLearnedDataText(text)) {
    learned_ = std::string(text);
    return;
  }
  Say(out_, ForTerminal(text, raw_));
  failed_ = true;
}

}  // namespace kavro::cli
