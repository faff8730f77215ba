// The "IR2" tab: codes 1..100, ten rows to a list page, each a send button and the code's comment.
#pragma once

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QWidget;

namespace kavro {

inline constexpr int kListRows = 10;
inline constexpr int kListPages = 10;

struct CodeListPage {
  QWidget* page = nullptr;
  QToolButton* page_left = nullptr;            // PageLeft "<<"
  QToolButton* page_right = nullptr;           // PageRight ">>"
  std::array<QPushButton*, kListRows> rows{};  // RB1..RB10
  std::array<QLabel*, kListRows> comments{};   // RC1..RC10
  QLabel* comment_label = nullptr;             // CommLabel
  QLineEdit* comment = nullptr;                // RComment: at most 20 bytes of Shift-JIS
  QLabel* message = nullptr;                   // Message2, the tab's status line
};

CodeListPage BuildCodeListPage(QWidget* parent);

}  // namespace kavro
