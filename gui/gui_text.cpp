#include "gui/gui_text.h"

#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextDocument>

#include "datafile/file_error.h"
#include "datafile/sjis.h"
#include "link/sjis_utf8.h"

namespace kavro {

namespace {

constexpr const char* kCodePage = kShiftJisCodec;

}  // namespace

QString FromSjis(std::string_view bytes) {
  QStringDecoder decoder(kCodePage);
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToSjis(const QString& text) {
  QStringEncoder whole(kCodePage);
  QByteArray bytes = whole.encode(text);
  if (!whole.hasError())
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  // Some character has no code: encode one character at a time (a fresh coder each, since a
  // coder stays in error), so that each such character costs one "?" and nothing else changes.
  std::string out;
  for (qsizetype i = 0; i < text.size();) {
    qsizetype len = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
    QStringEncoder one(kCodePage);
    QByteArray piece = one.encode(QStringView(text).mid(i, len));
    if (one.hasError() || piece.isEmpty()) {
      out += '?';
    } else {
      out.append(piece.constData(), static_cast<std::size_t>(piece.size()));
    }
    i += len;
  }
  return out;
}

std::string ToSjisCut(const QString& text, std::size_t max_bytes) {
  return std::string(CutSjis(ToSjis(text), max_bytes));
}

std::size_t SjisLength(const QString& text) { return ToSjis(text).size(); }

QLabel* NewTextLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);
  label->setText(text);
  return label;
}

QString PlainToolTip(const QString& text) {
  return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

QString FileErrorQText(const std::string& path, const FileError& error) {
  return QFile::decodeName(QByteArray::fromStdString(path)) + QStringLiteral(": ") +
         QString::fromStdString(DescribeFileError(error));
}

QFont DesignFont() {
  const QString wanted = QStringLiteral("ＭＳ Ｐゴシック");
  QFont font;
  QStringList families = QFontDatabase::families();
  if (families.contains(wanted)) {
    font.setFamily(wanted);
  } else {
    QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    // Prefer a proportional gothic face, the nearest to the design font.
    QString pick;
    for (const QString& f : japanese) {
      if (f.contains(QStringLiteral("PGothic"), Qt::CaseInsensitive)) {
        pick = f;
        break;
      }
    }
    if (pick.isEmpty() && !japanese.isEmpty()) pick = japanese.first();
    font.setFamilies(pick.isEmpty() ? QStringList{wanted} : QStringList{wanted, pick});
  }
  font.setPixelSize(12);
  return font;
}

SjisByteLimitValidator::SjisByteLimitValidator(std::size_t max_bytes, QObject* parent)
    : QValidator(parent), max_bytes_(max_bytes) {}

QValidator::State SjisByteLimitValidator::validate(QString& input, int&) const {
  return SjisLength(input) <= max_bytes_ ? Acceptable : Invalid;
}

void SjisByteLimitValidator::fixup(QString& input) const {
  input = FromSjis(ToSjisCut(input, max_bytes_));
}

}  // namespace kavro
