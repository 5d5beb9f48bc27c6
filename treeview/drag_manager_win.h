#pragma once
// The tree's OLE drop source and drop target. The manager knows its tree
// only by serial: OLE may hold it after the tree went, and it then answers
// E_UNEXPECTED. No exception leaves a COM method.

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>

#include "base/com_ptr_win.h"

namespace kv {

class TBaseLazyTree;

enum class TDropMode : std::uint8_t { dmNowhere, dmAbove, dmOnNode, dmBelow };
enum class TDragState : std::uint8_t { dsDragEnter, dsDragLeave, dsDragMove };
enum class TLTDragImageKind : std::uint8_t { diComplete, diMainColumnOnly, diNoImage };
// How a tree drags its nodes: OLE's drag and drop (to any program), or the
// in-process drag between the windows of this process.
enum class TLTDragType : std::uint8_t { dtOLE, dtNative };
// The messages of the in-process drag to the tree under the mouse.
enum class TNativeDragMessage : std::uint8_t { ndEnter, ndLeave, ndMove, ndDrop };
// Allowed drag operations, one bit each (the OLE drop effects).
enum TDragOperation : std::uint8_t { doCopy = 1, doMove = 2, doLink = 4 };
// Added to a drop effect when the tree scrolled while something was dragged over it.
inline constexpr DWORD kDropEffectScroll = 0x80000000u;

// COM interfaces have no virtual destructor; ours are released through Release only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

// What a tree asks of its drag manager (an owner may supply its own).
class ILTDragManager : public IDropTarget {
 public:
  virtual ~ILTDragManager() = default;
  virtual IDropSource* DropSource() = 0;
  // Only the system helper's leave (before the tree repaints under its image).
  virtual void ForceDragLeave() = 0;
  // The incoming drag's data while the tree is the drop target, else a new object.
  virtual ComPtr<IDataObject> GetDataObject() = 0;
  virtual TBaseLazyTree* GetDragSource() const = 0;
  virtual bool GetDropTargetHelperSupported() const = 0;
  virtual bool GetIsDropTarget() const = 0;
};

class TLTDragManager : public ILTDragManager, public IDropSource {
 public:
  explicit TLTDragManager(TBaseLazyTree& owner);
  virtual ~TLTDragManager() = default;
  TLTDragManager(const TLTDragManager&) = delete;
  TLTDragManager& operator=(const TLTDragManager&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDropTarget (points in screen coordinates).
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL pt, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* dataObject, DWORD keyState, POINTL pt, DWORD* effect) override;
  // IDropSource.
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

  IDropSource* DropSource() override { return this; }
  void ForceDragLeave() override;
  ComPtr<IDataObject> GetDataObject() override;
  TBaseLazyTree* GetDragSource() const override;
  // The system helper shows the image only while windows are dragged full;
  // otherwise the tree's own image is needed.
  bool GetDropTargetHelperSupported() const override { return UseHelper(); }
  bool GetIsDropTarget() const override { return isDropTarget_; }

 private:
  TBaseLazyTree* Owner() const;
  // The helper's part of a call, when there is one and windows are dragged
  // full; a helper that refuses counts as missing from then on.
  bool UseHelper() const { return helper_ && fullDragging_; }

  std::atomic<ULONG> refs_{0};
  std::uint32_t ownerSerial_;
  std::uint32_t sourceSerial_ = 0;
  bool isDropTarget_ = false;
  bool fullDragging_ = false;
  ComPtr<IDataObject> dataObject_;
  ComPtr<IDropTargetHelper> helper_;
};

#pragma GCC diagnostic pop

}  // namespace kv
