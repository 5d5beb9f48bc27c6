#include "treeview/data_object_win.h"

#include <algorithm>
#include <cstring>

#include "treeview/base_lazy_tree_win.h"

namespace kv {

namespace {

// Runs `body` and turns any exception into `failure`.
template <class F>
HRESULT Guarded(HRESULT failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace

// ------------------------------------------------------------- enumerator --

TEnumFormatEtc::TEnumFormatEtc(std::uint32_t ownerSerial, std::vector<FORMATETC> formats, ULONG index)
    : ownerSerial_(ownerSerial), formats_(std::move(formats)), index_(index) {}

HRESULT TEnumFormatEtc::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumFORMATETC) {
    *object = static_cast<IEnumFORMATETC*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TEnumFormatEtc::AddRef() { return ++refs_; }

ULONG TEnumFormatEtc::Release() {
  const ULONG left = --refs_;
  if (left == 0) std::unique_ptr<TEnumFormatEtc> gone(this);
  return left;
}

HRESULT TEnumFormatEtc::Next(ULONG celt, FORMATETC* elements, ULONG* fetched) {
  const ULONG count = static_cast<ULONG>(formats_.size());
  const ULONG n = index_ < count ? std::min(celt, count - index_) : 0;
  if (n > 0 && elements == nullptr) return E_POINTER;
  for (ULONG i = 0; i < n; ++i) elements[i] = formats_[index_ + i];
  index_ += n;
  if (fetched != nullptr) *fetched = n;
  return n > 0 ? S_OK : S_FALSE;
}

HRESULT TEnumFormatEtc::Skip(ULONG celt) {
  if (std::uint64_t{index_} + celt > formats_.size()) return S_FALSE;
  index_ += celt;
  return S_OK;
}

HRESULT TEnumFormatEtc::Reset() {
  index_ = 0;
  return S_OK;
}

HRESULT TEnumFormatEtc::Clone(IEnumFORMATETC** result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  return Guarded(E_OUTOFMEMORY, [&] {
    *result = std::make_unique<TEnumFormatEtc>(0, formats_, index_).release();
    (*result)->AddRef();
    return S_OK;
  });
}

// ------------------------------------------------------------ data object --

TLTDataObject::TLTDataObject(TBaseLazyTree& owner, bool forClipboard)
    : ownerSerial_(owner.Serial()), forClipboard_(forClipboard) {
  owner.GetNativeClipboardFormats(formats_);
}

TLTDataObject::~TLTDataObject() {
  try {
    if (TBaseLazyTree* owner = Owner()) {
      owner->ClipboardObjectGone(this);
      // Something else was put on the clipboard: the pending cut or copy ends.
      if (forClipboard_ && !owner->TreeStates().Contains(tsClipboardFlushing)) owner->CancelCutOrCopy();
    }
  } catch (...) {
  }
  for (InternalMedium& m : media_) ReleaseStgMedium(&m.medium);
}

TBaseLazyTree* TLTDataObject::Owner() const { return TBaseLazyTree::FromSerial(ownerSerial_); }

HRESULT TLTDataObject::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDataObject) {
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG TLTDataObject::AddRef() { return ++refs_; }

ULONG TLTDataObject::Release() {
  const ULONG left = --refs_;
  if (left == 0) std::unique_ptr<TLTDataObject> gone(this);
  return left;
}

bool TLTDataObject::EqualFormatEtc(const FORMATETC& a, const FORMATETC& b) {
  return a.cfFormat == b.cfFormat && a.ptd == b.ptd && a.dwAspect == b.dwAspect && a.lindex == b.lindex &&
         (a.tymed & b.tymed) != 0;
}

int TLTDataObject::FindFormatEtc(const FORMATETC& formatEtc, const std::vector<FORMATETC>& list) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (EqualFormatEtc(formatEtc, list[i])) return static_cast<int>(i);
  return -1;
}

HGLOBAL TLTDataObject::HGlobalClone(HGLOBAL source) {
  const SIZE_T size = GlobalSize(source);
  HGLOBAL copy = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
  if (copy == nullptr) return nullptr;
  if (const void* from = GlobalLock(source)) {
    std::memcpy(copy, from, size);
    GlobalUnlock(source);
  }
  return copy;
}

STGMEDIUM* TLTDataObject::FindInternalStgMedium(CLIPFORMAT format) {
  for (InternalMedium& m : media_)
    if (m.format == format) return &m.medium;
  return nullptr;
}

bool TLTDataObject::RenderInternalOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, HRESULT& result) {
  STGMEDIUM* stored = FindInternalStgMedium(formatEtcIn.cfFormat);
  if (stored == nullptr || stored->tymed == TYMED_NULL) return false;
  result = StgMediumIncRef(*stored, medium, false, this);
  return true;
}

HRESULT TLTDataObject::StgMediumIncRef(const STGMEDIUM& in, STGMEDIUM& out, bool copyInMedium,
                                       IDataObject* dataObject) {
  out = in;
  HRESULT result = S_OK;
  switch (in.tymed) {
    case TYMED_HGLOBAL:
      if (copyInMedium) {
        out.hGlobal = HGlobalClone(in.hGlobal);
        if (out.hGlobal == nullptr) result = E_OUTOFMEMORY;
      } else {
        out.pUnkForRelease = dataObject;
      }
      break;
    case TYMED_FILE: {
      const std::size_t length = in.lpszFileName != nullptr ? std::wcslen(in.lpszFileName) : 0;
      out.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
      if (out.lpszFileName == nullptr) {
        result = E_OUTOFMEMORY;
      } else if (in.lpszFileName != nullptr) {
        std::memcpy(out.lpszFileName, in.lpszFileName, (length + 1) * sizeof(wchar_t));
      } else {
        out.lpszFileName[0] = 0;
      }
      break;
    }
    case TYMED_ISTREAM:
      if (out.pstm != nullptr) out.pstm->AddRef();
      break;
    case TYMED_ISTORAGE:
      if (out.pstg != nullptr) out.pstg->AddRef();
      break;
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
      if (copyInMedium)
        result = DV_E_TYMED;
      else
        out.pUnkForRelease = dataObject;
      break;
    default:
      result = DV_E_TYMED;
  }
  if (result == S_OK && out.pUnkForRelease != nullptr) out.pUnkForRelease->AddRef();
  return result;
}

HRESULT TLTDataObject::GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) {
  if (formatEtcIn == nullptr || medium == nullptr) return E_INVALIDARG;
  *medium = STGMEDIUM{};
  return Guarded(E_FAIL, [&]() -> HRESULT {
    TBaseLazyTree* owner = Owner();
    if (formatEtcIn->cfFormat == CF_LAZYTREEREFERENCE()) {
      if (owner == nullptr || owner->TreeStates().Contains(tsClipboardFlushing)) return E_FAIL;
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, kTreeReferenceSize);
      if (block == nullptr) return E_OUTOFMEMORY;
      auto* bytes = static_cast<std::uint8_t*>(GlobalLock(block));
      MakeTreeReference(GetCurrentProcessId(), ownerSerial_, bytes);
      GlobalUnlock(block);
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = block;
      return S_OK;
    }
    HRESULT result = QueryGetData(formatEtcIn);
    if (result != S_OK) return result;
    const int index = FindFormatEtc(*formatEtcIn, formats_);
    if (index < 0) return DV_E_FORMATETC;
    if (RenderInternalOLEData(*formatEtcIn, *medium, result)) return result;
    if (owner == nullptr) return E_FAIL;
    try {
      result = owner->RenderOLEData(*formatEtcIn, *medium, forClipboard_);
    } catch (...) {
      *medium = STGMEDIUM{};
      return E_FAIL;
    }
    return result;
  });
}

