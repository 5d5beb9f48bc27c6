#pragma once
// The window-free half of the lazy tree control: nodes, counters, navigation,
// sorting, selection, focus, change notification, the position cache, expand
// and collapse, update locking and the scroll geometry. The window half
// (TBaseLazyTree) derives from this class and from the GUI layer's control and
// overrides the hooks in the "window hooks" section; without a window they do
// nothing, which is what the model's tests run against.
//
// Threads: everything here runs on the user-interface thread, except
// BuildCache and WorkerStateChange, which the cache worker calls.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "treeview/check_types.h"
#include "treeview/lazy_node.h"
#include "treeview/node_pool.h"
#include "treeview/node_stream.h"
#include "treeview/position_cache.h"
#include "treeview/shift_state.h"
#include "treeview/tree_options.h"
#include "treeview/tree_states.h"

namespace kv {

struct TLazyRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool operator==(const TLazyRect&) const = default;
};

inline constexpr unsigned kDefaultNodeHeight = 18;
// Timer ids of the tree's window used by this half.
inline constexpr unsigned kChangeTimer = 5;
inline constexpr unsigned kStructureChangeTimer = 6;
inline constexpr unsigned kScrollTimer = 4;
inline constexpr unsigned kEditTimer = 2;  // a click's pending edit
// Pixels around the panning origin in which wheel panning does not scroll.
inline constexpr int kPanningDeadZone = 8;
// Option bits of DoSetOffsetXY.
inline constexpr unsigned kSoInvalidateHeader = 1, kSoRepaintScrollBars = 2, kSoScrollClient = 4,
                          kSoUpdateScrollBars = 8;
inline constexpr unsigned kSoAllScrollOptions =
    kSoInvalidateHeader | kSoRepaintScrollBars | kSoScrollClient | kSoUpdateScrollBars;

class TLazyTreeModel : public TCacheClient {
 public:
  using TTree = TLazyTreeModel;
  // Events, fired only when set; the tree passes itself as the sender.
  std::function<void(TTree&, PLazyNode parent, PLazyNode node, TLazyNodeInitStates&)> OnInitNode;
  std::function<void(TTree&, PLazyNode node, std::uint32_t& childCount)> OnInitChildren;
  std::function<void(TTree&, PLazyNode node)> OnFreeNode;
  std::function<void(TTree&, int& dataSize)> OnGetNodeDataSize;
  std::function<void(TTree&, PLazyNode node)> OnResetNode;
  std::function<void(TTree&, PLazyNode node, TChangeReason)> OnStructureChange;
  std::function<void(TTree&, PLazyNode node)> OnChange;
  std::function<void(TTree&, TLazyTreeStates enter, TLazyTreeStates leave)> OnStateChange;
  std::function<void(TTree&, PLazyNode n1, PLazyNode n2, TColumnIndex, int& result)> OnCompareNodes;
  std::function<void(TTree&, PLazyNode oldNode, PLazyNode newNode, TColumnIndex oldColumn,
                     TColumnIndex newColumn, bool& allowed)>
      OnFocusChanging;
  std::function<void(TTree&, PLazyNode node, TColumnIndex column)> OnFocusChanged;
  std::function<void(TTree&, PLazyNode node, bool& allowed)> OnExpanding;
  std::function<void(TTree&, PLazyNode node, bool& allowed)> OnCollapsing;
  std::function<void(TTree&, PLazyNode node)> OnExpanded;
  std::function<void(TTree&, PLazyNode node)> OnCollapsed;
  std::function<void(TTree&, int deltaX, int deltaY)> OnScroll;
  std::function<void(TTree&, TLTUpdateState)> OnUpdating;
  std::function<void(TTree&, PLazyNode node, TCheckState& newState, bool& allowed)> OnChecking;
  std::function<void(TTree&, PLazyNode node)> OnChecked;

  // `options` comes from the most-derived class (constructors do not dispatch
  // to derived classes); null gives the plain option class.
  explicit TLazyTreeModel(std::unique_ptr<TCustomLazyTreeOptions> options = nullptr);
  ~TLazyTreeModel() override;
  TLazyTreeModel(const TLazyTreeModel&) = delete;
  TLazyTreeModel& operator=(const TLazyTreeModel&) = delete;

