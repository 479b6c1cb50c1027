// The same digits everywhere: a fixed set of generated inputs run through the
// built program, with every instruction-set variant this processor has and several
// thread counts, and each output compared with the checksums committed in
// golden/expected.txt. Inputs come from std::mt19937, whose sequence the
// language fixes, through integer arithmetic only, so they are the same text
// on every compiler and architecture.
//
// QUOLVEND_GOLDEN_UPDATE=1 rewrites the file from this build instead; set
// QUOLVEND_GOLDEN_BINARY to check another build of the program, and
// QUOLVEND_GOLDEN_KEEP to a folder to keep each case's files there.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "kernels/instruction_set.h"
#include "tests/matrix_text.h"
#include "tests/run.h"

namespace quolvend::testing {
namespace {

struct Case {
  std::string name;
  std::vector<std::string> args;  // file names refer to `files`
  std::map<std::string, std::string> files;
  std::string input;
};

std::vector<Case> golden_cases() {
  using Kind = MatrixText::Kind;
  std::vector<Case> cases;
  MatrixText text(2026);
  const Kind kinds[] = {Kind::small, Kind::decimals, Kind::special};
  auto one = [&](std::string name, std::string option, std::string matrix) {
    cases.push_back({std::move(name), {option, "a.txt"}, {{"a.txt", std::move(matrix)}}, ""});
  };
  // Operands are generated into variables first: the order in which function
  // arguments are evaluated differs between compilers.
  auto two = [&](std::string name, std::string option, std::string a, std::string b) {
    cases.push_back({std::move(name),
                     {option, "a.txt", "b.txt"},
                     {{"a.txt", std::move(a)}, {"b.txt", std::move(b)}},
                     ""});
  };
  for (std::uint32_t n : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 9u, 12u, 16u, 19u, 22u}) {
    for (Kind kind : kinds) {
      if (n >= 19 && kind != Kind::decimals) continue;
      std::string suffix = std::to_string(n) + "-" + std::to_string(static_cast<int>(kind));
      one("det-" + suffix, "-D", text.matrix(n, n, kind));
      if (n <= 20 || n == 22) one("inv-" + suffix, "-i", text.matrix(n, n, kind));
    }
  }
  // Shapes on both sides of the product's tiles (3 x 32), blocks (96 rows,
  // 1024 columns) and runs of k (256).
  const std::uint32_t shapes[][3] = {{1, 1, 1},     {3, 32, 32},    {4, 33, 31},
                                     {95, 257, 97}, {97, 255, 33},  {2, 513, 1025},
                                     {130, 1, 2},   {1, 300, 1030}, {200, 70, 3}};
  for (const auto& s : shapes) {
    Kind kind = kinds[(s[0] + s[1]) % 3];
    std::string a = text.matrix(s[0], s[1], kind);
    std::string b = text.matrix(s[1], s[2], kind);
    two("mul-" + std::to_string(s[0]) + "x" + std::to_string(s[1]) + "x" + std::to_string(s[2]),
        "-m", a, b);
  }
  for (std::uint32_t n : {2u, 6u, 11u}) {
    std::string a = text.matrix(3, n, Kind::decimals);
    std::string b = text.matrix(n, n, Kind::small);
    two("div-" + std::to_string(n), "-d", a, b);
  }
  // Odd tokens, packed words and special values, also in files big enough to
  // be converted and printed in parallel.
  for (std::uint32_t n : {5u, 40u, 300u}) {
    std::string odd = text.matrix(n, n + 1, Kind::odd);
    std::string special = text.matrix(n, n + 1, Kind::special);
    two("add-odd-" + std::to_string(n), "-a", odd, special);
    two("sub-odd-" + std::to_string(n), "-s", special, odd);
  }
  // Standard input: prompts, retries and the cut position.
  cases.push_back({"keyboard-sum", {"-a"}, {}, "2 x 2 1 2.5.5 3 nan 1 1 1 -0 0x10 q 4"});
  cases.push_back({"cut", {"-r", "a.txt"}, {{"a.txt", text.matrix(5, 4, Kind::special)}}, "3 0x2"});
  // Added after the cases above, so that their inputs stay as they were.
  // Both sides of the cut-off between cofactor expansion and LU, LU's panel
  // and block edges, a singular matrix, NaN, and division by an LU inverse.
  for (std::uint32_t n : {26u, 27u, 28u, 64u, 65u, 200u}) {
    std::string small = text.matrix(n, n, Kind::small);
    std::string decimals = text.matrix(n, n, Kind::decimals);
    one("lu-det-" + std::to_string(n), "-D", small);
    if (n > 26) one("lu-inv-" + std::to_string(n), "-i", decimals);
  }
  {
    std::string singular = text.matrix(30, 30, Kind::small);
    std::size_t second_row = singular.find('\n', singular.find('\n') + 1) + 1;
    std::size_t third_row = singular.find('\n', second_row) + 1;
    std::string row =
        singular.substr(singular.find('\n') + 1, second_row - singular.find('\n') - 1);
    singular.replace(second_row, third_row - second_row, row);  // row 1 = row 0
    one("lu-det-singular", "-D", singular);
    one("lu-inv-singular", "-i", singular);
    std::string special = text.matrix(30, 30, Kind::special);
    one("lu-det-special", "-D", special);
    one("lu-inv-special", "-i", special);
    std::string a = text.matrix(5, 40, Kind::decimals);
    std::string b = text.matrix(40, 40, Kind::small);
    two("lu-div-40", "-d", a, b);
  }
  // A Hilbert matrix, 1 / (i + j + 1) to nine digits: every term's order shows.
  {
    std::string hilbert = "27 27\n";
    for (int i = 0; i < 27; ++i) {
      for (int j = 0; j < 27; ++j) {
        char element[32];
        std::snprintf(element, sizeof element, "%.9e%c", 1.0 / (i + j + 1), j < 26 ? ' ' : '\n');
        hilbert += element;
      }
    }
    one("lu-inv-hilbert-27", "-i", hilbert);
  }
  // Several panels, each updating chunks of columns while the next is
  // factorised, and more than one block of columns solved for.
  for (std::uint32_t n : {300u, 520u}) {
    std::string decimals = text.matrix(n, n, Kind::decimals);
    one("lu-det-" + std::to_string(n), "-D", decimals);
    one("lu-inv-" + std::to_string(n), "-i", decimals);
  }
  // Expansions that leave the range on their way although their answers lie
  // in it: rows or columns far apart, tiny elements (answered by the LU), and
  // divisors whose inverse alone lies beyond float. exponent(i, j) is an
  // element's power of ten.
  auto spread = [&](std::uint32_t n, auto exponent) {
    std::string matrix = std::to_string(n) + " " + std::to_string(n) + "\n";
    for (std::uint32_t i = 0; i < n; ++i) {
      for (std::uint32_t j = 0; j < n; ++j) {
        matrix += text.decimal(6, 0) + "e" + std::to_string(exponent(i, j) - 6);
        matrix += j + 1 < n ? ' ' : '\n';
      }
    }
    return matrix;
  };
  auto halves = [](std::uint32_t n, int e) {
    return [n, e](std::uint32_t i, std::uint32_t) { return i < n / 2 ? e : -e; };
  };
  auto graded = [](std::uint32_t n) {
    return [n](std::uint32_t, std::uint32_t j) { return -30 + static_cast<int>(60 * j / (n - 1)); };
  };
  one("range-det-rows-26", "-D", spread(26, halves(26, 4)));
  one("range-inv-rows-16", "-i", spread(16, halves(16, 5)));
  one("range-det-columns-26", "-D", spread(26, graded(26)));
  one("range-inv-columns-12", "-i", spread(12, graded(12)));
  one("range-inv-tiny-10", "-i", spread(10, [](std::uint32_t i, std::uint32_t j) {
        return (i == 9 && j == 0) || (i == 8 && j == 1) ? -30 : 0;
      }));
  two("range-div-1", "-d", "1 1\n2e-39\n", "1 1\n1e-39\n");
  two("range-div-diagonal", "-d", "2 3\n3e-39 2 4e30\n-1e-39 0.5 1e30\n",
      "3 3\n1e-39 0 0\n0 1 0\n0 0 1e30\n");
  two("range-div-column", "-d", "1 2\n0 1e-39\n", "2 2\n1 1e-39\n1 2e-39\n");
  return cases;
}

// FNV-1a, 64 bits.
std::string checksum(const std::string& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3u;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::string expected_path() { return source_dir() + "/tests/golden/expected.txt"; }

// One line per case: name, exit status, output length and checksum.
std::string summary(const Case& c, const Outcome& o) {
  return c.name + " " + std::to_string(o.status) + " " + std::to_string(o.out.size()) + " " +
         checksum(o.out) + (o.err.empty() ? "" : " stderr:" + checksum(o.err));
}

TEST(Golden, EveryVariantAndThreadCountPrintsTheCommittedDigits) {
  std::vector<std::pair<std::string, std::string>> settings;  // kernel, threads
  auto kernels = available_instruction_sets();
  for (InstructionSet kernel : kernels) {
    for (const char* threads : {"1", "3"})
      settings.emplace_back(instruction_set_name(kernel), threads);
  }
  for (const char* threads : {"2", "7"})
    settings.emplace_back(instruction_set_name(kernels.back()), threads);
  const char* binary = std::getenv("QUOLVEND_GOLDEN_BINARY");
  bool update = std::getenv("QUOLVEND_GOLDEN_UPDATE") != nullptr;

  std::map<std::string, std::string> expected;
  std::ifstream file(expected_path());
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line[0] != '#') expected[line.substr(0, line.find(' '))] = line;
  }
  std::ostringstream written;
  written << "# name status length fnv1a-64 of standard output; see tests/golden_test.cc\n";
  for (const Case& c : golden_cases()) {
    Sandbox box;
    for (const auto& [name, content] : c.files) box.write(name, content);
    if (const char* keep = std::getenv("QUOLVEND_GOLDEN_KEEP")) {
      std::string folder = std::string(keep) + "/" + c.name;
      std::filesystem::create_directories(folder);
      std::filesystem::copy(box.path(), folder,
                            std::filesystem::copy_options::overwrite_existing |
                                std::filesystem::copy_options::recursive);
    }
    for (std::size_t i = 0; i < (update ? 1 : settings.size()); ++i) {
      const auto& [kernel, threads] = settings[i];
      Invocation invocation{c.args,
                            c.input,
                            {{"QUOLVEND_KERNEL", kernel}, {"QUOLVEND_THREADS", threads}},
                            std::nullopt,
                            box.path()};
      Outcome o = binary ? run_quolvend_at(binary, invocation) : run_quolvend(invocation);
      std::string line = summary(c, o);
      if (update) {
        written << line << "\n";
      } else {
        EXPECT_EQ(line, expected[c.name]) << "kernel " << kernel << ", threads " << threads;
      }
    }
  }
  if (update) std::ofstream(expected_path()) << written.str();
}

}  // namespace
}  // namespace quolvend::testing
