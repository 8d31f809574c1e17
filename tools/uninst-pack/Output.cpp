#include "Output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Manifest.h"

namespace pack {

namespace fs = std::filesystem;

void CheckOutput(const std::string& output) {
  std::error_code ec;
  const fs::file_status status = fs::status(output, ec);
  if (fs::is_directory(status))
    throw InputError("the output " + output + " is a folder: give the name of the file to write, such as " +
                     (fs::path(output) / "Uninst.exe").string());
  if (fs::exists(status) && !fs::is_regular_file(status))
    throw InputError("the output " + output + " exists and is not a file (a device, a FIFO or a socket): " +
                     "uninst-pack writes only files");
  using fs::perms;
  if (fs::is_regular_file(status) &&
      (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none)
    throw InputError("the output " + output + " is a read-only file: uninst-pack does not replace it; remove it or " +
                     "make it writable first");
  const fs::path folder = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
  if (!fs::exists(folder, ec))
    throw InputError("the output folder " + folder.string() + " does not exist: create it first");
  if (!fs::is_directory(folder, ec)) throw InputError("the output folder " + folder.string() + " is not a folder");
}

namespace {

// A new file beside `output` under a name nobody could have known beforehand (so nothing put there
// is written through), with the permissions a new file gets (mkstemp gives 0600).
std::string NewFileBeside(const std::string& output) {
  std::string path = output + ".uninst-pack-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) throw InputError("cannot write in the output folder of " + output + ": " + std::strerror(errno));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const int changed = ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  if (changed != 0) {
    ::unlink(path.c_str());
    throw InputError("cannot write in the output folder of " + output + ": " + std::strerror(errno));
  }
  return path;
}

}  // namespace

void WriteOutput(const std::string& output, const std::function<void(const std::string& tempPath)>& write) {
  CheckOutput(output);
  const std::string tempPath = NewFileBeside(output);
  try {
    write(tempPath);
    fs::rename(tempPath, output);
  } catch (...) {
    std::error_code ec;
    fs::remove(tempPath, ec);
    throw;
  }
}

}  // namespace pack
