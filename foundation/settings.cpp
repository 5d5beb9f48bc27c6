#include "foundation/settings.h"

#include <algorithm>
#include <climits>

#include "base/strings.h"
#include "foundation/translate.h"

namespace kv {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"Windows-1252\" ?>";

TSectData* Sect(const TAnaTree& node) {
  return node.Rule == kConfigRoot || node.Rule == kConfigGroup ? static_cast<TSectData*>(node.Data.get())
                                                               : nullptr;
}
TKeyData* Key(const TAnaTree& node) {
  return node.Rule == kConfigParam ? static_cast<TKeyData*>(node.Data.get()) : nullptr;
}
bool IsItem(const TAnaTree& node) { return node.Rule == kConfigGroup || node.Rule == kConfigParam; }
bool IsDeleted(const TAnaTree& node) { return (Sect(node) || Key(node)) && node.Deleted; }
void SetDeleted(TAnaTree& node, bool deleted) {
  if (Sect(node) || Key(node)) node.Deleted = deleted;
}

// Decimal, or hexadecimal after "0x"; nothing else (no blanks, no trailing text).
bool ParseInteger(std::string_view s, int& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return false;
  long long value = 0;
  for (char c : s) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    value = value * base + digit;
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT_MAX || value < INT_MIN) return false;
  out = static_cast<int>(value);
  return true;
}

}  // namespace

std::string_view SettingsRules() {
  static const std::string rules =
      std::string(R"RULE(config=\<\?xml version\=\"1\.0\" encoding\=\"Windows\-1252\" \?\>[ ]\<XMLConfig\>[ ]<configinfo>{[ ](<param>|<group>)}[ ]\<\/XMLConfig\>)RULE") +
      "\r\n" + R"RULE(configinfo=\<info\><data>\<\/info\>)RULE" +
      "\r\n" + R"RULE(group=\<(group|g) (name|n)\=\"<name>\"\>{[ ](<param>|<group>)}[ ]\<\/(group|g)\>)RULE" +
      "\r\n" + R"RULE(param=\<(param|p) (name|n)\=\"[<name>]\"\>[<data>]\<\/(param|p)\>)RULE" +
      "\r\n" + R"RULE(name=^")RULE" +
      "\r\n" + R"RULE(data=^<)RULE";
  return rules;
}

std::string NewSettingsText(std::string_view info) {
  return std::string(kDeclaration) + "\r\n<XMLConfig><info>" + std::string(info) + "</info>\r\n</XMLConfig>";
}

namespace {

// The texts a value's "<", ">" and "&" are written as.
constexpr std::pair<std::string_view, char> kEntities[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}};

const std::pair<std::string_view, char>* EntityAt(std::string_view text, size_t at) {
  for (const auto& entity : kEntities) {
    if (text.substr(at, entity.first.size()) == entity.first) return &entity;
  }
  return nullptr;
}

}  // namespace

// An "&" is written as it stands unless it begins one of the entities: a
// value holding the text "&lt;" (a folder may be named so) must not come back
// as "<". Files written before "&amp;" was read keep every other value as it
// was.
std::string EncodeSettingsValue(std::string_view value) {
  std::string out;
  if (value.find("\r\n") != std::string_view::npos) out = "\r\n";
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '&' && EntityAt(value, i)) out += "&amp;";
    else out += c;
  }
  return out;
}

std::string DecodeSettingsValue(std::string_view raw) {
  if (raw.substr(0, 2) == "\r\n") raw.remove_prefix(2);
  std::string value;
  value.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const auto* entity = raw[i] == '&' ? EntityAt(raw, i) : nullptr;
    if (entity) {
      value += entity->second;
      i += entity->first.size() - 1;
    } else {
      value += raw[i];
    }
  }
  return value;
}

// ---------------------------------------------------------------- TSectData --

std::string_view TSectData::NameOf(const TAnaTree& node, size_t child) {
  const TAnaTree& item = node.Item(child);
  if (const TSectData* s = Sect(item)) return s->Name;
  if (const TKeyData* k = Key(item)) return k->Name;
  return {};
}

void TSectData::Insert(const TAnaTree& node, size_t child) {
  const std::string_view name = NameOf(node, child);
  const auto at = std::upper_bound(List.begin(), List.end(), name, [&node](std::string_view n, size_t c) {
    return CompareTextAnsi(n, NameOf(node, c)) < 0;
  });
  List.insert(at, static_cast<uint32_t>(child));
}

