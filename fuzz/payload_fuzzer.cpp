// libFuzzer target over the payload readers: the trailer test, the record archive read through,
// and the launcher's staging copy of it. Any crash, leak or sanitizer report is a finding, and so
// is a single allocation larger than a few times the input (a hostile length must never turn
// into a large allocation).
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "Records.h"
#include "Staging.h"
#include "Trailer.h"

namespace {

std::atomic<std::size_t> g_largest{0};

// An in-memory file holding `size` bytes, read through the same File class as real files.
bool MemoryFile(const uint8_t* data, size_t size, fw::File& file) {
  const int fd = memfd_create("payload", MFD_CLOEXEC);
  if (fd < 0) return false;
  file.Attach(fd);
  file.Write(data, size);
  file.Seek(0, fw::File::SeekFrom::Begin);
  return true;
}

}  // namespace

// Every allocation passes here (the sanitizer's allocator hook).
extern "C" void __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, std::size_t),
                                                          void (*free_hook)(const volatile void*));
static void OnMalloc(const volatile void*, std::size_t size) {
  std::size_t seen = g_largest.load();
  while (size > seen && !g_largest.compare_exchange_weak(seen, size)) {
  }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __sanitizer_install_malloc_and_free_hooks(OnMalloc, nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fw::File source;
  if (!MemoryFile(data, size, source)) return 0;
  g_largest = 0;
  try {
    const auto trailer = payload::ReadTrailer(source);
    if (trailer && trailer->IsValid()) {
      payload::RecordVisitor check;
      payload::ReadRecords(source, *trailer, check);
      fw::File staged;
      if (MemoryFile(nullptr, 0, staged)) payload::WriteStagedRemover(source, *trailer, "MZ remover", staged);
    }
    // The records read from the start too, whatever the trailer says, up to the end of the input.
    payload::PayloadLocation fromStart;
    fromStart.recordsOffset = 0;
    fromStart.trailerOffset = source.GetLength();
    payload::RecordCollector all;
    payload::ReadRecords(source, fromStart, all);
  } catch (const fw::ArchiveError&) {
  } catch (const fw::FileError&) {
  }
  if (g_largest.load() > 4 * size + 65536) __builtin_trap();  // allocated beyond the input
  return 0;
}
