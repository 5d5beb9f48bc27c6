#include "diagnostics/diag_stack_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/handle.h"
#include "diagnostics/debug_info_win.h"
#include "diagnostics/os_exceptions_win.h"
#include "diagnostics/sys_info_win.h"

namespace kv {
namespace {

struct Seen {
  const void* object;
  const std::type_info* type;
  const void* address;
  bool os;
};
thread_local std::vector<Seen> tSeen;
thread_local int tNested = 0;

void Record(const TDiagRaiseInfo& info) { tSeen.push_back({info.object, info.type, info.address, info.osException}); }
void Failing(const TDiagRaiseInfo&) { throw std::logic_error("notifier fault"); }
void Nesting(const TDiagRaiseInfo&) {
  try {
    throw std::runtime_error("inside a notifier");
  } catch (const std::exception&) {
    ++tNested;
  }
}
// Hooks again (already hooked) before it throws: still inside the notification.
void HookingNesting(const TDiagRaiseInfo& info) {
  if (tNested > 0) return;
  DiagHookExceptions();
  Nesting(info);
}

// Hooks and registers Record for one test; everything is undone after it.
class Hooks : public ::testing::Test {
 protected:
  void SetUp() override {
    tSeen.clear();
    ASSERT_TRUE(DiagHookExceptions());
    ASSERT_TRUE(DiagAddExceptNotifier(&Record, TDiagNotifierPriority::Normal));
  }
  void TearDown() override {
    DiagRemoveExceptNotifier(&Record);
    DiagRemoveExceptNotifier(&Failing);
    DiagRemoveExceptNotifier(&Nesting);
    DiagRemoveExceptNotifier(&HookingNesting);
    DiagUnhookExceptions();
  }
};

TEST_F(Hooks, EveryThrowIsSeenOnceWithObjectAndType) {
  try {
    throw std::runtime_error("plain");
  } catch (const std::runtime_error& e) {
    ASSERT_EQ(tSeen.size(), 1u);
    EXPECT_EQ(tSeen[0].object, &e);
    EXPECT_EQ(*tSeen[0].type, typeid(std::runtime_error));
    EXPECT_FALSE(tSeen[0].os);
    EXPECT_FALSE(DiagBelongsHookedCode(tSeen[0].address));
  }
  // Throws inside the static C++ run-time.
  std::vector<int> v(2);
  EXPECT_THROW((void)v.at(5), std::out_of_range);
  EXPECT_THROW((void)std::stoi("x"), std::invalid_argument);
  ASSERT_EQ(tSeen.size(), 3u);
  EXPECT_EQ(*tSeen[1].type, typeid(std::out_of_range));
  EXPECT_EQ(*tSeen[2].type, typeid(std::invalid_argument));
}

TEST_F(Hooks, RethrowsKeepTheFirstNotification) {
  std::exception_ptr saved;
  try {
    try {
      throw std::runtime_error("once");
    } catch (...) {
      saved = std::current_exception();
      throw;
    }
  } catch (const std::exception&) {
  }
  EXPECT_THROW(std::rethrow_exception(saved), std::runtime_error);
  EXPECT_EQ(tSeen.size(), 1u);
}

TEST_F(Hooks, FailingAndNestingNotifiersDoNotDisturbTheRaise) {
  ASSERT_TRUE(DiagAddExceptNotifier(&Failing, TDiagNotifierPriority::FirstChain));
  ASSERT_TRUE(DiagAddExceptNotifier(&Nesting, TDiagNotifierPriority::Normal));
  tNested = 0;
  try {
    throw std::runtime_error("original");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "original");
  }
  // The throws inside the notifiers reached no notifier.
  EXPECT_EQ(tSeen.size(), 1u);
  EXPECT_EQ(tNested, 1);

