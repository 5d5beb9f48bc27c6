#pragma once
// The XML settings store: the settings file held in memory as a tree of named
// groups and named values. A value is addressed by a section and a key in
// which dots separate nested groups; names compare without regard to ASCII
// letter case. This half works on text only; settings_win.h reads and writes
// the file. User-interface thread only.
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/grammar_parser.h"

namespace kv {

// A setting that the file format cannot hold, or a text that failed its check before saving.
class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Node kinds of the settings grammar (the rule index of a node).
enum TConfigNodeKind : uint8_t { kConfigRoot = 0, kConfigInfo = 1, kConfigGroup = 2, kConfigParam = 3,
                                 kConfigName = 4, kConfigData = 5 };

// The grammar of the settings file, one rule per line.
std::string_view SettingsRules();
// The text of a new settings file.
std::string NewSettingsText(std::string_view info);
// A value as it is written between the param tags, and back.
std::string EncodeSettingsValue(std::string_view value);
std::string DecodeSettingsValue(std::string_view raw);

// A group (or the root): its children by name, sorted without regard to
// ASCII case. An entry is a child's index; its name is the child's own
// (TKeyData or TSectData) Name, so the list holds no copies of the names.
// Names are views into the settings file's text, or into the store's own
// copies of names given at run time: a group or param costs a few times the
// few bytes of its tags, however many there are.
class TSectData : public TNodeData {
 public:
  std::vector<uint32_t> List;  // texts past 4 GiB are refused, so child indexes fit
  std::string_view Name;  // marked deleted: TAnaTree::Deleted of its node

  // Enters child `child` of `node` (whose data this is); the child's data
  // must already be attached.
  void Insert(const TAnaTree& node, size_t child);
  // The index of a child of that name, or -1.
  int64_t Find(const TAnaTree& node, std::string_view name) const;
  // The name under which child `child` of `node` is listed.
  static std::string_view NameOf(const TAnaTree& node, size_t child);
};

// A param: its name and, once written at run time, its value. A param read
// from the file keeps its value as a place in the file's text rather than as
// child nodes, which would cost several times the text they stand for.
class TKeyData : public TNodeData {
 public:
  std::string_view Name;
  std::unique_ptr<std::string> Value;  // written at run time
  uint32_t ValueStart = 0;             // the value's raw text in the file, from 0
  uint32_t ValueLength = 0;  // marked deleted: TAnaTree::Deleted of its node
};

class TXMLConfig {
 public:
  // Writes the finished text to the named file (the file half supplies it).
  using Writer = std::function<void(const std::string& fileName, std::string_view text)>;
  // Deepest dotted key a write may create; the parser's nesting cap must still read it back.
  static constexpr int kMaxKeyDepth = 900;

  // Parses the file's text; EParseError "Error in config file ..." with line:column.
  TXMLConfig(std::string fileName, std::string text, bool autoSave = false, Writer writer = {});
  TXMLConfig(const TXMLConfig&) = delete;
  TXMLConfig& operator=(const TXMLConfig&) = delete;
  ~TXMLConfig();  // never writes: saving is the owner's explicit UpdateFile

  std::string ReadString(std::string_view section, std::string_view ident, std::string_view def);
  // ESettingsError, with the tree unchanged, for a name the file cannot hold.
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  int ReadInteger(std::string_view section, std::string_view ident, int def);
  void WriteInteger(std::string_view section, std::string_view ident, int value);
  bool ReadBool(std::string_view section, std::string_view ident, bool def);
  void WriteBool(std::string_view section, std::string_view ident, bool value);
  // Params (not groups) of the section that are not deleted, in file order.
  void ReadSection(std::string_view section, std::vector<std::string>& names);
  // Top-level groups that are not deleted, in file order.
  void ReadSections(std::vector<std::string>& names);
  // "name=value" for each param of the section.
  void ReadSectionValues(std::string_view section, std::vector<std::string>& lines);
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view ident);
  // With AutoSave, hands the checked text to the writer; clears Modified once saved.
  void UpdateFile();
  // The whole file as it would be written, checked by parsing it again.
  std::string GetXMLText() const;

  const std::string& FileName() const { return fileName_; }
  bool AutoSave = false;
  bool Modified = false;
  std::string Info;

 private:
  TAnaTree* FindKey(std::string_view key, bool create, bool value);
  TAnaTree* ConvertParamToGroup(TAnaTree& param);
  void Index(TAnaTree& node);
  void TakeParam(TAnaTree& param);
  void TakeGroup(TAnaTree& group);
  std::string GetVal(const TAnaTree& param) const;
  std::string BuildText() const;
  void WriteItems(const TAnaTree& node, size_t depth, std::string& out) const;
  void CheckWritableKey(std::string_view key) const;
  // A name given at run time, kept for the store's life.
  std::string_view KeepName(std::string_view name);

  std::string fileName_;
  Writer writer_;
  TAnalyser analyser_;
  TAnaTree* root_ = nullptr;
  std::deque<std::string> names_;  // names given at run time (a deque keeps them in place)
};

}  // namespace kv
