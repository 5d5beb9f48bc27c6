// The data object of dragged explorer items: the format queries go to the
// tree's own object; every other request goes to it first and reaches the
// shell's only when that fails.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/context_menu_win.h"
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#include "treeview/data_object_win.h"
#pragma GCC diagnostic pop
#include "treeview/lazy_trees_win.h"

namespace kv {
namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// Answers every operation with `result`, noting its name in `log`.
class ScriptedData : public IDataObject {
 public:
  ScriptedData(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *object = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return Note("GetData"); }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return Note("GetDataHere"); }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return Note("QueryGetData"); }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override {
    return Note("GetCanonicalFormatEtc");
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return Note("SetData"); }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
    seenFormats = *out;
    return Note("EnumFormatEtc");
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* connection) override {
    if (connection) *connection = 7;
    return Note("DAdvise");
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return Note("DUnadvise"); }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override {
    seenOut = *out;
    return Note("EnumDAdvise");
  }

  HRESULT result = S_OK;
  ULONG refs = 1;
  IEnumSTATDATA* seenOut = nullptr;
  IEnumFORMATETC* seenFormats = nullptr;

 private:
  HRESULT Note(const char* operation) {
    log_.push_back(name_ + "." + operation);
    return result;
  }
  std::string name_;
  std::vector<std::string>& log_;
};
#pragma GCC diagnostic pop

TEST(ExplorerDataObject, TheTreesObjectAnswersFirstAndTheShellsOnlyWhenItFails) {
  std::vector<std::string> log;
  ScriptedData tree("tree", log), shell("shell", log);
  ComPtr<IDataObject> data = TExplorerDataObject::Create(ComPtr<IDataObject>(&shell), ComPtr<IDataObject>(&tree));
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  FORMATETC canonical{};
  STGMEDIUM medium{};
  DWORD connection = 0;
  auto enumAdvise = [&] {
    auto* stale = reinterpret_cast<IEnumSTATDATA*>(0x1234);
    IEnumSTATDATA* out = stale;
    const HRESULT hr = data->EnumDAdvise(&out);
    EXPECT_EQ(tree.seenOut, nullptr);  // cleared before each object is asked
    EXPECT_NE(shell.seenOut, stale);
    return hr;
  };
  auto runAll = [&] {
    std::vector<HRESULT> results;
    results.push_back(data->GetData(&format, &medium));
    results.push_back(data->GetDataHere(&format, &medium));
    results.push_back(data->GetCanonicalFormatEtc(&format, &canonical));
    results.push_back(data->SetData(&format, &medium, FALSE));
    results.push_back(data->DAdvise(&format, 0, nullptr, &connection));
    results.push_back(data->DUnadvise(3));
    results.push_back(enumAdvise());
    return results;
  };
  const std::vector<std::string> operations{"GetData", "GetDataHere", "GetCanonicalFormatEtc", "SetData",
                                            "DAdvise", "DUnadvise", "EnumDAdvise"};

  // The tree answers: the shell is never asked.
  tree.result = S_OK;
  shell.result = S_OK;
  EXPECT_EQ(runAll(), std::vector<HRESULT>(7, S_OK));
  std::vector<std::string> expected;
  for (const auto& op : operations) expected.push_back("tree." + op);
  EXPECT_EQ(log, expected);

  // The tree fails: the shell is asked next and its answer stands.
  log.clear();
  tree.result = DV_E_FORMATETC;
  shell.result = DATA_S_SAMEFORMATETC;
  EXPECT_EQ(runAll(), std::vector<HRESULT>(7, DATA_S_SAMEFORMATETC));
  expected.clear();
  for (const auto& op : operations) {
    expected.push_back("tree." + op);
    expected.push_back("shell." + op);
  }
  EXPECT_EQ(log, expected);

  // Neither answers: the tree's failure is the answer.
  log.clear();
  shell.result = E_UNEXPECTED;
  EXPECT_EQ(runAll(), std::vector<HRESULT>(7, DV_E_FORMATETC));
  EXPECT_EQ(log, expected);

  // The format queries are the tree's alone, even when it fails; the out
  // argument is cleared before it is asked.
  log.clear();
  EXPECT_EQ(data->QueryGetData(&format), DV_E_FORMATETC);
  IEnumFORMATETC* formats = reinterpret_cast<IEnumFORMATETC*>(0x1234);
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), DV_E_FORMATETC);
  EXPECT_EQ(tree.seenFormats, nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"tree.QueryGetData", "tree.EnumFormatEtc"}));

  data.Reset();
  EXPECT_EQ(tree.refs, 1u);
  EXPECT_EQ(shell.refs, 1u);
}

// A format a caller stores, such as the drop's outcome, is offered from then on.
TEST(ExplorerDataObject, AFormatStoredThroughItIsQueriedAndListed) {
  TLazyStringTree owner;
  ComPtr<TLTDataObject> own = MakeComObject<TLTDataObject>(owner, false);
  std::vector<std::string> log;
  ScriptedData shell("shell", log);
  shell.result = E_FAIL;
  ComPtr<IDataObject> data = TExplorerDataObject::Create(ComPtr<IDataObject>(&shell), ComPtr<IDataObject>(own.Get()));
  const auto performed = static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Performed DropEffect"));
  FORMATETC format{performed, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  auto listed = [&] {
    ComPtr<IEnumFORMATETC> formats;
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.Put()), S_OK);
    FORMATETC f{};
    while (formats && formats->Next(1, &f, nullptr) == S_OK)
      if (f.cfFormat == performed) return true;
    return false;
  };
  EXPECT_EQ(data->QueryGetData(&format), DV_E_FORMATETC);
  EXPECT_FALSE(listed());

  STGMEDIUM medium{TYMED_HGLOBAL, {}, nullptr};
  medium.hGlobal = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
  *static_cast<DWORD*>(GlobalLock(medium.hGlobal)) = DROPEFFECT_MOVE;
  GlobalUnlock(medium.hGlobal);
  ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
  EXPECT_EQ(data->QueryGetData(&format), S_OK);
  EXPECT_TRUE(listed());
  EXPECT_TRUE(log.empty());  // the tree's object answered everything
}

}  // namespace
}  // namespace kv