  // Nor when the notifier hooks again first.
  DiagRemoveExceptNotifier(&Nesting);
  ASSERT_TRUE(DiagAddExceptNotifier(&HookingNesting, TDiagNotifierPriority::Normal));
  tNested = 0;
  EXPECT_THROW(throw std::runtime_error("second"), std::runtime_error);
  EXPECT_EQ(tSeen.size(), 2u);
  EXPECT_EQ(tNested, 1);
}

TEST_F(Hooks, RegistrationRules) {
  EXPECT_FALSE(DiagAddExceptNotifier(nullptr, TDiagNotifierPriority::Normal));
  EXPECT_FALSE(DiagRemoveExceptNotifier(nullptr));
  ASSERT_TRUE(DiagAddExceptNotifier(&Record, TDiagNotifierPriority::Normal));  // twice now
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
  EXPECT_EQ(tSeen.size(), 2u);
  EXPECT_TRUE(DiagRemoveExceptNotifier(&Record));  // removes both
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
  EXPECT_EQ(tSeen.size(), 2u);
  EXPECT_TRUE(DiagHookExceptions());  // hooking twice is harmless
  ASSERT_TRUE(DiagAddExceptNotifier(&Record, TDiagNotifierPriority::Normal));
  EXPECT_TRUE(DiagUnhookExceptions());
  EXPECT_TRUE(DiagUnhookExceptions());
  EXPECT_THROW(throw std::runtime_error("x"), std::runtime_error);
  EXPECT_EQ(tSeen.size(), 2u);  // unhooked: not seen
}

// ----------------------------------------------------------- stack lists --

int gLine3 = 0;
__attribute__((noinline)) void Level3(int depth) {
  gLine3 = __LINE__; if (depth > 0) throw std::out_of_range("deep");  // the raise
  asm volatile("");
}
__attribute__((noinline)) void Level2(int depth) {
  Level3(depth + 1);
  asm volatile("");
}
__attribute__((noinline)) void Level1(int depth) {
  Level2(depth + 1);
  asm volatile("");
}

std::vector<std::string> Procedures(const TDiagStackInfoList& list) {
  std::vector<std::string> names;
  for (size_t i = 0; i < list.Items().size(); ++i) {
    const auto* at = reinterpret_cast<const uint8_t*>(list.Items()[i].callerAddr);
    TDiagLocationInfo info;
    names.push_back(GetLocationInfo(i == 0 && list.FaultFirst() ? at : at - 1, info)
                        ? info.unitName + ":" + info.procedureName
                        : "?");
  }
  return names;
}

class Tracking : public ::testing::Test {
 protected:
  void SetUp() override {
    options_ = StackTrackingOptions();
    ASSERT_TRUE(DiagStartExceptionTracking());
    EXPECT_FALSE(DiagStartExceptionTracking());
  }
  void TearDown() override {
    DiagUnhookExceptions();
    EXPECT_TRUE(DiagStopExceptionTracking());
    SetStackTrackingOptions(options_);
  }
  // Throws through three levels and returns the list recorded for it.
  __attribute__((noinline)) static std::shared_ptr<TDiagStackInfoList> ThrowDeep() {
    try {
      Level1(1);
    } catch (const std::out_of_range&) {
    }
    return DiagLastExceptStackList();
  }
  uint8_t options_ = 0;
};

TEST_F(Tracking, BothWalksStartAtTheRaisingProcedureAndListItsCallers) {
  const std::vector<std::string> chain = {
      "diag_stack_win_test:kv::(anonymous namespace).Level3",
      "diag_stack_win_test:kv::(anonymous namespace).Level2",
      "diag_stack_win_test:kv::(anonymous namespace).Level1",
      "diag_stack_win_test:kv::(anonymous namespace)::Tracking.ThrowDeep",
  };
  for (const bool raw : {false, true}) {
    SCOPED_TRACE(raw ? "raw" : "frames");
    SetStackTrackingOptions(raw ? kStackTrackStack | kStackTrackRaw : kStackTrackStack);
    const auto list = ThrowDeep();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(*list->ExceptionType(), typeid(std::out_of_range));
    const std::vector<std::string> names = Procedures(*list);
    ASSERT_GE(names.size(), chain.size());
    EXPECT_EQ(names[0], chain[0]);
    if (raw) {
      // The scan also meets stale return addresses left in unused stack
      // slots; the real callers still come in order.
      size_t next = 0;
      for (const std::string& name : names) {
        if (next < chain.size() && name == chain[next]) ++next;
      }
      EXPECT_EQ(next, chain.size());
    } else {
      EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4), chain);
      for (const std::string& name : names) {
        EXPECT_EQ(name.find("diag_hooks_win"), std::string::npos);
        EXPECT_EQ(name.find("diag_stack_win:"), std::string::npos);
      }
    }
    std::vector<std::string> lines;
    list->AddToStrings(lines, false, true, true);
    ASSERT_EQ(lines.size(), list->Items().size());
    EXPECT_NE(lines[0].find("(Line " + std::to_string(gLine3) + ", \"diag_stack_win_test.cpp\""), std::string::npos)
        << lines[0];
  }
}

