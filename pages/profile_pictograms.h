// The six pictograms of the Profiles page (icons 157 to 162, 32 x 32): velocity over time for one
// profile and how it leads into the next. Drawn once per process, in the flat style of a 16-colour
// icon, so the program needs no image files.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace axtune {

// The pictogram with this icon id, drawn on first use and kept; a null icon for any other id.
QIcon ProfilePictogram(int id);
// A fresh 32 x 32 drawing (for tests and renders); a transparent pixmap for an unknown id.
QPixmap DrawProfilePictogram(int id);

}  // namespace axtune
