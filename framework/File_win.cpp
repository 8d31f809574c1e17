// File on Windows: CreateFileW with the sharing the remover and launcher rely on.
#include <windows.h>

#include <algorithm>

#include "File.h"
#include "Ntdll.h"
#include "Win32Handles.h"

namespace fw {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw FileError(std::string(what) + " (Win32 error " + std::to_string(GetLastError()) + ")");
}

// True when `file` is the file the running program's image was mapped from. A name proves
// nothing (the running file may have been renamed away and another put in its place), so the
// system compares the image's mapping with a view of the opened file.
bool IsOwnImage(HANDLE file) {
  using SameFn = LONG(NTAPI*)(PVOID, PVOID);
  static const auto same = NtdllFunction<SameFn>("NtAreMappedFilesTheSame");
  if (!same) return false;
  const KernelHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping.get()) return false;
  const MappedView view(MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 1));
  return view && same(GetModuleHandleW(nullptr), view.get()) == 0;
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
  DWORD access = GENERIC_WRITE, share = 0, disposition = CREATE_ALWAYS, flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case Mode::Read:
      access = GENERIC_READ;
      disposition = OPEN_EXISTING;
      break;
    case Mode::CreateWrite:
      break;
    case Mode::ReadHeld:
    case Mode::OwnImage:
      access = GENERIC_READ;
      share = FILE_SHARE_READ;
      disposition = OPEN_EXISTING;
      flags = FILE_FLAG_OPEN_REPARSE_POINT;
      break;
  }
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  impl_->handle.reset(h);
  if (mode == Mode::OwnImage && !IsOwnImage(h)) {
    Close();
    SetLastError(ERROR_FILE_INVALID);
    return false;
  }
  return true;
}

FileId File::Id() const {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(impl_->handle.get(), &info)) Fail("cannot identify the file");
  return {info.dwVolumeSerialNumber, (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

void File::Attach(NativeHandle handle) { impl_->handle.reset(handle); }

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
  if (writeDigest_) writeDigest_->Update(buffer, size);
}

}  // namespace fw
