#pragma once
// The OLE side of the tree's data transfer: the data object a tree hands to
// OLE for a drag or the clipboard, and the enumerator of its formats. Both
// know their tree only by its serial, so that an object outliving the tree
// answers E_FAIL instead of reaching freed memory. No exception leaves a
// COM method.

#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/com_ptr_win.h"

namespace kv {

class TBaseLazyTree;

class TEnumFormatEtc : public IEnumFORMATETC {
 public:
  // `ownerSerial` 0: no owning tree (clones).
  TEnumFormatEtc(std::uint32_t ownerSerial, std::vector<FORMATETC> formats, ULONG index = 0);
  virtual ~TEnumFormatEtc() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG celt, FORMATETC* elements, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** result) override;

  ULONG Index() const { return index_; }

 private:
  std::atomic<ULONG> refs_{0};
  std::uint32_t ownerSerial_;
  std::vector<FORMATETC> formats_;
  ULONG index_;
};

class TLTDataObject : public IDataObject {
 public:
  TLTDataObject(TBaseLazyTree& owner, bool forClipboard);
  virtual ~TLTDataObject();
  TLTDataObject(const TLTDataObject&) = delete;
  TLTDataObject& operator=(const TLTDataObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* formatEtcIn, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* formatEtc, STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* formatEtc) override;
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* formatEtc, FORMATETC* formatEtcOut) override;
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC* formatEtc, STGMEDIUM* medium, BOOL release) override;
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** enumFormatEtc) override;
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* formatEtc, DWORD advf, IAdviseSink* sink,
                                    DWORD* connection) override;
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** enumAdvise) override;

  // The owning tree, null once it is gone.
  TBaseLazyTree* Owner() const;
  bool ForClipboard() const { return forClipboard_; }
  const std::vector<FORMATETC>& Formats() const { return formats_; }

  static bool EqualFormatEtc(const FORMATETC& a, const FORMATETC& b);
  static int FindFormatEtc(const FORMATETC& formatEtc, const std::vector<FORMATETC>& list);
  static HGLOBAL HGlobalClone(HGLOBAL source);

 protected:
  STGMEDIUM* FindInternalStgMedium(CLIPFORMAT format);
  bool RenderInternalOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, HRESULT& result);
  HRESULT StgMediumIncRef(const STGMEDIUM& in, STGMEDIUM& out, bool copyInMedium, IDataObject* dataObject);

 private:
  struct InternalMedium {
    CLIPFORMAT format;
    STGMEDIUM medium;
  };
  std::atomic<ULONG> refs_{0};
  std::uint32_t ownerSerial_;
  bool forClipboard_;
  std::vector<FORMATETC> formats_;
  std::vector<InternalMedium> media_;
  ComPtr<IDataAdviseHolder> adviseHolder_;
};

// Answers a new reference (count 1) on a new object of type T.
template <class T, class... Args>
ComPtr<T> MakeComObject(Args&&... args) {
  return ComPtr<T>(std::make_unique<T>(std::forward<Args>(args)...).release());
}

}  // namespace kv
