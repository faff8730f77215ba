#include "mainwin/main_menu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "mainwin/link_names.h"

namespace kavro {

namespace {

QAction* Item(QMenu* menu, const char* name, const char* caption) {
  QAction* action = menu->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  return action;
}

void Separator(QMenu* menu, const char* name) {
  menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

// Radio items of one group; the first is checked.
template <std::size_t N>
void RadioGroup(QMenu* menu, std::array<QAction*, N>& items, const char* const (&names)[N],
                const char* const (&captions)[N]) {
  auto* group = new QActionGroup(menu);
  group->setExclusive(true);
  for (std::size_t i = 0; i < N; ++i) {
    items[i] = Item(menu, names[i], captions[i]);
    items[i]->setCheckable(true);
    group->addAction(items[i]);
  }
  items[0]->setChecked(true);
}

QMenu* Submenu(QWidget* parent, const char* name, const char* caption) {
  auto* menu = new QMenu(QString::fromLatin1(caption), parent);
  menu->setObjectName(QString::fromLatin1(name));
  return menu;
}

}  // namespace

MainMenu BuildMainMenu(QMenuBar* bar) {
  MainMenu m;
  m.file = Submenu(bar, "File1", "File(&F)");
  bar->addMenu(m.file);

  m.page = Submenu(m.file, "PageP1", "Page(&P)");
  m.file->addMenu(m.page);
  RadioGroup(m.page, m.pages, {"Page11", "Page21", "Page31"}, {"Page1", "Page2", "Page3"});
  // Beside the pages it walks through, so it shares their menu's rule: pad tab only.
  Separator(m.page, "N4");
  m.learn_page = m.page->addAction(QString::fromUtf8("Learn page…"));
  m.learn_page->setObjectName(QStringLiteral("LearnPage1"));

  m.com = Submenu(m.file, "COM", "Com_Lan(&C)");
  m.file->addMenu(m.com);
  RadioGroup(m.com, m.ports, {"COM12", "COM22", "COM32", "COM42", "COM52", "RaViz1"},
             {"COM1", "COM2", "COM3", "COM4", "COM5", "RaViz"});
  m.disconnect = Item(m.file, "DisConnectD1", "Disconnect(&D)");

  Separator(m.file, "N2");
  m.management = Item(m.file, "management1", "Data Management(&M)");
  Separator(m.file, "N1");
  m.version = Item(m.file, "VersionV1", "Version(&V)");
  Separator(m.file, "N3");
  m.exit = Item(m.file, "Exit", "Exit(&E)");

  m.learn = bar->addAction(QStringLiteral("Learn(&L)"));
  m.learn->setObjectName(QStringLiteral("LearnL1"));
  return m;
}

void ShowPortItemTexts(const MainMenu& menu, const std::string& host, int tcp_port) {
  for (int choice = 1; choice <= static_cast<int>(menu.ports.size()); ++choice)
    menu.ports[choice - 1]->setText(MenuItemText(LinkName(choice, host, tcp_port)));
}

}  // namespace kavro
