#pragma once
// The call stack of a thread recorded when it raises an exception, kept per
// thread until the report dialog prints it: a raw scan of every stack word
// that looks like a return address, or a walk along the unwind data.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "diagnostics/call_site.h"
#include "diagnostics/diag_hooks_win.h"
#include "diagnostics/frame_kind.h"

namespace kv {

// Stack tracking options (bits).
inline constexpr uint8_t kStackTrackStack = 1;        // a stack list at each exception
inline constexpr uint8_t kStackTrackFrames = 2;       // an exception-frame list at each exception
inline constexpr uint8_t kStackTrackRaw = 4;          // scan every stack word
inline constexpr uint8_t kStackTrackAllModules = 8;   // return addresses in any module
inline constexpr uint8_t kStackTrackKeepModules = 16; // build the module list once

uint8_t StackTrackingOptions() noexcept;
void SetStackTrackingOptions(uint8_t options) noexcept;

// Hooks the exceptions and registers the tracer; false when already on or
// when either step fails.
bool DiagStartExceptionTracking();
// Unregisters the tracer (the hooks stay); false when tracking was off.
bool DiagStopExceptionTracking();
bool DiagExceptionTracking() noexcept;

// While one of these lives (anywhere in the process), raises record nothing:
// the report being built keeps the lists it prints.
class TDiagRecordingPause {
 public:
  TDiagRecordingPause() noexcept;
  ~TDiagRecordingPause();
  TDiagRecordingPause(const TDiagRecordingPause&) = delete;
  TDiagRecordingPause& operator=(const TDiagRecordingPause&) = delete;
};

class TDiagStackBaseList {
 public:
  TDiagStackBaseList();
  TDiagStackBaseList(const TDiagStackBaseList&) = delete;
  TDiagStackBaseList& operator=(const TDiagStackBaseList&) = delete;
  virtual ~TDiagStackBaseList() = default;
  DWORD ThreadID() const noexcept { return threadId_; }
  const SYSTEMTIME& TimeStamp() const noexcept { return timeStamp_; }

 private:
  DWORD threadId_;
  SYSTEMTIME timeStamp_;
};

struct TDiagStackInfoItem {
  uint64_t callerAddr = 0;
  uint64_t level = 0;
  uint64_t callerFrame = 0;   // the caller's stack pointer
  uint64_t dumpSize = 0;      // bytes from this frame to the caller's
  uint64_t paramSize = 0;     // words above the return address in this frame
  uint64_t paramPtr = 0;      // the word above the return address
  uint64_t stackFrame = 0;    // this frame's stack pointer
  uint64_t GetCallerAdr() const noexcept { return callerAddr; }
};

class TDiagStackInfoList : public TDiagStackBaseList {
 public:
  // Walks the current thread's stack from start (or from here when null);
  // a first caller is kept whatever the ignore levels. faultFirst: the
  // first caller is a fault address, not a return address.
  // stackTop: the top of the walked thread's stack (0: the current thread).
  TDiagStackInfoList(bool raw, uint32_t ignoreLevels, const void* firstCaller, bool faultFirst,
                     const CONTEXT* start, uint64_t stackTop = 0);

  const std::vector<TDiagStackInfoItem>& Items() const noexcept { return items_; }
  std::vector<TDiagStackInfoItem>& Items() noexcept { return items_; }
  uint32_t IgnoreLevels() const noexcept { return ignoreLevels_; }
  uint64_t TopOfStack() const noexcept { return topOfStack_; }
  uint64_t BaseOfStack() const noexcept { return baseOfStack_; }
  bool FaultFirst() const noexcept { return faultFirst_; }
  // The exception whose raise recorded this list (null when made directly).
  const void* ExceptionObject() const noexcept { return exceptionObject_; }
  const std::type_info* ExceptionType() const noexcept { return exceptionType_; }
  void SetException(const void* object, const std::type_info* type) noexcept {
    exceptionObject_ = object;
    exceptionType_ = type;
  }

