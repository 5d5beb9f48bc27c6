#include "diagnostics/diag_stack_win.h"

#include <algorithm>
#include <cstring>
#include <atomic>
#include <typeindex>

#include "diagnostics/debug_info_win.h"
#include "diagnostics/diag_lock_win.h"
#include "diagnostics/frame_kind.h"
#include "diagnostics/pe_image_win.h"
#include "diagnostics/sys_info_win.h"

// The C++ run-time's personality routine: the handler of every frame whose
// function has destructors to run or exceptions to catch.
extern "C" EXCEPTION_DISPOSITION __gxx_personality_seh0(EXCEPTION_RECORD* record, void* frame, CONTEXT* context,
                                                        DISPATCHER_CONTEXT* dispatch);

namespace kv {
namespace {

constexpr int kMaxFrames = 4096;  // bounds a walk through corrupt unwind data
constexpr uint64_t kMaxLsdaBytes = 1 << 20;  // bounds the tables read for a frame's kind

std::atomic<uint8_t> gOptions{kStackTrackStack};
std::atomic<bool> gTracking{false};
std::atomic<int> gPauses{0};

// The recorded lists, at most one per thread and class. Lists are shared:
// a report keeps the one it prints even when the thread raises again.
// Inside a fault report the lock is tried for a bounded time only: a list
// that cannot be recorded is dropped, one that cannot be found is walked anew.
struct GlobalStackList {
  TDiagCriticalSection lock;
  std::vector<std::shared_ptr<TDiagStackBaseList>> lists;

  void AddObject(std::shared_ptr<TDiagStackBaseList> list) {
    const TDiagLockGuard guard(lock);
    if (!guard.Owns()) return;
    const std::type_index kind(typeid(*list));
    std::erase_if(lists, [&](const auto& item) {
      return item->ThreadID() == list->ThreadID() && std::type_index(typeid(*item)) == kind;
    });
    lists.push_back(std::move(list));
  }

  template <class T>
  std::shared_ptr<T> FindObject(DWORD threadId) {
    const TDiagLockGuard guard(lock);
    if (!guard.Owns()) return nullptr;
    for (const auto& item : lists) {
      if (item->ThreadID() == threadId && typeid(*item) == typeid(T)) return std::static_pointer_cast<T>(item);
    }
    return nullptr;
  }
};

GlobalStackList& StackLists() {
  static GlobalStackList list;
  return list;
}

struct GlobalModulesList {
  TDiagCriticalSection lock;
  std::shared_ptr<const TDiagModuleInfoList> kept;
};

GlobalModulesList& ModulesLists() {
  static GlobalModulesList list;
  return list;
}

// The highest address of the thread's stack: NT_TIB::StackBase, at gs:8.
uint64_t ThreadStackTop() noexcept {
  uint64_t top = 0;
  asm volatile("movq %%gs:8, %0" : "=r"(top));
  return top;
}

// One step up the stack: unwind data when the function has any, else a
// leaf whose return address sits at the stack pointer. False at the end.
// The handler of a frame, with its data and the start of its function.
struct FrameHandler {
  void* routine = nullptr;
  void* data = nullptr;
  uint64_t functionStart = 0;
};

bool UnwindOnce(CONTEXT& context, uint64_t top, FrameHandler* handler, DWORD64* establisher) {
  if (context.Rip == 0 || context.Rsp >= top) return false;
  DWORD64 imageBase = 0;
  RUNTIME_FUNCTION* entry = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
  const DWORD64 before = context.Rsp;
  if (handler != nullptr) *handler = FrameHandler{};
  *establisher = 0;
  if (entry != nullptr) {
    void* handlerData = nullptr;
    auto* routine = RtlVirtualUnwind(handler != nullptr ? UNW_FLAG_EHANDLER : UNW_FLAG_NHANDLER, imageBase,
                                     context.Rip, entry, &context, &handlerData, establisher, nullptr);
    if (handler != nullptr) {
      handler->routine = reinterpret_cast<void*>(routine);
      handler->data = handlerData;
      handler->functionStart = imageBase + entry->BeginAddress;
    }
  } else {
    if (context.Rsp + 8 > top) return false;
    context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
    context.Rsp += 8;
  }
  return context.Rip != 0 && context.Rsp > before && context.Rsp <= top;
}

void CurrentContext(CONTEXT& context) noexcept {
  RtlCaptureContext(&context);
}

// Copies committed, readable memory; false for anything else.
bool ReadMemory(uint64_t address, void* out, size_t count) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(reinterpret_cast<const void*>(address), &info, sizeof info) == 0) return false;
  if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || info.Protect == 0) return false;
  const uint64_t end = reinterpret_cast<uint64_t>(info.BaseAddress) + info.RegionSize;
  if (count > end - address) return false;
  std::memcpy(out, reinterpret_cast<const void*>(address), count);
  return true;
}

