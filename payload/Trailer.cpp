#include "Trailer.h"

#include <algorithm>

namespace payload {
namespace {

std::uint32_t LoadLE32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t LoadLE16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

void StoreLE32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Reads `size` bytes at `offset` when the file holds all of them there.
bool ReadAt(fw::File& file, std::uint64_t offset, void* out, std::size_t size) {
  const std::uint64_t length = file.GetLength();
  if (offset > length || size > length - offset) return false;
  file.Seek(static_cast<std::int64_t>(offset), fw::File::SeekFrom::Begin);
  return file.Read(out, size) == size;
}

// The trailer in the 16 bytes at the end of the file, its position computed from the low 32
// bits of the length in 32-bit arithmetic (so a file of 4 GiB or more is read where a 32-bit
// reader reads it).
std::optional<PayloadLocation> ReadTrailerAtEnd(fw::File& file) {
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

// The trailer of a file whose certificate table ends the file. A signing tool may have put up to
// 7 zero bytes in front of the table to start it on an 8-byte boundary, so the payload ends
// somewhere in the 8 places up to the table; the first that holds a valid trailer is taken.
PayloadLocation ReadTrailerBeforeTable(fw::File& file, const CertificateTable& table) {
  constexpr std::size_t kMaxPadding = 7;
  PayloadLocation found;
  found.signature = Signature::Misplaced;
  found.certificateTable = table;
  if (table.offset < PayloadTrailer::kSize) return found;  // the table covers the headers

  unsigned char window[PayloadTrailer::kSize + kMaxPadding];
  const std::size_t held = static_cast<std::size_t>(std::min<std::uint64_t>(table.offset, sizeof window));
  if (!ReadAt(file, table.offset - held, window, held)) return found;
  const bool aligned = table.offset % 8 == 0;
  for (std::size_t padding = 0; padding <= kMaxPadding && padding + PayloadTrailer::kSize <= held; ++padding) {
    if (padding > 0 && (!aligned || window[held - padding] != 0)) break;  // not padding
    const PayloadTrailer trailer = PayloadTrailer::Decode(window + held - padding - PayloadTrailer::kSize);
    if (padding == 0 || trailer.IsValid()) {
      static_cast<PayloadTrailer&>(found) = trailer;
      found.trailerOffset = table.offset - padding - PayloadTrailer::kSize;
      found.signature = Signature::CoversPayload;
    }
    if (trailer.IsValid()) break;
  }
  return found;
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

std::optional<CertificateTable> FindCertificateTable(fw::File& file) {
  unsigned char dos[64];
  if (!ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return std::nullopt;
  const std::uint64_t peOffset = LoadLE32(dos + 0x3C);

  // "PE\0\0", the COFF file header (20 bytes), the optional header's magic.
  unsigned char nt[4 + 20 + 2];
  if (!ReadAt(file, peOffset, nt, sizeof nt) || nt[0] != 'P' || nt[1] != 'E' || nt[2] != 0 || nt[3] != 0)
    return std::nullopt;
  const std::uint16_t optionalHeaderSize = LoadLE16(nt + 4 + 16);
  const std::uint16_t magic = LoadLE16(nt + 24);
  std::size_t directories = 0;  // offset of the data directories in the optional header
  if (magic == 0x10B)
    directories = 96;  // PE32
  else if (magic == 0x20B)
    directories = 112;  // PE32+
  else
    return std::nullopt;

  constexpr std::size_t kSecurity = 4;  // IMAGE_DIRECTORY_ENTRY_SECURITY
  const std::size_t entryEnd = directories + (kSecurity + 1) * 8;
  if (optionalHeaderSize < entryEnd) return std::nullopt;
  unsigned char optional[112 + (kSecurity + 1) * 8];
  if (!ReadAt(file, peOffset + 24, optional, entryEnd)) return std::nullopt;
  const std::uint32_t directoryCount = LoadLE32(optional + directories - 4);  // NumberOfRvaAndSizes
  if (directoryCount <= kSecurity) return std::nullopt;
  const CertificateTable table{LoadLE32(optional + directories + kSecurity * 8),
                               LoadLE32(optional + directories + kSecurity * 8 + 4)};
  if (table.offset == 0 || table.size == 0) return std::nullopt;
  return table;
}

std::optional<PayloadLocation> ReadTrailer(fw::File& file) {
  const auto table = FindCertificateTable(file);
  if (!table) return ReadTrailerAtEnd(file);

  const std::uint64_t length = file.GetLength();
  PayloadLocation misplaced;
  misplaced.signature = Signature::Misplaced;
  misplaced.certificateTable = table;
  if (table->End() > length) return misplaced;
  if (table->End() == length) return ReadTrailerBeforeTable(file, *table);

  // The table ends inside the file: a payload appended behind a signed image has its trailer at
  // the end, as without a table, and its records begin at or behind the table's end.
  auto atEnd = ReadTrailerAtEnd(file);
  if (!atEnd || table->End() > atEnd->recordsOffset || table->End() > atEnd->trailerOffset) return misplaced;
  atEnd->signature = Signature::ImageOnly;
  atEnd->certificateTable = table;
  return atEnd;
}

}  // namespace payload
