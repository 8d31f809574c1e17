// File on Windows: CreateFileA with the sharing the remover and launcher rely on.
#include <windows.h>

#include <algorithm>

#include "File.h"
#include "Win32Handles.h"

namespace fw {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw FileError(std::string(what) + " (Win32 error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

struct File::Impl {
  FileHandle handle;
};

File::File() : impl_(std::make_unique<Impl>()) {}
File::~File() = default;
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;

bool File::Open(const NativePath& path, Mode mode) {
  Close();
  const bool read = mode == Mode::Read;
  HANDLE h = CreateFileW(path.c_str(), read ? GENERIC_READ : GENERIC_WRITE, 0 /* no sharing */, nullptr,
                         read ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  impl_->handle.reset(h);
  return true;
}

std::intptr_t File::NativeHandle() const { return reinterpret_cast<std::intptr_t>(impl_->handle.get()); }

void File::Attach(std::intptr_t handle) { impl_->handle.reset(reinterpret_cast<HANDLE>(handle)); }

bool File::IsOpen() const { return impl_ && static_cast<bool>(impl_->handle); }

void File::Close() {
  if (impl_) impl_->handle.reset();
}

std::uint64_t File::GetLength() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(impl_->handle.get(), &size)) Fail("cannot read the file length");
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::uint64_t File::Seek(std::int64_t offset, SeekFrom from) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER pos{};
  if (!SetFilePointerEx(impl_->handle.get(), distance, &pos, from == SeekFrom::Begin ? FILE_BEGIN : FILE_END))
    Fail("cannot seek");
  return static_cast<std::uint64_t>(pos.QuadPart);
}

std::uint64_t File::GetPosition() const {
  LARGE_INTEGER pos{};
  if (!SetFilePointerEx(impl_->handle.get(), LARGE_INTEGER{}, &pos, FILE_CURRENT)) Fail("cannot read the file position");
  return static_cast<std::uint64_t>(pos.QuadPart);
}

std::size_t File::Read(void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(impl_->handle.get(), static_cast<char*>(buffer) + done, chunk, &got, nullptr)) Fail("cannot read");
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::Write(const void* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(impl_->handle.get(), static_cast<const char*>(buffer) + done, chunk, &put, nullptr) || put == 0)
      Fail("cannot write");
    done += put;
  }
}

}  // namespace fw
