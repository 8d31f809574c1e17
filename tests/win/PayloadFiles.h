#pragma once
// Payload-carrying files for Windows tests, written as an installer writes them.
#include <string>

#include "Records.h"
#include "WideText.h"

namespace testpayload {

// Writes `image`, the records and a trailer to `path`; fileTotal defaults to the file count.
inline void Write(const std::string& path, const payload::RemovalRecords& records, std::uint32_t fileTotal = 0,
                  const std::string& image = "MZ test image") {
  fw::File file;
  if (!file.Open(fw::GbkToWide(path).value(), fw::File::Mode::CreateWrite)) throw std::runtime_error("cannot create " + path);
  file.Write(image.data(), image.size());
  payload::AppendPayload(file, image.size(), records, fileTotal ? fileTotal : records.FileTotal());
}

}  // namespace testpayload
