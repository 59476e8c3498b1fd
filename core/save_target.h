// What a save checks about its target file before and while it writes: a name the system cannot
// look up, a folder that cannot take a new file, the reason of a failed write in the user's words, and the
// temporary files that an earlier save of the same file left behind when it was killed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

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

// ---- The one writer of every file the programs write --------------------------------------------

// Asked at the last moment before a new file replaces the old one: true leaves everything as it was.
using CancelCheck = std::function<bool()>;

struct FileWriteResult {
  bool ok = false;
  std::string reason;  // what went wrong, with the system's reason ("No space left on device")
  size_t bytesWritten = 0;
  bool cancelled = false;  // stopped on request: the temporary is gone, an existing file untouched
};

// Writes `size` bytes to a temporary file in the target's folder, flushes it to the disk and renames
// it over `path` only when it is complete, so a failed or interrupted write never leaves a partial
// file and never destroys the old one. Like overwriting in place, it writes through a symbolic link
// that resolves (the link stays, its target is replaced), refuses a link that loops or dangles, a
// folder, a device and a read-only file, and keeps an existing file's permissions. `cancelled` is
// asked once more just before the rename.
FileWriteResult WriteBytesAtomically(const std::string& path, const void* data, size_t size,
                                     const CancelCheck& cancelled = {});
FileWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                                    const CancelCheck& cancelled = {});
// For a writer that produces its content into a stream (an image encoder, a page printer): `produce`
// writes everything into the stream and returns false (with `reason`) when it could not; then no file
// is touched.
FileWriteResult WriteFileAtomicallyFrom(
    const std::string& path, const std::function<bool(std::ostream&, std::string& reason)>& produce);

// Tests only: every write from now on fails with errno `error` after its temporary was created, as a
// full disk does (0 ends it). For machines where a test cannot mount a small file system.
void InjectWriteErrorForTesting(int error);

}  // namespace axtune
