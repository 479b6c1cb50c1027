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
unsigned threads_from(std::string_view text, unsigned usable_cores) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) {
    value = usable_cores;
  }
  return thread_count(value);
}

// QUOLVEND_KERNEL, where this processor has that set, or else the best it has.
InstructionSet set_from(std::string_view text, const std::vector<InstructionSet>& sets) {
  if (auto named = instruction_set_named(text)) {
    for (InstructionSet available : sets) {
      if (available == *named) return available;
    }
  }
  return sets.back();
}

}  // namespace

SystemFacts system_facts() {
  const Caches caches = cache_sizes();
  return {usable_cores(),
          available_instruction_sets(),
          {identify_processor(), caches.level1, caches.level2, caches.level3}};
}

Compute resolve_compute(std::string_view threads, std::string_view kernel,
                        const SystemFacts& facts) {
  Compute compute;
  compute.threads = threads_from(threads, facts.usable_cores);
  compute.instruction_set = set_from(kernel, facts.sets);
  compute.tuning = tuning_for(compute.instruction_set, facts.processor);
  return compute;
}

RunConfig read_config(int argc, char** argv) {
  RunConfig config;
  config.operation = parse_options(argc, argv);
  if (argc > 2) config.first = argv[2];
  if (argc > 3) config.second = argv[3];
  config.compute = resolve_compute(environment("QUOLVEND_THREADS"), environment("QUOLVEND_KERNEL"),
                                   system_facts());
  return config;
}

void start_run(const RunConfig& config) {
  ProcessSettings settings;
  settings.threads = config.compute.threads;
  settings.progress_fd = ::isatty(STDERR_FILENO) ? STDERR_FILENO : -1;
  start_process(settings);
}

}  // namespace quolvend
