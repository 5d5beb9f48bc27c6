// The data object of dragged explorer items: every request goes to the
// tree's own object first and reaches the shell's only when that fails.
#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/context_menu_win.h"

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
    *out = nullptr;
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
  ComPtr<IDataObject> data;
  {
    // The formats come from both objects once, at creation; both failing leaves none.
    tree.result = shell.result = E_FAIL;
    data = TExplorerDataObject::Create(ComPtr<IDataObject>(&shell), ComPtr<IDataObject>(&tree));
    log.clear();
  }
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

  // The format queries answer from the object's own list and ask neither.
  log.clear();
  EXPECT_EQ(data->QueryGetData(&format), DV_E_FORMATETC);
  IEnumFORMATETC* formats = reinterpret_cast<IEnumFORMATETC*>(0x1234);
  EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &formats), E_NOTIMPL);
  EXPECT_EQ(formats, nullptr);
  EXPECT_TRUE(log.empty());

  data.Reset();
  EXPECT_EQ(tree.refs, 1u);
  EXPECT_EQ(shell.refs, 1u);
}

}  // namespace
}  // namespace kv
