// The run's memory budget. Large allocations (matrices, minor tables, product
// buffers) are charged against it before the step that uses them starts, and
// a step frees what it no longer needs before the next one charges, so a run
// that cannot fit ends with "MALLOC error" instead of being killed by the
// system, and a run that fits under one limit fits under every larger one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace quolvend {

// Bytes held against the budget while it lives. Safe to make from several
// threads at once.
struct MemoryCharge {
  MemoryCharge() = default;
  // Charges `bytes`, or ends the process with "MALLOC error" if they do not
  // fit beside what is already charged.
  explicit MemoryCharge(std::uint64_t bytes);
  ~MemoryCharge();
  MemoryCharge(MemoryCharge&& other) noexcept : bytes(other.bytes) { other.bytes = 0; }
  MemoryCharge& operator=(MemoryCharge&& other) noexcept;
  MemoryCharge(const MemoryCharge&) = delete;
  MemoryCharge& operator=(const MemoryCharge&) = delete;

  std::uint64_t bytes = 0;
};

// Ends the process with "MALLOC error" unless `bytes` more would fit now.
void require_memory(std::uint64_t bytes);

// A charge of `bytes`, or nothing if they do not fit now: for memory the run
// can do without (another thread's stack).
std::optional<MemoryCharge> try_charge(std::uint64_t bytes);

// Charges `bytes_each` for each of `parts` threads' buffers, or for as many
// as fit, lowering `parts` to that number: fewer threads give the same result.
// Ends with "MALLOC error" if not even one part's fits. Hold it for one step
// only: what the extra parts took must be free again before the next step
// charges what it cannot do without, or a larger budget could fail where a
// smaller one succeeds.
MemoryCharge charge_parts(std::size_t& parts, std::uint64_t bytes_each);

// Asks the system to back the 2 MiB-aligned stretches of [block, block +
// bytes) with huge pages, where it offers them: writing a large block then
// takes one page fault per 2 MiB rather than per 4 KiB. Pages stay lazy.
void advise_huge_pages(void* block, std::size_t bytes);

// Releases a block from allocate_large (or malloc), for std::unique_ptr.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// Allocates `bytes` for large working data that is written in full, or
// returns null when the allocator refuses; large_bytes(bytes) is what it may
// take of the address space, to be charged. The block is aligned to 2 MiB and,
// where the system offers them, backed by huge pages: writing it then takes
// one page fault per 2 MiB rather than per 4 KiB. Release it with std::free.
void* allocate_large(std::size_t bytes);
std::uint64_t large_bytes(std::uint64_t bytes);

// The budget for data, worked out from the system's limits at the first
// call, or by set_memory_budget: for each limit on the process's memory
// (physical memory, RLIMIT_AS, RLIMIT_DATA, the control group's limit), what
// it leaves beside what the process already holds, less kSlack for buffers too
// small to charge; the least of these, less the room set apart for thread
// stacks. Reading the system's files needs a descriptor, so the program
// settles it before it opens any operand.
std::uint64_t memory_budget();

// Room set apart from the budget for the stacks of the program's threads:
// `stack_bytes` at most, and never more than an eighth of what the limits
// leave. It grows with the limits by an eighth of their growth at most, so a
// larger limit never leaves less for data. Called once, at start.
void set_memory_budget(std::uint64_t stack_bytes);

// The room set apart for thread stacks: until set_memory_budget, an eighth of
// what the limits leave.
std::uint64_t stack_room();

// Room kept for buffers too small to charge one by one: the input and output
// buffers, the reader's per-thread lists of numbers, the allocator's own
// overhead.
inline constexpr std::uint64_t kSlack = std::uint64_t{2} << 20;

// a * b + c in bytes, saturating at UINT64_MAX, which never fits.
std::uint64_t bytes_for(std::uint64_t count, std::uint64_t size, std::uint64_t extra = 0);

}  // namespace quolvend