HRESULT TLTDataObject::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }

HRESULT TLTDataObject::QueryGetData(FORMATETC* formatEtc) {
  if (formatEtc == nullptr) return E_INVALIDARG;
  HRESULT result = DV_E_FORMATETC;
  for (const FORMATETC& f : formats_) {
    if (f.cfFormat != formatEtc->cfFormat) continue;
    if ((f.tymed & formatEtc->tymed) == 0)
      result = DV_E_TYMED;
    else if (f.dwAspect != formatEtc->dwAspect)
      result = DV_E_DVASPECT;
    else if (f.lindex != formatEtc->lindex)
      result = DV_E_LINDEX;
    else
      return S_OK;
  }
  return result;
}

HRESULT TLTDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return DATA_S_SAMEFORMATETC; }

HRESULT TLTDataObject::SetData(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release) {
  if (formatEtc == nullptr || medium == nullptr) return E_INVALIDARG;
  return Guarded(E_OUTOFMEMORY, [&]() -> HRESULT {
    STGMEDIUM* stored = nullptr;
    if (FindFormatEtc(*formatEtc, formats_) < 0) {
      formats_.push_back(*formatEtc);
      media_.push_back({formatEtc->cfFormat, STGMEDIUM{}});
      stored = &media_.back().medium;
    } else {
      stored = FindInternalStgMedium(formatEtc->cfFormat);
      if (stored == nullptr) {
        media_.push_back({formatEtc->cfFormat, STGMEDIUM{}});
        stored = &media_.back().medium;
      } else {
        ReleaseStgMedium(stored);
        *stored = STGMEDIUM{};
      }
    }
    HRESULT result = S_OK;
    if (release) {
      *stored = *medium;
    } else {
      result = StgMediumIncRef(*medium, *stored, true, this);
      // The copy must not hold this object alive through itself. Only a copy
      // that succeeded took a reference to give back.
      if (result == S_OK && stored->pUnkForRelease != nullptr) {
        ComPtr<IUnknown> mine, theirs;
        QueryInterface(IID_IUnknown, mine.PutVoid());
        stored->pUnkForRelease->QueryInterface(IID_IUnknown, theirs.PutVoid());
        if (mine.Get() == theirs.Get()) {
          stored->pUnkForRelease->Release();
          stored->pUnkForRelease = nullptr;
        }
      }
      if (result != S_OK) *stored = STGMEDIUM{};
    }
    if (adviseHolder_) adviseHolder_->SendOnDataChange(this, 0, 0);
    return result;
  });
}

