#include "process/memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <utility>

#include "process/exits.h"
#include "process/system.h"

namespace quolvend {
namespace {

std::atomic<std::uint64_t> charged{0};

// What `limit` leaves beside `used` and the slack.
std::uint64_t room(std::uint64_t limit, std::uint64_t used) {
  if (limit == UINT64_MAX) return UINT64_MAX;
  return limit > used + kSlack ? limit - used - kSlack : 0;
}

struct Budget {
  std::uint64_t data = 0;
  std::uint64_t stacks = 0;
};

Budget budget_from_limits(std::uint64_t stack_bytes) {
  const MemoryLimits limits = memory_limits();
  const Footprint now = footprint();
  const std::uint64_t left =
      std::min({room(limits.physical, now.resident), room(limits.address_space, now.address_space),
                room(limits.data, now.data), room(limits.cgroup, now.resident)});
  Budget b;
  b.stacks = std::min(stack_bytes, left / 8);
  b.data = left - b.stacks;
  return b;
}

// Until set_memory_budget, the most room stacks may have: an eighth.
Budget& the_budget() {
  static Budget b = budget_from_limits(UINT64_MAX);
  return b;
}

std::uint64_t budget() { return the_budget().data; }

}  // namespace

std::uint64_t memory_budget() { return budget(); }

void set_memory_budget(std::uint64_t stack_bytes) {
  the_budget() = budget_from_limits(stack_bytes);
}

std::uint64_t stack_room() { return the_budget().stacks; }

MemoryCharge charge_parts(std::size_t& parts, std::uint64_t bytes_each) {
  while (parts > 1) {
    // As many as fit now, then one fewer each time another thread's charge
    // gets in first.
    const std::uint64_t free = budget() - std::min(budget(), charged.load());
    parts = std::min<std::uint64_t>(parts, free / std::max<std::uint64_t>(bytes_each, 1));
    if (parts <= 1) break;
    if (auto charge = try_charge(bytes_for(parts, bytes_each))) return std::move(*charge);
    --parts;
  }
  parts = 1;
  return MemoryCharge(bytes_each);
}

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;

void advise_huge_pages(void* block, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  auto first = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) / kHugePage * kHugePage;
  auto last = (reinterpret_cast<std::uintptr_t>(block) + bytes) / kHugePage * kHugePage;
  if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

std::uint64_t large_bytes(std::uint64_t bytes) { return bytes_for(1, bytes, kHugePage); }

void* allocate_large(std::size_t bytes) {
  void* block = nullptr;
  if (::posix_memalign(&block, kHugePage, bytes) != 0) return nullptr;
  advise_huge_pages(block, bytes);
  return block;
}

std::optional<MemoryCharge> try_charge(std::uint64_t amount) {
  if (amount > budget()) return std::nullopt;  // before adding: a huge amount would wrap
  std::uint64_t before = charged.fetch_add(amount);
  if (before > budget() - amount) {
    charged.fetch_sub(amount);
    return std::nullopt;
  }
  MemoryCharge charge;
  charge.bytes = amount;
  return charge;
}

std::uint64_t bytes_for(std::uint64_t count, std::uint64_t size, std::uint64_t extra) {
  std::uint64_t bytes;
  if (__builtin_mul_overflow(count, size, &bytes) || __builtin_add_overflow(bytes, extra, &bytes)) {
    return UINT64_MAX;
  }
  return bytes;
}

void require_memory(std::uint64_t bytes) {
  if (bytes > budget() - std::min(budget(), charged.load())) out_of_memory();
}

MemoryCharge::MemoryCharge(std::uint64_t amount) {
  if (amount == 0) return;
  auto charge = try_charge(amount);
  if (!charge) out_of_memory();
  *this = std::move(*charge);
}

MemoryCharge::~MemoryCharge() {
  if (bytes > 0) charged.fetch_sub(bytes);
}

MemoryCharge& MemoryCharge::operator=(MemoryCharge&& other) noexcept {
  if (this != &other) {
    if (bytes > 0) charged.fetch_sub(bytes);
    bytes = other.bytes;
    other.bytes = 0;
  }
  return *this;
}

}  // namespace quolvend
