#include "Payload.h"

#include <limits>
#include <stdexcept>

namespace payload {
namespace {

std::uint32_t LoadLE32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void StoreLE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

bool PayloadTrailer::IsValid() const {
  return endOffset == static_cast<std::uint32_t>(recordsOffset + blockSize + 16u) && fileTotal != 0;
}

PayloadTrailer PayloadTrailer::ForImage(std::uint32_t imageSize, std::uint32_t fileTotal) {
  return {kBlockSize, imageSize, static_cast<std::uint32_t>(imageSize + kBlockSize + 16u), fileTotal};
}

std::array<unsigned char, PayloadTrailer::kSize> PayloadTrailer::Encode() const {
  std::array<unsigned char, kSize> bytes{};
  StoreLE32(&bytes[0], blockSize);
  StoreLE32(&bytes[4], recordsOffset);
  StoreLE32(&bytes[8], endOffset);
  StoreLE32(&bytes[12], fileTotal);
  return bytes;
}

PayloadTrailer PayloadTrailer::Decode(const unsigned char* bytes) {
  return {LoadLE32(bytes), LoadLE32(bytes + 4), LoadLE32(bytes + 8), LoadLE32(bytes + 12)};
}

std::optional<PayloadLocation> ReadTrailer(fw::File& file) {
  const auto length32 = static_cast<std::uint32_t>(file.GetLength());
  const auto position = static_cast<std::uint32_t>(length32 - PayloadTrailer::kSize);
  file.Seek(position, fw::File::SeekFrom::Begin);
  unsigned char bytes[PayloadTrailer::kSize];
  if (file.Read(bytes, sizeof bytes) != sizeof bytes) return std::nullopt;
  PayloadLocation found;
  static_cast<PayloadTrailer&>(found) = PayloadTrailer::Decode(bytes);
  found.trailerOffset = position;
  return found;
}

void AppendTrailer(fw::File& file, const PayloadTrailer& trailer) {
  const auto bytes = trailer.Encode();
  file.Seek(0, fw::File::SeekFrom::End);
  file.Write(bytes.data(), bytes.size());
}

std::uint32_t RemovalRecords::FileTotal() const {
  std::uint64_t total = 0;
  for (const auto& group : groups) total += group.filePaths.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("more files than a trailer can count");
  return static_cast<std::uint32_t>(total);
}

void ReadRecords(fw::Archive& archive, RecordVisitor& visitor) {
  RecordHeader header;
  header.programFolderName = archive.ReadString();
  header.installDir = archive.ReadString();
  header.finalFile = archive.ReadString();
  visitor.OnHeader(header);

  const std::int32_t groupCount = archive.ReadInt32();
  visitor.OnGroupCount(groupCount);
  for (std::int32_t g = 0; g < groupCount; ++g) {
    const std::string folderPath = archive.ReadString();
    const std::int32_t entryCount = archive.ReadInt32();
    visitor.OnGroup(folderPath, entryCount);
    for (std::int32_t e = 0; e < entryCount; ++e) visitor.OnEntry(archive.ReadString());
  }
}

void ReadRecords(fw::File& file, const PayloadLocation& payload, RecordVisitor& visitor) {
  file.Seek(payload.recordsOffset, fw::File::SeekFrom::Begin);
  fw::Archive archive(file, fw::Archive::Mode::Load, payload.trailerOffset);
  ReadRecords(archive, visitor);
}

void ReplayRecords(const RemovalRecords& records, RecordVisitor& visitor) {
  visitor.OnHeader(records.header);
  visitor.OnGroupCount(static_cast<std::int32_t>(records.groups.size()));
  for (const auto& group : records.groups) {
    visitor.OnGroup(group.folderPath, static_cast<std::int32_t>(group.filePaths.size()));
    for (const auto& path : group.filePaths) visitor.OnEntry(path);
  }
}

void RecordWriter::OnHeader(const RecordHeader& header) {
  archive_.WriteString(header.programFolderName);
  archive_.WriteString(header.installDir);
  archive_.WriteString(header.finalFile);
}

void RecordWriter::OnGroupCount(std::int32_t groupCount) { archive_.WriteInt32(groupCount); }

void RecordWriter::OnGroup(const std::string& folderPath, std::int32_t entryCount) {
  archive_.WriteString(folderPath);
  archive_.WriteInt32(entryCount);
}

void RecordWriter::OnEntry(const std::string& filePath) { archive_.WriteString(filePath); }

}  // namespace payload
