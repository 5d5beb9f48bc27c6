// Cut, copy and paste of nodes through the OLE clipboard, the rendering of
// the native format, and the restoring of nodes from it.
#include <cstring>

#include "base/scope_guard.h"
#include "treeview/base_lazy_tree_win.h"
#include "treeview/data_object_win.h"

namespace kv {

namespace {

FORMATETC NativeFormat(DWORD tymed) {
  FORMATETC f{};
  f.cfFormat = CF_LAZYTREE();
  f.dwAspect = DVASPECT_CONTENT;
  f.lindex = -1;
  f.tymed = tymed;
  return f;
}

// All bytes of a stream from its current position, in steps.
std::vector<std::uint8_t> ReadWholeStream(IStream* stream) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  for (;;) {
    ULONG read = 0;
    const HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
    bytes.insert(bytes.end(), buffer, buffer + read);
    if (FAILED(hr) || read == 0) break;
  }
  return bytes;
}

}  // namespace

TBaseLazyTree* TBaseLazyTree::FromSerial(std::uint32_t serial) {
  return static_cast<TBaseLazyTree*>(FindLiveTree(serial));
}

void TBaseLazyTree::GetNativeClipboardFormats(std::vector<FORMATETC>& formats) {
  formats = ClipboardFormatList().EnumerateFormats(*this, &clipboardFormats_.Names());
  DoGetUserClipboardFormats(formats);
}

void TBaseLazyTree::DoGetUserClipboardFormats(std::vector<FORMATETC>& formats) {
  if (OnGetUserClipboardFormats) OnGetUserClipboardFormats(*this, formats);
}

HRESULT TBaseLazyTree::DoRenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  HRESULT result = E_FAIL;
  if (OnRenderOLEData) OnRenderOLEData(*this, formatEtcIn, medium, forClipboard, result);
  return result;
}

HRESULT TBaseLazyTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  medium = STGMEDIUM{};
  if (formatEtcIn.cfFormat != CF_LAZYTREE() || (formatEtcIn.tymed & (TYMED_HGLOBAL | TYMED_ISTREAM)) == 0)
    return DoRenderOLEData(formatEtcIn, medium, forClipboard);
  const std::vector<PLazyNode> nodes = forClipboard ? GetSortedCutCopySet(true) : GetSortedSelection(true);
  TNodeMemoryStream stream;
  for (PLazyNode n : nodes) WriteNode(stream, n);
  std::vector<std::uint8_t>& bytes = stream.Bytes();
  if (bytes.size() > 0xFFFFFFFBu) return E_OUTOFMEMORY;
  const auto size = static_cast<std::uint32_t>(bytes.size());
  const std::uint8_t length[4] = {static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                  static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24)};
  if (formatEtcIn.tymed & TYMED_ISTREAM) {
    // The stream holds the node chunks alone.
    ComPtr<IStream> out;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, out.Put());
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    if (!bytes.empty()) {
      hr = out->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
      if (FAILED(hr) || written != bytes.size()) return FAILED(hr) ? hr : STG_E_MEDIUMFULL;
    }
    out->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr);
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = out.Get();
    medium.pstm->AddRef();
    return S_OK;
  }
  if (bytes.empty()) return E_FAIL;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, bytes.size() + 4);
  if (block == nullptr) return E_OUTOFMEMORY;
  auto* p = static_cast<std::uint8_t*>(GlobalLock(block));
  std::memcpy(p, length, 4);
  std::memcpy(p + 4, bytes.data(), bytes.size());
  GlobalUnlock(block);
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = block;
  return S_OK;
}

ComPtr<IDataObject> TBaseLazyTree::DoCreateDataObject() {
  ComPtr<IDataObject> object;
  if (OnCreateDataObject) OnCreateDataObject(*this, object);
  return object;
}

void TBaseLazyTree::ClipboardObjectGone(const TLTDataObject* object) {
  if (clipboardObject_ == object) clipboardObject_ = nullptr;
}

bool TBaseLazyTree::CopyToClipboard() {
  if (SelectedCount() == 0) return false;
  ComPtr<TLTDataObject> object = MakeComObject<TLTDataObject>(*this, true);
  if (OleSetClipboard(object.Get()) != S_OK) return false;
  clipboardObject_ = object.Get();
  DoStateChange({tsCopyPending}, {tsCutPending});
  MarkCutCopyNodes();
  return true;
}

bool TBaseLazyTree::CutToClipboard() {
  if (SelectedCount() == 0 || ReadOnly()) return false;
  ComPtr<TLTDataObject> object = MakeComObject<TLTDataObject>(*this, true);
  if (OleSetClipboard(object.Get()) != S_OK) return false;
  clipboardObject_ = object.Get();
  DoStateChange({tsCutPending}, {tsCopyPending});
  MarkCutCopyNodes();
  return true;
}

bool TBaseLazyTree::PasteFromClipboard() {
  if (ReadOnly()) return false;
  ComPtr<IDataObject> data;
  if (OleGetClipboard(data.Put()) != S_OK || !data) ShowError("Clipboard operation failed.", 2007);
  TBaseLazyTree* source = GetTreeFromDataObject(data.Get());
  const bool optimized = source != nullptr && source->TreeStates().Contains(tsCutPending);
  const bool result = ProcessOLEData(source, data.Get(), FocusedNode(), defaultPasteMode_, optimized);
  if (source == this) {
    // Marks left behind are not drawn without the cut; repainted so none shows as cut any more.
    DoStateChange({}, {tsCutPending});
    InvalidateClientRect(nullptr);
  } else if (source != nullptr) {
    source->FinishCutOrCopy();
  }
  return result;
}