  // ---------------------------------------------------------------- nodes --
  PLazyNode RootNode();  // made on first need
  std::uint32_t RootNodeCount();
  void SetRootNodeCount(std::uint32_t count);
  std::uint32_t ChildCount(PLazyNode node);
  void SetChildCount(PLazyNode node, std::uint32_t count);
  PLazyNode AddChild(PLazyNode parent, void* userData = nullptr);
  int NodeDataSize() const { return nodeDataSize_; }
  void SetNodeDataSize(int size);
  void* GetNodeData(PLazyNode node);
  std::uint32_t AllocateInternalDataArea(std::uint32_t size);
  std::uint32_t DefaultNodeHeight() const { return defaultNodeHeight_; }
  void SetDefaultNodeHeight(std::uint32_t height);
  std::uint32_t NodeHeight(PLazyNode node);
  void SetNodeHeight(PLazyNode node, std::uint32_t height);
  bool HasChildren(PLazyNode node) const;
  void SetHasChildren(PLazyNode node, bool value);
  bool MultiLine(PLazyNode node) const;
  void SetMultiLine(PLazyNode node, bool value);
  bool Visible(PLazyNode node);
  // Hides or shows a node (and its subtree); counters, heights and the cache follow.
  void SetNodeVisible(PLazyNode node, bool value);
  bool FullyVisible(PLazyNode node);
  bool ChildrenInitialized(PLazyNode node) const;
  std::uint32_t VisibleCount() const { return visibleCount_; }
  std::uint32_t TotalCount() { return RootNode()->TotalCount - 1; }
  // Whether `node` is a node of this tree that has not been freed.
  bool IsLiveNode(const void* node) const;

  void InitNode(PLazyNode node);
  void InitChildren(PLazyNode node);
  virtual void ReinitNode(PLazyNode node, bool recursive);
  virtual void ReinitChildren(PLazyNode node, bool recursive);
  virtual void ResetNode(PLazyNode node);
  void ValidateNode(PLazyNode node, bool recursive);
  void ValidateChildren(PLazyNode node, bool recursive);

  void DeleteNode(PLazyNode node, bool reindex = true);
  void DeleteChildren(PLazyNode node, bool resetHasChildren = false);
  virtual void Clear();

  void InternalConnectNode(PLazyNode node, PLazyNode destination, TLazyTreeModel& target,
                           TLTNodeAttachMode mode);
  void InternalDisconnectNode(PLazyNode node, bool keepFocus, bool reindex = true);

  void AdjustTotalCount(PLazyNode node, std::int64_t value, bool relative);
  void AdjustTotalHeight(PLazyNode node, std::int64_t value, bool relative);
  std::uint32_t CountVisibleChildren(PLazyNode node) const;
  int CountLevelDifference(PLazyNode node1, PLazyNode node2) const;
  void DetermineHiddenChildrenFlag(PLazyNode node);
  void DetermineHiddenChildrenFlagAllNodes();

  // ----------------------------------------------------------- navigation --
  PLazyNode GetFirst();
  PLazyNode GetFirstNoInit();
  PLazyNode GetFirstInitialized();
  PLazyNode GetNextInitialized(PLazyNode node);
  PLazyNode GetFirstChild(PLazyNode node);
  PLazyNode GetLastChild(PLazyNode node);
  PLazyNode GetLastChildNoInit(PLazyNode node);
  PLazyNode GetFirstVisible();
  PLazyNode GetFirstVisibleNoInit() const;
  PLazyNode GetFirstVisibleChild(PLazyNode node);
  PLazyNode GetFirstVisibleChildNoInit(PLazyNode node) const;
  PLazyNode GetLast(PLazyNode node = nullptr);
  PLazyNode GetLastNoInit(PLazyNode node = nullptr);
  PLazyNode GetLastVisible(PLazyNode node = nullptr);
  PLazyNode GetLastVisibleNoInit(PLazyNode node = nullptr);
  PLazyNode GetLastVisibleChild(PLazyNode node);
  PLazyNode GetLastVisibleChildNoInit(PLazyNode node);
  PLazyNode GetNext(PLazyNode node);
  PLazyNode GetNextNoInit(PLazyNode node) const;
  PLazyNode GetNextSibling(PLazyNode node);
  PLazyNode GetPreviousSibling(PLazyNode node);
  PLazyNode GetNextVisibleSibling(PLazyNode node);
  PLazyNode GetNextVisibleSiblingNoInit(PLazyNode node) const;
  PLazyNode GetPreviousVisibleSibling(PLazyNode node);
  PLazyNode GetPreviousVisibleSiblingNoInit(PLazyNode node) const;
  PLazyNode GetNextVisible(PLazyNode node);
  PLazyNode GetNextVisibleNoInit(PLazyNode node) const;
  PLazyNode GetPrevious(PLazyNode node);
  PLazyNode GetPreviousNoInit(PLazyNode node);
  PLazyNode GetPreviousVisible(PLazyNode node);
  PLazyNode GetPreviousVisibleNoInit(PLazyNode node);
  PLazyNode GetVisibleParent(PLazyNode node);
  int GetNodeLevel(PLazyNode node) const;
  bool HasAsParent(PLazyNode node, PLazyNode candidate) const;
  bool HasVisibleNextSibling(PLazyNode node) const;
  bool IsFirstVisibleChild(PLazyNode parent, PLazyNode node) const;
  bool IsLastVisibleChild(PLazyNode parent, PLazyNode node) const;

