// The cost of seeing every throw: a throw through 20 frames with tracking
// off, in raw mode and in frame mode, and the time to build a whole report.
//
//   diag_throw_win_bench
//
// Targets: a throw with tracking on <= 2x the throw with tracking off;
// the report <= 0.5 s.
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "diagnostics/diag_stack_win.h"
#include "diagnostics/exception_report_win.h"

namespace {

using Clock = std::chrono::steady_clock;

__attribute__((noinline)) void Nest(int depth) {
  if (depth == 0) throw std::runtime_error("bench");
  Nest(depth - 1);
  asm volatile("");
}

double MicrosPerThrow(int rounds) {
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    try {
      Nest(20);
    } catch (const std::runtime_error&) {
    }
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
}

}  // namespace

int main() {
  constexpr int kRounds = 20000;
  MicrosPerThrow(1000);  // warm up
  const double off = MicrosPerThrow(kRounds);
  kv::DiagStartExceptionTracking();
  kv::SetStackTrackingOptions(kv::kStackTrackStack | kv::kStackTrackRaw);
  const double raw = MicrosPerThrow(kRounds);
  kv::SetStackTrackingOptions(kv::kStackTrackStack);
  const double frames = MicrosPerThrow(kRounds);
  std::printf("throw through 20 frames: off %.2f us, raw %.2f us (x%.2f), frames %.2f us (x%.2f)\n", off, raw,
              raw / off, frames, frames / off);

  kv::SetStackTrackingOptions(kv::kStackTrackStack | kv::kStackTrackRaw);
  try {
    Nest(20);
  } catch (const std::runtime_error&) {
  }
  kv::TReportInput input;
  input.stack = kv::DiagLastExceptStackList();
  const auto start = Clock::now();
  std::vector<std::string> lines;
  kv::CreateReport(lines, kv::kReportAllBlocks, input);
  const double reportMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::printf("report: %zu lines in %.1f ms\n", lines.size(), reportMs);
  kv::DiagUnhookExceptions();
  kv::DiagStopExceptionTracking();
  const bool ok = raw <= 2 * off && frames <= 2 * off && reportMs <= 500;
  std::printf("%s\n", ok ? "targets met" : "targets missed");
  return ok ? 0 : 1;
}