TEST_F(Tracking, ListsAreKeptPerThreadAndSharedWithTheirReaders) {
  SetStackTrackingOptions(kStackTrackStack | kStackTrackRaw);
  const auto first = ThrowDeep();
  ASSERT_NE(first, nullptr);
  std::shared_ptr<TDiagStackInfoList> other;
  DWORD otherId = 0;
  std::thread worker([&] {
    otherId = GetCurrentThreadId();
    try {
      throw std::runtime_error("worker");
    } catch (const std::exception&) {
    }
    other = DiagLastExceptStackList();
  });
  worker.join();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(other->ThreadID(), otherId);
  EXPECT_EQ(*other->ExceptionType(), typeid(std::runtime_error));
  EXPECT_EQ(DiagLastExceptStackList(), first);  // this thread's list is untouched
  EXPECT_EQ(DiagLastExceptStackList(otherId), other);

  // A reader keeps a list while the thread raises again.
  const size_t count = first->Items().size();
  EXPECT_THROW(throw std::logic_error("again"), std::logic_error);
  EXPECT_NE(DiagLastExceptStackList(), first);
  EXPECT_EQ(first->Items().size(), count);
  EXPECT_EQ(*first->ExceptionType(), typeid(std::out_of_range));

  // While a report is built nothing is recorded.
  const auto kept = DiagLastExceptStackList();
  {
    const TDiagRecordingPause pause;
    EXPECT_THROW(throw std::runtime_error("during the report"), std::runtime_error);
  }
  EXPECT_EQ(DiagLastExceptStackList(), kept);
}

TEST_F(Tracking, AFaultASystemLibraryHandlesKeepsTheHandledExceptionsList) {
  SetStackTrackingOptions(kStackTrackStack | kStackTrackRaw);
  const auto thrown = ThrowDeep();
  ASSERT_NE(thrown, nullptr);
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(reserved, nullptr);
  EXPECT_TRUE(IsBadReadPtr(reserved, 4));
  VirtualFree(reserved, 0, MEM_RELEASE);
  EXPECT_EQ(DiagLastExceptStackList(), thrown);
  const auto fault = DiagLastFaultStackList();
  ASSERT_NE(fault, nullptr);
  EXPECT_TRUE(fault->FaultFirst());
  ASSERT_FALSE(fault->Items().empty());
  const auto* at = reinterpret_cast<const void*>(fault->Items()[0].callerAddr);
  EXPECT_NE(ModuleFromAddr(at), GetModuleHandleA(nullptr));
  // The scan goes on into this program's own callers.
  EXPECT_NE(std::find_if(fault->Items().begin() + 1, fault->Items().end(),
                         [](const TDiagStackInfoItem& item) {
                           return ModuleFromAddr(reinterpret_cast<const void*>(item.callerAddr)) ==
                                  GetModuleHandleA(nullptr);
                         }),
            fault->Items().end());
}