  // -------------------------------------------------------------- sorting --
  virtual void Sort(PLazyNode node, TColumnIndex column, TSortDirection direction,
                    bool doInit = true);
  void SortTree(TColumnIndex column, TSortDirection direction, bool doInit = true);

  // ------------------------------------------------------------ selection --
  bool Selected(PLazyNode node) const;
  void SetSelected(PLazyNode node, bool value);
  std::uint32_t SelectedCount() const { return static_cast<std::uint32_t>(selection_.size()) - markedCount_; }
  void AddToSelection(PLazyNode node);
  void AddToSelection(const PLazyNode* nodes, std::size_t count, bool force = false);
  void RemoveFromSelection(PLazyNode node);
  void ClearSelection();
  void SelectNodes(PLazyNode startNode, PLazyNode endNode, bool addOnly);
  void ToggleSelection(PLazyNode startNode, PLazyNode endNode);
  void SelectAll(bool visibleOnly);
  void InvertSelection(bool visibleOnly);
  PLazyNode GetFirstSelected();
  PLazyNode GetNextSelected(PLazyNode node);
  std::vector<PLazyNode> GetSortedSelection(bool trimOverlapped);
  virtual void DeleteSelectedNodes();
  void ResetRangeAnchor();
  // A missing anchor becomes the first selected node, else the first node.
  void EnsureRangeAnchor();
  // The selection array without entries marked for removal, in address order.
  std::vector<PLazyNode> SelectionEntries() const;
  PLazyNode RangeAnchor() const { return rangeAnchor_; }
  int SelectionLevel() const { return selectionLevel_; }
  void SetSelectionLevel(int level) { selectionLevel_ = level; }
  void SetRangeAnchor(PLazyNode node) { rangeAnchor_ = node; }
  // Collects the nodes whose place relative to a rubber band changed between
  // `oldRect` and `newRect` (tree coordinates); the left-to-right rules, or
  // mirrored. `right` is the column's edge; each node's own limit is
  // SpannedCellRight of it. True when something was collected or removed.
  bool CollectSelectedNodesLTR(TColumnIndex mainColumn, int left, TLazyRect oldRect,
                               TLazyRect newRect, int alignment, int right);
  bool CollectSelectedNodesRTL(TColumnIndex mainColumn, int left, TLazyRect oldRect,
                               TLazyRect newRect, int alignment, int right);
  bool CollectSelectedNodes(bool mirrored, TColumnIndex mainColumn, int left, TLazyRect oldRect,
                            TLazyRect newRect, int alignment, int right);
  void HandleClickSelection(PLazyNode lastFocused, PLazyNode newNode, TShiftState shift, bool dragPending);
  static TLazyRect OrderRect(TLazyRect r);
  // Rubber band: starts at the client point (both rectangles empty there),
  // follows the mouse, and selects what it covers.
  void BeginDrawSelection(int x, int y, bool ctrl);
  void EndDrawSelection();
  bool CalculateSelectionRect(int x, int y);
  bool HandleDrawSelection();
  bool IsMouseSelecting() const;
  TLazyRect SelectionRect() const { return newSelectionRect_; }
  TLazyRect OldSelectionRect() const { return oldSelectionRect_; }

  // ---------------------------------------------------------------- focus --
  PLazyNode FocusedNode() const { return focusedNode_; }
  void SetFocusedNode(PLazyNode node);
  TColumnIndex FocusedColumn() const { return focusedColumn_; }
  void SetFocusedColumn(TColumnIndex column) { focusedColumn_ = column; }
  void SetFocusedNodeAndColumn(PLazyNode node, TColumnIndex column);
  PLazyNode HotNode() const { return hotNode_; }
  void SetHotNode(PLazyNode node) { hotNode_ = node; }
  PLazyNode DropTargetNode() const { return dropTargetNode_; }
  void SetDropTargetNode(PLazyNode node) { dropTargetNode_ = node; }

  // --------------------------------------------------- change notification --
  void Change(PLazyNode node);
  void StructureChange(PLazyNode node, TChangeReason reason);
  unsigned ChangeDelay() const { return changeDelay_; }
  void SetChangeDelay(unsigned ms) { changeDelay_ = ms; }
  TLazyTreeStates TreeStates() const { return states_; }
  virtual void DoStateChange(TLazyTreeStates enter, TLazyTreeStates leave = {});
  // Timer expiry of the change timers (ids 5 and 6).
  void ChangeTimerExpired(unsigned id);
  [[noreturn]] static void ShowError(const std::string& message, int code);