// The readable bytes from address to the end of its region, at most limit.
ByteView ReadableView(const void* address, uint64_t limit) {
  MEMORY_BASIC_INFORMATION info{};
  if (address == nullptr || VirtualQuery(address, &info, sizeof info) == 0) return {};
  if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD)) != 0 || info.Protect == 0) return {};
  const uint64_t end = reinterpret_cast<uint64_t>(info.BaseAddress) + info.RegionSize;
  return ByteView(address, static_cast<size_t>(std::min(limit, end - reinterpret_cast<uint64_t>(address))));
}

bool IsCxxPersonality(uint64_t routine) {
  if (routine == reinterpret_cast<uint64_t>(&__gxx_personality_seh0)) return true;
  // Another module's own copy of it, known by its name.
  return _stricmp(GetLocationInfo(reinterpret_cast<const void*>(routine)).procedureName.c_str(),
                  "__gxx_personality_seh0") == 0;
}

}  // namespace

uint8_t StackTrackingOptions() noexcept { return gOptions.load(); }
void SetStackTrackingOptions(uint8_t options) noexcept { gOptions.store(options); }

TDiagRecordingPause::TDiagRecordingPause() noexcept { gPauses.fetch_add(1); }
TDiagRecordingPause::~TDiagRecordingPause() { gPauses.fetch_sub(1); }

// ----------------------------------------------------------------- modules --

bool ModuleInfoFromImage(HMODULE module, bool systemModule, TDiagModuleInfo& info) {
  // The image reader's header check: readable headers of a 64-bit image.
  const auto view = LoadedModuleView(module);
  if (!view) return false;
  const uint64_t nt = *PeMapImgNtHeaders(*view);
  const auto magic = view->U16(nt + 24);
  const auto sizeOfImage = view->U32(nt + 24 + 56);
  const auto firstSection = PeMapImgSections(*view, nt);
  const auto sectionCount = view->U16(nt + 6);
  if (magic != kPe32PlusMagic || !sizeOfImage || !firstSection || !sectionCount) return false;
  const auto base = reinterpret_cast<uint64_t>(module);
  info = TDiagModuleInfo{};
  info.startAddr = base;
  info.size = *sizeOfImage;
  info.endAddr = base + info.size - 1;
  info.systemModule = systemModule;
  for (uint64_t i = 0; i < *sectionCount && i < 96; ++i) {
    const uint64_t header = *firstSection + i * sizeof(IMAGE_SECTION_HEADER);
    if (!view->Has(header, sizeof(IMAGE_SECTION_HEADER))) break;
    if ((*view->U32(header + 36) & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE)) == 0) continue;
    const uint64_t first = base + *view->U32(header + 12);
    const uint64_t last = std::min<uint64_t>(first + *view->U32(header + 8), info.endAddr + 1);
    if (first < last) info.codeRanges.emplace_back(first, last);
  }
  return true;
}

