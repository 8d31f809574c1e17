#pragma once
// The launcher's staging copy: a remover image followed by a copy of a payload's records and a
// fresh trailer, written item by item without holding the list.
#include <string_view>

#include "Records.h"
#include "Sha256.h"

namespace payload {

// Where the launcher stages the remover: a folder made new for each start directly in the Windows
// folder, named with this prefix (then the session's number, a dot and 16 hexadecimal digits),
// holding the staged file under this name. The remover knows it runs from a staging folder by it.
inline constexpr wchar_t kStagingFolderPrefix[] = L"~uninst.korvane.";
inline constexpr wchar_t kStagedName[] = L"~uninst.exe";

// Reads `source`'s record archive (from trailer.recordsOffset) and writes, to `staged` from its
// start: `image`, the records re-encoded in their order (wide strings come out narrow), and the
// trailer ForImage(image size, trailer.fileTotal). `trailer` is the valid trailer of `source`.
// Returns the digest of every byte written, in order: for a `staged` that was empty, the digest
// of what it must hold. A damaged archive raises fw::ArchiveError, a failed write or an image too
// large for a trailer fw::FileError; the caller removes the incomplete file.
fw::Sha256Digest WriteStagedRemover(fw::File& source, const PayloadLocation& trailer, std::string_view image,
                                    fw::File& staged);

}  // namespace payload
