// The name of the value a bound control wrote, for the trend's marks: the dictionary's label of the
// control on its page (the selected profile's on the profiles page), in the window's language.
#pragma once

#include <string>

class QWidget;

namespace axtune {

// Empty when the control is not one the dictionary knows (a debug page's record, a command).
std::string WrittenParameterLabel(const QWidget* control);

}  // namespace axtune