bool CreateModuleItem(uint64_t address, bool systemModule, TDiagModuleInfo& info) {
  HMODULE module = ModuleFromAddr(reinterpret_cast<const void*>(address));
  if (module == nullptr) return false;
  // Only a mapped image has headers to read at its allocation base.
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(module, &region, sizeof region) == 0 || region.Type != MEM_IMAGE) return false;
  return ModuleInfoFromImage(module, systemModule, info);
}

std::shared_ptr<const TDiagModuleInfoList> CreateDynamicModulesList() {
  return std::make_shared<TDiagModuleInfoList>(&CreateModuleItem);
}

std::shared_ptr<const TDiagModuleInfoList> CreateModulesList() {
  GlobalModulesList& global = ModulesLists();
  // Without the lock (a fault report) a list of its own, neither the kept one nor kept.
  const TDiagLockGuard guard(global.lock);
  if (guard.Owns() && global.kept) return global.kept;
  const uint8_t options = StackTrackingOptions();
  auto list = std::make_shared<TDiagModuleInfoList>();
  TDiagModuleInfo info;
  if ((options & kStackTrackAllModules) == 0) {
    if (ModuleInfoFromImage(GetModuleHandleW(nullptr), true, info)) list->Add(std::move(info));
  } else {
    std::vector<TDiagModuleEntry> modules;
    LoadedModulesList(modules, GetCurrentProcessId(), true);
    for (const TDiagModuleEntry& module : modules) {
      if (ModuleInfoFromImage(module.base, IsSystemModule(module.base), info)) list->Add(std::move(info));
    }
  }
  if (guard.Owns() && (options & kStackTrackKeepModules) != 0) global.kept = list;
  return list;
}

// ------------------------------------------------------------------ lists --

TDiagStackBaseList::TDiagStackBaseList() : threadId_(GetCurrentThreadId()) { GetLocalTime(&timeStamp_); }

TDiagStackInfoList::TDiagStackInfoList(bool raw, uint32_t ignoreLevels, const void* firstCaller, bool faultFirst,
                                       const CONTEXT* start, uint64_t stackTop)
    : ignoreLevels_(ignoreLevels), ownFrames_(start == nullptr ? 1 : 0), faultFirst_(faultFirst && firstCaller != nullptr) {
  topOfStack_ = stackTop != 0 ? stackTop : ThreadStackTop();
  const std::shared_ptr<const TDiagModuleInfoList> modules = CreateModulesList();
  const bool allModules = (StackTrackingOptions() & kStackTrackAllModules) != 0;
  if (firstCaller != nullptr) {
    TDiagStackInfoItem item;
    item.callerAddr = reinterpret_cast<uint64_t>(firstCaller);
    items_.push_back(item);
  }
  CONTEXT here{};
  if (start == nullptr) {
    CurrentContext(here);
    start = &here;
  }
  if (raw) {
    baseOfStack_ = start->Rsp;
    TraceStackRaw(*modules, allModules);
  } else {
    baseOfStack_ = start->Rsp;
    TraceStackFrames(*start, *modules, allModules);
  }
}

void TDiagStackInfoList::StoreToList(const TDiagStackInfoItem& item) {
  // Ignoring n levels drops the first n + 1 entries of a walk from here (the
  // recording call itself counts), the first n of a walk from a given
  // context, which holds no call of the recording code.
  if (item.level > uint64_t{ignoreLevels_} + ownFrames_) items_.push_back(item);
}

void TDiagStackInfoList::TraceStackRaw(const TDiagModuleInfoList& modules, bool allModules) {
  if (baseOfStack_ >= topOfStack_ || (baseOfStack_ & 7) != 0) return;
  const std::span<const uint64_t> words(reinterpret_cast<const uint64_t*>(baseOfStack_),
                                        (topOfStack_ - baseOfStack_) / 8);
  uint64_t level = 0;
  for (const uint64_t address : ScanStackWords(words, modules, allModules)) {
    TDiagStackInfoItem item;
    item.callerAddr = address;
    item.level = ++level;
    StoreToList(item);
  }
}

