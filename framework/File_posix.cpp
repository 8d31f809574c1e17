// File on POSIX hosts: serves the unit tests and uninst-pack.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "File.h"
#include "UniqueHandle.h"

namespace fw {
namespace {

struct FdTraits {
  using pointer = int;
  static pointer invalid() { return -1; }
  static void close(pointer fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
  }
};

[[noreturn]] void Fail(const char* what) { throw FileError(std::string(what) + ": " + std::strerror(errno)); }

}  // namespace

struct File::Impl {
  UniqueHandle<FdTraits> fd;
};

File::File() : impl_(std::make_unique<Impl>()) {}
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

bool File::Open(const NativePath& path, Mode mode) {
  Close();
  int flags = O_WRONLY | O_CREAT | O_TRUNC;
  switch (mode) {
    case Mode::Read:
    case Mode::OwnImage:
      flags = O_RDONLY;
      break;
    case Mode::CreateWrite:
      break;
    case Mode::ReadHeld:  // POSIX has no sharing modes; the link itself is refused, not followed
      flags = O_RDONLY | O_NOFOLLOW;
      break;
  }
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {  // a folder is not a file to read or write
    FdTraits::close(fd);
    errno = EISDIR;
    return false;
  }
  impl_->fd.reset(fd);
  return true;
}

FileId File::Id() const {
  struct stat st {};
  if (::fstat(impl_->fd.get(), &st) != 0) Fail("cannot identify the file");
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void File::Attach(NativeHandle handle) { impl_->fd.reset(handle); }

bool File::IsOpen() const { return impl_ && static_cast<bool>(impl_->fd); }

void File::Close() {
  if (impl_) impl_->fd.reset();
}

std::uint64_t File::GetLength() const {
  struct stat st {};
  if (::fstat(impl_->fd.get(), &st) != 0) Fail("cannot read the file length");
  return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t File::Seek(std::int64_t offset, SeekFrom from) {
  const off_t pos = ::lseek(impl_->fd.get(), offset, from == SeekFrom::Begin ? SEEK_SET : SEEK_END);
  if (pos < 0) Fail("cannot seek");
  return static_cast<std::uint64_t>(pos);
}

std::uint64_t File::GetPosition() const {
  const off_t pos = ::lseek(impl_->fd.get(), 0, SEEK_CUR);
  if (pos < 0) Fail("cannot read the file position");
  return static_cast<std::uint64_t>(pos);
}

std::size_t File::Read(void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(impl_->fd.get(), static_cast<char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot read");
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

void File::Write(const void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(impl_->fd.get(), static_cast<const char*>(buffer) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("cannot write");
    done += static_cast<std::size_t>(n);
  }
  if (writeDigest_) writeDigest_->Update(buffer, size);
}

}  // namespace fw
