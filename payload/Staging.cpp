#include "Staging.h"

namespace payload {
namespace {

// Digests what is written to a file for as long as it lives.
class DigestedWrites {
 public:
  explicit DigestedWrites(fw::File& file) : file_(file) { file_.DigestWrites(&digest_); }
  ~DigestedWrites() { file_.DigestWrites(nullptr); }
  DigestedWrites(const DigestedWrites&) = delete;
  DigestedWrites& operator=(const DigestedWrites&) = delete;
  fw::Sha256Digest Digest() const { return digest_.Digest(); }

 private:
  fw::File& file_;
  fw::Sha256 digest_;
};

}  // namespace

fw::Sha256Digest WriteStagedRemover(fw::File& source, const PayloadLocation& trailer, std::string_view image,
                                    fw::File& staged) {
  const DigestedWrites written(staged);
  staged.Seek(0, fw::File::SeekFrom::Begin);
  staged.Write(image.data(), image.size());
  AppendPayload(staged, image.size(), trailer.fileTotal,
                [&](RecordVisitor& writer) { ReadRecords(source, trailer, writer); });
  return written.Digest();
}

}  // namespace payload