void TDiagStackInfoList::TraceStackFrames(const CONTEXT& start, const TDiagModuleInfoList& modules,
                                          bool allModules) {
  CONTEXT context = start;
  uint64_t level = 0;
  DWORD64 establisher = 0;
  for (int step = 0; step < kMaxFrames; ++step) {
    const uint64_t frame = context.Rsp;
    if (!UnwindOnce(context, topOfStack_, nullptr, &establisher)) break;
    if (!modules.IsCodeRange(context.Rip - 1, 1, allModules)) continue;
    TDiagStackInfoItem item;
    item.callerAddr = context.Rip;
    item.level = ++level;
    item.stackFrame = frame;
    item.callerFrame = context.Rsp;
    item.dumpSize = context.Rsp - frame;
    item.paramPtr = context.Rsp;
    item.paramSize = item.dumpSize >= 8 ? (item.dumpSize - 8) / 8 : 0;
    StoreToList(item);
  }
}

void TDiagStackInfoList::AddToStrings(std::vector<std::string>& lines, bool includeModuleName,
                                      bool includeAddressOffset, bool includeStartProcLineOffset) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const bool returnAddress = !(i == 0 && faultFirst_);
    lines.push_back(GetLocationInfoStr(reinterpret_cast<const void*>(items_[i].callerAddr), includeModuleName,
                                       includeAddressOffset, includeStartProcLineOffset, returnAddress));
  }
}

TDiagFrameKind DoDetermineFrameKind(uint64_t handler, const void* handlerData, uint64_t functionStart,
                                    uint64_t codeAddr) {
  // A handler reached through a jump (an import thunk) is followed to its
  // target; x86-64 frames usually name the routine itself.
  uint64_t target = GetJmpDest(handler, &ReadMemory);
  if (target == 0) target = handler;
  if (!IsCxxPersonality(target) || codeAddr < functionStart) return kFrameUnknown;
  return FrameKindFromLsda(ReadableView(handlerData, kMaxLsdaBytes), codeAddr - functionStart);
}

TDiagExceptFrameList::TDiagExceptFrameList(uint32_t ignoreLevels, const CONTEXT* start, bool faultFirst) {
  CONTEXT context{};
  if (start != nullptr) {
    context = *start;
  } else {
    CurrentContext(context);
  }
  const uint64_t top = ThreadStackTop();
  // A handler counts only in a module the options allow: the program's own,
  // or any with every module.
  const std::shared_ptr<const TDiagModuleInfoList> modules = CreateModulesList();
  const bool allModules = (StackTrackingOptions() & kStackTrackAllModules) != 0;
  uint32_t position = 0;
  for (int step = 0; step < kMaxFrames; ++step) {
    // A return address lies behind its call: the call itself is one byte
    // before it. A fault address is the instruction itself.
    const uint64_t codeAddr = step == 0 && faultFirst ? context.Rip : context.Rip - 1;
    FrameHandler handler;
    DWORD64 establisher = 0;
    if (!UnwindOnce(context, top, &handler, &establisher)) break;
    if (handler.routine == nullptr) continue;
    if (position++ < ignoreLevels) continue;
    const auto routine = reinterpret_cast<uint64_t>(handler.routine);
    if (!modules->IsCodeRange(routine, 1, allModules)) continue;
    frames_.push_back(
        {establisher, routine, codeAddr, DoDetermineFrameKind(routine, handler.data, handler.functionStart, codeAddr)});
  }
}

// --------------------------------------------------------------- recording --

std::shared_ptr<TDiagStackInfoList> DiagCreateStackList(bool raw, uint32_t ignoreLevels, const void* firstCaller,
                                                        bool faultFirst, const CONTEXT* start) {
  auto list = std::make_shared<TDiagStackInfoList>(raw, ignoreLevels, firstCaller, faultFirst, start);
  StackLists().AddObject(list);
  return list;
}

