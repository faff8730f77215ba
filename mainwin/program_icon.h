// The program's icon, drawn rather than loaded so the program needs no resource files.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kavro {

// A small remote control sending a beam, at `size` x `size` pixels.
QPixmap ProgramIconPixmap(int size);
QIcon ProgramIcon();

}  // namespace kavro
