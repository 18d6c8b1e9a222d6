#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures both programs show, built into the programs:
// ":/quorlin/icon.png" (32 x 32), ":/quorlin/icon.svg" and ":/quorlin/banner.png"
// (249 x 46). Any of these functions makes the paths usable. The pictures are
// read as the PNG files they are, without asking the image-format plugins.
namespace pictures
{

// Registers the built-in pictures; needed before a .ui file names one of them.
void load();

// The program's icon: windows, tray icon and desktop entries.
QIcon programIcon();

// The banner of the splash and About windows.
QPixmap banner();

} // namespace pictures
