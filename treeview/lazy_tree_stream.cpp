// The tree's node streams: a 12-byte header, then nested chunks (type and
// size before each), so that a reader skips what it does not know. Sizes are
// filled in by seeking back, so a node is written in one pass.
//
// Loading trusts nothing: loaded states keep only the bits that are written
// (and of those not the transient ones), check marks and heights are brought
// into range, nesting is capped and every chunk must fit its parent.
#include <algorithm>
#include <cstring>
#include <vector>

#include "treeview/lazy_tree_model.h"

namespace kv {

namespace {

constexpr std::uint16_t kHeaderOpen = 0x2045, kHeaderClose = 0x2046;
constexpr std::uint16_t kStreamVersion = 2;
constexpr std::uint32_t kNodeChunk = 1, kBaseChunk = 2, kUserChunk = 4;
constexpr std::int64_t kChunkHeaderSize = 8;
constexpr std::int64_t kBaseFieldsSize = 17, kOldBaseFieldsSize = 12;
// Bits a writer stores, and of those the ones a reader takes back.
constexpr std::uint16_t kStoredStates = 0xDDE9;
constexpr std::uint16_t kLoadedStates = 0x15E9;
constexpr int kMaxStreamDepth = 1000;

void WriteU32(TNodeStream& stream, std::uint32_t v) {
  const std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                             static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  stream.WriteBuffer(b, 4);
}

std::uint32_t GetU32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

std::uint32_t ReadU32(TNodeStream& stream) {
  std::uint8_t b[4];
  stream.ReadBuffer(b, 4);
  return GetU32(b);
}

[[noreturn]] void Corrupt() {
  TLazyTreeModel::ShowError("Stream data corrupt. Unexpected data after node's end position.", 2006);
}

// A chunk that runs past the stream's end is a short read inside the chunk:
// the stream's own read error, not a tree error.
void CheckInsideStream(TNodeStream& stream, std::int64_t end) {
  if (end > stream.Size()) throw ENodeStreamError("Stream read error.");
}

[[noreturn]] void AnchorMissing() {
  TLazyTreeModel::ShowError("Stream data corrupt. A node's anchor chunk is missing.", 2005);
}

// Reads a chunk header that must lie before `limit`; answers the chunk's end.
std::int64_t ReadChunkHeader(TNodeStream& stream, std::int64_t limit, std::uint32_t& type,
                             std::uint32_t& size) {
  CheckInsideStream(stream, stream.Position() + kChunkHeaderSize);
  if (stream.Position() + kChunkHeaderSize > limit) Corrupt();
  std::uint8_t b[8];
  stream.ReadBuffer(b, 8);
  type = GetU32(b);
  size = GetU32(b + 4);
  return stream.Position() + size;
}

}  // namespace

// ------------------------------------------------------------------ writing --

void TLazyTreeModel::SaveToStream(TNodeStream& stream, PLazyNode node) {
  const std::uint16_t header[6] = {kHeaderOpen, 'V', 'T', kStreamVersion, ' ', kHeaderClose};
  std::uint8_t bytes[12];
  for (int i = 0; i < 6; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(header[i]);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(header[i] >> 8);
  }
  stream.WriteBuffer(bytes, sizeof bytes);
  if (node != nullptr && node != RootNode()) {
    WriteU32(stream, 1);
    WriteNode(stream, node);
    return;
  }
  PLazyNode root = RootNode();
  WriteU32(stream, root->ChildCount);
  for (PLazyNode child = root->FirstChild; child != nullptr; child = child->NextSibling)
    WriteNode(stream, child);
}

// Writes the node with its subtree. The walk keeps its own stack of open
// chunks, so a tree of any depth can be saved: each node opens its node and
// base chunk, its children follow inside the base chunk, then the base chunk
// is closed, the node's other chunks follow (WriteChunks) and the node chunk
// is closed.
void TLazyTreeModel::WriteNode(TNodeStream& stream, PLazyNode node) {
  struct Open {
    PLazyNode node;
    std::int64_t nodeStart, baseStart;
    PLazyNode nextChild;
  };
  std::vector<Open> open;
  auto enter = [&](PLazyNode n) {
    if (HasOption(toInitOnSave)) {
      if (!n->States.Contains(nsInitialized)) InitNode(n);
      if (n->States.Contains(nsHasChildren) && n->ChildCount == 0) InitChildren(n);
    }
    const std::int64_t nodeStart = stream.Position();
    WriteU32(stream, kNodeChunk);
    WriteU32(stream, 0);
    const std::int64_t baseStart = stream.Position();
    // The count states the child chunks that follow; an uninitialised node
    // writes none.
    const bool withChildren = n->States.Contains(nsInitialized);
    WriteBaseChunkHead(stream, n, withChildren ? n->ChildCount : 0);
    open.push_back({n, nodeStart, baseStart, withChildren ? n->FirstChild : nullptr});
  };
  enter(node);
  while (!open.empty()) {
    Open& top = open.back();
    if (PLazyNode child = top.nextChild) {
      top.nextChild = child->NextSibling;
      enter(child);  // may move `top`
      continue;
    }
    const Open done = top;
    open.pop_back();
    FinishChunkHeader(stream, done.baseStart, stream.Position());
    WriteChunks(stream, done.node);
    FinishChunkHeader(stream, done.nodeStart, stream.Position());
  }
}

void TLazyTreeModel::WriteBaseChunkHead(TNodeStream& stream, PLazyNode node, std::uint32_t childCount) {
  WriteU32(stream, kBaseChunk);
  WriteU32(stream, 0);
  std::uint8_t fields[kBaseFieldsSize] = {};
  const std::uint32_t height = node->NodeHeight;
  const std::uint16_t states = node->States.Raw() & kStoredStates;
  for (int i = 0; i < 4; ++i) {
    fields[i] = static_cast<std::uint8_t>(childCount >> (8 * i));
    fields[4 + i] = static_cast<std::uint8_t>(height >> (8 * i));
  }
  fields[8] = static_cast<std::uint8_t>(states);
  fields[9] = static_cast<std::uint8_t>(states >> 8);
  fields[10] = node->Align;
  fields[11] = node->CheckState;
  fields[12] = node->CheckType;
  stream.WriteBuffer(fields, sizeof fields);
}

void TLazyTreeModel::WriteChunks(TNodeStream& stream, PLazyNode node) {
  const std::int64_t start = stream.Position();
  WriteU32(stream, kUserChunk);
  WriteU32(stream, 0);
  DoSaveUserData(NilForRoot(node), stream);
  if (stream.Position() == start + kChunkHeaderSize) {
    // The owner wrote nothing: the header goes again.
    stream.SetPosition(start);
    stream.SetSize(stream.Size() - kChunkHeaderSize);
  } else {
    FinishChunkHeader(stream, start, stream.Position());
  }
}

void TLazyTreeModel::FinishChunkHeader(TNodeStream& stream, std::int64_t start, std::int64_t end) {
  stream.SetPosition(start + 4);
  WriteU32(stream, static_cast<std::uint32_t>(end - start - kChunkHeaderSize));
  stream.SetPosition(end);
}

void TLazyTreeModel::DoSaveUserData(PLazyNode node, TNodeStream& stream) {
  if (OnSaveNode) OnSaveNode(*this, node, stream);
}

// ------------------------------------------------------------------ reading --

void TLazyTreeModel::LoadFromFile(const std::filesystem::path& name) {
  TNodeMemoryStream stream(ReadNodeStreamFile(name));
  LoadFromStream(stream);
}

void TLazyTreeModel::LoadFromStream(TNodeStream& stream) {
  if (ReadOnly()) return;
  // The header is judged before anything of the tree goes.
  const std::int64_t size = stream.Size();
  if (size - stream.Position() < 12)
    ShowError("Unable to load tree structure, not enough data available.", 2004);
  std::uint8_t bytes[12];
  stream.ReadBuffer(bytes, sizeof bytes);
  std::uint16_t header[6];
  for (int i = 0; i < 6; ++i) header[i] = static_cast<std::uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  if (header[0] != kHeaderOpen || header[1] != 'V' || header[2] != 'T' || header[5] != kHeaderClose)
    ShowError("Unable to load tree structure, the format is wrong.", 2002);
  const int version = header[3];
  if (version > kStreamVersion) ShowError("Unable to load tree structure, the version is unknown.", 2003);
  std::uint32_t count = 0x7FFFFFFF;
  if (version == 2) count = ReadU32(stream);  // a missing count is a read error

  Clear();
  BeginUpdate();
  try {
    streamDepth_ = 0;
    streamLimit_ = size;
    PLazyNode root = RootNode();
    while (stream.Position() < size && count > 0) {
      --count;
      PLazyNode node = MakeNewNode();
      InternalConnectNode(node, root, *this, TLTNodeAttachMode::amAddChildLast);
      InternalAddFromStream(stream, version, node);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  DoNodeCopied(nullptr);
}

void TLazyTreeModel::InternalAddFromStream(TNodeStream& stream, int version, PLazyNode node) {
  PLazyNode root = RootNode();
  if (node == nullptr) node = root;
  if (streamDepth_ == 0) streamLimit_ = stream.Size();
  auto shownBelow = [&] {
    if (node == root) return CountVisibleChildren(root);
    return FullyVisible(node) ? 1 + CountVisibleChildren(node) : 0;
  };
  const std::uint32_t remembered = visibleCount_ - shownBelow();

  // Counters and selection follow the read states, also when the read fails
  // midway, so that the nodes read so far form a consistent tree.
  auto bringInLine = [&] {
    visibleCount_ = remembered + shownBelow();
    const bool multiSelect = HasOption(toMultiSelect);
    std::vector<PLazyNode> selected;
    std::ptrdiff_t index = 0;
    PLazyNode n = node == root ? root->FirstChild : node;
    while (n != nullptr) {
      if (n->States.Contains(nsSelected) && !FindNodeInSelection(n, index, -1, -1)) {
        n->States.Exclude(nsSelected);
        if (multiSelect) selected.push_back(n);
      }
      // Depth first, without leaving the subtree of `node`.
      if (n->FirstChild != nullptr) {
        n = n->FirstChild;
        continue;
      }
      while (n != node && n != root && n->NextSibling == nullptr) n = n->Parent;
      n = n == node || n == root ? nullptr : n->NextSibling;
    }
    if (!selected.empty()) AddToSelection(selected.data(), selected.size(), true);
  };
  try {
    ReadNode(stream, version, node);
  } catch (...) {
    bringInLine();
    throw;
  }
  bringInLine();
}

void TLazyTreeModel::ReadNode(TNodeStream& stream, int version, PLazyNode node) {
  std::uint32_t type = 0, size = 0;
  const std::int64_t outerLimit = streamLimit_;
  const std::int64_t end = ReadChunkHeader(stream, outerLimit, type, size);
  if (type != kNodeChunk) AnchorMissing();
  CheckInsideStream(stream, end);
  if (end > outerLimit) Corrupt();
  if (streamDepth_ >= kMaxStreamDepth) Corrupt();
  struct Restore {
    TLazyTreeModel& tree;
    std::int64_t limit;
    ~Restore() {
      tree.streamLimit_ = limit;
      --tree.streamDepth_;
    }
  } restore{*this, outerLimit};
  ++streamDepth_;
  while (stream.Position() < end) {
    const std::int64_t chunkEnd = ReadChunkHeader(stream, end, type, size);
    CheckInsideStream(stream, chunkEnd);
    if (chunkEnd > end) Corrupt();
    streamLimit_ = chunkEnd;
    ReadChunk(stream, version, node, type, size);
    // What a chunk reader left unread is skipped; what went beyond is damage.
    const std::int64_t position = stream.Position();
    if (position > chunkEnd) Corrupt();
    if (position < chunkEnd) stream.SetPosition(chunkEnd);
  }
  if (stream.Position() != end) Corrupt();
}

bool TLazyTreeModel::ReadChunk(TNodeStream& stream, int version, PLazyNode node,
                               std::uint32_t chunkType, std::uint32_t chunkSize) {
  const std::int64_t start = stream.Position();
  switch (chunkType) {
    case kBaseChunk: {
      const std::int64_t fieldsSize = version == 2 ? kBaseFieldsSize : kOldBaseFieldsSize;
      if (chunkSize < fieldsSize) Corrupt();
      std::uint8_t fields[kBaseFieldsSize];
      stream.ReadBuffer(fields, fieldsSize);
      const std::uint32_t childCount = GetU32(fields);
      // Every child needs at least a node header, a base header and the fields.
      const std::int64_t smallestChild = 2 * kChunkHeaderSize + fieldsSize;
      if (childCount > (chunkSize - fieldsSize) / smallestChild) Corrupt();
      // Children below the deepest level are refused before any is made.
      if (childCount > 0 && streamDepth_ >= kMaxStreamDepth) Corrupt();
      std::uint16_t states;
      std::uint8_t align, checkState, checkType;
      if (version == 2) {
        states = static_cast<std::uint16_t>(fields[8] | (fields[9] << 8));
        align = fields[10];
        checkState = fields[11];
        checkType = fields[12];
      } else {
        states = static_cast<std::uint16_t>(fields[8] | nsVisible);
        if ((fields[8] & 0x80) != 0) states |= nsSelected;
        align = fields[9];
        checkState = fields[10];
        checkType = fields[11];
      }
      states &= kLoadedStates;
      const std::uint16_t height = static_cast<std::uint16_t>(std::min<std::uint32_t>(GetU32(fields + 4), 65535));
      // The hidden root keeps its own fields: a saved node's states (collapsed,
      // selected) or height taken onto it would hide the whole tree or count
      // the root in the selection. Only its children are read.
      if (node != RootNode()) {
        PLazyNode parent = node->Parent;
        const bool parentShows = parent->States.Contains(nsExpanded);
        if (parentShows && node->States.Contains(nsVisible))
          AdjustTotalHeight(parent, -std::int64_t{node->TotalHeight}, true);
        node->States.Assign(states);
        node->NodeHeight = height;
        std::uint32_t total = height;
        if (states & nsExpanded)
          for (PLazyNode c = node->FirstChild; c != nullptr; c = c->NextSibling)
            if (c->States.Contains(nsVisible)) total += c->TotalHeight;
        node->TotalHeight = total;
        if (parentShows && node->States.Contains(nsVisible))
          AdjustTotalHeight(parent, node->TotalHeight, true);
        node->Align = align;
        node->CheckState = checkState > csMixedPressed ? std::uint8_t{0} : checkState;
        node->CheckType = checkType > ctButton ? std::uint8_t{0} : checkType;
      }
      const std::int64_t childrenLimit = start + chunkSize;
      auto settleFlags = [&] {
        if (node == RootNode()) return;
        if (node->ChildCount > 0)
          DetermineHiddenChildrenFlag(node);
        else
          node->States.Exclude(nsAllChildrenHidden);
      };
      try {
        for (std::uint32_t i = 0; i < childCount; ++i) {
          PLazyNode child = MakeNewNode();
          InternalConnectNode(child, node, *this, TLTNodeAttachMode::amAddChildLast);
          streamLimit_ = childrenLimit;
          ReadNode(stream, version, child);
        }
      } catch (...) {
        settleFlags();
        throw;
      }
      settleFlags();
      return true;
    }
    case kUserChunk: {
      if (chunkSize == 0) return true;
      DoLoadUserData(NilForRoot(node), stream);
      const std::int64_t read = stream.Position() - start;
      // A handler that read too little or too much cannot misalign what follows.
      if (read != chunkSize) stream.SetPosition(start + chunkSize);
      return read > 0;
    }
    default:
      stream.SetPosition(start + chunkSize);
      return false;
  }
}

void TLazyTreeModel::SkipNode(TNodeStream& stream) {
  std::uint8_t b[8];
  stream.ReadBuffer(b, 8);
  if (GetU32(b) != kNodeChunk) AnchorMissing();
  stream.SetPosition(stream.Position() + GetU32(b + 4));
}

void TLazyTreeModel::DoLoadUserData(PLazyNode node, TNodeStream& stream) {
  if (OnLoadNode) OnLoadNode(*this, node, stream);
}

std::uint32_t TLazyTreeModel::AddNodesFromStream(TNodeStream& stream, PLazyNode target,
                                                 TLTNodeAttachMode mode, TChangeReason reason) {
  std::uint32_t kept = 0;
  BeginUpdate();
  try {
    while (stream.Position() < stream.Size()) {
      PLazyNode node = MakeNewNode();
      InternalConnectNode(node, target, *this, mode);
      try {
        streamDepth_ = 0;
        InternalAddFromStream(stream, 2, node);
      } catch (...) {
        DeleteNode(node);
        throw;
      }
      if (DoNodeCopying(node, target != nullptr ? target : RootNode())) {
        ++kept;
        DoNodeCopied(node);
        StructureChange(node, reason);
      } else {
        // Reported while it still exists: the report must not name a freed node.
        StructureChange(node, reason);
        DeleteNode(node);
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return kept;
}

bool TLazyTreeModel::DoNodeCopying(PLazyNode node, PLazyNode target) {
  bool allowed = true;
  if (OnNodeCopying) OnNodeCopying(*this, node, target, allowed);
  return allowed;
}

void TLazyTreeModel::DoNodeCopied(PLazyNode node) {
  if (OnNodeCopied) OnNodeCopied(*this, node);
}

}  // namespace kv