// The frame of a function in a list: its code address lies in the function.
const TDiagExceptFrame* FrameOf(const TDiagExceptFrameList& list, const void* function) {
  DWORD64 base = 0;
  const RUNTIME_FUNCTION* entry = RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(function), &base, nullptr);
  if (entry == nullptr) return nullptr;
  for (const TDiagExceptFrame& frame : list.Frames()) {
    if (frame.codeAddr >= base + entry->BeginAddress && frame.codeAddr < base + entry->EndAddress) return &frame;
  }
  return nullptr;
}

TEST_F(Tracking, HandlerFramesAreListed) {
  SetStackTrackingOptions(kStackTrackStack | kStackTrackRaw | kStackTrackFrames);
  ThrowDeep();
  const auto frames = DiagLastExceptFrameList();
  ASSERT_NE(frames, nullptr);
  // ThrowDeep catches std::out_of_range around the call.
  const TDiagExceptFrame* frame = FrameOf(*frames, reinterpret_cast<const void*>(&Tracking::ThrowDeep));
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->frameKind, kFrameOnException);
}

// A frame whose handler lies outside the program's own modules (a library's
// function that calls back inside a try block) is listed only when every
// module counts.
std::shared_ptr<TDiagExceptFrameList> gLibraryFrames;
void CaptureLibraryFrames() { gLibraryFrames = DiagCreateExceptFrameList(0); }

TEST_F(Tracking, HandlerFramesOfOtherModulesNeedAllModules) {
  const ModuleHandle library(LoadLibraryA(KV_TEST_BINARY_DIR "/diag_fixtures/diag_guarded_call.dll"));
  ASSERT_TRUE(library);
  const auto guardedCall = reinterpret_cast<int (*)(void (*)())>(
      reinterpret_cast<void*>(GetProcAddress(library.Get(), "kv_guarded_call")));
  ASSERT_NE(guardedCall, nullptr);
  const auto libraryFrames = [&](uint8_t options) {
    SetStackTrackingOptions(options);
    EXPECT_EQ(guardedCall(&CaptureLibraryFrames), 0);
    int inLibrary = 0;
    for (const TDiagExceptFrame& frame : gLibraryFrames->Frames()) {
      inLibrary += ModuleFromAddr(reinterpret_cast<const void*>(frame.handlerAddr)) == library.Get();
    }
    return inLibrary;
  };
  EXPECT_EQ(libraryFrames(kStackTrackStack | kStackTrackRaw), 0);
  EXPECT_EQ(libraryFrames(kStackTrackStack | kStackTrackRaw | kStackTrackAllModules), 1);
  gLibraryFrames.reset();
}

// Frames whose kind is read while they wait in a call.
std::shared_ptr<TDiagExceptFrameList> gFrames;
volatile int gGuards = 0;
__attribute__((noinline)) void CaptureFrames() { gFrames = DiagCreateExceptFrameList(0); }
void (*volatile gCapture)() = &CaptureFrames;
struct Guard {
  ~Guard() { gGuards = gGuards + 1; }
};
__attribute__((noinline)) int WithCatchAll() {
  try {
    gCapture();
  } catch (...) {
    return 1;
  }
  return 0;
}
__attribute__((noinline)) int WithTypedCatch() {
  try {
    gCapture();
  } catch (const std::invalid_argument&) {
    return 1;
  }
  return 0;
}
__attribute__((noinline)) void WithDestructorsOnly() {
  const Guard guard;
  gCapture();
}
__attribute__((noinline)) void WithNothing() {
  gCapture();
  asm volatile("");
}

