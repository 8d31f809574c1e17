#pragma once
// The remover's work: read the payload from the remover's own file and remove what it lists,
// then the product's shortcuts. Runs on the worker thread; reports through a RemovalView.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "File.h"
#include "RemoverEnvironment.h"

namespace remover {

// What the worker tells the window while it runs. Paths come as the records list them, converted
// once from their GBK (bytes that are not GBK show as a replacement character); the view formats
// "正在删除文件：%s" / "正在删除目录：%s" and moves the bar. The remover's is the WorkerChannel;
// tests record.
class RemovalView {
 public:
  virtual ~RemovalView() = default;
  virtual void DeletingFile(const std::wstring& path) = 0;    // after a found file's deletion
  virtual void DeletingFolder(const std::wstring& path) = 0;  // before a listed folder's removal
  // After each found file: listed files found and deleted so far x 200 / fileTotal.
  virtual void Progressed(std::int32_t value) = 0;

  // Before anything is removed: the listed files (and the programs) that running programs hold,
  // as shown. The user's answer: look again, go on, or stop with nothing removed.
  enum class InUseAnswer { Retry, Ignore, Abort };
  virtual InUseAnswer FilesInUse(const std::vector<std::wstring>& names) = 0;
  // After the work: files moved aside that go at the next restart, and files a program held that
  // stay. Called only when there is any.
  virtual void LeftBehind(const std::vector<std::wstring>& atRestart, const std::vector<std::wstring>& staying) = 0;
};

// Runs the removal from the payload in `own`, the remover's own file as it was opened and proven
// at start (File::Mode::OwnImage), read through that handle only, and returns the dialog command
// that ends it: IDOK after the work, IDCANCEL when nothing was deleted because the file is not
// open (not found, or not the remover's own), its trailer is invalid or its record archive is
// damaged (the archive is read through once before anything is deleted), or the user stopped it
// when told of listed programs in use (RemovalView::FilesInUse).
// What it asks of the system (shell, walk, guard) comes from `env`.
int RunRemoval(fw::File& own, BOOL deleteHistory, RemovalView& view, const RemoverEnvironment& env);

}  // namespace remover
