// What the system lets this process use: cores and memory, as the scheduler's
// affinity mask, resource limits and the control group (v2 or v1) allow.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quolvend {

// Cores the process may run on: its affinity mask, lowered to the control
// group's CPU quota (rounded up) where one is set. At least 1.
unsigned usable_cores();

// Bytes the process may hold: the smallest of physical memory, RLIMIT_AS,
// RLIMIT_DATA and the control group's memory limit.
std::uint64_t memory_limit();

// A control group's limits, read below `root` (normally /sys/fs/cgroup) for
// the process whose /proc/self/cgroup says `membership`. Absent when no limit
// is set or the files cannot be read.
struct CgroupLimits {
  std::optional<std::uint64_t> memory_bytes;
  std::optional<double> cpus;
};
CgroupLimits cgroup_limits(const std::string& root, std::string_view membership);

}  // namespace quolvend
