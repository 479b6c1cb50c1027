#include "cli/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "process/parallel.h"

namespace quolvend {
namespace {

using Set = InstructionSet;

// The two variables' texts resolve, on a processor of four cores with AVX2
// but no AVX-512, to a thread count and an instruction set: a valid value
// stands, anything else (junk, zero, a set the processor lacks) gives the
// default.
TEST(Config, TheVariablesTextsResolveToACompute) {
  const SystemFacts facts{4, {Set::portable, Set::avx2}, {}};
  struct Row {
    const char* threads;
    const char* kernel;
    unsigned want_threads;
    Set want_set;
  };
  const Row rows[] = {
      {"3", "portable", 3, Set::portable},
      {"1", "avx2", 1, Set::avx2},
      {"", "", 4, Set::avx2},
      {"0", "avx512", 4, Set::avx2},
      {"-2", "AVX2", 4, Set::avx2},
      {"3x", "avx2 ", 4, Set::avx2},
      {"100000", "sse", kMaxThreads, Set::avx2},
  };
  for (const Row& row : rows) {
    const Compute c = resolve_compute(row.threads, row.kernel, facts);
    EXPECT_EQ(c.threads, row.want_threads) << '"' << row.threads << '"';
    EXPECT_EQ(c.instruction_set, row.want_set) << '"' << row.kernel << '"';
  }
}

// The tile follows the processor's family for the set in use; the caches it
// reports replace the defaults, and those it does not keep them.
TEST(Config, TheTuningFollowsTheProcessor) {
  using Vendor = ProcessorId::Vendor;
  const Processor zen4{{Vendor::amd, 0x19, 0x11}, 32 << 10, 1 << 20, 16 << 20};
  const Processor xeon{{Vendor::intel, 6, 0x55}, 0, 0, 0};
  const SystemFacts zen4_facts{2, {Set::portable, Set::avx2, Set::avx512}, zen4};
  EXPECT_EQ(resolve_compute("", "", zen4_facts).tuning.tile, 1u);
  EXPECT_EQ(resolve_compute("", "avx2", zen4_facts).tuning.tile, 0u);
  EXPECT_EQ(resolve_compute("", "", zen4_facts).tuning.level2, std::size_t{1} << 20);
  const Tuning on_xeon = tuning_for(Set::avx512, xeon);
  EXPECT_EQ(on_xeon.tile, 0u);
  EXPECT_EQ(on_xeon.level2, Tuning{}.level2);
}

// The configuration reads the two variables it names.
TEST(Config, ReadsQuolvendThreadsAndQuolvendKernel) {
  ::setenv("QUOLVEND_THREADS", "3", 1);
  ::setenv("QUOLVEND_KERNEL", "portable", 1);
  char program[] = "quolvend", option[] = "-D";
  char* argv[] = {program, option, nullptr};
  optind = 1;
  const RunConfig config = read_config(2, argv);
  ::unsetenv("QUOLVEND_THREADS");
  ::unsetenv("QUOLVEND_KERNEL");
  EXPECT_EQ(config.compute.threads, 3u);
  EXPECT_EQ(config.compute.instruction_set, Set::portable);
}

}  // namespace
}  // namespace quolvend
