#include "Output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <system_error>

#include "Manifest.h"

namespace pack {

namespace fs = std::filesystem;

void CheckOutput(const std::string& output) {
  std::error_code ec;
  if (const fs::file_status link = fs::symlink_status(output, ec); fs::is_symlink(link))
    throw InputError(Code::OutputIsLink, "the output " + output + " is a symbolic link (to " +
                                             fs::read_symlink(output, ec).string() +
                                             "): uninst-pack writes no file in place of a link, nor through one; give "
                                             "the file it points to, or remove the link first");
  const fs::file_status status = fs::status(output, ec);
  if (fs::is_directory(status))
    throw InputError(Code::OutputIsFolder, "the output " + output + " is a folder: give the name of the file to write, such as " +
                     (fs::path(output) / "Uninst.exe").string());
  if (fs::exists(status) && !fs::is_regular_file(status))
    throw InputError(Code::OutputNotAFile, "the output " + output + " exists and is not a file (a device, a FIFO or a socket): " +
                     "uninst-pack writes only files");
  using fs::perms;
  if (fs::is_regular_file(status) &&
      (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) == perms::none)
    throw InputError(Code::OutputReadOnly, "the output " + output + " is a read-only file: uninst-pack does not replace it; remove it or " +
                     "make it writable first");
  const fs::path folder = fs::path(output).parent_path().empty() ? fs::path(".") : fs::path(output).parent_path();
  if (!fs::exists(folder, ec))
    throw InputError(Code::OutputFolderMissing, "the output folder " + folder.string() + " does not exist: create it first");
  if (!fs::is_directory(folder, ec))
    throw InputError(Code::OutputFolderMissing, "the output folder " + folder.string() + " is not a folder");
}

namespace {

// The file beside the output while it is written, for the signal handler: a path in a buffer of
// its own (no allocation in a handler), and whether the file is there to remove.
char besidePath[4096];
volatile std::sig_atomic_t besideExists = 0;

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemoveBesideAndDie(int number) {
  if (besideExists) ::unlink(besidePath);
  // Then the signal's own end, so the caller sees the run ended by it.
  ::signal(number, SIG_DFL);
  ::raise(number);
}

// While it lives, an interruption removes the file beside the output before the run ends. A
// signal the caller has set to be ignored (nohup) stays ignored.
class RemovedWhenInterrupted {
 public:
  RemovedWhenInterrupted() {
    struct sigaction action {};
    action.sa_handler = RemoveBesideAndDie;
    sigemptyset(&action.sa_mask);
    for (const int signal : kInterruptions) sigaddset(&action.sa_mask, signal);
    for (std::size_t k = 0; k < std::size(kInterruptions); ++k) {
      ::sigaction(kInterruptions[k], nullptr, &previous_[k]);
      if (previous_[k].sa_handler != SIG_IGN) ::sigaction(kInterruptions[k], &action, nullptr);
    }
  }
  ~RemovedWhenInterrupted() {
    for (std::size_t k = 0; k < std::size(kInterruptions); ++k) ::sigaction(kInterruptions[k], &previous_[k], nullptr);
  }
  RemovedWhenInterrupted(const RemovedWhenInterrupted&) = delete;
  RemovedWhenInterrupted& operator=(const RemovedWhenInterrupted&) = delete;

 private:
  struct sigaction previous_[std::size(kInterruptions)] {};
};

// Holds the interruptions back while it lives, so that the file beside the output and the
// handler's knowledge of it change together.
class InterruptionsHeld {
 public:
  InterruptionsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : kInterruptions) sigaddset(&held, signal);
    ::sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptionsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Removes the file beside the output, where the handler no longer will.
void RemoveBeside(const std::string& path) {
  const InterruptionsHeld held;
  ::unlink(path.c_str());
  besideExists = 0;
}

// A new file beside `output` under a name nobody could have known beforehand (so nothing put there
// is written through), with the permissions a new file gets (mkstemp gives 0600); the handler
// knows it from the moment it exists.
std::string NewFileBeside(const std::string& output) {
  const std::string pattern = output + ".uninst-pack-XXXXXX";
  if (pattern.size() >= sizeof besidePath)
    throw InputError(Code::OutputUnwritable, "the output's path is too long: " + output);
  int fd = -1;
  {
    const InterruptionsHeld held;
    pattern.copy(besidePath, pattern.size());
    besidePath[pattern.size()] = '\0';
    fd = ::mkstemp(besidePath);
    besideExists = fd >= 0;
  }
  if (fd < 0) throw InputError(Code::OutputUnwritable, "cannot write in the output folder of " + output + ": " + std::strerror(errno));
  const std::string path = besidePath;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  const int changed = ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  if (changed != 0) {
    const int error = errno;
    RemoveBeside(path);
    throw InputError(Code::OutputUnwritable, "cannot write in the output folder of " + output + ": " + std::strerror(error));
  }
  return path;
}

}  // namespace

void WriteOutput(const std::string& output, const std::function<void(const std::string& tempPath)>& write) {
  CheckOutput(output);
  const RemovedWhenInterrupted interrupted;
  const std::string tempPath = NewFileBeside(output);
  try {
    write(tempPath);
    const InterruptionsHeld held;
    if (::rename(tempPath.c_str(), output.c_str()) != 0)
      throw InputError(Code::OutputUnwritable, "cannot put the output in place as " + output + ": " + std::strerror(errno));
    besideExists = 0;
  } catch (...) {
    RemoveBeside(tempPath);
    throw;
  }
}

}  // namespace pack
