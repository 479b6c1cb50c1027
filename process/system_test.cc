#include "process/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quolvend {
namespace {

void put(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

TEST(CgroupLimits, ReadsVersionTwoAndVersionOneTrees) {
  const std::string r = (std::filesystem::temp_directory_path() / "quolvend-cgroup-test").string();
  std::filesystem::remove_all(r);
  put(r + "/app/memory.max", "1073741824\n");
  put(r + "/app/cpu.max", "150000 100000\n");
  put(r + "/memory/job/memory.limit_in_bytes", "536870912\n");
  put(r + "/cpu/job/cpu.cfs_quota_us", "-1\n");
  put(r + "/cpu/job/cpu.cfs_period_us", "100000\n");

  auto v2 = cgroup_limits(r, "0::/app\n");
  EXPECT_EQ(v2.memory_bytes, 1073741824u);
  EXPECT_EQ(v2.cpus, 1.5);

  // v1: "no limit" on the CPU is -1; controllers may share a line.
  auto v1 = cgroup_limits(r, "5:cpu,cpuacct:/job\n4:memory:/job\n");
  EXPECT_EQ(v1.memory_bytes, 536870912u);
  EXPECT_FALSE(v1.cpus);

  // Inside a container the group's own folder is the mount's root.
  put(r + "/memory/memory.limit_in_bytes", "9223372036854771712\n");
  auto container = cgroup_limits(r, "4:memory:/elsewhere\n");
  EXPECT_EQ(container.memory_bytes, 9223372036854771712u);

  put(r + "/unlimited/memory.max", "max\n");
  put(r + "/unlimited/cpu.max", "max 100000\n");
  auto none = cgroup_limits(r, "0::/unlimited\n");
  EXPECT_FALSE(none.memory_bytes);
  EXPECT_FALSE(none.cpus);

  // A limit on an ancestor binds (systemd slices, container runtimes): the
  // least of every level, in both versions.
  put(r + "/slice/memory.max", "268435456\n");
  put(r + "/slice/cpu.max", "50000 100000\n");
  put(r + "/slice/unlimited/memory.max", "max\n");
  put(r + "/slice/unlimited/cpu.max", "max 100000\n");
  auto nested = cgroup_limits(r, "0::/slice/unlimited\n");
  EXPECT_EQ(nested.memory_bytes, 268435456u);
  EXPECT_EQ(nested.cpus, 0.5);
  put(r + "/memory/slice/memory.limit_in_bytes", "134217728\n");
  put(r + "/memory/slice/job/memory.limit_in_bytes", "9223372036854771712\n");
  put(r + "/cpu/slice/cpu.cfs_quota_us", "25000\n");
  put(r + "/cpu/slice/cpu.cfs_period_us", "100000\n");
  auto nested_v1 = cgroup_limits(r, "5:cpu:/slice/job\n4:memory:/slice/job\n");
  EXPECT_EQ(nested_v1.memory_bytes, 134217728u);
  EXPECT_EQ(nested_v1.cpus, 0.25);
  put(r + "/memory/deep/memory.stat", "cache 0\nhierarchical_memory_limit 67108864\n");
  EXPECT_EQ(cgroup_limits(r, "4:memory:/deep\n").memory_bytes, 67108864u);
  std::filesystem::remove_all(r);
}

// A quota lowers the cores, rounded up, never below one; an absurd one (the
// file says what it says) leaves them as they are.
TEST(CgroupLimits, AQuotaOfAnySizeGivesACoreCount) {
  EXPECT_EQ(cores_within(8, std::nullopt), 8u);
  EXPECT_EQ(cores_within(8, 1.5), 2u);
  EXPECT_EQ(cores_within(8, 0.01), 1u);
  EXPECT_EQ(cores_within(8, 4294967296.0), 8u);
  EXPECT_EQ(cores_within(8, 1e300), 8u);
  EXPECT_EQ(cores_within(0, std::nullopt), 1u);
}

}  // namespace
}  // namespace quolvend
