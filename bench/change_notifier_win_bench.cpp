// Explorer trees receiving changes and icons (run under Wine through the
// shell tests' namespace):
//
//   scripts/shell_namespace_run.sh build/win build/win/change_notifier_win_bench.exe
//
//  - user-interface time of one batch of 100 "Update Directory" events on a
//    tree of 100 expanded folders of 100 files each (every folder re-read and
//    merged, nothing changed);
//  - icons per second reaching a tree from the icon thread for 1,000 nodes,
//    and the user-interface time per answer.
// Figures are printed, not asserted. The event queue itself is measured
// natively by change_notifier_bench.
#include <windows.h>
#include <ole2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "shell/change_notifier_win.h"
#include "shell/explorer_persistent_win.h"
#include "shell/explorer_tree_win.h"
#include "shell/icon_thread_win.h"
#include "shell/shell_utils_win.h"
#include "ui/forms_win.h"

using Clock = std::chrono::steady_clock;
using namespace kv;

namespace {

constexpr int kFolders = 100, kFiles = 100;
const std::wstring kBase = L"C:\\kvtest\\notify100";

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Counts the icon answers and the time spent handling them.
class TimedTree : public TLazyExplorerTreeview {
 public:
  ~TimedTree() override { DestroyNodes(); }
  int answers = 0;
  Clock::duration answerTime{};
  void AskImage(PLazyNode node) {
    bool ghosted = false;
    DoGetImageIndex(node, TLTImageKind::ikNormal, kNoColumn, ghosted);
  }

 protected:
  void WndProc(ui::TMessage& m) override {
    if (m.msg != WM_LTSETICONINDEX) return TLazyExplorerTreeview::WndProc(m);
    const auto start = Clock::now();
    TLazyExplorerTreeview::WndProc(m);
    answerTime += Clock::now() - start;
    ++answers;
  }
};

std::wstring Folder(int i) { return kBase + L"\\d" + std::to_wstring(i); }

void MakeFolders() {
  CreateDirectoryW(kBase.c_str(), nullptr);
  for (int i = 0; i < kFolders; ++i) {
    CreateDirectoryW(Folder(i).c_str(), nullptr);
    for (int f = 0; f < kFiles; ++f) {
      HANDLE file = CreateFileW((Folder(i) + L"\\t" + std::to_wstring(f) + L".mp3").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// Builds the tree over the base folder with every folder expanded.
void Build(ui::TForm& form, TimedTree& tree, uint32_t imageOptions) {
  tree.SetParent(&form);
  tree.SetBounds(0, 0, 300, 600);
  tree.SetFileObjects(foFolders | foNonFolders);
  tree.SetExplorerImageOptions(imageOptions);
  tree.SetRootFolderCustomPath(kBase);
  tree.SetActive(true);
  for (int i = 0; i < kFolders; ++i) {
    TPidl list = PathToPIDL(Folder(i));
    if (PLazyNode node = tree.FindNodeByPIDL(list.get())) tree.SetExpanded(node, true);
  }
}

double UpdateDirectoryBatch() {
  ui::TForm form;
  auto& tree = form.Create<TimedTree>();
  Build(form, tree, toImages);
  TLazyShellEventList* batch = TLazyShellEventList::Create();
  batch->AddRef();
  for (int i = 0; i < kFolders; ++i) {
    TPidl list = PathToPIDL(Folder(i));
    batch->Events().push_back(MakeShellEvent(TShellEventKind::UpdateDirectory, list.get(), nullptr));
  }
  const auto start = Clock::now();
  SendMessageW(tree.Handle(), WM_SHELLNOTIFY, reinterpret_cast<WPARAM>(batch), 0);
  return Ms(Clock::now() - start);
}

void IconAnswers() {
  ui::TForm form;
  auto& tree = form.Create<TimedTree>();
  Build(form, tree, toImages | toThreadedImages);
  Pump();
  tree.answers = 0;
  tree.answerTime = {};
  // 1,000 files of ten folders, none asked yet (painting asks only the shown ones).
  int asked = 0;
  for (int i = kFolders - 10; i < kFolders; ++i) {
    TPidl list = PathToPIDL(Folder(i));
    PLazyNode folder = tree.FindNodeByPIDL(list.get());
    for (PLazyNode n = folder ? tree.GetFirstChild(folder) : nullptr; n; n = tree.GetNextSibling(n), ++asked)
      tree.AskImage(n);
  }
  const auto start = Clock::now();
  while (tree.PendingIconRequests() > 0 && Clock::now() - start < std::chrono::seconds(120)) {
    Pump();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  const double seconds = Ms(Clock::now() - start) / 1000;
  std::printf("icons: %d asked, %d answered in %.2f s: %.0f icons per second, %.3f ms UI time per answer\n", asked,
              tree.answers, seconds, tree.answers / seconds,
              tree.answers ? Ms(tree.answerTime) / tree.answers : 0.0);
}

}  // namespace

int main() {
  if (FAILED(OleInitialize(nullptr))) return 1;
  ShellInitialize();
  MakeFolders();
  double best = 1e30;
  for (int round = 0; round < 3; ++round) best = std::min(best, UpdateDirectoryBatch());
  std::printf("one batch of %d \"Update Directory\" events, %d expanded folders of %d files: %.1f ms UI time\n",
              kFolders, kFolders, kFiles, best);
  IconAnswers();
  ShellFinalize();
  OleUninitialize();
  return 0;
}