  // ------------------------------------------------------- position cache --
  void InvalidateCache();
  void ValidateCache();
  void InterruptValidation();
  // Stops a build without taking a finished cache out of use.
  void StopCacheBuild();
  // The cached node at or before `node` in display order, or at or above a position.
  PLazyNode FindInPositionCache(PLazyNode node, std::uint32_t& top) const;
  PLazyNode FindInPositionCache(std::uint32_t position, std::uint32_t& top) const;
  int CompareNodePositions(PLazyNode node1, PLazyNode node2) const;
  const TCache& PositionCache() const { return cache_; }
  // Applies what the worker reported (the bits of the state-change message).
  void WMChangeState(unsigned enter, unsigned leave);
  // Without a window the worker's reports wait in a mailbox until this runs.
  void DeliverWorkerStates();
  // A single-threaded build, as the worker would make it (for checks).
  TCache BuildCacheNow() const;
  void InternalCacheNode(PLazyNode node);
  void ClearTempCache();

  // ----------------------------------------------- expand, update, scroll --
  bool Expanded(PLazyNode node) const;
  void SetExpanded(PLazyNode node, bool value);
  void ToggleNode(PLazyNode node);
  virtual void FullExpand(PLazyNode node = nullptr);
  virtual void FullCollapse(PLazyNode node = nullptr);
  void BeginUpdate();
  void EndUpdate();
  std::uint32_t UpdateCount() const { return updateCount_; }
  unsigned AnimationDuration() const { return animationDuration_; }
  void SetAnimationDuration(unsigned ms);
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  void SetOffsetX(int x);
  void SetOffsetY(int y);
  bool DoSetOffsetXY(int x, int y, unsigned options, const TLazyRect* clip = nullptr);
  std::uint32_t RangeX() const { return rangeX_; }
  std::uint32_t RangeY() const { return rangeY_; }
  // Without columns the horizontal range is the widest extent among the shown
  // nodes: each node's extent is noted where it is painted and forgotten when
  // the node goes. A note raises the range at once; anything that may lower it
  // (a node gone or narrower, a collapse, a hidden or moved node) makes the next
  // UpdateScrollBars recompute it.
  void NoteNodeExtent(PLazyNode node, std::uint32_t right);
  void ResetRangeX() {
    rangeX_ = 0;
    nodeExtents_.clear();
    rangeXDue_ = false;
  }
  bool RangeXDue() const { return rangeXDue_; }
  PLazyNode TopNode();
  void SetTopNode(PLazyNode node);
  bool ScrollIntoView(PLazyNode node, bool center, bool horizontally = false);
  virtual void UpdateScrollBars(bool doRepaint);
  // Each recomputes its range, sets its bar and pulls the offset back into the range.
  void UpdateVerticalScrollBar(bool doRepaint);
  void UpdateHorizontalScrollBar(bool doRepaint);
  void UpdateVerticalRange();
  unsigned AutoScrollDelay() const { return autoScrollDelay_; }
  void SetAutoScrollDelay(unsigned ms) { autoScrollDelay_ = ms; }
  unsigned AutoScrollInterval() const { return autoScrollInterval_; }
  void SetAutoScrollInterval(unsigned ms) { autoScrollInterval_ = ms < 1 ? 1 : ms > 1000 ? 1000 : ms; }
  // Directions to scroll for the mouse at (x, y) in client coordinates (bits
  // 1 left, 2 up, 4 right, 8 down), once it rested AutoScrollDelay at an edge.
  unsigned DetermineScrollDirections(int x, int y);
  // Forgets when the mouse came to an edge: the next one waits the delay again.
  void ResetScrollStart() {
    scrollEdgeNoted_ = false;
    scrollEdgeSince_ = 0;
  }
  virtual void DoAutoScroll(int x, int y);
  unsigned AutoScrollDirections() const { return scrollDirections_; }
  // Panning start point while wheel panning runs (client coordinates).
  void SetPanningStart(int x, int y) { panningX_ = x; panningY_ = y; }
  int PanningX() const { return panningX_; }
  int PanningY() const { return panningY_; }
  unsigned Indent() const { return indent_; }
  void SetIndent(unsigned indent) { indent_ = indent; }
  int Margin() const { return margin_; }
  void SetMargin(int margin) { margin_ = margin; }
  unsigned VerticalIncrement() const { return verticalIncrement_; }
  void SetVerticalIncrement(unsigned v) { verticalIncrement_ = v; }
  unsigned HorizontalIncrement() const { return horizontalIncrement_; }
  void SetHorizontalIncrement(unsigned v) { horizontalIncrement_ = v; }

  // ------------------------------------------------------------- geometry --
  PLazyNode GetNodeAt(int x, int y);
  PLazyNode GetNodeAt(int x, int y, bool relative, int& nodeTop);
  TLazyRect GetDisplayRect(PLazyNode node, TColumnIndex column, bool textOnly,
                           bool unclipped = false);
  // Narrows a cell `r` to where the node's text lies (GetDisplayRect's text-only part).
  void PlaceText(TLazyRect& r, PLazyNode node, TColumnIndex column, int inset, bool unclipped);
  // The node's row in client coordinates when it lies (partly) on screen;
  // costs the node's depth plus the rows on screen.
  bool RowOnScreen(PLazyNode node, TLazyRect& row);
  TLazyRect GetTreeRect() const;
  virtual TLazyRect InvalidateNode(PLazyNode node);
  void InvalidateToBottom(PLazyNode node);
  void InvalidateChildren(PLazyNode node, bool recursive);
  void RepaintNode(PLazyNode node);
  // The size the tree is shown in (the window's client area).
  int ViewWidth() const { return viewWidth_; }
  int ViewHeight() const { return viewHeight_; }
  void SetViewSize(int width, int height);

