// What the system lets this process use: cores and memory, as the scheduler's
// affinity mask, resource limits and the control group (v2 or v1) allow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quolvend {

// Cores the process may run on: its affinity mask, lowered to the control
// group's CPU quota (rounded up) where one is set. At least 1.
unsigned usable_cores();

// `cores` lowered to a quota of `cpus` cores, rounded up, where it is lower;
// at least 1.
unsigned cores_within(unsigned cores, std::optional<double> cpus);

// The data caches of the processor's first core, in bytes, as the system
// reports them: level 3 as each core's share of it (its size over the cores
// that share it). 0 where the system reports none.
struct Caches {
  std::size_t level1 = 0;
  std::size_t level2 = 0;
  std::size_t level3 = 0;
};
Caches cache_sizes();

// The cores a list such as "0-3,8,10-11" names (sysfs's shared_cpu_list).
unsigned cores_in_list(std::string_view list);

// What the process holds now, in bytes (from /proc/self/statm): its address
// space, its resident memory, and its data and stack, as RLIMIT_DATA counts
// them. Zero where it cannot be read.
struct Footprint {
  std::uint64_t address_space = 0;
  std::uint64_t resident = 0;
  std::uint64_t data = 0;
};
Footprint footprint();

// Each limit on the process's memory, UINT64_MAX where there is none.
struct MemoryLimits {
  std::uint64_t physical = UINT64_MAX;
  std::uint64_t address_space = UINT64_MAX;  // RLIMIT_AS
  std::uint64_t data = UINT64_MAX;           // RLIMIT_DATA
  std::uint64_t cgroup = UINT64_MAX;         // the control group's memory limit
};
MemoryLimits memory_limits();

// A control group's limits, read below `root` (normally /sys/fs/cgroup) for
// the process whose /proc/self/cgroup says `membership`: the least set on the
// group or any of its ancestors, in either version. Absent when no limit is
// set or the files cannot be read.
struct CgroupLimits {
  std::optional<std::uint64_t> memory_bytes;
  std::optional<double> cpus;
};
CgroupLimits cgroup_limits(const std::string& root, std::string_view membership);

}  // namespace quolvend
