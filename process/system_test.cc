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
  std::filesystem::remove_all(r);
}

}  // namespace
}  // namespace quolvend
