// The GUI boundary for text: the model and the data file keep Shift-JIS bytes, widgets show
// Unicode. Conversions happen here and nowhere else.
#pragma once

#include <QFont>
#include <QString>
#include <QValidator>

class QLabel;
class QWidget;

namespace kavro {
struct FileError;
}

#include <cstddef>
#include <string>
#include <string_view>

namespace kavro {

// Shift-JIS (code page 932) bytes to text for a widget.
QString FromSjis(std::string_view bytes);
// Text from a widget to Shift-JIS bytes; a character code page 932 lacks becomes "?".
std::string ToSjis(const QString& text);
// As ToSjis, cut to at most `max_bytes` without splitting a double-byte character.
std::string ToSjisCut(const QString& text, std::size_t max_bytes);
// Number of Shift-JIS bytes the text takes.
std::size_t SjisLength(const QString& text);

// A label for text from outside (messages, comments, file names, a server's replies): plain
// text always, so markup in it is shown as it is and never rendered.
QLabel* NewTextLabel(const QString& text, QWidget* parent);

// A tool tip that shows `text` as it is, whatever markup it holds (Qt takes a tool tip that looks
// like markup for rich text).
QString PlainToolTip(const QString& text);

// A file error for a message box: "<path>: <reason>", the path as the system spells it.
QString FileErrorQText(const std::string& path, const FileError& error);

// The windows' design font: "ＭＳ Ｐゴシック" of 12 pixels. Where that family is missing, a
// Japanese family of the system stands in, so Japanese captions never show as boxes.
QFont DesignFont();

// Refuses edits that would make the text longer than `max_bytes` bytes of Shift-JIS, so a comment
// typed by the user always fits its slot whole.
class SjisByteLimitValidator : public QValidator {
 public:
  SjisByteLimitValidator(std::size_t max_bytes, QObject* parent);
  State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;

 private:
  std::size_t max_bytes_;
};

}  // namespace kavro
