#pragma once
// Processor faults in the program's own code turned into C++ exceptions that
// the faulting code's callers can catch (their destructors run as for any
// throw), faults elsewhere told to the notifiers as they are, and the stack
// overflow handed to a reporter thread.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace kv {

// One class per kind of fault; the message names the kind, the fault
// address and, for access violations, the address touched.
class EOsException : public std::runtime_error {
 public:
  EOsException(const std::string& message, uint64_t faultAddress)
      : std::runtime_error(message), faultAddress_(faultAddress) {}
  uint64_t FaultAddress() const noexcept { return faultAddress_; }

 private:
  uint64_t faultAddress_;
};
class EAccessViolation : public EOsException {
  using EOsException::EOsException;
};
class EDivByZero : public EOsException {
  using EOsException::EOsException;
};
class EIntOverflow : public EOsException {
  using EOsException::EOsException;
};
class EPrivilege : public EOsException {
  using EOsException::EOsException;
};
class EIllegalInstruction : public EOsException {
  using EOsException::EOsException;
};
// Any other exception of the operating system.
class EExternalException : public EOsException {
  using EOsException::EOsException;
};

// The message of a fault record ("" for kinds that are not converted).
std::string OsExceptionMessage(const EXCEPTION_RECORD& record);

// The exception object a fault stands for (EExternalException for kinds
// that are not converted), for showing a fault nobody handled.
std::exception_ptr OsExceptionObject(const EXCEPTION_RECORD& record);

// Installs the first vectored handler (and the overflow reporter thread);
// removes them. Called by the exception hooks.
bool InstallOsExceptionHandler();
void RemoveOsExceptionHandler();
bool DiagBelongsOsTrampoline(uint64_t address) noexcept;

// Runs on the reporter thread (a stack of its own, free to show a box) when a
// thread overflows its stack: the faulting registers, the top of that
// thread's stack, and what to call once the report is stored. The
// overflowing thread waits for the storing with a time limit; once stored,
// it waits for the reporter to finish (the user answering the box), then the
// process ends.
using TStackOverflowReporter =
    std::function<void(const CONTEXT& context, uint64_t stackTop, const std::function<void()>& stored)>;
void SetStackOverflowReporter(TStackOverflowReporter reporter);

}  // namespace kv