bool TBaseLazyTree::ProcessOLEData(TBaseLazyTree* source, IDataObject* dataObject, PLazyNode targetNode,
                                   TLTNodeAttachMode mode, bool optimized) {
  FORMATETC format = NativeFormat(TYMED_HGLOBAL | TYMED_ISTREAM);
  if (dataObject == nullptr || ReadOnly() || dataObject->QueryGetData(&format) != S_OK) return false;
  if (targetNode == nullptr) targetNode = RootNode();
  if (targetNode == RootNode()) {
    if (mode == TLTNodeAttachMode::amInsertBefore) mode = TLTNodeAttachMode::amAddChildFirst;
    if (mode == TLTNodeAttachMode::amInsertAfter) mode = TLTNodeAttachMode::amAddChildLast;
  }
  BeginUpdate();
  struct EndUpdateAtExit {
    TBaseLazyTree& tree;
    ~EndUpdateAtExit() { tree.EndUpdate(); }
  } endUpdate{*this};

  if (optimized && source != nullptr) {
    // A running drag moves its own nodes, anything else the marked ones.
    const bool dragging = source->TreeStates().Contains(tsOLEDragging);
    std::vector<PLazyNode> nodes = dragging ? source->DragSelection() : source->GetSortedCutCopySet(true);
    const bool forward = mode == TLTNodeAttachMode::amInsertBefore || mode == TLTNodeAttachMode::amAddChildLast;
    if (!forward) std::reverse(nodes.begin(), nodes.end());
    // The source changes in one update too, not once per node moved out of it.
    if (source != this) source->BeginUpdate();
    const ScopeGuard endSourceUpdate([&] {
      if (source != this) source->EndUpdate();
    });
    for (PLazyNode node : nodes) {
      // A cut node leaves the cut set before it moves: a node that moved is gone from the source anyway, and
      // one whose move the source refused stays where it is and must not be deleted when the cut finishes.
      if (!dragging) source->UnmarkCutCopySubtree(node);
      if (node != targetNode && !(source == this && HasAsParent(targetNode, node)))
        source->MoveTo(node, targetNode, mode, false, this);
    }
    return true;
  }

  const TChangeReason reason = source == this ? TChangeReason::crNodeCopied : TChangeReason::crNodeAdded;
  STGMEDIUM medium{};
  if (dataObject->GetData(&format, &medium) != S_OK) return false;
  const ScopeGuard release([&] { ReleaseStgMedium(&medium); });
  auto restore = [&](TNodeStream& stream) {
    try {
      AddNodesFromStream(stream, targetNode, mode, reason);
    } catch (const ELazyTreeError&) {
      // Damaged data: what was read whole stays, nothing of the rest.
    } catch (const ENodeStreamError&) {
    }
  };
  if (medium.tymed == TYMED_ISTREAM && medium.pstm != nullptr) {
    TNodeMemoryStream stream(ReadWholeStream(medium.pstm));
    restore(stream);
  } else if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
    if (const void* block = GlobalLock(medium.hGlobal)) {
      const ScopeGuard unlock([&] { GlobalUnlock(medium.hGlobal); });
      // Read in place; the block's own length bounds what its header claims.
      const auto payload = NativeBlockPayload(block, GlobalSize(medium.hGlobal));
      TOLEMemoryStream stream(payload.data(), static_cast<std::int64_t>(payload.size()));
      restore(stream);
    }
  }
  return true;
}

TBaseLazyTree* TBaseLazyTree::GetTreeFromDataObject(IDataObject* dataObject) {
  if (dataObject == nullptr) return nullptr;
  FORMATETC format{};
  format.cfFormat = CF_LAZYTREEREFERENCE();
  format.dwAspect = DVASPECT_CONTENT;
  format.lindex = -1;
  format.tymed = TYMED_HGLOBAL;
  STGMEDIUM medium{};
  if (dataObject->GetData(&format, &medium) != S_OK) return nullptr;
  TBaseLazyTree* tree = nullptr;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
    if (const void* block = GlobalLock(medium.hGlobal)) {
      if (auto serial = ParseTreeReference(block, GlobalSize(medium.hGlobal), GetCurrentProcessId()))
        tree = FromSerial(*serial);
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return tree;
}

void TBaseLazyTree::ReleaseExchange() {
  // Copied data stays pasteable after the tree: the clipboard renders it now.
  if (clipboardObject_ != nullptr &&
      OleIsCurrentClipboard(const_cast<TLTDataObject*>(clipboardObject_)) == S_OK) {
    DoStateChange({tsClipboardFlushing});
    OleFlushClipboard();
    DoStateChange({}, {tsClipboardFlushing});
  }
  clipboardObject_ = nullptr;
  registration_.reset();
}

void TBaseLazyTree::EmptyOwnClipboard() {
  if (clipboardObject_ != nullptr &&
      OleIsCurrentClipboard(const_cast<TLTDataObject*>(clipboardObject_)) == S_OK)
    OleSetClipboard(nullptr);
}

bool TBaseLazyTree::ClipboardMessage(ui::TMessage& m) {
  switch (m.msg) {
    case WM_COPY: CopyToClipboard(); break;
    case WM_CUT: CutToClipboard(); break;
    case WM_PASTE: PasteFromClipboard(); break;
    default: return false;
  }
  m.result = 0;
  return true;
}

}  // namespace kv
