#pragma once
// The published trees: the owner-draw tree (the results list) and the string
// tree (shell trees, column dialog). Their painting and texts arrive with the
// painting and string tree work; here they are the frame with its options.

#include "treeview/base_lazy_tree_win.h"

namespace kv {

class TCustomLazyDrawTree : public TBaseLazyTree {
 public:
  explicit TCustomLazyDrawTree(std::unique_ptr<TCustomLazyTreeOptions> options = nullptr)
      : TBaseLazyTree(options ? std::move(options) : std::make_unique<TLazyTreeOptions>()) {}
  ~TCustomLazyDrawTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TCustomLazyDrawTree"; }

  // The owner draws each node's content and tells its width.
  std::function<void(TBaseLazyTree&, const TLTPaintInfo&)> OnDrawNode;
  std::function<void(TBaseLazyTree&, HDC, PLazyNode, TColumnIndex, int& width)> OnGetNodeWidth;

 protected:
  void DoPaintNode(TLTPaintInfo& info) override {
    if (OnDrawNode) OnDrawNode(*this, info);
  }
  int DoGetNodeWidth(PLazyNode node, TColumnIndex column) override {
    int width = 2 * TextMargin();
    if (OnGetNodeWidth) OnGetNodeWidth(*this, PaintCanvas(), node, column, width);
    return width;
  }
};

class TLazyDrawTree : public TCustomLazyDrawTree {
 public:
  ~TLazyDrawTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TLazyDrawTree"; }
};

class TCustomLazyStringTree : public TBaseLazyTree {
 public:
  explicit TCustomLazyStringTree(std::unique_ptr<TCustomStringTreeOptions> options = nullptr)
      : TBaseLazyTree(options ? std::move(options) : std::make_unique<TStringTreeOptions>()) {}
  ~TCustomLazyStringTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TCustomLazyStringTree"; }
  TCustomStringTreeOptions& GetOptions() {
    return static_cast<TCustomStringTreeOptions&>(TreeOptions());
  }
  void SetOptions(const TCustomStringTreeOptions& options) { options.AssignTo(GetOptions()); }
};

class TLazyStringTree : public TCustomLazyStringTree {
 public:
  ~TLazyStringTree() override { DestroyNodes(); }
  const char* ClassName() const override { return "TLazyStringTree"; }
};

}  // namespace kv