  // ----------------------------------------------------------- check boxes --
  TCheckState GetCheckState(PLazyNode node) const { return static_cast<TCheckState>(node->CheckState); }
  // Asks OnChecking, then changes and propagates the state with OnChecked.
  void SetCheckState(PLazyNode node, TCheckState value);
  // Writes the state byte and repaints the node: no events, no propagation
  // (for owners that restore states they keep themselves).
  void WriteCheckState(PLazyNode node, TCheckState value);
  TCheckType GetCheckType(PLazyNode node) const { return static_cast<TCheckType>(node->CheckType); }
  void SetCheckType(PLazyNode node, TCheckType value);
  bool ChangeCheckState(PLazyNode node, TCheckState newState);
  bool CheckParentCheckState(PLazyNode node, TCheckState newState);
  virtual TCheckState DetermineNextCheckState(TCheckType type, TCheckState state) const;
  // The node's image in the current check image list; -1 for none.
  virtual int GetCheckImage(PLazyNode node);
  virtual bool DoChecking(PLazyNode node, TCheckState& newState);
  virtual void DoCheckClick(PLazyNode node, TCheckState newState);
  virtual void DoChecked(PLazyNode node);

  // -------------------------------------------------------------- options --
  TCustomLazyTreeOptions& TreeOptions() { return *options_; }
  const TCustomLazyTreeOptions& TreeOptions() const { return *options_; }
  void SetTreeOptions(const TCustomLazyTreeOptions& options) { options.AssignTo(*options_); }
  // Side effects of a changed option set (the option object calls this).
  virtual void OptionsChanged(TLTOptionSet which, std::uint32_t oldValue, std::uint32_t newValue);

  // Bytes the node blocks take (pool slabs and bookkeeping).
  std::size_t NodeMemoryBytes() const { return pool_.ReservedBytes(); }
  // Nodes visited by the position walks, for the benchmarks.
  std::uint64_t WalkedNodes() const { return walkedNodes_; }

  // --------------------------------------------------------- node streams --
  // (lazy_tree_stream.cpp) The owner's data of a node; the root passes nil.
  std::function<void(TTree&, PLazyNode node, TNodeStream& stream)> OnSaveNode;
  std::function<void(TTree&, PLazyNode node, TNodeStream& stream)> OnLoadNode;
  // After a whole load, with nil; after each pasted or dropped node, with it.
  std::function<void(TTree&, PLazyNode node)> OnNodeCopied;
  // Whether a node restored from clipboard or drag data may stay (default yes).
  std::function<void(TTree&, PLazyNode node, PLazyNode target, bool& allowed)> OnNodeCopying;
  // Nil writes the whole tree; a node writes itself with its subtree.
  virtual void SaveToStream(TNodeStream& stream, PLazyNode node = nullptr);
  // Replaces the tree. A stream that is no node stream, or of a newer
  // version, leaves the tree as it was; a damaged one keeps what was read.
  virtual void LoadFromStream(TNodeStream& stream);
  virtual void LoadFromFile(const std::filesystem::path& name);
  // Replaces the file in one step, so that a failed save leaves the old one
  // (Windows builds only: lazy_tree_stream_win.cpp).
  void SaveToFile(const std::filesystem::path& name);
  void WriteNode(TNodeStream& stream, PLazyNode node);
  // The node's chunks after its base chunk (which WriteNode writes with the
  // children inside): the owner's data; descendants add theirs after it.
  virtual void WriteChunks(TNodeStream& stream, PLazyNode node);
  void WriteBaseChunkHead(TNodeStream& stream, PLazyNode node, std::uint32_t childCount);
  static void FinishChunkHeader(TNodeStream& stream, std::int64_t start, std::int64_t end);
  // Reads one node chunk into `node` (nil: the root), version 2 rules for
  // chunks without the file header.
  void InternalAddFromStream(TNodeStream& stream, int version, PLazyNode node);
  virtual void ReadNode(TNodeStream& stream, int version, PLazyNode node);
  virtual bool ReadChunk(TNodeStream& stream, int version, PLazyNode node, std::uint32_t chunkType,
                         std::uint32_t chunkSize);
  virtual void SkipNode(TNodeStream& stream);
  // Node chunks without the file header (clipboard and drag data): each
  // becomes a new node attached to `target` by `mode` and is offered to
  // DoNodeCopying. A chunk that fails to read leaves no node behind and ends
  // the reading with its error. Answers the nodes kept.
  std::uint32_t AddNodesFromStream(TNodeStream& stream, PLazyNode target, TLTNodeAttachMode mode,
                                   TChangeReason reason);