HRESULT TLTDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) {
  if (enumFormatEtc == nullptr) return E_POINTER;
  *enumFormatEtc = nullptr;
  if (direction != DATADIR_GET) return OLE_S_USEREG;
  return Guarded(E_OUTOFMEMORY, [&] {
    *enumFormatEtc = std::make_unique<TEnumFormatEtc>(ownerSerial_, formats_).release();
    (*enumFormatEtc)->AddRef();
    return S_OK;
  });
}

HRESULT TLTDataObject::DAdvise(FORMATETC* formatEtc, DWORD advf, IAdviseSink* sink, DWORD* connection) {
  if (!adviseHolder_) {
    const HRESULT hr = CreateDataAdviseHolder(adviseHolder_.Put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(this, formatEtc, advf, sink, connection);
}

HRESULT TLTDataObject::DUnadvise(DWORD connection) {
  if (!adviseHolder_) return E_NOTIMPL;
  return adviseHolder_->Unadvise(connection);
}

HRESULT TLTDataObject::EnumDAdvise(IEnumSTATDATA** enumAdvise) {
  if (enumAdvise == nullptr) return E_POINTER;
  *enumAdvise = nullptr;
  if (!adviseHolder_) return OLE_E_ADVISENOTSUPPORTED;
  return adviseHolder_->EnumAdvise(enumAdvise);
}

}  // namespace kv