TEST(ExceptFrames, KindsComeFromTheFunctionsTables) {
  const struct {
    const char* name;
    const void* function;
    void (*call)();
    uint32_t kind;
  } cases[] = {
      {"catch-all", reinterpret_cast<const void*>(&WithCatchAll), [] { WithCatchAll(); }, kFrameAnyException},
      {"typed catch", reinterpret_cast<const void*>(&WithTypedCatch), [] { WithTypedCatch(); }, kFrameOnException},
      {"destructors", reinterpret_cast<const void*>(&WithDestructorsOnly), [] { WithDestructorsOnly(); },
       kFrameFinally},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.call();
    ASSERT_NE(gFrames, nullptr);
    const TDiagExceptFrame* frame = FrameOf(*gFrames, c.function);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->frameKind, c.kind);
    EXPECT_NE(frame->frameLocation, 0u);
  }
  // A function with nothing to do for an exception has no handler frame.
  WithNothing();
  EXPECT_EQ(FrameOf(*gFrames, reinterpret_cast<const void*>(&WithNothing)), nullptr);
  gFrames.reset();
}

TEST(ModuleLists, ADynamicListAddsEachModuleOnFirstUse) {
  const auto list = CreateDynamicModulesList();
  EXPECT_TRUE(list->DynamicBuild());
  EXPECT_EQ(list->Count(), 0u);
  const HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  const auto tick = reinterpret_cast<uint64_t>(GetProcAddress(kernel32, "GetTickCount"));
  const TDiagModuleInfo* item = list->GetModuleFromAddress(tick);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->startAddr, reinterpret_cast<uint64_t>(kernel32));
  EXPECT_FALSE(item->systemModule);
  EXPECT_EQ(list->GetModuleFromAddress(tick + 1), item);
  EXPECT_EQ(list->Count(), 1u);
  EXPECT_TRUE(list->IsCodeRange(tick, 1, true));
  EXPECT_FALSE(list->IsCodeRange(tick, 1, false));
  // Heap and stack memory hold no module: nothing is added.
  const auto heap = std::make_unique<int>(5);
  int local = 0;
  EXPECT_EQ(list->GetModuleFromAddress(reinterpret_cast<uint64_t>(heap.get())), nullptr);
  EXPECT_EQ(list->GetModuleFromAddress(reinterpret_cast<uint64_t>(&local)), nullptr);
  EXPECT_EQ(list->GetModuleFromAddress(0), nullptr);
  EXPECT_EQ(list->Count(), 1u);
  // The program's own list is not dynamic.
  EXPECT_FALSE(CreateModulesList()->DynamicBuild());
}

TEST(ExceptionHooks, AFailedHandlerLeavesTheHooksAndTheTrackingOff) {
  DiagUnhookExceptions();
  SetOsHandlerInstaller([] { return false; });
  EXPECT_FALSE(DiagHookExceptions());
  EXPECT_FALSE(DiagExceptionsHooked());
  EXPECT_FALSE(DiagStartExceptionTracking());
  EXPECT_FALSE(DiagExceptionTracking());
  SetOsHandlerInstaller(nullptr);
  EXPECT_TRUE(DiagHookExceptions());
  EXPECT_TRUE(DiagExceptionsHooked());
  DiagUnhookExceptions();
}

// ------------------------------------------------------------ OS faults --

struct Marker {
  bool* destroyed;
  ~Marker() { *destroyed = true; }
};
__attribute__((noinline)) void Touch(int* p, bool* destroyed) {
  const Marker marker{destroyed};
  *static_cast<volatile int*>(p) = 1;
}
volatile int gQuotient = 0;
__attribute__((noinline)) void Divide(int a, int b) { gQuotient = a / b; }

