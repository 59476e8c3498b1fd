// The icons loaded once at start and shared by handle: 128 (the main window), 152 to 155 (the
// status panel's lamps) and 157 to 162 (the motion profile pictograms, drawn in
// pages/profile_pictograms.cpp). All are drawn in code, so the program needs no image files.
#pragma once

#include <QIcon>

namespace axtune {

// Draws all ten shared icons and the window icon; later calls do nothing.
void LoadSharedIcons();
// The icon with this resource id; a null icon for an unknown id.
QIcon SharedIcon(int id);

}  // namespace axtune
