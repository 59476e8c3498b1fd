// What a save checks about its target file before and while it writes: a name the system cannot
// look up, a folder that cannot take a new file, the reason of a failed write in the user's words, and the temporary files that an
// earlier save of the same file left behind when it was killed.
#pragma once

#include <filesystem>
#include <string>

namespace axtune {

// Empty when the target can be looked up (it exists, or only it is missing); otherwise "cannot save
// to PATH: REASON", for a symbolic link that loops, a name too long, a folder on the way that may not
// be searched.
std::string SaveTargetLookupProblem(const std::filesystem::path& target, const std::string& shownPath);

// Empty when a new file can be created in the folder of `path` (the current directory for a bare
// file name); otherwise one sentence that says why not: the folder does not exist, is not a folder,
// or refuses a new file (with the system's reason). Asked before long work that produces the file
// (reading a drive's records), so that a wrong or read-only folder is told at once.
std::string TargetFolderProblem(const std::string& path);

// The system's reason for errno `error`, naming a read-only file system as such ("the file system
// is read-only (mounted read-only)") instead of a bare "Read-only file system" or "Permission denied".
std::string FileErrorReason(int error);

// Removes the temporaries "NAME.tmp<digits>-<digits>" beside `target` that were last written before
// this program started: a save killed in its write window leaves one; a save still running in
// another program is younger than this one's start and stays. Returns how many were removed.
int RemoveStaleSaveTemporaries(const std::filesystem::path& target);

}  // namespace axtune