  // ---------------------------------------------------------- moving --
  // (lazy_tree_move.cpp) Moves `source` (or only its children) to `target`,
  // which may lie in another tree (through the node stream); null means this
  // tree's root, first child.
  std::function<void(TTree&, PLazyNode node, PLazyNode target, bool& allowed)> OnNodeMoving;
  std::function<void(TTree&, PLazyNode node)> OnNodeMoved;
  void MoveTo(PLazyNode source, PLazyNode target, TLTNodeAttachMode mode, bool childrenOnly,
              TLazyTreeModel* targetTree = nullptr);

  // ------------------------------------------------------- cut/copy set --
  // (lazy_tree_cut_copy.cpp) Nodes marked by a pending cut or copy.
  void MarkCutCopyNodes();
  void CancelCutOrCopy();
  // Deletes what a pending cut marked, in one update, each parent renumbered once.
  void FinishCutOrCopy();
  // Takes the cut/copy mark from `node` and every node below it.
  void UnmarkCutCopySubtree(PLazyNode node);
  PLazyNode GetFirstCutCopy();
  PLazyNode GetNextCutCopy(PLazyNode node);
  // Marked nodes in tree order; with `resolve` none below another.
  std::vector<PLazyNode> GetSortedCutCopySet(bool resolve);
  // Deletes `nodes` (none the ancestor of another) in one update; each parent
  // is renumbered once at the end.
  void DeleteNodesOnce(const std::vector<PLazyNode>& nodes);

 protected:
  // Clears every node with the derived class's dispatchers still in place;
  // the most-derived destructor calls it (the base destructor calls it again
  // as a no-op). Ends cache work for this tree and drops the worker reference.
  void DestroyNodes();

  // Dispatchers (descendants override them, base behaviour fires the event).
  virtual void DoInitNode(PLazyNode parent, PLazyNode node, TLazyNodeInitStates& initStates);
  virtual void DoInitChildren(PLazyNode node, std::uint32_t& childCount);
  virtual void DoFreeNode(PLazyNode node);
  virtual void DoReset(PLazyNode node);
  virtual void ValidateNodeDataSize(int& size);
  virtual int DoCompare(PLazyNode node1, PLazyNode node2, TColumnIndex column);
  virtual void DoChange(PLazyNode node);
  virtual void DoStructureChange(PLazyNode node, TChangeReason reason);
  virtual bool DoFocusChanging(PLazyNode oldNode, PLazyNode newNode, TColumnIndex oldColumn,
                               TColumnIndex newColumn);
  virtual void DoFocusChange(PLazyNode node, TColumnIndex column);
  virtual bool DoFocusNode(PLazyNode node, bool ask);
  virtual bool DoExpanding(PLazyNode node);
  virtual void DoExpanded(PLazyNode node);
  virtual bool DoCollapsing(PLazyNode node);
  virtual void DoCollapsed(PLazyNode node);
  virtual void DoScroll(int deltaX, int deltaY);
  virtual void DoUpdating(TLTUpdateState state);
  virtual void DoSaveUserData(PLazyNode node, TNodeStream& stream);
  virtual void DoLoadUserData(PLazyNode node, TNodeStream& stream);
  virtual void DoNodeCopied(PLazyNode node);
  virtual bool DoNodeCopying(PLazyNode node, PLazyNode target);
  virtual bool DoNodeMoving(PLazyNode node, PLazyNode target);
  virtual void DoNodeMoved(PLazyNode node);
  // Editing arrives later; the base answers "no edit running".
  virtual bool DoEndEdit() { return true; }
  virtual bool DoCancelEdit() { return true; }
  // Width of the node's content in a column (painting supplies it).
  virtual int DoGetNodeWidth(PLazyNode /*node*/, TColumnIndex /*column*/) { return 0; }
  // Extra space before the content (check, state and normal images).
  virtual int ContentImagesWidth(PLazyNode /*node*/, TColumnIndex /*column*/) { return 0; }
  // The right edge of a node's cell whose column ends at `right`: further
  // right where the tree lets the cell run over following empty columns.
  virtual int SpannedCellRight(PLazyNode /*node*/, TColumnIndex /*column*/, int right) { return right; }
  // Measures a node's height once under toVariableNodeHeight (painting).
  virtual void MeasureItemHeight(PLazyNode /*node*/) {}
  // Called for every node just before its memory goes: every reference the
  // tree keeps to it must be dropped here. Descendants that keep further
  // references override and call the base.
  virtual void ForgetNode(PLazyNode node);

