// The result list "last" from memory: it loads or fails with EDatabaseError,
// the same rows whether the table is read whole or unidirectionally, forward
// or backward, and a list that loads saves and loads again to the same records.
// A list is refused, not loaded in part, when its rows pass the memory bound.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/collection_csv.h"

namespace {

class Storage : public kv::TCsvStorage {
 public:
  std::unique_ptr<kv::TCsvSource> OpenRead(const std::string& path) override {
    const auto it = files.find(path);
    return it == files.end() ? nullptr : std::make_unique<kv::TCsvTextSource>(it->second);
  }
  void Save(const std::string& path, std::string_view text) override { files[path] = std::string(text); }
  std::map<std::string, std::string> files;
};

std::string Row(kv::TCsvDataSet& table) {
  if (!table.RowDamage().empty()) return "!" + table.RowDamage() + "\n";
  std::string row;
  for (size_t i = 0; i < table.FieldCount(); ++i) row += table.Fields(i).AsString() + '\0';
  return row + '\n';
}

std::string Rows(kv::TCsvDataSet& table) {
  std::string rows;
  for (table.First(); !table.Eof(); table.Next()) rows += Row(table);
  return rows;
}

std::string RowsBackward(kv::TCsvDataSet& table) {
  std::vector<std::string> rows;
  for (table.Last(); !table.Bof(); table.Prior()) rows.push_back(Row(table));
  std::string text;
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) text += *it;
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Storage storage;
  storage.files["last"].assign(reinterpret_cast<const char*>(data), size);
  std::string rows[2];
  for (const bool uni : {false, true}) {
    kv::TCsvDataSet table(storage);
    table.SetTableName("last");
    table.SetReadOnly(true);
    table.SetUniDirectional(uni);
    try {
      table.Open();
      rows[uni] = Rows(table);
      if (!uni && RowsBackward(table) != rows[uni]) std::abort();
    } catch (const kv::EDatabaseError& e) {
      rows[uni] = std::string("open: ") + e.what();
    }
  }
  if (rows[0] != rows[1]) std::abort();

  // The list is measured as it is loaded: under a bound it loads no more
  // rows, each of a byte at least, than the bound allows.
  kv::TMP3Collection few;
  few.IndexEnabled = 0;
  const uint64_t bound = kv::ListLoadMemory(3, 512);
  try {
    kv::LoadCollectionFromCSV(few, "last", storage, nullptr, nullptr, bound);
    if (kv::ListLoadMemory(few.Count(), few.Count()) > bound) std::abort();
  } catch (const kv::EDatabaseError&) {
  }

  kv::TMP3Collection loaded;
  loaded.IndexEnabled = 0;
  try {
    kv::LoadCollectionFromCSV(loaded, "last", storage, nullptr);
  } catch (const kv::EDatabaseError&) {
    return 0;
  }
  kv::SaveCollectionToCSV(loaded, "again", storage, nullptr);
  kv::TMP3Collection again;
  again.IndexEnabled = 0;
  kv::LoadCollectionFromCSV(again, "again", storage, nullptr);
  if (again.Count() != loaded.Count()) std::abort();
  for (int32_t i = 0; i < loaded.Count(); ++i)
    if (again.Items(i).FileName() != loaded.Items(i).FileName() || again.Items(i).Tag != loaded.Items(i).Tag ||
        again.Items(i).WidePath() != loaded.Items(i).WidePath())
      std::abort();
  return 0;
}
