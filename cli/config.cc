#include "cli/config.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "process/parallel.h"
#include "process/start.h"

namespace quolvend {
namespace {

std::string_view environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

unsigned threads_from(std::string_view text) {
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return 0;
  return std::min(value, kMaxThreads);
}

}  // namespace

RunConfig read_config(int argc, char** argv) {
  RunConfig config;
  config.operation = parse_options(argc, argv);
  if (argc > 2) config.first = argv[2];
  if (argc > 3) config.second = argv[3];
  config.threads = threads_from(environment("QUOLVEND_THREADS"));
  if (auto set = instruction_set_named(environment("QUOLVEND_KERNEL"))) {
    for (InstructionSet available : available_instruction_sets()) {
      if (available == *set) config.kernel = set;
    }
  }
  config.refuse_threads = environment("QUOLVEND_REFUSE_THREADS") == "1";
  return config;
}

void start_run(const RunConfig& config) {
  ProcessSettings settings;
  settings.threads = config.threads;
  settings.refuse_threads = config.refuse_threads;
  settings.progress_fd = ::isatty(STDERR_FILENO) ? STDERR_FILENO : -1;
  start_process(settings);
  if (config.kernel) use_instruction_set(*config.kernel);
}

}  // namespace quolvend