int64_t TSectData::Find(const TAnaTree& node, std::string_view name) const {
  const auto at = std::lower_bound(List.begin(), List.end(), name, [&node](size_t c, std::string_view n) {
    return CompareTextAnsi(NameOf(node, c), n) < 0;
  });
  return at != List.end() && CompareTextAnsi(NameOf(node, *at), name) == 0 ? static_cast<int64_t>(*at) : -1;
}

// --------------------------------------------------------------- TXMLConfig --

TXMLConfig::TXMLConfig(std::string fileName, std::string text, bool autoSave, Writer writer)
    : AutoSave(autoSave), fileName_(std::move(fileName)), writer_(std::move(writer)) {
  analyser_.LoadLang(SettingsRules());
  analyser_.OnNodeParsed = [this](TAnaTree& node) {
    if (node.Rule == kConfigParam) TakeParam(node);
    else if (node.Rule == kConfigGroup) TakeGroup(node);
  };
  auto fail = [&](int64_t position) {
    int column = 0, line = 0;
    PosToXY(analyser_.Text(), static_cast<int>(std::min<int64_t>(position, INT_MAX)), column, line, false);
    return EParseError(Translate("Error in config file \"$1\" at position $2",
                                 fileName_ + "\r\n" + std::to_string(line) + ":" + std::to_string(column)),
                       position);
  };
  if (text.size() > UINT32_MAX) throw fail(1);  // far beyond any settings file
  try {
    analyser_.Parse(std::move(text));
  } catch (const EParseError& e) {
    analyser_.OnNodeParsed = nullptr;
    throw fail(e.Position());
  }
  analyser_.OnNodeParsed = nullptr;
  if (analyser_.Tree() == nullptr || analyser_.Tree()->Count() == 0) throw fail(1);
  root_ = &analyser_.Tree()->Item(0);
  const TAnaTree& info = root_->Item(0);
  Info = info.Count() > 0 ? std::string(info.Item(0).GetText(analyser_.Text())) : std::string();
  Index(*root_);
}

TXMLConfig::~TXMLConfig() = default;

// A parsed param becomes its TKeyData at once: the name is copied, the value
// kept as a place in the text, and the name and data nodes are let go.
void TXMLConfig::TakeParam(TAnaTree& param) {
  auto key = std::make_unique<TKeyData>();
  const TAnaTree* data = nullptr;
  if (param.Count() > 0 && param.Item(0).Rule == kConfigName) {
    key->Name = param.Item(0).GetText(analyser_.Text());
    if (param.Count() == 2) data = &param.Item(1);
  } else if (param.Count() == 1 && param.Item(0).Rule == kConfigData) {
    data = &param.Item(0);
  }
  if (data) {
    key->ValueStart = static_cast<uint32_t>(data->Start - 1);
    key->ValueLength = static_cast<uint32_t>(data->Len);
  }
  param.Items.clear();
  param.Items.shrink_to_fit();
  param.Data = std::move(key);
}

// A parsed group becomes its TSectData at once too: the name is copied and its
// node let go, as in a group made at run time, and no spare room is kept.
void TXMLConfig::TakeGroup(TAnaTree& group) {
  auto sect = std::make_unique<TSectData>();
  if (group.Count() > 0 && group.Item(0).Rule == kConfigName) {
    sect->Name = group.Item(0).GetText(analyser_.Text());
    group.Delete(0);
  }
  group.Items.shrink_to_fit();
  group.Data = std::move(sect);
}

void TXMLConfig::Index(TAnaTree& node) {
  if (node.Rule == kConfigGroup && !node.Data) TakeGroup(node);
  if (!node.Data) {  // the root
    auto root = std::make_unique<TSectData>();
    if (node.Count() > 0) root->Name = node.Item(0).GetText(analyser_.Text());
    node.Data = std::move(root);
  }
  TSectData& sect = *Sect(node);
  size_t items = 0;
  for (const auto& child : node.Items) items += IsItem(*child) ? 1 : 0;
  sect.List.reserve(items);
  for (size_t i = 0; i < node.Count(); ++i) {
    TAnaTree& child = node.Item(i);
    if (child.Rule == kConfigGroup) {
      Index(child);
      sect.List.push_back(static_cast<uint32_t>(i));
    } else if (child.Rule == kConfigParam) {
      if (!child.Data) TakeParam(child);
      sect.List.push_back(static_cast<uint32_t>(i));
    }
  }
  std::stable_sort(sect.List.begin(), sect.List.end(), [&node](size_t a, size_t b) {
    return CompareTextAnsi(TSectData::NameOf(node, a), TSectData::NameOf(node, b)) < 0;
  });
}

