// Files the user names as input (a parameter file, a firmware file, "name.dat") are read only when
// they are regular files: a FIFO would block the open until a writer comes (and ignore Ctrl-C), a
// device would never end. The check looks at the file without opening it for reading.
#pragma once

#include <string>

namespace axtune {

// Empty when `path` is a regular file or does not exist (the open then says why); otherwise a
// sentence naming the file and what it is ("... is a FIFO, not a file"), or why it cannot be looked
// at ("cannot open ...: Too many levels of symbolic links").
std::string NonRegularInputProblem(const std::string& path);

}  // namespace axtune
