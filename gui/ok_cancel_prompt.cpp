#include "gui/ok_cancel_prompt.h"

#include <QMessageBox>

namespace kavro {

bool AskOkCancel(QWidget* parent, const QString& text, const QString& caption) {
  return QMessageBox::question(parent, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                               QMessageBox::Ok) == QMessageBox::Ok;
}

}  // namespace kavro