std::shared_ptr<TDiagExceptFrameList> DiagCreateExceptFrameList(uint32_t ignoreLevels, const CONTEXT* start,
                                                                bool faultFirst) {
  auto list = std::make_shared<TDiagExceptFrameList>(ignoreLevels, start, faultFirst);
  StackLists().AddObject(list);
  return list;
}

std::shared_ptr<TDiagStackInfoList> DiagLastExceptStackList() {
  return DiagLastExceptStackList(GetCurrentThreadId());
}

std::shared_ptr<TDiagStackInfoList> DiagLastExceptStackList(DWORD threadId) {
  return StackLists().FindObject<TDiagStackInfoList>(threadId);
}

std::shared_ptr<TDiagStackInfoList> DiagLastFaultStackList() {
  return StackLists().FindObject<TDiagFaultStackList>(GetCurrentThreadId());
}

std::shared_ptr<TDiagExceptFrameList> DiagLastExceptFrameList() {
  return StackLists().FindObject<TDiagExceptFrameList>(GetCurrentThreadId());
}

void CorrectExceptStackListTop(TDiagStackInfoList& list, bool skipFirst) {
  std::vector<TDiagStackInfoItem>& items = list.Items();
  const size_t lowest = skipFirst ? 1 : 0;
  for (size_t i = items.size(); i > lowest; --i) {
    if (DiagBelongsHookedCode(reinterpret_cast<const void*>(items[i - 1].callerAddr))) {
      items.erase(items.begin() + static_cast<std::ptrdiff_t>(lowest), items.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void DoExceptNotify(const TDiagRaiseInfo& info) {
  if (!gTracking.load() || gPauses.load() > 0) return;
  const uint8_t options = StackTrackingOptions();
  if ((options & kStackTrackStack) != 0) {
    // The walk starts in the raising frame, so no level needs ignoring.
    const bool raw = (options & kStackTrackRaw) != 0;
    std::shared_ptr<TDiagStackInfoList> list =
        info.osException && info.object == nullptr
            ? std::make_shared<TDiagFaultStackList>(raw, 0, info.address, true, info.context)
            : std::make_shared<TDiagStackInfoList>(raw, 0, info.address, info.osException, info.context);
    list->SetException(info.object, info.type);
    // A walk from the raising frame holds no call of the hook; a stale
    // return address into it, left in an unused stack slot, must not cut
    // the callers off. Only a walk from here needs the correction.
    if (info.context == nullptr) CorrectExceptStackListTop(*list, info.address != nullptr);
    StackLists().AddObject(std::move(list));
  }
  if ((options & kStackTrackFrames) != 0) DiagCreateExceptFrameList(0, info.context, info.osException);
}

namespace {
// Stops tracking at program end when the shut-down path did not
// (UnInitializeHandler), so that no exception raised while the program's
// static objects go is traced into lists that are gone. It holds nothing;
// made on the first start of tracking, after the notifier list and the
// recorded lists exist, it is destroyed before them.
struct TrackingFinalizer {
  TrackingFinalizer() = default;
  TrackingFinalizer(const TrackingFinalizer&) = delete;
  TrackingFinalizer& operator=(const TrackingFinalizer&) = delete;
  ~TrackingFinalizer() {
    try {
      if (gTracking.load()) DiagStopExceptionTracking();
    } catch (...) {
      // The process ends either way.
    }
  }
};
}  // namespace

bool DiagStartExceptionTracking() {
  if (gTracking.load()) return false;
  const bool started = DiagHookExceptions() && DiagAddExceptNotifier(&DoExceptNotify, TDiagNotifierPriority::FirstChain);
  gTracking.store(started);
  if (started) {
    StackLists();
    ModulesLists();
    static const TrackingFinalizer finalizer;
  }
  return started;
}

bool DiagStopExceptionTracking() {
  if (!gTracking.load()) return false;
  const bool result = DiagRemoveExceptNotifier(&DoExceptNotify);
  gTracking.store(false);
  return result;
}

bool DiagExceptionTracking() noexcept { return gTracking.load(); }

}  // namespace kv
