#include "foundation/zip_strings_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace kv {
namespace {

// Prepared and checked by tests/zip/writer_check.py around this program.
const std::string kDir = KV_TEST_BINARY_DIR "/zip_writer";

std::string Dos(std::string s) {
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

std::string Folder(const std::string& name) {
  const std::string dir = Dos(KV_TEST_BINARY_DIR "/zip_strings_" + name);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

TEST(ZipStrings, EachStringIsOneEntryReadBackWithItsPassword) {
  const std::string archive = Folder("roundtrip") + "\\data";
  DeleteFileA(archive.c_str());
  std::mt19937 rng(5);
  std::string binary(70000, '\0');
  for (auto& c : binary) c = static_cast<char>(rng());
  const struct {
    std::string entry, data, password;
  } cases[] = {
      {"size", "12345", ""},
      {"empty", "", ""},
      {"history", std::string("line one\r\n\xE9t\xE9\r\n") + std::string(70000, 'x'), "secret"},
      {"binary", binary, "p\xE4ss"},
  };
  for (const auto& c : cases) SaveStringToZip(archive, c.entry, c.data, c.password);
  for (const auto& c : cases) EXPECT_EQ(LoadStringFromZip(archive, c.entry, c.password), c.data) << c.entry;
  // Replaced in place, others untouched; entry names ignore ASCII case.
  SaveStringToZip(archive, "SIZE", "678", "");
  EXPECT_EQ(LoadStringFromZip(archive, "size", ""), "678");
  EXPECT_EQ(LoadStringFromZip(archive, "history", "secret"), cases[2].data);
  // Missing entries and wrong passwords read as empty text.
  EXPECT_EQ(LoadStringFromZip(archive, "absent", ""), "");
  EXPECT_EQ(LoadStringFromZip(archive, "history", "wrong"), "");
  EXPECT_EQ(LoadStringFromZip(archive, "history", ""), "");
}

TEST(ZipStrings, InteroperateWithTheReferenceTools) {
  if (GetFileAttributesA(Dos(kDir + "/strings").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "run through CTest: writer_check.py prepares " << kDir;
  // Made by zip -P and by Python.
  EXPECT_EQ(LoadStringFromZip(Dos(kDir + "/strings/from_zip.zip"), "note", "secret"),
            "stored by zip -P\r\nsecond line \xE9\r\n");
  EXPECT_EQ(LoadStringFromZip(Dos(kDir + "/strings/from_zip.zip"), "note", "nope"), "");
  std::string history;
  for (int i = 0; i < 20; ++i) history += "stored by Python\r\n";
  EXPECT_EQ(LoadStringFromZip(Dos(kDir + "/strings/from_python.zip"), "history", ""), history);
  // For unzip -p -P and zipfile (writer_check.py verify).
  const std::string note = "kept by Kelvarin\r\n\xE9\xE8\r\n" + std::string(5000, 'k');
  CreateDirectoryA(Dos(kDir + "/out").c_str(), nullptr);
  CreateDirectoryA(Dos(kDir + "/out/expected").c_str(), nullptr);
  std::ofstream(Dos(kDir + "/out/expected/strings_note"), std::ios::binary) << note;
  for (const auto& [file, password] : {std::pair<std::string, std::string>{"strings_plain.zip", ""}, {"strings_pw.zip", "secret"}}) {
    const std::string archive = Dos(kDir + "/out/" + file);
    DeleteFileA(archive.c_str());
    SaveStringToZip(archive, "note", note, password);
    EXPECT_EQ(LoadStringFromZip(archive, "note", password), note);
  }
}

}  // namespace
}  // namespace kv
