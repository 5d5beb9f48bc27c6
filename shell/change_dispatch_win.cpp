#include "shell/change_dispatch_win.h"

#include <algorithm>

#include "base/scope_guard.h"

namespace kv {

namespace {
std::unique_ptr<TExplorerChangeDispatch> gDispatch;
}

TExplorerChangeDispatch* ExplorerChangeDispatch() { return gDispatch.get(); }
void CreateExplorerChangeDispatch() {
  if (!gDispatch) gDispatch = std::make_unique<TExplorerChangeDispatch>();
}
void FreeExplorerChangeDispatch() { gDispatch.reset(); }

void TExplorerChangeDispatch::RegisterChangeLink(ui::TControl* server, ui::TControl* client,
                                                 TChangeLinkHandler onChangeLink,
                                                 TChangeLinkFreeHandler onChangeLinkFree) {
  auto link = std::make_shared<TExplorerChangeLink>();
  link->ChangeLinkServer = server;
  link->ChangeLinkClient = client;
  link->OnChangeLink = std::move(onChangeLink);
  link->OnChangeLinkFree = std::move(onChangeLinkFree);
  const std::lock_guard guard(lock_);
  links_.push_back(std::move(link));
}

void TExplorerChangeDispatch::UnRegisterChangeLink(ui::TControl* server, ui::TControl* client,
                                                   TChangeLinkMatch mode) {
  const std::lock_guard guard(lock_);
  auto matches = [&](const TExplorerChangeLink& l) {
    switch (mode) {
      case TChangeLinkMatch::Server: return l.ChangeLinkServer == server;
      case TChangeLinkMatch::Client: return l.ChangeLinkClient == client;
      case TChangeLinkMatch::Both: return l.ChangeLinkServer == server && l.ChangeLinkClient == client;
      case TChangeLinkMatch::Either: return l.ChangeLinkServer == server || l.ChangeLinkClient == client;
    }
    return false;
  };
  // The matches are taken first: a free handler may change the list under us.
  std::vector<std::shared_ptr<TExplorerChangeLink>> doomed;
  for (auto it = links_.rbegin(); it != links_.rend(); ++it) {
    if ((*it)->removing_ || !matches(**it)) continue;
    doomed.push_back(*it);
    if (mode != TChangeLinkMatch::Either) break;
  }
  for (const auto& link : doomed) {
    if (std::find(links_.begin(), links_.end(), link) == links_.end() || link->removing_) continue;
    link->removing_ = true;
    if (link->OnChangeLinkFree) link->OnChangeLinkFree(*link);
    link->OnChangeLink = nullptr;
    link->OnChangeLinkFree = nullptr;
    link->ChangeLinkServer = nullptr;
    link->ChangeLinkClient = nullptr;
    std::erase(links_, link);
    std::erase(reducedSet_, link);
  }
}

void TExplorerChangeDispatch::ReduceServerSet(ui::TControl* server) {
  reducedSet_.clear();
  for (const auto& l : links_) {
    if (l->ChangeLinkServer == server) continue;
    const bool reachedDirectly = std::any_of(links_.begin(), links_.end(), [&](const auto& direct) {
      return direct->ChangeLinkServer == server && direct->ChangeLinkClient == l->ChangeLinkClient;
    });
    if (!reachedDirectly) reducedSet_.push_back(l);
  }
}

void TExplorerChangeDispatch::Run(const std::vector<std::shared_ptr<TExplorerChangeLink>>& links,
                                  ui::TControl* server, LPCITEMIDLIST pidl) {
  // A copy: a handler may register or remove links; a removed link has lost its handler.
  const std::vector<std::shared_ptr<TExplorerChangeLink>> walk = links;
  for (const auto& l : walk)
    if (l->ChangeLinkServer == server && l->OnChangeLink && l->ChangeLinkClient != dispatchingServer_) {
      const TChangeLinkHandler handler = l->OnChangeLink;  // the link may be cleared while it runs
      handler(server, pidl);
    }
}

void TExplorerChangeDispatch::DispatchChange(ui::TControl* server, LPCITEMIDLIST pidl) {
  if (dispatchingServer_) {
    Run(reducedSet_, server, pidl);
    return;
  }
  dispatchingServer_ = server;
  const ScopeGuard done([this] { dispatchingServer_ = nullptr; });
  ReduceServerSet(server);
  Run(links_, server, pidl);
}

size_t TExplorerChangeDispatch::Count() const {
  const std::lock_guard guard(lock_);
  return links_.size();
}

size_t TExplorerChangeDispatch::CountOf(const ui::TControl* control) const {
  const std::lock_guard guard(lock_);
  return static_cast<size_t>(std::count_if(links_.begin(), links_.end(), [&](const auto& l) {
    return l->ChangeLinkServer == control || l->ChangeLinkClient == control;
  }));
}

}  // namespace kv
