// libFuzzer target over what uninst-pack reads from a vendor's manifest: any bytes are read as
// UTF-8, parsed as JSON, checked entry by entry, and every error and warning placed in the text.
// Besides any crash, sanitizer report or hang, a finding is an error or warning left without its
// place (line and column) inside the text, or records handed on although an error was said.
#include <algorithm>
#include <cstdint>
#include <string>

#include "Manifest.h"

namespace {

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const pack::CheckedManifest checked = pack::CheckManifestText(bytes, "m.json");
  const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1;
  for (const pack::Diagnostic& d : checked.diagnostics.All()) {
    Check(d.file == "m.json");
    Check(d.line >= 1 && d.line <= lines && d.column >= 1);
  }
  if (checked.diagnostics.Errors() == 0) Check(checked.records.FileTotal() > 0);
  return 0;
}
