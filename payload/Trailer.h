#pragma once
// Where the removal payload behind an executable image is: the record archive from
// `recordsOffset` on, then a 16-byte trailer at the very end of the file, or in front of an
// Authenticode certificate table that ends the file. The payload has no magic number; it is found
// by position. The records themselves are in Records.h.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "File.h"

namespace payload {

struct PayloadTrailer {
  static constexpr std::uint32_t kBlockSize = 1024;  // what writers in this system store
  static constexpr std::size_t kSize = 16;
  // The largest image a payload can follow: the consistency value, image size + kBlockSize + 16,
  // must fit in 32 bits.
  static constexpr std::uint64_t kMaxImageSize = 0xFFFFFFFFull - kBlockSize - kSize;

  std::uint32_t blockSize = 0;
  std::uint32_t recordsOffset = 0;
  std::uint32_t endOffset = 0;  // consistency value: recordsOffset + blockSize + 16, 32-bit
  std::uint32_t fileTotal = 0;  // number of file entries over all groups; never 0 when valid

  // endOffset == recordsOffset + blockSize + 16 (wrapping 32-bit arithmetic) and fileTotal != 0.
  // Nothing else is checked: endOffset need not match the file length.
  bool IsValid() const;

  // The trailer a writer appends behind `imageSize` bytes of image and the records.
  static PayloadTrailer ForImage(std::uint32_t imageSize, std::uint32_t fileTotal);

  std::array<unsigned char, kSize> Encode() const;  // four little-endian words
  static PayloadTrailer Decode(const unsigned char* bytes);
};

// An Authenticode certificate table as a PE image's security directory names it. Unlike the other
// data directories, its offset is a file offset, not an address in the loaded image.
struct CertificateTable {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t End() const { return offset + size; }
};

// The certificate table named by the security directory (data directory 4) of a PE image: "MZ",
// e_lfanew inside the file, "PE\0\0", an optional header of magic 0x10B or 0x20B with more than
// four data directories, the entry inside the optional header, every read inside the file.
// nullopt for any other file, and for an entry whose offset or size is 0 (no table). The table
// is as stored: it may lie partly or wholly outside the file.
std::optional<CertificateTable> FindCertificateTable(fw::File& file);

// How a file's certificate table, if any, stands to its payload.
enum class Signature {
  None,           // no table: the trailer is at the end of the file
  CoversPayload,  // the table ends the file: the payload (image, records, trailer) is what is signed
  ImageOnly,      // the table ends before the records: the payload was appended after signing
  Misplaced,      // the table reaches past the end of the file or into the payload, or leaves
                  // no room for a trailer in front of it
};

// A trailer as read from a file, and where it was found: the record archive ends there.
struct PayloadLocation : PayloadTrailer {
  std::uint64_t trailerOffset = 0;
  Signature signature = Signature::None;
  std::optional<CertificateTable> certificateTable;  // set unless signature is None
};

// Finds and reads a file's trailer.
// - No certificate table: the 16 bytes at (low 32 bits of the file length) - 16, computed in
//   32-bit arithmetic.
// - A table that ends the file: the 16 bytes in front of it, or in front of the up to 7 zero
//   bytes a signing tool puts before a table to start it on an 8-byte boundary (the first of
//   those places that holds a valid trailer; the one right in front of the table if none does).
// - A table that ends inside the file: the trailer at the end, as without a table; ImageOnly
//   when the table ends at or before the records, Misplaced when it reaches into the payload.
// A Misplaced location holds no trailer (all fields 0, so it is invalid): a trailer is never
// read from inside a certificate table. nullopt when a file without a table is shorter than a
// trailer. Moves the file position.
std::optional<PayloadLocation> ReadTrailer(fw::File& file);

}  // namespace payload
