#pragma once
// Where the launcher stages the remover: a folder made new for each start directly in the system's
// Windows folder, which only administrators can write, admitting only administrators and the
// system itself. Nothing a program without administrator rights can change (TEMP, TMP, a folder
// of the user's, a link) takes part in naming the file that is started.
#include <string>

// What earlier starts left behind.
enum class EarlierStarts {
  Ended,    // their staged files and folders were removed (what could be)
  Running,  // a staged file is held: its remover still runs, or its launcher has not let go yet
};

// Removes the staged file and the folder of every earlier start whose file nobody holds, and
// nothing else: a folder holding anything more stays. A remover holds its own file while it runs
// (and its launcher holds it until the remover waits for the user), and only administrators can
// open a file in these folders, so a held file is a sign that nobody else can give.
EarlierStarts ClearEarlierStarts(const std::wstring& windowsFolder);

// One start's folder, made by the constructor. Until Keep() is called, the destructor removes the
// staged file and the folder again (a failed start leaves nothing behind).
class StagingFolder {
 public:
  explicit StagingFolder(const std::wstring& windowsFolder);
  ~StagingFolder();
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  // False when no new folder could be made (not an administrator, say).
  bool Made() const { return !path_.empty(); }
  const std::wstring& Path() const { return path_; }  // no trailing backslash
  std::wstring StagedFile() const;                    // "~uninst.exe" in it
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  bool kept_ = false;
};
