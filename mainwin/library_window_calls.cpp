#include "mainwin/library_window_calls.h"

#include "library/code_library_window.h"

namespace kavro {

void ShowLibraryWindow(TForm3& library) { library.show(); }

void HandLearnDataToLibrary(TForm3& library, std::string_view text) { library.LearnData(text); }

}  // namespace kavro
