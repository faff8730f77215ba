#include "link/sjis_utf8.h"

#include <QByteArray>
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

std::string Utf8ToTerminal(std::string_view utf8) {
  const std::string escaped = EscapeControlBytes(utf8);
  // A C1 control is U+0080-U+009F, encoded as C2 80 to C2 9F.
  std::string out;
  out.reserve(escaped.size());
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    const auto byte = static_cast<unsigned char>(escaped[i]);
    const auto next = i + 1 < escaped.size() ? static_cast<unsigned char>(escaped[i + 1]) : 0;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      AppendEscaped(out, next);
      ++i;
    } else {
      out += escaped[i];
    }
  }
  return out;
}

std::string SjisToTerminal(std::string_view sjis) {
  // Control bytes are escaped before decoding, so a control character after it can only be the
  // coder's substitute for a byte that is no character, or a C1 control that decoding yielded.
  QString text = DecodeSjis(EscapeControlBytes(sjis));
  text.replace(QChar(kCoderSubstitute), QChar(QChar::ReplacementCharacter));
  return Utf8ToTerminal(text.toStdString());
}

std::string Utf8ToSjisReplacing(std::string_view utf8) {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
  QStringEncoder whole(kShiftJisCodec);
  const QByteArray bytes = whole.encode(text);
  if (!whole.hasError()) return bytes.toStdString();
  // A coder stays in error once it met a character without a code: one fresh coder per
  // character, so that each such character costs one "?" and nothing else changes.
  std::string out;
  for (qsizetype i = 0; i < text.size();) {
    const qsizetype length = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
    QStringEncoder one(kShiftJisCodec);
    const QByteArray piece = one.encode(QStringView(text).mid(i, length));
    if (one.hasError() || piece.isEmpty())
      out += '?';
    else
      out.append(piece.constData(), static_cast<std::size_t>(piece.size()));
    i += length;
  }
  return out;
}

}  // namespace kavro
