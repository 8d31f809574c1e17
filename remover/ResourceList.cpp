#include "ResourceList.h"

#include <stdexcept>

#include "Archive.h"
#include "File.h"
#include "RemovalDescription.h"
#include "RemovalRules.h"
#include "WideText.h"

namespace remover {

void RemoveResourceFolders(const fw::FullPath& install, const std::string& installFolder, const RemovalScope& scope,
                           const WalkSystem& walk, RestartAside& inUse) {
  const auto folder = scope.Reach(install);
  if (!folder) return;
  if (JudgeHeld(scope, install, folder->path, folder->folder, walk) == removal::FolderVerdict::Refuse)
    return;
  const auto ini = folder->folder.Find(fw::AsWide(removal::kResourceList));
  if (!ini || ini->IsLink() || ini->IsFolder()) return;
  {
    fw::File file = folder->folder.OpenFileForReading(*ini);
    if (file.IsOpen()) {
      try {
        fw::Archive archive(file, fw::Archive::Mode::Load);
        std::string line;
        while (archive.ReadLine(line)) {
          if (const auto named = removal::ResourceFolderFromLine(line, installFolder))
            if (const auto text = fw::GbkToUtf16(*named))
              if (const auto path = fw::FullPath::Parse(*text)) RemoveFolderTree(*path, TRUE, scope, walk, &inUse);
        }
      } catch (const std::runtime_error&) {
        // A read failure ends the list; what was named before it was handled.
      }
    }
  }
  folder->folder.DeleteFileEntry(*ini);
}

}  // namespace remover
