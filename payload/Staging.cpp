#include "Staging.h"

#include <limits>
#include <stdexcept>

namespace payload {

void WriteStagedRemover(fw::File& source, const PayloadLocation& trailer, std::string_view image, fw::File& staged) {
  if (image.size() > std::numeric_limits<std::uint32_t>::max() - PayloadTrailer::kBlockSize - PayloadTrailer::kSize)
    throw fw::FileError("remover image too large for a payload trailer");
  staged.Seek(0, fw::File::SeekFrom::Begin);
  staged.Write(image.data(), image.size());
  staged.Seek(0, fw::File::SeekFrom::End);

  fw::Archive store(staged, fw::Archive::Mode::Store);
  RecordWriter copy(store);
  ReadRecords(source, trailer, copy);
  store.Close();

  AppendTrailer(staged, PayloadTrailer::ForImage(static_cast<std::uint32_t>(image.size()), trailer.fileTotal));
}

}  // namespace payload
