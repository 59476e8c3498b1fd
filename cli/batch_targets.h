// What batch settles before it starts a child: the ports (from --port and a ports file, each drive
// named once even when two names lead to one device), how many children may run at once, and the
// per-drive names of the files the command writes ({port}, {type}, {n} in its arguments), so that no
// two drives write one file.
#pragma once

#include <string>
#include <vector>

namespace axtune::cli {

// Reads a ports file: one port a line, # comments, blanks ignored. False with `error` (a file error)
// when it cannot be read, is a folder, or holds bytes that are not text (a binary file given by
// mistake must not become a list of ports).
bool ReadPortsFile(const std::string& path, std::vector<std::string>& ports, std::string& error);
// The text of a ports file named `path` (for the messages): appends its ports; false with `error`
// when it is too long for one or holds bytes that are not text.
bool ParsePortsText(const std::string& bytes, const std::string& path, std::vector<std::string>& ports,
                    std::string& error);

// The port as it can stand in a file name: "/dev/ttyUSB0" -> "ttyUSB0", "rfc2217://host:4001" ->
// "host-4001", every other character outside [A-Za-z0-9._-] a '-'.
std::string FileSafePort(const std::string& port);

// `text` with {port} (file-safe), {type} (the drive's type, file-safe) and {n} (the drive's line
// number, from 1) replaced.
std::string ExpandDrivePlaceholders(const std::string& text, const std::string& port, const std::string& type,
                                    size_t n);

// Empty when every port names its own device; otherwise the message for the first two that name one
// (after resolving symbolic links and port slots). The built-in simulated drive may repeat.
std::string DuplicatePortProblem(const std::vector<std::string>& ports, const std::string& simPort);

// Empty when the command writes no file, or its output path differs for every drive; otherwise the
// usage message with the hint. Paths are compared as files (a link, "./" and the absolute form of one
// file are one file); {type} counts as different only once the drives have identified themselves,
// so a path that only {type} makes distinct is checked again per drive (OutputClash).
std::string SharedOutputProblem(const std::vector<std::string>& command,
                                const std::vector<std::string>& ports);

// The index in the command's arguments of the file it writes (save FILE, report FILE), -1 for none.
int OutputArgument(const std::vector<std::string>& command);

// A path as a file: absolute, "." and ".." folded, symbolic links of the existing part resolved.
std::string FileIdentity(const std::string& path);

// How many children may run at once: `requested` (0: every drive), but no more than the open-file
// limit leaves room for (each child holds two pipes in batch); `note` says when it lowered the number.
int BatchJobs(int requested, size_t drives, std::string& note);

}  // namespace axtune::cli
