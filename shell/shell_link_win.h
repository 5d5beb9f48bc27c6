#pragma once
// TLazyShellLink reads a shell shortcut into fields; TShellSortHelper holds the
// comparisons by which the explorer controls order shell items by column.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "shell/com_ptr_win.h"
#include "shell/id_list_win.h"
#include "ui/component.h"

namespace kv {

class TNamespace;

enum class TShowCmd : uint8_t {
  Hide, Maximize, Minimize, Restore, Show, ShowDefault, ShowMinimized, ShowMinNoActive, ShowNA,
  ShowNoActivate, ShowNormal,
};
// The field's value for a platform show command; false for one above 10.
bool ShowCmdFromPlatform(int platform, TShowCmd& out);

enum THotKeyModifier : uint8_t { hkAlt = 1, hkCtrl = 2, hkExt = 4, hkShift = 8 };

class TLazyShellLink : public ui::TComponent {
 public:
  ~TLazyShellLink() override { FreeTargetIDList(); }
  // True when the shell could load the file; every field is replaced.
  bool ReadLink(const std::wstring& linkFileName);
  void FreeTargetIDList() { TargetIDList.reset(); }

  std::wstring FileName;
  int IconIndex = 0;
  TPidl TargetIDList;
  TShowCmd ShowCmd = TShowCmd::Hide;
  uint8_t HotKeyModifiers = 0;
  std::wstring TargetPath, Arguments, Description, WorkingDirectory, IconLocation;
  uint16_t HotKey = 0;

  // The shell's link object, made on first use and kept (none when the shell refuses).
  ComPtr<IShellLinkW> GetShellLinkWInterface();
  ComPtr<IShellLinkA> GetShellLinkAInterface();

 private:
  ComPtr<IShellLinkA> linkA_;
  ComPtr<IShellLinkW> link_;
};

enum class TFileSort { fsFileType, fsFileExtension };

class TShellSortHelper {
 public:
  virtual ~TShellSortHelper() = default;
  TFileSort FileSort = TFileSort::fsFileType;
  // Negative when ns1 sorts first, 0 for equal, positive when ns2 does.
  virtual int CompareIDSort(int column, TNamespace& ns1, TNamespace& ns2);
  virtual int DiscriminateFolders(TNamespace& ns1, TNamespace& ns2);
  virtual int SortFileSize(TNamespace& ns1, TNamespace& ns2);
  virtual int SortFileTime(const FILETIME& t1, const FILETIME& t2, TNamespace& ns1, TNamespace& ns2);
  virtual int SortString(const std::wstring& s1, const std::wstring& s2, TNamespace& ns1, TNamespace& ns2);
  virtual int SortType(TNamespace& ns1, TNamespace& ns2);
};

}  // namespace kv
