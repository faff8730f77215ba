#include "tools/kavro-cli/comment_text.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace kavro::cli {
namespace {

constexpr const char* kShiftJis = "Shift_JIS";

bool IsShiftJis(std::string_view bytes) {
  QStringDecoder decoder(kShiftJis);
  const QString text = decoder(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return decoder.isValid() && !decoder.hasError();
}

}  // namespace

std::optional<std::string> CommentToShiftJis(std::string_view argument, std::string& error) {
  if (argument.find_first_of("\r\n") != std::string_view::npos) {
    error = "COMMENT must not hold a line break";
    return std::nullopt;
  }
  std::string sjis;
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text =
      utf8(QByteArrayView(argument.data(), static_cast<qsizetype>(argument.size())));
  if (!utf8.hasError()) {
    QStringEncoder encoder(kShiftJis);
    const QByteArray bytes = encoder(text);
    if (!encoder.isValid() || encoder.hasError()) {
      error = "COMMENT holds a character that Shift-JIS has no code for";
      return std::nullopt;
    }
    sjis = bytes.toStdString();
  } else if (IsShiftJis(argument)) {
    sjis = argument;
  } else {
    error = "COMMENT is neither UTF-8 nor Shift-JIS text";
    return std::nullopt;
  }
  if (sjis.size() > kCommentMaxBytes) {
    error = "COMMENT may hold at most 20 bytes in Shift-JIS (a Japanese character takes 2)";
    return std::nullopt;
  }
  return sjis;
}

}  // namespace kavro::cli
