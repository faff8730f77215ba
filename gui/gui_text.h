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

// A code in one line, as the windows' tool tips show it: the number, the comment where there is
// one, and " — " with the short decode where it has one ("0117 P1 TV VOL UP — NEC1 4.251 2").
QString CodeLine(const QString& number, const QString& comment, const std::string& brief);

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
