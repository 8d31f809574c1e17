#pragma once
// Sequential binary archive over a File, in load or store mode, with a 4096-byte buffer.
// Byte forms are those of the removal payload: counted strings (one length-prefix form per size,
// an optional wide marker) and 4-byte little-endian integers; plus plain text lines for reading.
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "File.h"

namespace fw {

class ArchiveError : public std::runtime_error {
 public:
  enum class Kind {
    EndOfFile,  // the archive ended before the item did
    Generic,    // a length the format forbids, or text that cannot be converted
  };
  ArchiveError(Kind kind, std::uint64_t offset, const std::string& what)
      : std::runtime_error(what), kind_(kind), offset_(offset) {}
  Kind kind() const { return kind_; }
  // File offset at which the item that could not be read or written begins.
  std::uint64_t offset() const { return offset_; }

 private:
  Kind kind_;
  std::uint64_t offset_;
};

class Archive {
 public:
  enum class Mode { Load, Store };
  static constexpr std::size_t kBufferSize = 4096;

  // The archive starts at the file's current position. The file must outlive the archive. A load
  // archive ends at `end` when that comes before the end of the file: bytes from there on are
  // never read, and an item that would reach them is an end-of-file error.
  Archive(File& file, Mode mode, std::uint64_t end = UINT64_MAX);
  // Does not flush: a store archive that was not closed drops what it buffered (an abandoned
  // write leaves nothing half-flushed behind the caller's back).
  ~Archive() = default;
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Load mode. Short input raises ArchiveError(EndOfFile); a length above 0x7FFFFFFF in the
  // 64-bit form raises ArchiveError(Generic) (the 32-bit form takes up to 0xFFFFFFFE). A declared length larger than the bytes left in the file is refused
  // before anything is allocated. Wide strings are converted to GBK; text with no
  // exact GBK form raises ArchiveError(Generic) rather than turning into '?' wildcards.
  std::string ReadString();
  std::int32_t ReadInt32();
  // The next text line without its LF or CR LF; false at the end of the file. A last line
  // without a line end still counts.
  bool ReadLine(std::string& line);

  // Store mode. Strings are always written narrow, with the shortest length prefix.
  void WriteString(std::string_view text);
  void WriteInt32(std::int32_t value);
  // Store mode: writes out what is buffered. Load mode: nothing to do. Safe to call twice.
  void Close();

  // File offset of the next byte to read or write.
  std::uint64_t Offset() const { return bufferStart_ + pos_; }

 private:
  void ReadRaw(void* out, std::size_t size, std::uint64_t itemStart);
  std::uint8_t ReadU8(std::uint64_t itemStart);
  std::uint16_t ReadU16(std::uint64_t itemStart);
  std::uint32_t ReadU32(std::uint64_t itemStart);
  std::uint64_t BytesLeft() const { return fileLength_ > Offset() ? fileLength_ - Offset() : 0; }
  bool Fill();
  void WriteRaw(const void* data, std::size_t size);
  void Flush();

  File& file_;
  Mode mode_;
  std::array<char, kBufferSize> buffer_{};
  std::size_t pos_ = 0;           // next byte in the buffer
  std::size_t end_ = 0;           // load: bytes held in the buffer
  std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::uint64_t fileLength_ = 0;   // load: where the archive ends (at most the file's length)
};

}  // namespace fw