std::string TXMLConfig::GetVal(const TAnaTree& param) const {
  const TKeyData* key = Key(param);
  // A value written at run time is kept as given: decoding it again would eat
  // a leading line break or turn a literal "&lt;" into "<" before it was saved.
  if (key->Value && (param.Start == -1 || !key->Value->empty())) return *key->Value;
  if (param.Start == -1 || key->ValueLength == 0) return std::string();
  return DecodeSettingsValue(std::string_view(analyser_.Text()).substr(static_cast<size_t>(key->ValueStart),
                                                                       static_cast<size_t>(key->ValueLength)));
}

TAnaTree* TXMLConfig::ConvertParamToGroup(TAnaTree& param) {
  TAnaTree& parent = *param.Parent;
  size_t index = 0;
  while (parent.Items[index].get() != &param) ++index;
  auto group = std::make_unique<TAnaTree>(-1, kConfigGroup);
  auto sect = std::make_unique<TSectData>();
  sect->Name = Key(param)->Name;
  group->Data = std::move(sect);
  group->Parent = &parent;
  std::unique_ptr<TAnaTree> old = std::move(parent.Items[index]);
  parent.Items[index] = std::move(group);
  TAnaTree& result = *parent.Items[index];
  Key(*old)->Name = {};  // the param's value becomes the group's own value
  result.Add(std::move(old));
  Sect(result)->Insert(result, 0);
  Modified = true;
  return &result;
}

TAnaTree* TXMLConfig::FindKey(std::string_view key, bool create, bool value) {
  TAnaTree* current = root_;
  std::string rest(key), name, next;
  while (!rest.empty() || value) {
    if (rest.empty()) {
      if (current->Rule == kConfigParam) break;
      value = false;  // the unnamed param holds a group's own value
      name.clear();
    } else {
      SeparFirst(rest, ".", name, next);
      rest = std::move(next);
    }
    int64_t found = -1;
    if (current->Rule == kConfigParam) {
      if (!create) return nullptr;
      current = ConvertParamToGroup(*current);
    } else {
      found = Sect(*current)->Find(*current, name);
    }
    if (found < 0) {
      if (!create) return nullptr;
      Modified = true;
      const bool isParam = rest.empty();
      auto node = std::make_unique<TAnaTree>(-1, isParam ? kConfigParam : kConfigGroup);
      if (isParam) {
        auto data = std::make_unique<TKeyData>();
        data->Name = KeepName(name);
        node->Data = std::move(data);
      } else {
        auto data = std::make_unique<TSectData>();
        data->Name = KeepName(name);
        node->Data = std::move(data);
      }
      TAnaTree& added = current->Add(std::move(node));
      Sect(*current)->Insert(*current, current->Count() - 1);
      current = &added;
      continue;
    }
    TAnaTree& child = current->Item(static_cast<size_t>(found));
    if (IsDeleted(child)) {
      if (!create) return nullptr;
      Modified = true;
      SetDeleted(child, false);
      if (child.Rule == kConfigGroup) {
        for (auto& grandchild : child.Items) SetDeleted(*grandchild, true);  // a revived group starts empty
      }
    }
    current = &child;
  }
  return current == root_ ? nullptr : current;
}

std::string_view TXMLConfig::KeepName(std::string_view name) {
  if (name.empty()) return {};
  return names_.emplace_back(name);
}

void TXMLConfig::CheckWritableKey(std::string_view key) const {
  std::string rest(key), name, next;
  int depth = 0;
  while (!rest.empty()) {
    SeparFirst(rest, ".", name, next);
    const bool group = !next.empty();
    // A double quote would end the name inside the file. The file reads a "<" back too, but other XML tools
    // could not read an attribute holding one, so it is refused as well; ">" is well-formed there and kept.
    if (name.find_first_of("\"<") != std::string::npos || (group && name.empty()) || ++depth > kMaxKeyDepth) {
      throw ESettingsError(Translate("The setting \"$1\" cannot be stored: a name may not be empty or contain \" or <",
                                     key));
    }
    rest = std::move(next);
  }
}