  // One location line per item, in list order; return addresses are looked
  // up inside their call.
  void AddToStrings(std::vector<std::string>& lines, bool includeModuleName, bool includeAddressOffset,
                    bool includeStartProcLineOffset) const;

 private:
  void StoreToList(const TDiagStackInfoItem& item);
  void TraceStackRaw(const TDiagModuleInfoList& modules, bool allModules);
  void TraceStackFrames(const CONTEXT& start, const TDiagModuleInfoList& modules, bool allModules);

  std::vector<TDiagStackInfoItem> items_;
  uint32_t ignoreLevels_;
  uint32_t ownFrames_;  // frames of the recording code at the walk's start
  uint64_t topOfStack_ = 0;
  uint64_t baseOfStack_ = 0;
  bool faultFirst_;
  const void* exceptionObject_ = nullptr;
  const std::type_info* exceptionType_ = nullptr;
};

// The list of a fault the program does not convert (one inside a system
// library, which may handle it itself): kept apart, so that it never
// replaces the list of the exception the thread is handling.
class TDiagFaultStackList : public TDiagStackInfoList {
 public:
  using TDiagStackInfoList::TDiagStackInfoList;
};

struct TDiagExceptFrame {
  uint64_t frameLocation = 0;  // the establisher frame
  uint64_t handlerAddr = 0;
  uint64_t codeAddr = 0;       // where the frame's function is (its call, or the fault)
  uint32_t frameKind = 0;      // TDiagFrameKind
};

// The kind of a frame from its handler routine, the handler's data (the
// language-specific tables), its function's start and its code address.
TDiagFrameKind DoDetermineFrameKind(uint64_t handler, const void* handlerData, uint64_t functionStart,
                                    uint64_t codeAddr);

class TDiagExceptFrameList : public TDiagStackBaseList {
 public:
  // The frames of the current thread (from start, or from here) that have
  // an exception handler, in unwind order, after ignoreLevels of them.
  // faultFirst: start is a fault's registers, not a call's.
  TDiagExceptFrameList(uint32_t ignoreLevels, const CONTEXT* start, bool faultFirst = false);
  const std::vector<TDiagExceptFrame>& Frames() const noexcept { return frames_; }

 private:
  std::vector<TDiagExceptFrame> frames_;
};

// The module list for address checks: the program's own executable, or
// every loaded module (own ones marked) with allModules.
std::shared_ptr<const TDiagModuleInfoList> CreateModulesList();
// A list that adds each module when an address inside it is first looked up.
std::shared_ptr<const TDiagModuleInfoList> CreateDynamicModulesList();
// The item of the image holding address (false when no image holds it).
bool CreateModuleItem(uint64_t address, bool systemModule, TDiagModuleInfo& info);
// The module item of a loaded image (null when its headers are not valid).
bool ModuleInfoFromImage(HMODULE module, bool systemModule, TDiagModuleInfo& info);

// Records a stack list for the current thread (replacing its previous one).
std::shared_ptr<TDiagStackInfoList> DiagCreateStackList(bool raw, uint32_t ignoreLevels, const void* firstCaller,
                                                        bool faultFirst = false, const CONTEXT* start = nullptr);
std::shared_ptr<TDiagExceptFrameList> DiagCreateExceptFrameList(uint32_t ignoreLevels, const CONTEXT* start = nullptr,
                                                                bool faultFirst = false);
// The current thread's recorded lists, or null.
std::shared_ptr<TDiagStackInfoList> DiagLastExceptStackList();
std::shared_ptr<TDiagStackInfoList> DiagLastExceptStackList(DWORD threadId);
std::shared_ptr<TDiagExceptFrameList> DiagLastExceptFrameList();
// The current thread's list of its last fault that was not converted, or null.
std::shared_ptr<TDiagStackInfoList> DiagLastFaultStackList();

// Drops the hook's own calls from the top of a list; with skipFirst the
// first item (the raise or fault address) always stays.
void CorrectExceptStackListTop(TDiagStackInfoList& list, bool skipFirst);

// The tracer registered while tracking is on.
void DoExceptNotify(const TDiagRaiseInfo& info);

}  // namespace kv
