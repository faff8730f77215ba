// The main window's menu bar: "File(&F)" with its submenus and items, and "Learn(&L)" beside it.
#pragma once

#include <array>

class QAction;
class QMenu;
class QMenuBar;

namespace kavro {

struct MainMenu {
  QMenu* file = nullptr;            // File1
  QMenu* page = nullptr;            // PageP1
  std::array<QAction*, 3> pages{};  // Page11, Page21, Page31
  QMenu* com = nullptr;             // COM
  std::array<QAction*, 6> ports{};  // COM12..COM52, RaViz1: port choice 1..6
  QAction* disconnect = nullptr;    // DisConnectD1
  QAction* management = nullptr;    // management1
  QAction* version = nullptr;       // VersionV1
  QAction* exit = nullptr;          // Exit
  QAction* learn = nullptr;         // LearnL1
};

MainMenu BuildMainMenu(QMenuBar* bar);

}  // namespace kavro