  // Header facts (the header arrives later; without it there are no columns).
  virtual bool HeaderUsesColumns() const { return false; }
  virtual TColumnIndex HeaderMainColumn() const { return kNoColumn; }
  virtual TColumnIndex HeaderSortColumn() const { return kNoColumn; }
  virtual TSortDirection HeaderSortDirection() const { return TSortDirection::sdAscending; }
  // A column's absolute left and right edge (false when there is no such column).
  virtual bool HeaderColumnBounds(TColumnIndex /*column*/, int& /*left*/, int& /*right*/) const { return false; }
  // Right edge of the last visible column: the horizontal range with columns.
  virtual int HeaderColumnsWidth() const { return 0; }
  // How a column's content is placed: 0 left, 1 right, 2 centred as set (not
  // mirrored), and whether it reads right to left. Column -1: the tree's own.
  virtual int HeaderColumnAlignment(TColumnIndex /*column*/, bool& rightToLeft) const {
    rightToLeft = false;
    return 0;
  }
  // The column itself when it is shown, else the first visible column (-2: none).
  virtual TColumnIndex HeaderVisibleColumn(TColumnIndex column) const { return column; }

  // Window hooks: no-ops without a window.
  virtual bool HasWindow() const { return false; }
  // Whether the control is still being built from its layout.
  virtual bool TreeLoading() const { return false; }
  // Whether the control accepts input (a disabled window shows disabled checks).
  virtual bool TreeEnabled() const { return true; }
  virtual bool Destroying() const { return destroying_; }
  virtual void InvalidateClientRect(const TLazyRect* /*rect*/) {}
  virtual void RedrawRectNow(const TLazyRect& /*rect*/) {}
  virtual void SetUpdateState(bool /*updating*/) {}
  virtual bool StartTimer(unsigned /*id*/, unsigned /*ms*/) { return false; }
  virtual void StopTimer(unsigned /*id*/) {}
  virtual void ScrollClient(int /*dx*/, int /*dy*/, const TLazyRect* /*clip*/) {}
  virtual void ApplyScrollBars(bool /*repaint*/, bool /*vertical*/, bool /*horizontal*/) {}
  // Around a scroll: hides the tree's own drag image when it shows (true
  // then), and shows it again.
  virtual bool HideOwnDragImage() { return false; }
  virtual void ShowOwnDragImage() {}
  // Redraws the header strip (the columns moved sideways).
  virtual void InvalidateHeader() {}
  virtual bool MouseButtonHeld() const { return false; }
  // Milliseconds of a steady clock (tests replace it).
  virtual std::uint64_t TickCount() const;
  virtual bool CanAutoScroll() const;
  // Runs first when the nodes go at destruction (the window half hands its
  // clipboard data over then).
  virtual void ReleaseExchange() {}
  // Empties the clipboard when it holds this tree's data (and nobody else's).
  virtual void EmptyOwnClipboard() {}
  // Whether the tree is the current OLE drop target (the drag manager arrives later).
  virtual bool IsDropTarget() const { return false; }
  // Whether a client point lies over this tree and not over another window.
  virtual bool PointOverTree(int /*x*/, int /*y*/) const { return true; }
  // Slides the client area from `top` (client coordinates) to its bottom
  // (expand: down, collapse: up) by `distance`.
  virtual void AnimateToggle(int /*top*/, bool /*expanding*/, int /*distance*/) {}
  // Paints what waits to be painted, at once.
  virtual void UpdateWindowNow() {}
  // Takes a showing hint away (the window half hides its hint window).
  virtual void CancelHint() { DoStateChange({}, {tsHintShowing}); }
  // The offsets moved (the window half cancels the hint and follows the mouse).
  virtual void OffsetsMoved() {}
  // The height of the horizontal scroll bar when it is about to appear, else 0.
  virtual int HorizontalBarDueHeight() const { return 0; }
  // Reports from the worker, on the worker thread; without a window they go
  // to the mailbox. The window half sends them as a message instead.
  void WorkerStateChange(unsigned enter, unsigned leave) override;
  // Waits for the worker to leave this tree; the window half delivers sent
  // messages meanwhile.
  virtual void WaitForWorker();

  bool BuildCache(TCache& cache, const std::atomic<bool>& stop) const override;