std::string TXMLConfig::ReadString(std::string_view section, std::string_view ident, std::string_view def) {
  const std::string key = TrimSymbol(section, '.') + "." + TrimSymbol(ident, '.');
  const TAnaTree* node = FindKey(key, false, true);
  return node ? GetVal(*node) : std::string(def);
}

void TXMLConfig::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
  const std::string key = std::string(section) + "." + std::string(ident);
  CheckWritableKey(key);
  TAnaTree* node = FindKey(key, true, true);
  if (node && node->Rule == kConfigParam) {
    node->Start = -1;
    Key(*node)->Value = std::make_unique<std::string>(value);
  }
  Modified = true;
}

int TXMLConfig::ReadInteger(std::string_view section, std::string_view ident, int def) {
  int value = def;
  return ParseInteger(ReadString(section, ident, ""), value) ? value : def;
}

void TXMLConfig::WriteInteger(std::string_view section, std::string_view ident, int value) {
  WriteString(section, ident, std::to_string(value));
}

bool TXMLConfig::ReadBool(std::string_view section, std::string_view ident, bool def) {
  return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void TXMLConfig::WriteBool(std::string_view section, std::string_view ident, bool value) {
  WriteString(section, ident, value ? "1" : "0");
}

void TXMLConfig::ReadSection(std::string_view section, std::vector<std::string>& names) {
  names.clear();
  const TAnaTree* node = FindKey(section, false, false);
  if (!node || node->Rule != kConfigGroup) return;
  for (const auto& child : node->Items) {
    if (child->Rule == kConfigParam && !IsDeleted(*child)) names.emplace_back(Key(*child)->Name);
  }
}

void TXMLConfig::ReadSections(std::vector<std::string>& names) {
  names.clear();
  for (const auto& child : root_->Items) {
    if (child->Rule == kConfigGroup && !IsDeleted(*child)) names.emplace_back(Sect(*child)->Name);
  }
}

void TXMLConfig::ReadSectionValues(std::string_view section, std::vector<std::string>& lines) {
  lines.clear();
  const TAnaTree* node = FindKey(section, false, false);
  if (!node || node->Rule != kConfigGroup) return;
  for (const auto& child : node->Items) {
    if (child->Rule == kConfigParam && !IsDeleted(*child))
      lines.push_back(std::string(Key(*child)->Name) + "=" + GetVal(*child));
  }
}

void TXMLConfig::EraseSection(std::string_view section) { DeleteKey(section, ""); }

void TXMLConfig::DeleteKey(std::string_view section, std::string_view ident) {
  TAnaTree* node = FindKey(std::string(section) + "." + std::string(ident), false, false);
  if (!node) return;
  SetDeleted(*node, true);
  Modified = true;
}

void TXMLConfig::WriteItems(const TAnaTree& node, size_t depth, std::string& out) const {
  const std::string indent(depth, ' ');
  for (const auto& child : node.Items) {
    if (!IsItem(*child) || IsDeleted(*child)) continue;
    if (child->Rule == kConfigParam) {
      out += indent + "<param name=\"" + std::string(Key(*child)->Name) + "\">" + EncodeSettingsValue(GetVal(*child)) +
             "</param>\r\n";
    } else {
      out += indent + "<group name=\"" + std::string(Sect(*child)->Name) + "\">\r\n";
      WriteItems(*child, depth + 1, out);
      out += indent + "</group>\r\n";
    }
  }
}

std::string TXMLConfig::BuildText() const {
  // Built by concatenation: names and values are never scanned for placeholders.
  std::string out = std::string(kDeclaration) + "\r\n<XMLConfig><info>" + Info + "</info>\r\n";
  WriteItems(*root_, 0, out);
  out += "</XMLConfig>";
  return out;
}

std::string TXMLConfig::GetXMLText() const {
  std::string text = BuildText();
  // The text must load again and write back unchanged before it may replace a file.
  std::string again;
  try {
    again = TXMLConfig(fileName_, text).BuildText();
  } catch (const EParseError& e) {
    throw ESettingsError(Translate("The settings could not be written: $1", e.what()));
  }
  if (again != text) throw ESettingsError(Translate("The settings could not be written: $1", "check failed"));
  return text;
}

void TXMLConfig::UpdateFile() {
  if (AutoSave) {
    const std::string text = GetXMLText();
    if (writer_) writer_(fileName_, text);
  }
  Modified = false;
}

}  // namespace kv
