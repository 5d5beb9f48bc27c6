#pragma once
// Change links: a control that follows another (the client) learns through
// the process-wide dispatcher that the other (the server) now shows a given
// item. A dispatch runs on the user-interface thread; a client that moves in
// answer dispatches its own change, which reaches only the controls the
// first server did not reach, and never the first server.
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kv {

namespace ui {
class TControl;
}

class TExplorerChangeLink;
using TChangeLinkHandler = std::function<void(ui::TControl* server, LPCITEMIDLIST pidl)>;
using TChangeLinkFreeHandler = std::function<void(TExplorerChangeLink& link)>;

class TExplorerChangeLink {
 public:
  ui::TControl* ChangeLinkServer = nullptr;  // the control whose changes are followed
  ui::TControl* ChangeLinkClient = nullptr;  // the control that follows
  TChangeLinkHandler OnChangeLink;
  TChangeLinkFreeHandler OnChangeLinkFree;

 private:
  friend class TExplorerChangeDispatch;
  bool removing_ = false;  // its free handler runs: a nested removal passes it by
};

// How UnRegisterChangeLink matches a link.
enum class TChangeLinkMatch : int { Server = 0, Client = 1, Both = 2, Either = 3 };

class TExplorerChangeDispatch {
 public:
  TExplorerChangeDispatch() = default;
  TExplorerChangeDispatch(const TExplorerChangeDispatch&) = delete;
  TExplorerChangeDispatch& operator=(const TExplorerChangeDispatch&) = delete;

  void RegisterChangeLink(ui::TControl* server, ui::TControl* client, TChangeLinkHandler onChangeLink,
                          TChangeLinkFreeHandler onChangeLinkFree);
  // Removes the last matching link (every match for Either), calling its free
  // handler first; the handler may register and unregister other links.
  void UnRegisterChangeLink(ui::TControl* server, ui::TControl* client, TChangeLinkMatch mode);
  // Tells the clients of `server` (once each, never `server` itself) that it shows `pidl`.
  void DispatchChange(ui::TControl* server, LPCITEMIDLIST pidl);
  // The links a nested dispatch may use: those of other servers whose client
  // `server` does not reach directly.
  void ReduceServerSet(ui::TControl* server);

  ui::TControl* DispatchingServer() const { return dispatchingServer_; }
  const std::vector<std::shared_ptr<TExplorerChangeLink>>& ReducedSet() const { return reducedSet_; }
  size_t Count() const;
  // Links in which `control` takes part (either end).
  size_t CountOf(const ui::TControl* control) const;

 private:
  void Run(const std::vector<std::shared_ptr<TExplorerChangeLink>>& links, ui::TControl* server, LPCITEMIDLIST pidl);

  mutable std::recursive_mutex lock_;
  std::vector<std::shared_ptr<TExplorerChangeLink>> links_;
  std::vector<std::shared_ptr<TExplorerChangeLink>> reducedSet_;
  ui::TControl* dispatchingServer_ = nullptr;
};

// The process's dispatcher: made by ShellInitialize, freed by ShellFinalize;
// none outside (a control then links and dispatches nothing).
TExplorerChangeDispatch* ExplorerChangeDispatch();
void CreateExplorerChangeDispatch();
void FreeExplorerChangeDispatch();

}  // namespace kv
