#pragma once
// The wizard's tests: a temporary program folder with its own settings file,
// message boxes and shell calls recorded instead of shown, and the main form
// built in-process over it.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <system_error>
#include <string>
#include <vector>

#include "foundation/files_win.h"
#include "foundation/settings_win.h"
#include "foundation/translate.h"
#include "tests/foundation/foundation_test_util.h"
#include "tests/ui/ui_test_util.h"
#include "engine/mp3_collection.h"
#include "ui/application_win.h"
#include "wizard/about_form_win.h"
#include "wizard/later_pages_win.h"
#include "wizard/main_form_win.h"
#include "wizard/pages_win.h"

namespace kv::test {

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWhole(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// Removes a folder tree the tests left read-only or hidden files in.
inline void RemoveTree(const std::filesystem::path& root) {
  std::error_code ignored;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root, ignored))
    SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  std::filesystem::remove_all(root, ignored);
}

// Seven step texts: "text 0" ... "text 6", with blanks and line breaks around.
inline std::string SevenStepTexts() {
  std::string text;
  for (int i = 0; i < 7; ++i) text += (i ? "\r\n-------\r\n  " : " ") + std::string("text ") + std::to_string(i) + " \r\n";
  return text;
}

class WizardFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAppDir(folder.Path().wstring());
    WriteWhole(folder.Path() / "steps.txt", SevenStepTexts());
    CreateConfiger(folder.File(L"kelvarin.conf.xml"));
    ui::Application().SetTitle("Torvane Kelvarin");
    ui::SetMessageBoxHook([this](HWND owner, const std::string& text, const std::string& caption, UINT flags) {
      boxes.push_back({owner, text, caption, flags});
      return answer;
    });
    ui::SetShellExecuteHook([this](const std::string& verb, const std::string& target, int) {
      opened.push_back(target);
      verbs.push_back(verb);
      return true;
    });
  }
  void TearDown() override {
    FreeForm();
    FreeConfiger();
    SetLanguage(nullptr);
    ui::SetMessageBoxHook({});
    ui::SetShellExecuteHook({});
  }

  TConfiger& Settings() { return *Configer(); }

  // The wizard as the start-up makes it: the application's main form, set up.
  TMainForm& MakeForm() {
    form = &ui::Application().CreateForm<TMainForm>();
    SetMainForm(form);
    form->Init();
    return *form;
  }
  void FreeForm() {
    if (!form) return;
    if (ui::Application().MainForm() == form) ui::Application().SetMainForm(nullptr);
    ui::Application().FreeComponent(form);
    SetMainForm(nullptr);
    form = nullptr;
  }
  void Next() { ui::test::ClickWindow(*form->NextButton); }
  void Back() { ui::test::ClickWindow(*form->BackButton); }

  struct Box {
    HWND owner;
    std::string text, caption;
    UINT flags;
  };
  TempFolder folder;
  TMainForm* form = nullptr;
  std::vector<Box> boxes;
  std::vector<std::string> opened;
  std::vector<std::string> verbs;  // of the opened targets; empty: the default verb
  int answer = IDOK;
};

// A results page on a shown form over one group of files it writes under
// folder\src (content "new " + name); the folder goes again at the end.
class ResultsOnDisk {
 public:
  ResultsOnDisk(std::filesystem::path folder, std::initializer_list<const char*> names) : folder_(std::move(folder)) {
    std::filesystem::remove_all(folder_);
    page = &host.Create<TCollectionFrame>();
    page->SetParent(&host);
    host.SetClientWidth(600);
    host.SetClientHeight(300);
    host.Show();
    for (const char* name : names) {
      const std::filesystem::path file = folder_ / "src" / name;
      std::filesystem::create_directories(file.parent_path());
      WriteWhole(file, std::string("new ") + name);
      TAudioInfo info;
      info.SetTagPart(kTagArtist, "Wren");
      info.SetTagPart(kTagDisplayPath, file.string());
      info.SetFileName(file.string());
      results.AddMp3Info(info).Tag = 1;
    }
    page->DisplayCollection(&results);
  }
  ~ResultsOnDisk() {
    host.Hide();
    page->ReleaseCollection(&results);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  ui::TForm host;
  TCollectionFrame* page = nullptr;
  TMP3Collection results{nullptr};

 private:
  std::filesystem::path folder_;
};

}  // namespace kv::test
