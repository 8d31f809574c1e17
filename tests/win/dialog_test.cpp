// The remover's dialog around its worker, run the way the remover runs (remover_dialog_host.exe
// with a payload behind it, started as a program): what happens to the files and the registry
// when the worker cannot start, and when the worker's IDOK arrives after the dialog began to close.
#include <windows.h>
#include <commctrl.h>

#include "PayloadFiles.h"
#include "TestPaths.h"
#include "WinScratch.h"
#include "WinUi.h"
#include "resource.h"  // the remover's control ids

namespace {

using winscratch::Exists;

const std::wstring kRemoverTitle = L"Korvane 卸载系统";
constexpr UINT kCloseThenLateWorkerOk = WM_APP + 1;  // remover_dialog_host.cpp

struct ProductKey {
  HKEY root;
  const char* path;
};
const ProductKey kProductKeys[] = {{HKEY_CURRENT_CONFIG, "Lettrova\\Settings"},
                                   {HKEY_CLASSES_ROOT, ".lvf"},
                                   {HKEY_CLASSES_ROOT, "Lettrova.Document\\shell\\open\\command"}};

class RemoverDialogTest : public winscratch::ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    ASSERT_TRUE(CreateDirectoryA(Path("Korvane").c_str(), nullptr));
    for (const char* file : {"Korvane\\a.txt", "Korvane\\b.txt"}) winscratch::WriteFileBytes(Path(file), "x");
    const std::string image = testpaths::ReadBytes(testpaths::BinaryDir() + "\\..\\..\\bin\\remover_dialog_host.exe");
    ASSERT_FALSE(image.empty()) << "remover_dialog_host.exe is built beside the tests";
    const payload::RemovalRecords records{{"KorvaneDialogTest", Path("Korvane") + "\\", ""},
                                          {{Path("Korvane"), {Path("Korvane\\a.txt"), Path("Korvane\\b.txt")}}}};
    testpayload::Write(Path("~uninst.exe"), records, 0, image);
    for (const ProductKey& key : kProductKeys) {
      HKEY created = nullptr;
      ASSERT_EQ(RegCreateKeyExA(key.root, key.path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
                ERROR_SUCCESS);
      RegCloseKey(created);
    }
  }
  void TearDown() override {
    SetEnvironmentVariableA("KORVANE_DIALOG_HOST", nullptr);
    if (remover_.handle && !remover_.Exited(0)) TerminateProcess(remover_.handle, 1);
    RegDeleteTreeA(HKEY_CURRENT_CONFIG, "Lettrova");
    for (const char* key : {".lvf", "Lettrova.Document"}) RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
    ScratchDir::TearDown();
  }

  // The question box over `dialog`: a dialog-class window of the remover's process.
  HWND QuestionBox(HWND dialog) const {
    return winui::FindTopWindowIf([&](HWND hwnd, DWORD owner) {
      wchar_t cls[64] = {};
      GetClassNameW(hwnd, cls, 64);
      return owner == remover_.id && hwnd != dialog && std::wstring(cls) == L"#32770";
    });
  }

  // Starts the remover with its worker started as `mode` says (null: as in the remover), presses
  // "卸载" and answers "是". The dialog, or null.
  HWND StartAndConfirm(const char* mode) {
    SetEnvironmentVariableA("KORVANE_DIALOG_HOST", mode);
    if (!winui::Start(Path("~uninst.exe"), remover_, dir_)) return nullptr;
    HWND dialog = winui::WaitForWindow(kRemoverTitle, remover_.id, 60000);
    if (!dialog) return nullptr;
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNINSTALL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_UNINSTALL)));
    HWND box = nullptr;
    if (!winui::WaitFor([&] { return (box = QuestionBox(dialog)) != nullptr; })) return nullptr;
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    winui::WaitFor([&] { return QuestionBox(dialog) == nullptr; });
    return dialog;
  }

  bool FilesPresent() const { return Exists(Path("Korvane\\a.txt")) && Exists(Path("Korvane\\b.txt")); }
  static int ProductKeysPresent() {
    int present = 0;
    for (const ProductKey& key : kProductKeys) {
      HKEY opened = nullptr;
      if (RegOpenKeyExA(key.root, key.path, 0, KEY_READ, &opened) != ERROR_SUCCESS) continue;
      RegCloseKey(opened);
      ++present;
    }
    return present;
  }

  winui::Process remover_;
};

// The other tests see nothing removed; this one shows the same set-up is removed when the worker
// runs, so theirs is not a removal that could not have happened anyway.
// The host's exit code: the dialog's result, and the product keys still there when its modal loop
// returned.
DWORD HostExit(int result, int keysPresent) { return static_cast<DWORD>(result + 16 * keysPresent); }

TEST_F(RemoverDialogTest, WithTheWorkerRunningTheSameSetUpIsRemoved) {
  ASSERT_NE(StartAndConfirm(nullptr), nullptr);
  ASSERT_TRUE(remover_.Exited(20000));
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDOK, 0)) << "the keys were gone before the modal loop returned";
  EXPECT_FALSE(Exists(Path("Korvane")));
  EXPECT_EQ(ProductKeysPresent(), 0);
}

