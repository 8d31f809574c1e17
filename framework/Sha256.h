#pragma once
// SHA-256 (FIPS 180-4), portable: the digest the launcher compares to prove that the file it
// starts holds exactly the bytes it wrote.
#include <array>
#include <cstddef>
#include <cstdint>

namespace fw {

class File;

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  // Adds `size` bytes to the message.
  void Update(const void* data, std::size_t size);
  // The digest of the message so far; more may be added afterwards.
  Sha256Digest Digest() const;

 private:
  void Compress(const std::uint8_t* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> block_{};
  std::size_t used_ = 0;      // bytes waiting in block_
  std::uint64_t length_ = 0;  // bytes of message so far
};

// The digest of `file`'s whole content, read through it from its start (where it is left is its
// end). Throws FileError when a read fails.
Sha256Digest ContentDigest(File& file);

}  // namespace fw
