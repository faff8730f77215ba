#include "link/sjis_utf8.h"

#include <utility>

#include <QByteArray>
#include <QLatin1String>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace kavro {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
// What the coder makes of a byte that starts no character.
constexpr char16_t kCoderSubstitute = 0x1A;

void AppendEscaped(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

// Stateless: a lead byte at the very end is a character of its own, not held for a next call.
QString DecodeSjis(std::string_view sjis) {
  QStringDecoder decoder(kShiftJisCodec, QStringConverter::Flag::Stateless);
  return decoder.decode(QByteArrayView(sjis.data(), static_cast<qsizetype>(sjis.size())));
}

}  // namespace

std::string SjisToUtf8(std::string_view sjis) { return DecodeSjis(sjis).toStdString(); }

std::optional<std::string> Utf8ToSjis(std::string_view utf8) {
  // A byte order mark is kept as a character, so that it is refused rather than dropped unseen.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
  const QString text =
      decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
  if (decoder.hasError()) return std::nullopt;
  QStringEncoder encoder(kShiftJisCodec);
  const QByteArray bytes = encoder.encode(text);
  if (!encoder.isValid() || encoder.hasError()) return std::nullopt;
  return bytes.toStdString();
}

std::string EscapeControlBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F)
      AppendEscaped(out, byte);
    else
      out += c;
  }
  return out;
}

std::string SjisToTerminal(std::string_view sjis) {
  // Control bytes are escaped before decoding, so a control character after it can only be the
  // coder's substitute for a byte that is no character, or a C1 control that decoding yielded.
  QString text = DecodeSjis(EscapeControlBytes(sjis));
  text.replace(QChar(kCoderSubstitute), QChar(QChar::ReplacementCharacter));
  QString shown;
  shown.reserve(text.size());
  for (const QChar c : std::as_const(text)) {
    if (c.unicode() >= 0x80 && c.unicode() <= 0x9F) {
      std::string escaped;
      AppendEscaped(escaped, static_cast<unsigned char>(c.unicode()));
      shown += QLatin1String(escaped.data(), static_cast<qsizetype>(escaped.size()));
    } else {
      shown += c;
    }
  }
  return shown.toStdString();
}

}  // namespace kavro
