#include "Records.h"

#include <limits>
#include <stdexcept>

namespace payload {
namespace {

// Decodes the record archive from the archive's position to the end of its last group.
void DecodeRecords(fw::Archive& archive, RecordVisitor& visitor) {
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

}  // namespace

std::uint32_t RemovalRecords::FileTotal() const {
  std::uint64_t total = 0;
  for (const auto& group : groups) total += group.filePaths.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("more files than a trailer can count");
  return static_cast<std::uint32_t>(total);
}

void ReadRecords(fw::File& file, const PayloadLocation& payload, RecordVisitor& visitor) {
  file.Seek(payload.recordsOffset, fw::File::SeekFrom::Begin);
  fw::Archive archive(file, fw::Archive::Mode::Load, payload.trailerOffset);
  DecodeRecords(archive, visitor);
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

void AppendPayload(fw::File& file, std::uint64_t imageSize, std::uint32_t fileTotal,
                   const std::function<void(RecordVisitor& writer)>& writeRecords) {
  if (imageSize > PayloadTrailer::kMaxImageSize) throw fw::FileError("image too large for a payload trailer");
  file.Seek(0, fw::File::SeekFrom::End);
  fw::Archive archive(file, fw::Archive::Mode::Store);
  RecordWriter writer(archive);
  writeRecords(writer);
  archive.Close();
  const auto trailer = PayloadTrailer::ForImage(static_cast<std::uint32_t>(imageSize), fileTotal).Encode();
  file.Seek(0, fw::File::SeekFrom::End);
  file.Write(trailer.data(), trailer.size());
}

void AppendPayload(fw::File& file, std::uint64_t imageSize, const RemovalRecords& records, std::uint32_t fileTotal) {
  AppendPayload(file, imageSize, fileTotal, [&](RecordVisitor& writer) { ReplayRecords(records, writer); });
}

}  // namespace payload
