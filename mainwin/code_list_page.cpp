#include "mainwin/code_list_page.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "datafile/layout.h"
#include "gui/gui_text.h"
#include "mainwin/widget_colors.h"

namespace kavro {

namespace {

QToolButton* PageButton(QWidget* parent, const char* name, const char* caption, int x) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setText(QString::fromLatin1(caption));
  button->setFocusPolicy(Qt::NoFocus);
  button->setGeometry(x, 8, 25, 17);
  SetFontColor(button, kGreen);
  return button;
}

}  // namespace

CodeListPage BuildCodeListPage(QWidget* parent) {
  CodeListPage list;
  list.page = new QWidget(parent);

  // Made first, so it comes first in the tab's focus order.
  list.comment = new QLineEdit(list.page);
  list.comment->setObjectName(QStringLiteral("RComment"));
  list.comment->setGeometry(64, 272, 89, 20);
  list.comment->setMaxLength(static_cast<int>(kCommentSlot));
  list.comment->setValidator(new SjisByteLimitValidator(kCommentSlot, list.comment));

  list.page_left = PageButton(list.page, "PageLeft", "<<", 40);
  list.page_right = PageButton(list.page, "PageRight", ">>", 88);

  for (int i = 0; i < kListRows; ++i) {
    const int y = 32 + 24 * i;
    auto* row = new QPushButton(QString::number(i + 1), list.page);
    row->setObjectName(QStringLiteral("RB%1").arg(i + 1));
    row->setGeometry(8, y, 25, 17);
    list.rows[i] = row;
    auto* comment = NewTextLabel(QString(), list.page);
    comment->setObjectName(QStringLiteral("RC%1").arg(i + 1));
    comment->setGeometry(40, y, 113, 17);
    list.comments[i] = comment;
  }

  list.comment_label = NewTextLabel(QStringLiteral("Comment"), list.page);
  list.comment_label->setObjectName(QStringLiteral("CommLabel"));
  list.comment_label->setGeometry(8, 272, 56, 20);

  list.message = NewTextLabel(QStringLiteral("MessageArea"), list.page);
  list.message->setObjectName(QStringLiteral("Message2"));
  list.message->setGeometry(8, 296, 145, 14);
  return list;
}

}  // namespace kavro
