// Whether a file can be written at a path, found out before any long work that would produce it
// (reading a drive's records for a parameter file), so that a wrong or read-only folder is told at
// once rather than after the work. Portable: it tries what the write will do.
#pragma once

#include <string>

namespace axtune {

// Empty when a new file can be created in the folder of `path` (the current directory for a bare
// file name); otherwise one sentence that says why not: the folder does not exist, is not a folder,
// or refuses a new file (with the system's reason).
std::string TargetFolderProblem(const std::string& path);

}  // namespace axtune