  // Internals shared by the split sources.
  PLazyNode MakeNewNode();
  void FreeNodeMemory(PLazyNode node);
  void AdviseChangeEvent(bool structural, PLazyNode node, TChangeReason reason);
  bool InternalAddToSelection(PLazyNode node, bool force);
  bool InternalAddToSelection(PLazyNode* nodes, std::size_t count, bool force);
  void InternalRemoveFromSelection(PLazyNode node);
  void InternalClearSelection();
  // Binary search by address between the bounds (inclusive; a bound below 0
  // means the array's end); on a hit the first equal entry. `index` is the hit
  // or the place the node would go.
  bool FindNodeInSelection(PLazyNode node, std::ptrdiff_t& index, std::ptrdiff_t upperBound,
                           std::ptrdiff_t lowerBound) const;
  // Drops the entries marked for removal (lowest address bit set), keeping the
  // order; answers the new count, -1 for an empty array.
  static std::ptrdiff_t PackArray(PLazyNode* array, std::ptrdiff_t count);
  void PackSelection();
  void SortChildren(PLazyNode node, TColumnIndex column, TSortDirection direction);
  // Sort's steps after the cache was taken out of use; false when nothing
  // was sorted (an edit that would not end, a node without children).
  bool SortNode(PLazyNode node, TColumnIndex column, TSortDirection direction, bool doInit);
  void SortTreeLevel(PLazyNode node, TColumnIndex column, TSortDirection direction, bool doInit);
  bool IsRoot(PLazyNode node) const { return node == root_; }
  bool ReadOnly() const { return (options_->MiscOptions() & toReadOnly) != 0; }
  bool HasOption(TLTAutoOption o) const { return (options_->AutoOptions() & o) != 0; }
  bool HasOption(TLTSelectionOption o) const { return (options_->SelectionOptions() & o) != 0; }
  bool HasOption(TLTMiscOption o) const { return (options_->MiscOptions() & o) != 0; }
  bool HasOption(TLTPaintOption o) const { return (options_->PaintOptions() & o) != 0; }
  bool HasOption(TLTAnimationOption o) const { return (options_->AnimationOptions() & o) != 0; }
  PLazyNode NilForRoot(PLazyNode node) const { return node == root_ ? nullptr : node; }
  bool TopOnScreen(PLazyNode& node, std::uint32_t& top);
  std::uint32_t NodeTopByWalk(PLazyNode node);
  void CountWalk(std::uint64_t n = 1) const { walkedNodes_ += n; }
  void EnsureNodeDataSize();

  // The node reader's nesting depth and the end of the chunk it reads in.
  int streamDepth_ = 0;
  std::int64_t streamLimit_ = 0;
  TLazyTreeStates states_;
  bool destroying_ = false;

 private:
  // Deletes the subtree below `top` without recursion (DeleteChildren's work).
  void FreeDescendants(PLazyNode top, std::exception_ptr& failure);

  std::unique_ptr<TCustomLazyTreeOptions> options_;
  TNodePool pool_;
  std::vector<std::uint64_t> rootStorage_;
  PLazyNode root_ = nullptr;
  std::uint32_t internalDataSize_ = 0;
  int nodeDataSize_ = -1;
  std::uint32_t defaultNodeHeight_ = kDefaultNodeHeight;
  std::uint32_t visibleCount_ = 0;
  std::uint32_t updateCount_ = 0;
  bool released_ = false;

  std::vector<std::uintptr_t> selection_;  // ascending; lowest bit marks removal
  std::uint32_t markedCount_ = 0;
  PLazyNode rangeAnchor_ = nullptr;
  int selectionLevel_ = -1;
  bool drawSelectionCtrl_ = false;
  std::vector<PLazyNode> tempNodes_;

  PLazyNode focusedNode_ = nullptr;
  TColumnIndex focusedColumn_ = kNoColumn;
  PLazyNode hotNode_ = nullptr;
  PLazyNode dropTargetNode_ = nullptr;
  PLazyNode lastChangedNode_ = nullptr;
  PLazyNode lastStructureChangeNode_ = nullptr;
  TChangeReason lastStructureChangeReason_ = TChangeReason::crNone;
  unsigned changeDelay_ = 0;
  unsigned checkPropagationDepth_ = 0;

  TCache cache_;
  std::mutex mailboxLock_;
  std::vector<std::pair<unsigned, unsigned>> mailbox_;

  // The node at the top of the client area with its top, kept while neither
  // the shape (cache generation) nor the vertical offset changed.
  struct ScreenAnchor {
    PLazyNode node = nullptr;
    std::uint32_t top = 0;
    std::uint64_t generation = ~std::uint64_t{0};
    int offsetY = 1;
  } screenAnchor_;

  unsigned animationDuration_ = 200;
  int offsetX_ = 0, offsetY_ = 0;
  std::uint32_t rangeX_ = 0, rangeY_ = 0;
  std::unordered_map<PLazyNode, std::uint32_t> nodeExtents_;  // see NoteNodeExtent
  bool rangeXDue_ = false;
  int viewWidth_ = 200, viewHeight_ = 100;
  unsigned indent_ = 18;
  int margin_ = 4;
  unsigned verticalIncrement_ = 20, horizontalIncrement_ = 20;
  unsigned autoScrollDelay_ = 1000, autoScrollInterval_ = 1;
  unsigned scrollDirections_ = 0;
  std::uint64_t scrollEdgeSince_ = 0;
  bool scrollEdgeNoted_ = false;
  int panningX_ = 0, panningY_ = 0;
  TLazyRect newSelectionRect_, oldSelectionRect_;
  mutable std::uint64_t walkedNodes_ = 0;

  friend class TCustomLazyTreeOptions;
};

}  // namespace kv
