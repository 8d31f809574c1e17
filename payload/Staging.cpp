#include "Staging.h"

namespace payload {

void WriteStagedRemover(fw::File& source, const PayloadLocation& trailer, std::string_view image, fw::File& staged) {
  staged.Seek(0, fw::File::SeekFrom::Begin);
  staged.Write(image.data(), image.size());
  AppendPayload(staged, image.size(), trailer.fileTotal,
                [&](RecordVisitor& writer) { ReadRecords(source, trailer, writer); });
}

}  // namespace payload
