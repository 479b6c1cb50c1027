#include "process/exits.h"

#include <unistd.h>

#include <cstdlib>
#include <new>

#include "process/fd.h"
#include "process/output.h"

namespace quolvend {
namespace {

constexpr int kMaxHooks = 4;
void (*hooks[kMaxHooks])() = {};
int hook_count = 0;

thread_local bool deferring = false;
// The thread whose failed allocations end the run at once.
thread_local bool ends_on_failed_allocation = false;

void failed_allocation() {
  if (deferring || !ends_on_failed_allocation) throw std::bad_alloc();
  out_of_memory();
}

void run_hooks_and_flush() {
  for (int i = hook_count; i-- > 0;) hooks[i]();
  out_flush();
}

[[noreturn]] void end_with(FailureKind kind, std::string_view message) {
  if (deferring) throw Failure{kind, std::string(message)};
  out_line(message);
  quit(1);
}

}  // namespace

void on_quit(void (*hook)()) {
  if (hook_count < kMaxHooks) hooks[hook_count++] = hook;
}

void quit(int status) {
  run_hooks_and_flush();
  if (out_failed()) {
    write_all(STDERR_FILENO, "Error writing output\n");
    status = 1;
  }
  std::exit(status);
}

void die(std::string_view message) { end_with(FailureKind::message, message); }

constexpr std::string_view kOutOfMemory = "MALLOC error";

void out_of_memory() { end_with(FailureKind::out_of_memory, kOutOfMemory); }

Failure out_of_memory_failure() { return {FailureKind::out_of_memory, std::string(kOutOfMemory)}; }

void fail(const Failure& f) { end_with(f.kind, f.message); }

void usage_exit(std::string_view usage) {
  run_hooks_and_flush();
  write_all(STDERR_FILENO, usage);
  std::exit(1);
}

void end_on_failed_allocation() {
  ends_on_failed_allocation = true;
  std::set_new_handler(failed_allocation);
}

DeferFailures::DeferFailures() : outer_(deferring) { deferring = true; }
DeferFailures::~DeferFailures() { deferring = outer_; }

}  // namespace quolvend
