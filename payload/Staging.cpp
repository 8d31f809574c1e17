#include "Staging.h"

#include <limits>
#include <stdexcept>

namespace payload {

void WriteStagedRemover(fw::File& source, const PayloadTrailer& trailer, std::string_view image, fw::File& staged) {
  if (image.size() > std::numeric_limits<std::uint32_t>::max() - PayloadTrailer::kBlockSize - PayloadTrailer::kSize)
    throw fw::FileError("remover image too large for a payload trailer");
  staged.Seek(0, fw::File::SeekFrom::Begin);
  staged.Write(image.data(), image.size());
  staged.Seek(0, fw::File::SeekFrom::End);

  source.Seek(trailer.recordsOffset, fw::File::SeekFrom::Begin);
  fw::Archive load(source, fw::Archive::Mode::Load);
  fw::Archive store(staged, fw::Archive::Mode::Store);
  RecordWriter copy(store);
  ReadRecords(load, copy);
  store.Close();

  AppendTrailer(staged, PayloadTrailer::ForImage(static_cast<std::uint32_t>(image.size()), trailer.fileTotal));
}

void ReadRecordsThrough(fw::File& source, const PayloadTrailer& trailer) {
  source.Seek(trailer.recordsOffset, fw::File::SeekFrom::Begin);
  fw::Archive load(source, fw::Archive::Mode::Load);
  RecordVisitor ignore;
  ReadRecords(load, ignore);
}

}  // namespace payload
