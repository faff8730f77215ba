#include "tools/kavro-cli/cli_text.h"

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

#include "link/sjis_utf8.h"

namespace kavro::cli {
namespace {

bool IsShiftJis(std::string_view bytes) {
  // Stateless, so that a lead byte left alone at the end counts as an error, not as pending.
  QStringDecoder decoder(kShiftJisCodec, QStringConverter::Flag::Stateless);
  const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return decoder.isValid() && !decoder.hasError();
}

bool IsUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
  const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decoder.hasError();
}

}  // namespace

std::optional<std::string> OperandToShiftJis(std::string_view name, std::string_view argument,
                                             bool raw, std::string& error) {
  if (raw) return std::string(argument);
  if (IsUtf8(argument)) {
    std::optional<std::string> sjis = Utf8ToSjis(argument);
    if (!sjis) error = std::string(name) + " holds a character that Shift-JIS has no code for";
    return sjis;
  }
  if (IsShiftJis(argument)) return std::string(argument);
  error = std::string(name) + " is neither UTF-8 nor Shift-JIS text";
  return std::nullopt;
}

std::optional<std::string> CommentToShiftJis(std::string_view argument, bool raw,
                                             std::string& error) {
  if (argument.find_first_of("\r\n") != std::string_view::npos) {
    error = "COMMENT must not hold a line break";
    return std::nullopt;
  }
  std::optional<std::string> sjis = OperandToShiftJis("COMMENT", argument, raw, error);
  if (sjis && sjis->size() > kCommentMaxBytes) {
    error = "COMMENT may hold at most 20 bytes in Shift-JIS (a Japanese character takes 2)";
    return std::nullopt;
  }
  return sjis;
}

std::string ForTerminal(std::string_view sjis, bool raw) {
  return raw ? std::string(sjis) : SjisToTerminal(sjis);
}

}  // namespace kavro::cli
