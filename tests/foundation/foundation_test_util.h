#pragma once
// Helpers shared by the foundation's tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace kv {

// The exception of type E that `action` throws; a test failure and nothing when it throws none.
template <class E, class F>
std::optional<E> ThrownBy(F&& action) {
  try {
    action();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return std::nullopt;
}

// A fresh folder below the temporary folder, named after the running test and
// removed with everything in it afterwards.
class TempFolder {
 public:
  TempFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() / (std::string("kv_") + test->test_suite_name() + "_" + test->name());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }
  std::wstring File(const wchar_t* name) const { return (path_ / name).wstring(); }
  std::vector<std::wstring> Entries() const {
    std::vector<std::wstring> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().wstring());
    return names;
  }

 private:
  std::filesystem::path path_;
};

}  // namespace kv