TEST_F(Tracking, FaultsInOwnCodeBecomeExceptionsTheCallerCatches) {
  SetStackTrackingOptions(kStackTrackStack | kStackTrackRaw);
  bool destroyed = false;
  try {
    Touch(nullptr, &destroyed);
    ADD_FAILURE() << "no exception";
  } catch (const EAccessViolation& e) {
    EXPECT_NE(std::string(e.what()).find("Access violation at address "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(". Write of address 0000000000000000"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(destroyed);  // the faulting frame was unwound properly
  const auto list = DiagLastExceptStackList();
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->FaultFirst());
  EXPECT_EQ(*list->ExceptionType(), typeid(EAccessViolation));
  const std::vector<std::string> names = Procedures(*list);
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names[0], "diag_stack_win_test:kv::(anonymous namespace).Touch");
  // Its caller follows (raw scans may meet stale addresses in between).
  EXPECT_NE(std::find_if(names.begin() + 1, names.end(),
                         [](const std::string& n) { return n.find("FaultsInOwnCode") != std::string::npos; }),
            names.end());

  volatile int zero = 0;
  volatile int minimum = INT_MIN;
  volatile int minusOne = -1;
  EXPECT_THROW(Divide(1, zero), EDivByZero);
  // The processor faults on INT_MIN / -1 too; the system reports either kind.
  try {
    Divide(minimum, minusOne);
    ADD_FAILURE() << "no exception";
  } catch (const EOsException& e) {
    EXPECT_TRUE(dynamic_cast<const EDivByZero*>(&e) || dynamic_cast<const EIntOverflow*>(&e)) << e.what();
  }
}

TEST_F(Hooks, AFaultInsideASystemLibraryIsSeenOnceAndLeftToIt) {
  // The probe faults inside the system library, which handles its own fault.
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(reserved, nullptr);
  EXPECT_TRUE(IsBadReadPtr(reserved, 4));
  VirtualFree(reserved, 0, MEM_RELEASE);
  ASSERT_EQ(tSeen.size(), 1u);
  EXPECT_TRUE(tSeen[0].os);
  EXPECT_EQ(tSeen[0].object, nullptr);
  EXPECT_EQ(tSeen[0].type, nullptr);
  const HMODULE own = GetModuleHandleA(nullptr);
  EXPECT_NE(ModuleFromAddr(tSeen[0].address), own);
  EXPECT_NE(ModuleFromAddr(tSeen[0].address), nullptr);
}

// A handler behind the program's that lets a raised test code go on.
LONG CALLBACK ContinueRaisedCode(EXCEPTION_POINTERS* info) {
  return info->ExceptionRecord->ExceptionCode == 0xE0004B56 ? EXCEPTION_CONTINUE_EXECUTION
                                                             : EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(Hooks, ARaisedCodeIsSeenOnceAndDebugOutputNot) {
  PVOID behind = AddVectoredExceptionHandler(0, &ContinueRaisedCode);
  ASSERT_NE(behind, nullptr);
  RaiseException(0xE0004B56, 0, 0, nullptr);
  OutputDebugStringA("kv hooks test\n");
  RemoveVectoredExceptionHandler(behind);
  ASSERT_EQ(tSeen.size(), 1u);
  EXPECT_TRUE(tSeen[0].os);
  EXPECT_EQ(tSeen[0].object, nullptr);
  EXPECT_NE(tSeen[0].address, nullptr);
}

TEST(StackList, DirectRecordingHonoursIgnoreLevelsAndFirstCaller) {
  const auto* fault = reinterpret_cast<const void*>(&Level3);
  const auto all = DiagCreateStackList(false, 0, fault, true);
  ASSERT_GE(all->Items().size(), 3u);
  EXPECT_EQ(all->Items()[0].callerAddr, reinterpret_cast<uint64_t>(fault));
  EXPECT_EQ(all->Items()[0].level, 0u);
  // Ignoring n levels drops the first n + 1 frames, the recording call
  // counting: 0 drops one, 2 drop three; the first caller stays.
  const auto fewer = DiagCreateStackList(false, 2, fault, true);
  ASSERT_EQ(fewer->Items().size() + 2, all->Items().size());
  EXPECT_EQ(fewer->Items()[0].callerAddr, reinterpret_cast<uint64_t>(fault));
  EXPECT_EQ(fewer->Items()[1].callerAddr, all->Items()[3].callerAddr);
  for (const auto* list : {all.get(), fewer.get()})
    for (size_t i = 1; i < list->Items().size(); ++i)
      EXPECT_GT(list->Items()[i].level, list->IgnoreLevels() + 1u) << i;
  EXPECT_EQ(DiagLastExceptStackList(), fewer);
}

}  // namespace
}  // namespace kv
