#include "cli/config.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string_view>

#include "process/parallel.h"
#include "process/start.h"
#include "process/system.h"

namespace quolvend {
namespace {

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// QUOLVEND_THREADS, a whole number from 1 up, or else every usable core; at
// most kMaxThreads either way.
unsigned threads_from(std::string_view text) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) {
    value = usable_cores();
  }
  return std::clamp(value, 1u, kMaxThreads);
}

// QUOLVEND_KERNEL, where this processor has that set, or else the best it has.
InstructionSet kernels_from(std::string_view text) {
  if (auto named = instruction_set_named(text)) {
    for (InstructionSet available : available_instruction_sets()) {
      if (available == *named) return available;
    }
  }
  return best_instruction_set();
}

}  // namespace

RunConfig read_config(int argc, char** argv) {
  RunConfig config;
  config.operation = parse_options(argc, argv);
  if (argc > 2) config.first = argv[2];
  if (argc > 3) config.second = argv[3];
  config.compute.threads = threads_from(environment("QUOLVEND_THREADS"));
  config.compute.kernels = kernels_from(environment("QUOLVEND_KERNEL"));
  return config;
}

void start_run(const RunConfig& config) {
  ProcessSettings settings;
  settings.threads = config.compute.threads;
  settings.progress_fd = ::isatty(STDERR_FILENO) ? STDERR_FILENO : -1;
  start_process(settings);
}

}  // namespace quolvend
