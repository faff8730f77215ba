// The main window's menu bar: "File(&F)" with its submenus and items, and "Learn(&L)" beside it.
#pragma once

#include <array>
#include <string>

class QAction;
class QMenu;
class QMenuBar;

namespace kavro {

struct MainMenu {
  QMenu* file = nullptr;            // File1
  QMenu* page = nullptr;            // PageP1
  std::array<QAction*, 3> pages{};  // Page11, Page21, Page31
  QAction* learn_page = nullptr;    // LearnPage1, after the pages: learns the shown pad page
  QMenu* com = nullptr;             // COM
  std::array<QAction*, 6> ports{};  // COM12..COM52, RaViz1: port choice 1..6
  QAction* disconnect = nullptr;    // DisConnectD1
  QAction* management = nullptr;    // management1
  QAction* version = nullptr;       // VersionV1
  QAction* exit = nullptr;          // Exit
  QAction* learn = nullptr;         // LearnL1
};

MainMenu BuildMainMenu(QMenuBar* bar);

// Captions of the Com_Lan items that say what each uses: "COM1 (/dev/ttyUSB0)" from the serial
// port table, "RaViz (127.0.0.1:1024)" from the server's host and port.
void ShowPortItemTexts(const MainMenu& menu, const std::string& host, int tcp_port);

}  // namespace kavro
