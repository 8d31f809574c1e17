#pragma once
// A file opened for the payload's readers and writers. Paths are in the system's own form: UTF-16
// on Windows (the wide functions: a path need not have a GBK or ANSI form), bytes on POSIX.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "Sha256.h"

namespace fw {

// A read, write or seek that the platform refused. Opening reports failure by its result.
class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#ifdef _WIN32
using NativePath = std::wstring;
using NativeHandle = void*;  // HANDLE
#else
using NativePath = std::string;
using NativeHandle = int;    // file descriptor
#endif

// Which file an open file is, whatever name it was opened by: volume and file index on Windows,
// device and inode on POSIX.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

class File {
 public:
  enum class Mode {
    Read,         // read-only; on Windows no other opener is admitted while it is open
    CreateWrite,  // create, or truncate an existing file; write-only
    ReadHeld,     // read-only, other readers admitted and writers shut out; a link is opened
                  // itself, never followed
    OwnImage,     // the running program's own file, as ReadHeld (nobody writes, deletes or renames
                  // it while it is open), and only when the file opened is the one the program's
                  // image was loaded from: a file put under its name since fails
                  // (ERROR_FILE_INVALID on Windows). Plain read-only on POSIX.
  };
  enum class SeekFrom { Begin, End };

  File();
  ~File();  // closes the file
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Closes any file held, then opens `path`. False when the platform refuses (the platform's
  // error code stays readable: GetLastError / errno).
  bool Open(const NativePath& path, Mode mode);
  bool IsOpen() const;
  void Close();

  std::uint64_t GetLength() const;
  // Moves to `offset` bytes from the start or (negative offsets) from the end; returns the new
  // position. Positions past the end are allowed; reads there return 0 bytes.
  std::uint64_t Seek(std::int64_t offset, SeekFrom from);
  std::uint64_t GetPosition() const;
  // Reads up to `size` bytes; returns how many were read (0 at the end of the file).
  std::size_t Read(void* buffer, std::size_t size);
  // Writes all `size` bytes or throws FileError.
  void Write(const void* buffer, std::size_t size);

  // Which file is open. Throws FileError when the platform cannot say.
  FileId Id() const;

  // Takes ownership of a handle opened elsewhere (an in-memory file, say).
  void Attach(NativeHandle handle);

  // From here on every byte written also goes into `digest` (null: no longer), in the order
  // written: for a file written from its start to its end, the digest of its content.
  void DigestWrites(Sha256* digest) { writeDigest_ = digest; }

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
  Sha256* writeDigest_ = nullptr;
};

}  // namespace fw
