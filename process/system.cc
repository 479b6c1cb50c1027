#include "process/system.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

#include "process/fd.h"

namespace quolvend {
namespace {

// A small system file whole, read with plain descriptors: no stream library
// for files that may be read where few descriptors are left.
std::optional<std::string> read_file(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[512];
  for (;;) {
    ssize_t n = read_some(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// The first number in `text`; "max" (no limit) and anything else are absent.
std::optional<std::uint64_t> leading_number(std::string_view text) {
  std::uint64_t value;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// The words of `text`, split at white space.
std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (true) {
    at = text.find_first_not_of(" \t\n", at);
    if (at == std::string_view::npos) return words;
    std::size_t end = std::min(text.find_first_of(" \t\n", at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end;
  }
}

// The path after "<id>:<controllers>:" on the line of /proc/self/cgroup whose
// controllers are `controller` (empty for the v2 line "0::/path").
std::optional<std::string> cgroup_path(std::string_view membership, std::string_view controller) {
  while (!membership.empty()) {
    std::size_t end = membership.find('\n');
    std::string_view line = membership.substr(0, end);
    membership = end == std::string_view::npos ? "" : membership.substr(end + 1);
    std::size_t first = line.find(':');
    std::size_t second = line.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) continue;
    std::string_view names = line.substr(first + 1, second - first - 1);
    bool match = controller.empty() ? names.empty() : false;
    for (std::size_t at = 0; !controller.empty() && at <= names.size();) {
      std::size_t comma = std::min(names.find(',', at), names.size());
      if (names.substr(at, comma - at) == controller) match = true;
      at = comma + 1;
    }
    if (match) return std::string(line.substr(second + 1));
  }
  return std::nullopt;
}

// The group at `path` and each of its ancestors, deepest first, ending with
// the hierarchy's root (""): a limit set on any of them binds. Inside a
// container that mounts its own group as the root, the root's files are the
// group's.
std::vector<std::string> up_the_tree(std::string path) {
  std::vector<std::string> levels;
  while (!path.empty() && path.back() == '/') path.pop_back();
  while (!path.empty()) {
    levels.push_back(path);
    path.erase(std::min(path.rfind('/'), path.size()));
  }
  levels.emplace_back();
  return levels;
}

// The value after `key` and a space on a line of `text` (memory.stat).
std::optional<std::uint64_t> keyed_number(std::string_view text, std::string_view key) {
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line = text.substr(at, end - at);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ' ')
      return leading_number(line.substr(key.size() + 1));
    at = end + 1;
  }
  return std::nullopt;
}

// Lowers `least` to `value` where there is one.
template <typename T>
void lower(std::optional<T>& least, std::optional<T> value) {
  if (value) least = least ? std::min(*least, *value) : *value;
}

// A quota over a period as a share of cores; absent for "max" or -1.
std::optional<double> share(std::optional<std::uint64_t> quota,
                            std::optional<std::uint64_t> period) {
  if (!quota || !period || *period == 0) return std::nullopt;
  return static_cast<double>(*quota) / static_cast<double>(*period);
}

}  // namespace

CgroupLimits cgroup_limits(const std::string& root, std::string_view membership) {
  CgroupLimits limits;
  if (auto group = cgroup_path(membership, "")) {
    // v2: memory.max holds bytes or "max"; cpu.max holds "quota period" or "max period".
    for (const std::string& level : up_the_tree(*group)) {
      const std::string dir = root + level + "/";
      if (auto text = read_file(dir + "memory.max"))
        lower(limits.memory_bytes, leading_number(*text));
      if (auto text = read_file(dir + "cpu.max")) {
        auto words = split_words(*text);
        lower(limits.cpus, share(words.size() > 0 ? leading_number(words[0]) : std::nullopt,
                                 words.size() > 1 ? leading_number(words[1]) : std::nullopt));
      }
    }
  }
  if (auto group = cgroup_path(membership, "memory")) {
    // v1 reports "no limit" as a huge number, which the minimum ignores; its
    // memory.stat gives the least limit of the group's ancestors too.
    for (const std::string& level : up_the_tree(*group)) {
      const std::string dir = root + "/memory" + level + "/";
      if (auto text = read_file(dir + "memory.limit_in_bytes"))
        lower(limits.memory_bytes, leading_number(*text));
      if (auto text = read_file(dir + "memory.stat"))
        lower(limits.memory_bytes, keyed_number(*text, "hierarchical_memory_limit"));
    }
  }
  if (auto group = cgroup_path(membership, "cpu")) {
    // A quota of -1 (no limit) does not read as a number here.
    for (const std::string& level : up_the_tree(*group)) {
      const std::string dir = root + "/cpu" + level + "/";
      auto quota = read_file(dir + "cpu.cfs_quota_us");
      auto period = read_file(dir + "cpu.cfs_period_us");
      if (quota && period)
        lower(limits.cpus, share(leading_number(*quota), leading_number(*period)));
    }
  }
  return limits;
}

unsigned cores_within(unsigned cores, std::optional<double> cpus) {
  // Compared as doubles first: a quota of billions of cores converts to no
  // unsigned.
  if (cpus && *cpus > 0 && *cpus < cores) {
    cores = std::max(1u, static_cast<unsigned>(std::ceil(*cpus)));
  }
  return std::max(cores, 1u);
}

namespace {

const CgroupLimits& own_cgroup_limits() {
  static const CgroupLimits limits =
      cgroup_limits("/sys/fs/cgroup", read_file("/proc/self/cgroup").value_or(""));
  return limits;
}

}  // namespace

unsigned usable_cores() {
  unsigned cores = 0;
  cpu_set_t set;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) cores = static_cast<unsigned>(CPU_COUNT(&set));
  if (cores == 0) {
    long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    cores = online > 0 ? static_cast<unsigned>(online) : 1;
  }
  return cores_within(cores, own_cgroup_limits().cpus);
}

MemoryLimits memory_limits() {
  MemoryLimits limits;
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long page_size = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && page_size > 0) {
    limits.physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
  }
  rlimit value;
  if (::getrlimit(RLIMIT_AS, &value) == 0 && value.rlim_cur != RLIM_INFINITY) {
    limits.address_space = value.rlim_cur;
  }
  if (::getrlimit(RLIMIT_DATA, &value) == 0 && value.rlim_cur != RLIM_INFINITY) {
    limits.data = value.rlim_cur;
  }
  if (auto bytes = own_cgroup_limits().memory_bytes) limits.cgroup = *bytes;
  return limits;
}

unsigned cores_in_list(std::string_view list) {
  unsigned cores = 0;
  while (!list.empty()) {
    const std::size_t comma = std::min(list.find(','), list.size());
    std::string_view range = list.substr(0, comma);
    list = comma < list.size() ? list.substr(comma + 1) : std::string_view{};
    const std::size_t dash = range.find('-');
    const auto first = leading_number(range.substr(0, dash));
    const auto last =
        dash == std::string_view::npos ? first : leading_number(range.substr(dash + 1));
    if (first && last && *last >= *first && *last - *first < 65536)
      cores += static_cast<unsigned>(*last - *first + 1);
  }
  return cores;
}

Caches cache_sizes() {
  Caches caches;
  for (int index = 0; index < 8; ++index) {
    const std::string dir =
        "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(index) + "/";
    auto level = read_file(dir + "level"), type = read_file(dir + "type");
    auto size = read_file(dir + "size");
    if (!level || !type || !size) break;
    if (type->rfind("Instruction", 0) == 0) continue;
    // "48K", "1024K", "32M".
    auto bytes = leading_number(*size);
    if (!bytes) continue;
    const std::size_t unit = size->find('M') != std::string::npos   ? std::size_t{1} << 20
                             : size->find('K') != std::string::npos ? std::size_t{1} << 10
                                                                    : 1;
    std::size_t value = static_cast<std::size_t>(*bytes) * unit;
    if (auto shared = read_file(dir + "shared_cpu_list")) {
      const auto words = split_words(*shared);
      if (const unsigned cores = words.empty() ? 0 : cores_in_list(words[0])) value /= cores;
    }
    switch (leading_number(*level).value_or(0)) {
      case 1:
        caches.level1 = value;
        break;
      case 2:
        caches.level2 = value;
        break;
      case 3:
        caches.level3 = value;
        break;
      default:
        break;
    }
  }
  return caches;
}

Footprint footprint() {
  Footprint now;
  auto text = read_file("/proc/self/statm");
  long page_size = ::sysconf(_SC_PAGESIZE);
  if (!text || page_size <= 0) return now;
  // size resident shared text lib data dt, in pages.
  auto words = split_words(*text);
  if (words.size() < 6) return now;
  auto size = leading_number(words[0]), resident = leading_number(words[1]);
  auto data = leading_number(words[5]);
  if (!size || !resident || !data) return now;
  const auto page = static_cast<std::uint64_t>(page_size);
  now.address_space = *size * page;
  now.resident = *resident * page;
  now.data = *data * page;
  return now;
}

}  // namespace quolvend
