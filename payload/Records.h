#pragma once
// The removal payload's record archive: the header and the groups of files and folders the
// remover deletes, read item by item into a visitor and written by one writer, followed by the
// trailer (Trailer.h). Every reader and writer here produces and accepts exactly these bytes.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Archive.h"
#include "File.h"
#include "Trailer.h"

namespace payload {

struct RecordHeader {
  std::string programFolderName;  // folder name inside the Start menu's Programs folder
  std::string installDir;         // absolute, with or without a trailing backslash
  std::string finalFile;          // absolute path of a file deleted after all listed files
};

struct RemovalGroup {
  std::string folderPath;              // absolute path of a folder removed at the end
  std::vector<std::string> filePaths;  // absolute paths of files to delete
};

struct RemovalRecords {
  RecordHeader header;
  std::vector<RemovalGroup> groups;

  std::uint32_t FileTotal() const;  // the sum of all groups' file counts
};

// Receives the record archive's items in file order, one at a time, so that a reader can act on
// each as it arrives and hold nothing. Counts are passed as stored (zero or negative: empty).
class RecordVisitor {
 public:
  virtual ~RecordVisitor() = default;
  virtual void OnHeader(const RecordHeader& /*header*/) {}
  virtual void OnGroupCount(std::int32_t /*groupCount*/) {}
  virtual void OnGroup(const std::string& /*folderPath*/, std::int32_t /*entryCount*/) {}
  virtual void OnEntry(const std::string& /*filePath*/) {}
};

// Decodes `file`'s record archive, from `payload.recordsOffset` to the end of its last group;
// nothing behind that is read. An item that would reach into the trailer (at
// `payload.trailerOffset`) is an end-of-file error, as at the end of a file. Archive errors
// (fw::ArchiveError) propagate: the caller decides what a damaged archive means. A visitor that
// keeps nothing reads a payload through to check it.
void ReadRecords(fw::File& file, const PayloadLocation& payload, RecordVisitor& visitor);

// Feeds records held in memory to a visitor in the order the archive holds them.
void ReplayRecords(const RemovalRecords& records, RecordVisitor& visitor);

// Writes every item it receives, narrow, in the order received: a visitor that re-encodes.
class RecordWriter : public RecordVisitor {
 public:
  explicit RecordWriter(fw::Archive& archive) : archive_(archive) {}
  void OnHeader(const RecordHeader& header) override;
  void OnGroupCount(std::int32_t groupCount) override;
  void OnGroup(const std::string& folderPath, std::int32_t entryCount) override;
  void OnEntry(const std::string& filePath) override;

 private:
  fw::Archive& archive_;
};

// Builds RemovalRecords from what it receives (for tools and tests, not for the remover).
class RecordCollector : public RecordVisitor {
 public:
  void OnHeader(const RecordHeader& header) override { records.header = header; }
  void OnGroup(const std::string& folderPath, std::int32_t /*entryCount*/) override {
    records.groups.push_back({folderPath, {}});
  }
  void OnEntry(const std::string& filePath) override { records.groups.back().filePaths.push_back(filePath); }

  RemovalRecords records;
};

// Appends a payload to `file`, which holds `imageSize` bytes of image: the records that
// `writeRecords` hands to the writer it is given, then the trailer ForImage(imageSize,
// fileTotal). An image larger than kMaxImageSize raises fw::FileError before anything is written.
void AppendPayload(fw::File& file, std::uint64_t imageSize, std::uint32_t fileTotal,
                   const std::function<void(RecordVisitor& writer)>& writeRecords);

// The same for records held in memory.
void AppendPayload(fw::File& file, std::uint64_t imageSize, const RemovalRecords& records, std::uint32_t fileTotal);

}  // namespace payload
