// What the code library window needs of the main window: the link's two operations for the
// library, the data file name, and giving the main window back.
#pragma once

#include <string>
#include <string_view>

#include "link/controller_link.h"

namespace kavro {

class LibraryHost {
 public:
  virtual ~LibraryHost() = default;

  // Starts a learn whose result comes back through the library's LearnData.
  virtual SetLearnModeResult SetLearnMode() = 0;
  // Gives up the learn started by SetLearnMode: a reply that comes later stores nothing.
  virtual void CancelLearn() = 0;
  // Sends a data text, the reply belonging to the library.
  virtual SendIrDataResult SendIrData(std::string_view data_text) = 0;
  // The data file fixed by the main window's last showing.
  virtual std::string DataFileName() const = 0;
  // The library window has hidden itself: the main window shows again (and reloads).
  virtual void ShowMainWindow() = 0;
  // The library window was closed: the main window is enabled again.
  virtual void EnableMainWindow() = 0;
};

}  // namespace kavro