TEST_F(RemoverDialogTest, AFailedWorkerStartNeitherClosesNorRemovesNorCleansTheRegistry) {
  HWND dialog = StartAndConfirm("thread-start-fails");
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(remover_.Exited(1000)) << "the dialog stays open";
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(winui::Text(GetDlgItem(dialog, IDC_STATUS)), L"");
  EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
  EXPECT_TRUE(FilesPresent());
  EXPECT_EQ(ProductKeysPresent(), 3);

  HWND cancel = GetDlgItem(dialog, IDCANCEL);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(cancel));
  ASSERT_TRUE(remover_.Exited(10000)) << "取消 closes it";
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDCANCEL, 3));
  EXPECT_TRUE(FilesPresent());
  EXPECT_EQ(ProductKeysPresent(), 3);
}

// After a failed start the dialog keeps everything, its own file among it: a second "卸载" asks
// again and the worker then removes the product.
TEST_F(RemoverDialogTest, AFailedStartAsksAgainAndASecondPressRemovesTheProduct) {
  HWND dialog = StartAndConfirm("first-start-fails");
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(remover_.Exited(1000)) << "the dialog stays open";
  EXPECT_TRUE(FilesPresent());
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNINSTALL, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_UNINSTALL)));
  HWND box = nullptr;
  ASSERT_TRUE(winui::WaitFor([&] { return (box = QuestionBox(dialog)) != nullptr; })) << "the question is asked again";
  PostMessageW(box, WM_COMMAND, IDYES, 0);
  ASSERT_TRUE(remover_.Exited(20000));
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDOK, 0));
  EXPECT_FALSE(Exists(Path("Korvane")));
}

// None of the three keys there: the registry step finds nothing, and the dialog closes as usual.
TEST_F(RemoverDialogTest, WithoutAnyOfTheKeysTheRemovalEndsNormally) {
  RegDeleteTreeA(HKEY_CURRENT_CONFIG, "Lettrova");
  for (const char* key : {".lvf", "Lettrova.Document"}) RegDeleteTreeA(HKEY_CLASSES_ROOT, key);
  ASSERT_EQ(ProductKeysPresent(), 0);
  ASSERT_NE(StartAndConfirm(nullptr), nullptr);
  ASSERT_TRUE(remover_.Exited(20000));
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDOK, 0));
  EXPECT_FALSE(Exists(Path("Korvane")));
}

// A product program running from the install folder, seen by a person: after 卸载 and 是, a box
// names it and offers 中止 / 重试 / 忽略; after 忽略 the removal goes on, and a last box says the file
// is gone at the next restart. Screenshots of both are left beside the tests.
TEST_F(RemoverDialogTest, AProgramInUseIsNamedAndWhatWaitsForTheRestartIsSaid) {
  const std::string program = Path("Korvane\\Korvane.exe");
  const std::string image = testpaths::ReadBytes(testpaths::BinaryDir() + "\\..\\..\\bin\\remover_dialog_host.exe");
  const payload::RemovalRecords records{{"KorvaneDialogTest", Path("Korvane") + "\\", ""},
                                        {{Path("Korvane"), {program, Path("Korvane\\a.txt"), Path("Korvane\\b.txt")}}}};
  testpayload::Write(Path("~uninst.exe"), records, 0, image);
  winui::EndedProcess running;
  ASSERT_TRUE(winui::StartProductProgram(testpaths::BinaryDir() + "\\..\\..\\bin", program, running));

  HWND dialog = StartAndConfirm(nullptr);
  ASSERT_NE(dialog, nullptr);
  HWND box = nullptr;
  ASSERT_TRUE(winui::WaitFor([&] { return (box = QuestionBox(dialog)) != nullptr; })) << "the files-in-use box";
  const std::wstring asked = winui::ChildTexts(box);
  EXPECT_NE(asked.find(L"Korvane.exe"), std::wstring::npos);
  EXPECT_NE(asked.find(L"重试"), std::wstring::npos);
  EXPECT_TRUE(FilesPresent()) << "nothing removed while the box waits";
  winui::SaveScreenshot(testpaths::ScreenshotPath("files-in-use"));
  PostMessageW(box, WM_COMMAND, IDIGNORE, 0);

  HWND last = nullptr;
  ASSERT_TRUE(winui::WaitFor([&] {
    last = QuestionBox(dialog);
    return last && winui::ChildTexts(last).find(L"将在重新启动计算机后删除") != std::wstring::npos;
  })) << "the box that says what waits for the restart";
  EXPECT_NE(winui::ChildTexts(last).find(L"Korvane.exe"), std::wstring::npos);
  winui::SaveScreenshot(testpaths::ScreenshotPath("files-at-restart"));
  PostMessageW(last, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(remover_.Exited(20000));
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDOK, 0));
  EXPECT_FALSE(Exists(Path("Korvane")));
}

TEST_F(RemoverDialogTest, NoRegistryCleanupForAWorkerOkThatArrivesWhileClosing) {
  HWND dialog = StartAndConfirm("worker-held");
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(winui::WaitFor([&] { return !IsWindowEnabled(GetDlgItem(dialog, IDC_UNINSTALL)); }))
      << "the worker was started";
  PostMessageW(dialog, kCloseThenLateWorkerOk, 0, 0);
  ASSERT_TRUE(remover_.Exited(10000));
  EXPECT_EQ(remover_.ExitCode(), HostExit(IDCANCEL, 3)) << "closed by the user, not by the worker";
  EXPECT_EQ(ProductKeysPresent(), 3);
  EXPECT_TRUE(FilesPresent()) << "the held worker never ran";
}

}  // namespace
