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

std::string ToSjis(const QString& text) { return Utf8ToSjisReplacing(text.toStdString()); }

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

QString CodeLine(const QString& number, const QString& comment, const std::string& brief) {
  QString line = number;
  if (!comment.isEmpty()) line += QLatin1Char(' ') + comment;
  if (!brief.empty()) line += QString::fromUtf8(" — ") + QString::fromStdString(brief);
  return line;
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
    // Only the face that is there: with the missing one first in the list, Qt looks for it
    // before every font it makes, half a millisecond of the start's first text.
    font.setFamily(pick.isEmpty() ? wanted : pick);
  }
  font.setPixelSize(12);
  // Crisp, as the design font is drawn at this size on its home system. It is also the faster
  // start: Qt's default light hinting runs FreeType's auto-hinter, whose first use on a large
  // Japanese face costs more than drawing all the window's captions.
  font.setHintingPreference(QFont::PreferFullHinting);
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
