#include "Archive.h"

#include <algorithm>
#include <cstring>

#include "Text.h"

namespace fw {
namespace {

constexpr std::uint64_t kMaxStringLength = 0x7FFFFFFF;

}  // namespace

Archive::Archive(File& file, Mode mode, std::uint64_t end) : file_(file), mode_(mode) {
  bufferStart_ = file_.GetPosition();
  if (mode_ == Mode::Load) fileLength_ = std::min(file_.GetLength(), end);
}

bool Archive::Fill() {
  bufferStart_ += end_;
  pos_ = 0;
  end_ = 0;
  const std::uint64_t left = fileLength_ > bufferStart_ ? fileLength_ - bufferStart_ : 0;
  if (left == 0) return false;
  try {
    end_ = file_.Read(buffer_.data(), static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), left)));
  } catch (const FileError& e) {
    throw ArchiveError(ArchiveError::Kind::Generic, Offset(), e.what());
  }
  return end_ > 0;
}

void Archive::ReadRaw(void* out, std::size_t size, std::uint64_t itemStart) {
  auto* dest = static_cast<char*>(out);
  while (size > 0) {
    if (pos_ == end_ && !Fill())
      throw ArchiveError(ArchiveError::Kind::EndOfFile, itemStart, "the archive ends before the item does");
    const std::size_t chunk = std::min(size, end_ - pos_);
    std::memcpy(dest, buffer_.data() + pos_, chunk);
    pos_ += chunk;
    dest += chunk;
    size -= chunk;
  }
}

std::uint8_t Archive::ReadU8(std::uint64_t itemStart) {
  unsigned char b[1];
  ReadRaw(b, 1, itemStart);
  return b[0];
}

std::uint16_t Archive::ReadU16(std::uint64_t itemStart) {
  unsigned char b[2];
  ReadRaw(b, 2, itemStart);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint32_t Archive::ReadU32(std::uint64_t itemStart) {
  unsigned char b[4];
  ReadRaw(b, 4, itemStart);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int32_t Archive::ReadInt32() {
  return static_cast<std::int32_t>(ReadU32(Offset()));
}

std::string Archive::ReadString() {
  const std::uint64_t start = Offset();
  bool wide = false;
  std::uint64_t length = ReadU8(start);
  if (length == 0xFF) {
    std::uint32_t word = ReadU16(start);
    if (word == 0xFFFE) {
      wide = true;
      length = ReadU8(start);
      if (length == 0xFF) word = ReadU16(start);
    }
    if (length == 0xFF) {
      if (word < 0xFFFF) {
        length = word;
      } else {
        const std::uint32_t dword = ReadU32(start);
        if (dword < 0xFFFFFFFF) {
          length = dword;
        } else {
          const std::uint64_t low = ReadU32(start);
          const std::uint64_t high = ReadU32(start);
          length = low | (high << 32);
          if (length > kMaxStringLength)
            throw ArchiveError(ArchiveError::Kind::Generic, start, "string length above 0x7FFFFFFF");
        }
      }
    }
  }
  const std::uint64_t bytes = wide ? length * 2 : length;
  if (bytes > BytesLeft())
    throw ArchiveError(ArchiveError::Kind::EndOfFile, start, "string longer than the rest of the archive");

  std::string raw(static_cast<std::size_t>(bytes), '\0');
  ReadRaw(raw.data(), raw.size(), start);
  if (!wide) return raw;

  std::u16string utf16(static_cast<std::size_t>(length), u'\0');
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    utf16[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                     (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
  }
  auto ansi = Utf16ToGbk(utf16);
  if (!ansi)
    throw ArchiveError(ArchiveError::Kind::Generic, start, "wide string with no exact GBK form");
  return *ansi;
}

bool Archive::ReadLine(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    if (pos_ == end_ && !Fill()) return any;
    any = true;
    const char* begin = buffer_.data() + pos_;
    const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', end_ - pos_));
    if (newline == nullptr) {
      line.append(begin, end_ - pos_);
      pos_ = end_;
      continue;
    }
    line.append(begin, static_cast<std::size_t>(newline - begin));
    pos_ += static_cast<std::size_t>(newline - begin) + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
}

void Archive::WriteRaw(const void* data, std::size_t size) {
  const auto* src = static_cast<const char*>(data);
  while (size > 0) {
    if (pos_ == buffer_.size()) Flush();
    const std::size_t chunk = std::min(size, buffer_.size() - pos_);
    std::memcpy(buffer_.data() + pos_, src, chunk);
    pos_ += chunk;
    src += chunk;
    size -= chunk;
  }
}

void Archive::Flush() {
  if (pos_ == 0) return;
  file_.Write(buffer_.data(), pos_);
  bufferStart_ += pos_;
  pos_ = 0;
}

void Archive::WriteInt32(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  WriteRaw(b, sizeof b);
}

void Archive::WriteString(std::string_view text) {
  const std::uint64_t length = text.size();
  if (length < 0xFF) {
    const unsigned char b = static_cast<unsigned char>(length);
    WriteRaw(&b, 1);
  } else if (length < 0xFFFE) {
    const unsigned char b[3] = {0xFF, static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8)};
    WriteRaw(b, sizeof b);
  } else if (length < 0xFFFFFFFF) {
    const unsigned char b[3] = {0xFF, 0xFF, 0xFF};
    WriteRaw(b, sizeof b);
    WriteInt32(static_cast<std::int32_t>(static_cast<std::uint32_t>(length)));
  } else {
    throw ArchiveError(ArchiveError::Kind::Generic, Offset(), "string too long for the archive");
  }
  WriteRaw(text.data(), text.size());
}

void Archive::Close() {
  if (mode_ == Mode::Store) Flush();
}

}  // namespace fw
