// Data exchange of trees: captions in node streams, the clipboard formats,
// the OLE data object and its enumerator, cut, copy and paste.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "treeview/data_object_win.h"
#include "tests/treeview/text_owner_win.h"
#include "treeview/lazy_trees_win.h"
#include "ui/forms_win.h"

namespace kv {
namespace {


using test::TextOwner;

std::size_t CountCaptionChunks(const std::vector<std::uint8_t>& bytes, std::u16string_view text) {
  std::vector<std::uint8_t> chunk{3, 0, 0, 0, static_cast<std::uint8_t>(2 * text.size()), 0, 0, 0};
  for (char16_t c : text) {
    chunk.push_back(static_cast<std::uint8_t>(c));
    chunk.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  std::size_t count = 0;
  for (auto it = bytes.begin(); (it = std::search(it, bytes.end(), chunk.begin(), chunk.end())) != bytes.end(); ++it)
    ++count;
  return count;
}

TEST(StringTreeStream, CaptionsTravelWithTheNodes) {
  TLazyStringTree source;
  TextOwner owner(source);
  PLazyNode a = source.AddChild(nullptr);
  PLazyNode b = source.AddChild(a);
  source.AddChild(nullptr);
  source.SetDefaultText(L"");
  owner.texts[a] = L"Ab\u20AC";
  owner.texts[b] = L"x";
  TNodeMemoryStream stream;
  source.SaveToStream(stream);
  // The third node has an empty text: no chunk for it.
  EXPECT_EQ(CountCaptionChunks(stream.Bytes(), u"Ab\u20AC"), 1u);
  EXPECT_EQ(CountCaptionChunks(stream.Bytes(), u"x"), 1u);

  TLazyStringTree target;
  TextOwner loaded(target);
  stream.SetPosition(0);
  target.LoadFromStream(stream);
  ASSERT_EQ(target.TotalCount(), 3u);
  PLazyNode first = target.GetFirst();
  EXPECT_EQ(loaded.texts[first], L"Ab\u20AC");
  EXPECT_EQ(loaded.texts[target.GetFirstChild(first)], L"x");
  EXPECT_EQ(loaded.texts.size(), 2u);

  // Without toSaveCaptions nothing of the texts is written.
  source.GetOptions().SetStringOptions(source.GetOptions().StringOptions() & ~toSaveCaptions);
  TNodeMemoryStream plain;
  source.SaveToStream(plain);
  EXPECT_EQ(CountCaptionChunks(plain.Bytes(), u"x"), 0u);
  EXPECT_EQ(stream.Size() - plain.Size(), 2 * 8 + 6 + 2);
}

const std::vector<std::string> kAllFormats = {"Plain text", "Unicode text", "CSV", "Rich Text Format",
                                               "Rich Text Format Without Objects", "HTML Format", "Lazy Tree Data"};

FORMATETC Format(CLIPFORMAT format, DWORD tymed = TYMED_HGLOBAL, LONG lindex = -1,
                 DWORD aspect = DVASPECT_CONTENT) {
  return FORMATETC{format, nullptr, aspect, lindex, tymed};
}

// A tree "a", "b" (child "b1"), "c" with its texts, offering every format.
struct TextTree {
  TextTree() : owner(tree) {
    tree.TreeOptions().SetSelectionOptions(tree.TreeOptions().SelectionOptions() | toMultiSelect);
    tree.ClipboardFormats().Assign(kAllFormats);
    a = tree.AddChild(nullptr);
    b = tree.AddChild(nullptr);
    b1 = tree.AddChild(b);
    c = tree.AddChild(nullptr);
    owner.texts = {{a, L"a"}, {b, L"b<&>"}, {b1, L"b1"}, {c, L"c"}};
  }
  std::wstring TextOf(PLazyNode n) { return tree.GetText(n, kNoColumn); }
  TLazyStringTree tree;
  TextOwner owner;
  PLazyNode a, b, b1, c;
};

std::string ClipboardBytes(CLIPFORMAT format) {
  ComPtr<IDataObject> data;
  if (OleGetClipboard(data.Put()) != S_OK) return "no clipboard";
  FORMATETC f = Format(format);
  STGMEDIUM m{};
  if (data->GetData(&f, &m) != S_OK) return "no data";
  std::string bytes(static_cast<const char*>(GlobalLock(m.hGlobal)), GlobalSize(m.hGlobal));
  GlobalUnlock(m.hGlobal);
  ReleaseStgMedium(&m);
  std::size_t end = 0;
  const std::size_t unit = format == CF_UNICODETEXT ? 2 : 1;
  while (end + unit <= bytes.size() && bytes.compare(end, unit, std::string(unit, '\0')) != 0) end += unit;
  return bytes.substr(0, end);
}

TEST(ClipboardFormats, RegistryOrderAndTheTreeClassTest) {
  TextTree t;
  std::vector<FORMATETC> formats;
  t.tree.GetNativeClipboardFormats(formats);
  const CLIPFORMAT expected[] = {CF_LAZYTREE(), CF_HTML(), CF_RTFNOOBJS(), CF_RTF(), CF_CSV(), CF_UNICODETEXT, CF_TEXT};
  ASSERT_EQ(formats.size(), std::size(expected));
  for (std::size_t i = 0; i < formats.size(); ++i) EXPECT_EQ(formats[i].cfFormat, expected[i]) << i;

  TLazyDrawTree draw;
  struct Case {
    const char* name;
    int index;
  } cases[] = {{"HTML Format", -1}, {"Lazy Tree Reference", -1}, {"No such format", -1},
               {"lazy tree data", 0}, {"Lazy Tree Data", 0}};
  for (const Case& c : cases) EXPECT_EQ(draw.ClipboardFormats().Add(c.name), c.index) << c.name;
  EXPECT_EQ(draw.ClipboardFormats().Names().size(), 1u);
  // An empty list offers nothing but what the owner adds.
  TLazyStringTree plain;
  plain.OnGetUserClipboardFormats = [](TBaseLazyTree&, std::vector<FORMATETC>& f) { f.push_back(Format(CF_TEXT)); };
  plain.GetNativeClipboardFormats(formats);
  ASSERT_EQ(formats.size(), 1u);
}

TEST(DataObject, ResultCodes) {
  TextTree t;
  ComPtr<TLTDataObject> object = MakeComObject<TLTDataObject>(t.tree, false);
  struct Case {
    FORMATETC format;
    HRESULT result;
  } cases[] = {
      {Format(CF_TEXT), S_OK},
      {Format(CF_TEXT, TYMED_HGLOBAL | TYMED_FILE), S_OK},
      {Format(CF_LAZYTREE()), S_OK},
      {Format(CF_LAZYTREE(), TYMED_ISTREAM), DV_E_TYMED},  // offered as global memory only
      {Format(CF_TEXT, TYMED_FILE), DV_E_TYMED},
      {Format(CF_TEXT, TYMED_HGLOBAL, -1, DVASPECT_ICON), DV_E_DVASPECT},
      {Format(CF_TEXT, TYMED_HGLOBAL, 0), DV_E_LINDEX},
      {Format(CF_BITMAP), DV_E_FORMATETC},
      {Format(CF_LAZYTREEREFERENCE()), DV_E_FORMATETC},
  };
  for (Case& c : cases) EXPECT_EQ(object->QueryGetData(&c.format), c.result) << c.format.cfFormat;
  FORMATETC text = Format(CF_TEXT), out{};
  STGMEDIUM medium{};
  EXPECT_EQ(object->GetDataHere(&text, &medium), E_NOTIMPL);
  EXPECT_EQ(object->GetCanonicalFormatEtc(&text, &out), DATA_S_SAMEFORMATETC);
  ComPtr<IEnumFORMATETC> enumerator;
  EXPECT_EQ(object->EnumFormatEtc(DATADIR_SET, enumerator.Put()), OLE_S_USEREG);
  EXPECT_FALSE(enumerator);
  EXPECT_EQ(object->DUnadvise(1), E_NOTIMPL);
  ComPtr<IEnumSTATDATA> advise;
  EXPECT_EQ(object->EnumDAdvise(advise.Put()), OLE_E_ADVISENOTSUPPORTED);

  // The reference names this process and the tree's serial, whatever the list holds.
  FORMATETC reference = Format(CF_LAZYTREEREFERENCE());
  ASSERT_EQ(object->GetData(&reference, &medium), S_OK);
  EXPECT_EQ(GlobalSize(medium.hGlobal), 8u);
  EXPECT_EQ(ParseTreeReference(GlobalLock(medium.hGlobal), 8, GetCurrentProcessId()), t.tree.Serial());
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
  EXPECT_EQ(TBaseLazyTree::GetTreeFromDataObject(object.Get()), &t.tree);

  // SetData twice for one format replaces the stored medium; the list stays.
  FORMATETC custom = Format(CF_DIB);
  const std::size_t formats = object->Formats().size();
  for (char value : {'1', '2'}) {
    STGMEDIUM m{TYMED_HGLOBAL, {}, nullptr};
    m.hGlobal = GlobalAlloc(GMEM_MOVEABLE, 1);
    *static_cast<char*>(GlobalLock(m.hGlobal)) = value;
    GlobalUnlock(m.hGlobal);
    EXPECT_EQ(object->SetData(&custom, &m, TRUE), S_OK);
  }
  EXPECT_EQ(object->Formats().size(), formats + 1);
  ASSERT_EQ(object->GetData(&custom, &medium), S_OK);
  EXPECT_EQ(*static_cast<char*>(GlobalLock(medium.hGlobal)), '2');
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
}

// The owner's rendering stands when it succeeds in any way, with its medium;
// only a failure leaves the format to the tree's own text.
TEST(DataObject, AnOwnersSucceedingRenderingStands) {
  TextTree t;
  t.tree.AddToSelection(t.a);
  HGLOBAL own = nullptr;
  HRESULT answer = S_FALSE;
  t.tree.OnRenderOLEData = [&](TBaseLazyTree&, const FORMATETC&, STGMEDIUM& m, bool, HRESULT& result) {
    result = answer;
    if (FAILED(answer)) return;
    own = GlobalAlloc(GMEM_MOVEABLE, 1);
    m.tymed = TYMED_HGLOBAL;
    m.hGlobal = own;
  };
  FORMATETC text = Format(CF_TEXT);
  STGMEDIUM medium{};
  EXPECT_EQ(t.tree.RenderOLEData(text, medium, false), S_FALSE);
  EXPECT_EQ(medium.hGlobal, own);
  ReleaseStgMedium(&medium);
  answer = E_FAIL;
  ASSERT_EQ(t.tree.RenderOLEData(text, medium, false), S_OK);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(medium.hGlobal)), "a\r\n");
  GlobalUnlock(medium.hGlobal);
  ReleaseStgMedium(&medium);
}

TEST(DataObject, AnObjectOutlivingItsTreeAnswersFail) {
  auto t = std::make_unique<TextTree>();
  t->tree.AddToSelection(t->a);
  ComPtr<TLTDataObject> object = MakeComObject<TLTDataObject>(t->tree, false);
  FORMATETC text = Format(CF_UNICODETEXT), reference = Format(CF_LAZYTREEREFERENCE());
  STGMEDIUM medium{};
  ASSERT_EQ(object->GetData(&text, &medium), S_OK);
  ReleaseStgMedium(&medium);
  t.reset();
  EXPECT_EQ(object->Owner(), nullptr);
  EXPECT_EQ(object->GetData(&text, &medium), E_FAIL);
  EXPECT_EQ(object->GetData(&reference, &medium), E_FAIL);
  EXPECT_EQ(TBaseLazyTree::GetTreeFromDataObject(object.Get()), nullptr);
}

// A medium the object cannot copy keeps the caller's reference untouched, even
// when it names the object itself as the one to release it.
TEST(DataObject, AFailedCopyReleasesNothing) {
  TextTree t;
  ComPtr<TLTDataObject> object = MakeComObject<TLTDataObject>(t.tree, false);
  auto references = [&] {
    object->AddRef();
    return object->Release();
  };
  const ULONG before = references();
  FORMATETC bitmap = Format(CF_BITMAP, TYMED_GDI);
  STGMEDIUM m{TYMED_GDI, {}, object.Get()};
  EXPECT_EQ(object->SetData(&bitmap, &m, FALSE), DV_E_TYMED);
  EXPECT_EQ(references(), before);
}

TEST(DataObject, EnumeratorSteps) {
  std::vector<FORMATETC> formats(3, Format(CF_TEXT));
  formats[1].cfFormat = CF_UNICODETEXT;
  ComPtr<TEnumFormatEtc> e = MakeComObject<TEnumFormatEtc>(0, formats);
  FORMATETC out[5];
  ULONG fetched = 9;
  EXPECT_EQ(e->Next(1, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(e->Next(5, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(out[0].cfFormat, CF_UNICODETEXT);
  EXPECT_EQ(e->Next(1, out, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(3), S_OK);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(2), S_OK);
  EXPECT_EQ(e->Skip(2), S_FALSE);
  EXPECT_EQ(e->Index(), 2u);
  ComPtr<IEnumFORMATETC> clone;
  ASSERT_EQ(e->Clone(clone.Put()), S_OK);
  EXPECT_EQ(clone->Next(5, out, &fetched), S_OK);
  EXPECT_EQ(fetched, 1u);
}

TEST(Clipboard, CopyRendersEveryFormatAndPastesIntoAnotherTree) {
  TextTree source, target;
  source.tree.AddToSelection(source.b);
  ASSERT_TRUE(source.tree.CopyToClipboard());
  EXPECT_TRUE(source.tree.TreeStates().Contains(tsCopyPending));
  EXPECT_TRUE(source.b->States.Contains(nsCutCopyMarked));
  const std::string unicode = ClipboardBytes(CF_UNICODETEXT);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(unicode.data()), unicode.size() / 2), u"b<&>\r\n");
  EXPECT_EQ(ClipboardBytes(CF_TEXT), "b<&>\r\n");
  EXPECT_NE(ClipboardBytes(CF_HTML()).find(">b&lt;&amp;&gt;</td>"), std::string::npos);
  EXPECT_NE(ClipboardBytes(CF_RTF()).find("\\u98\\'3f\\u60\\'3f"), std::string::npos);
  // The header style takes the header's font, also without columns.
  THeaderFont headerFont;
  headerFont.Name = "Courier New";
  source.tree.Header().SetFont(headerFont);
  const std::string html = source.tree.ContentToHTML(TLTTextSource::tstAll);
  const std::size_t header = html.find(".header{");
  ASSERT_NE(header, std::string::npos);
  EXPECT_NE(html.substr(header, html.find("\r\n", header) - header).find("\"Courier New\""), std::string::npos);

  target.tree.SetFocusedNode(target.c);
  ASSERT_TRUE(target.tree.PasteFromClipboard());
  ASSERT_EQ(target.tree.GetFirstChild(target.c) != nullptr, true);
  PLazyNode pasted = target.tree.GetFirstChild(target.c);
  EXPECT_EQ(target.TextOf(pasted), L"b<&>");
  EXPECT_EQ(target.TextOf(target.tree.GetFirstChild(pasted)), L"b1");
  // A copy stays pending in the source; its nodes stay.
  EXPECT_EQ(source.tree.TotalCount(), 4u);
  EXPECT_TRUE(source.tree.TreeStates().Contains(tsCopyPending));
  // Something else on the clipboard ends the copy.
  OleSetClipboard(nullptr);
  EXPECT_FALSE(source.tree.TreeStates().Contains(tsCopyPending));
  EXPECT_FALSE(source.b->States.Contains(nsCutCopyMarked));
}

TEST(Clipboard, CutAndPasteInOneTreeMovesTheNodes) {
  TextTree t;
  std::vector<TChangeReason> reasons;
  t.tree.AddToSelection(t.b);
  ASSERT_TRUE(t.tree.CutToClipboard());
  t.tree.SetFocusedNode(t.a);
  t.tree.OnStructureChange = [&](TLazyTreeModel&, PLazyNode, TChangeReason r) { reasons.push_back(r); };
  ASSERT_TRUE(t.tree.PasteFromClipboard());
  EXPECT_EQ(t.tree.TotalCount(), 4u);
  EXPECT_EQ(t.tree.GetFirstChild(t.a), t.b);
  EXPECT_EQ(t.tree.RootNode()->ChildCount, 2u);
  EXPECT_FALSE(t.tree.TreeStates().Contains(tsCutPending));
  EXPECT_FALSE(t.b->States.Contains(nsCutCopyMarked));

  // Cut as text only, pasted back: nothing moves or goes; the cut ends, its mark is left as it was.
  t.tree.ClipboardFormats().Assign({"Plain text"});
  t.tree.ClearSelection();
  t.tree.AddToSelection(t.c);
  ASSERT_TRUE(t.tree.CutToClipboard());
  EXPECT_FALSE(t.tree.PasteFromClipboard());
  EXPECT_EQ(t.tree.TotalCount(), 4u);
  EXPECT_FALSE(t.tree.TreeStates().Contains(tsCutPending));
  EXPECT_TRUE(t.c->States.Contains(nsCutCopyMarked));
  t.tree.ClipboardFormats().Assign(kAllFormats);

  // A copy pasted into its own tree duplicates through the stream.
  t.tree.ClearSelection();
  t.tree.AddToSelection(t.c);
  ASSERT_TRUE(t.tree.CopyToClipboard());
  reasons.clear();
  t.tree.PasteFromClipboard();
  EXPECT_EQ(t.tree.TotalCount(), 5u);
  EXPECT_NE(std::find(reasons.begin(), reasons.end(), TChangeReason::crNodeCopied), reasons.end());
  OleSetClipboard(nullptr);
}

// A cut node whose move the source refuses stays in the source, unmarked; the moved ones leave it.
TEST(Clipboard, ACutNodeTheSourceRefusesToMoveStays) {
  TextTree source, target;
  source.tree.AddToSelection(source.a);
  source.tree.AddToSelection(source.b);
  ASSERT_TRUE(source.tree.CutToClipboard());
  source.tree.OnNodeMoving = [&](TLazyTreeModel&, PLazyNode node, PLazyNode, bool& allowed) {
    allowed = node != source.b;
  };
  target.tree.SetFocusedNode(target.c);
  ASSERT_TRUE(target.tree.PasteFromClipboard());
  EXPECT_EQ(target.tree.TotalCount(), 5u);  // a, b, b1, c and the moved a
  EXPECT_EQ(source.tree.TotalCount(), 3u);  // b, b1 and c
  ASSERT_TRUE(source.tree.IsLiveNode(source.b));
  EXPECT_EQ(source.tree.GetFirst(), source.b);
  EXPECT_FALSE(source.b->States.Contains(nsCutCopyMarked));
  EXPECT_FALSE(source.tree.TreeStates().Contains(tsCutPending));
  OleSetClipboard(nullptr);
}

TEST(Clipboard, ForeignBlocksPasteOnlyWhatTheyHold) {
  TextTree source, target;
  source.tree.AddToSelection(source.a);
  TNodeMemoryStream chunks;
  source.tree.WriteNode(chunks, source.a);
  const auto& node = chunks.Bytes();
  auto offer = [&](std::uint32_t claimed, std::size_t realBytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4 + realBytes);
    auto* p = static_cast<std::uint8_t*>(GlobalLock(block));
    std::memcpy(p, &claimed, std::min<std::size_t>(4, 4 + realBytes));
    if (realBytes > 0) std::memcpy(p + 4, node.data(), std::min(realBytes, node.size()));
    GlobalUnlock(block);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_LAZYTREE(), block);
    CloseClipboard();
  };
  struct Case {
    std::uint32_t claimed;
    std::size_t real;
    std::uint32_t added;
  } cases[] = {
      {static_cast<std::uint32_t>(node.size()), node.size(), 1},
      {100000, node.size(), 1},             // claims more than the block holds
      {static_cast<std::uint32_t>(node.size()), node.size() - 3, 0},  // cut short
      {0, 0, 0},
  };
  for (const Case& c : cases) {
    const std::uint32_t before = target.tree.TotalCount();
    offer(c.claimed, c.real);
    target.tree.PasteFromClipboard();
    EXPECT_EQ(target.tree.TotalCount(), before + c.added) << c.claimed << " " << c.real;
    EXPECT_EQ(target.tree.UpdateCount(), 0u);
  }
  OpenClipboard(nullptr);
  EmptyClipboard();
  CloseClipboard();
}

TEST(Clipboard, WindowMessagesAndADestroyedTreesCopyStaysPasteable) {
  ui::TForm form;
  auto t = std::make_unique<TextTree>();
  t->tree.SetParent(&form);
  t->tree.AddToSelection(t->c);
  SendMessageW(t->tree.Handle(), WM_COPY, 0, 0);
  EXPECT_TRUE(t->tree.TreeStates().Contains(tsCopyPending));
  t.reset();
  EXPECT_EQ(ClipboardBytes(CF_TEXT), "c\r\n");
  TextTree target;
  target.tree.SetParent(&form);
  SendMessageW(target.tree.Handle(), WM_PASTE, 0, 0);
  EXPECT_EQ(target.tree.TotalCount(), 5u);

  // Clearing a tree empties the clipboard only while it holds the tree's data.
  target.tree.AddToSelection(target.a);
  SendMessageW(target.tree.Handle(), WM_CUT, 0, 0);
  EXPECT_TRUE(target.tree.TreeStates().Contains(tsCutPending));
  target.tree.Clear();
  EXPECT_EQ(ClipboardBytes(CF_TEXT), "no data");
  // Another program's data ends the cut, and a later Clear leaves that data alone.
  target.tree.AddToSelection(target.b);
  SendMessageW(target.tree.Handle(), WM_CUT, 0, 0);
  ASSERT_TRUE(target.tree.TreeStates().Contains(tsCutPending));
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
  std::memcpy(GlobalLock(block), "xyz", 4);
  GlobalUnlock(block);
  SetClipboardData(CF_TEXT, block);
  CloseClipboard();
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  target.tree.Clear();
  EXPECT_EQ(ClipboardBytes(CF_TEXT), "xyz");
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// Runs a shell command line on the Unix side and waits for it while this
// thread serves the clipboard (rendering happens on demand, and the handle of
// a Unix child never signals under Wine). Answers what it wrote to `out`.
class UnixSide {
 public:
  UnixSide() {
    folder_ = "/tmp/kv_xclip_" + std::to_string(GetCurrentProcessId());
    std::filesystem::create_directories(Windows(folder_));
  }
  ~UnixSide() { std::filesystem::remove_all(Windows(folder_)); }
  std::string Run(const std::string& command) {
    const std::string out = folder_ + "/out", done = folder_ + "/done";
    std::filesystem::remove(Windows(out));
    std::filesystem::remove(Windows(done));
    std::string line = "Z:\\bin\\sh -c \"" + command + " > " + out + " 2>&1; touch " + done + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return "cannot start";
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    for (int i = 0; i < 2000 && !std::filesystem::exists(Windows(done)); ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(10);
    }
    std::ifstream in(Windows(out), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string File(const std::string& name, const std::string& bytes) {
    std::ofstream(Windows(folder_ + "/" + name), std::ios::binary) << bytes;
    return folder_ + "/" + name;
  }

 private:
  static std::filesystem::path Windows(const std::string& unixPath) { return "Z:" + unixPath; }
  std::string folder_;
};

TEST(ClipboardInterop, OtherProgramsReadTheTextFormats) {
  TextTree t;
  t.owner.texts[t.b1] = L"x,\"y\"\u00E9";
  for (PLazyNode n : {t.a, t.b, t.b1}) t.tree.AddToSelection(n);
  ASSERT_TRUE(t.tree.CopyToClipboard());
  UnixSide unix;
  const std::string targets = unix.Run("xclip -o -selection clipboard -t TARGETS");
  EXPECT_EQ(unix.Run("xclip -o -selection clipboard -t UTF8_STRING"), "a\nb<&>\n\tx,\"y\"\xC3\xA9\n") << targets;
  const std::string html = unix.Run("xclip -o -selection clipboard -t text/html");
  EXPECT_NE(html.find("<table"), std::string::npos) << targets;
  EXPECT_NE(html.find("b&lt;&amp;&gt;"), std::string::npos);
  const std::string htmlFile = unix.File("fragment.html", html);
  EXPECT_EQ(unix.Run("xmllint --html --noout " + htmlFile + " && echo parsed"), "parsed\n");
  EXPECT_NE(unix.Run("xclip -o -selection clipboard -t text/rtf").find("{\\rtf1"), std::string::npos) << targets;
  std::string csv = unix.Run("xclip -o -selection clipboard -t CSV");
  if (!csv.empty() && csv.back() == '\0') csv.pop_back();  // the block's terminator travels along
  const std::string csvFile = unix.File("cells.csv", csv);
  const std::string script =
      unix.File("read.py", "import csv, sys\nprint(list(csv.reader(open(sys.argv[1], encoding='cp1252'))))\n");
  EXPECT_EQ(unix.Run("/usr/bin/python3 " + script + " " + csvFile),
            "[['a'], ['b<&>'], ['', 'x,\"y\"\xC3\xA9']]\n") << csv;
  OleSetClipboard(nullptr);
}

TEST(ClipboardInterop, ShortAndGarbageBlocksFromOtherProgramsPasteNothing) {
  TextTree t;
  UnixSide unix;
  TNodeMemoryStream node;
  t.tree.WriteNode(node, t.a);
  const std::string chunk(node.Bytes().begin(), node.Bytes().end());
  const auto size = static_cast<char>(chunk.size());
  struct Case {
    std::string block;
    std::uint32_t added;
  } cases[] = {
      {std::string{size, 0, 0, 0} + chunk, 1},
      {std::string("\x40\x00\x00\x00garbage", 11), 0},
      {std::string{size, 0, 0, 0} + chunk.substr(0, chunk.size() - 2), 0},
      {std::string("\x01\x02", 2), 0},
  };
  for (const Case& c : cases) {
    const std::uint32_t before = t.tree.TotalCount();
    const std::string file = unix.File("block", c.block);
    OleSetClipboard(nullptr);
    unix.Run("xclip -i -selection clipboard -t 'Lazy Tree Data' " + file);
    // The system notices the new owner of the selection a little later.
    for (int i = 0; i < 300 && !IsClipboardFormatAvailable(CF_LAZYTREE()); ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(10);
    }
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_LAZYTREE()));
    t.tree.PasteFromClipboard();
    EXPECT_EQ(t.tree.TotalCount(), before + c.added) << c.block.size();
    EXPECT_EQ(t.tree.UpdateCount(), 0u);
  }
  OleSetClipboard(nullptr);  // the last xclip leaves once it loses the selection
}

}  // namespace
}  // namespace kv
