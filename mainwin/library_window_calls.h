// The main window's calls into the code library window, in a unit of their own: the library's
// headers and the link's both name the signal block's size, and must not meet in one unit.
#pragma once

#include <string_view>

namespace kavro {

class TForm3;

void ShowLibraryWindow(TForm3& library);
void HandLearnDataToLibrary(TForm3& library, std::string_view text);

}  // namespace kavro
