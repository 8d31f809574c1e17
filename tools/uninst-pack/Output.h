#pragma once
// Where a command's output goes: said in words before anything is written, and written beside
// itself then renamed into place, so that a failure or an interruption (SIGINT, SIGTERM, SIGHUP)
// leaves no partial file and nothing but a writable regular file is ever replaced.
#include <functional>
#include <string>

namespace pack {

// Refuses (InputError) an output that is a folder, a symbolic link (replacing it would put a file
// where the link was, silently: give its target), that exists and is no regular file (a device
// such as /dev/full, a FIFO, a socket: replacing it would turn it into a file), that is a
// read-only file, or whose folder does not exist.
void CheckOutput(const std::string& output);

// Checks `output`, has `write` fill a new file beside it (its path given; a name made at random, so
// nothing planted there is written through), and renames that file into place; on any failure,
// and when the run is interrupted by SIGINT, SIGTERM or SIGHUP, the file beside it is removed and
// `output` stays as it was.
void WriteOutput(const std::string& output, const std::function<void(const std::string& tempPath)>& write);

}  // namespace pack
